#pragma once

// Qt
#include <QFrame>

// Local
#include "ui_selectafile.h"

/// A single-file selector: "Select" opens a file dialog (see `startDir`); the chosen file's path
/// (its end in sight, the whole in the tooltip) and base name are shown, and "FilePath" carries the
/// status colour of whoever uses the file.
class SelectAFile : public QFrame
{
    Q_OBJECT
public:
    explicit SelectAFile(QWidget *parent = nullptr);

    QString filePath() const { return ui_.FilePath->text(); }
    QString name() const { return ui_.Name->text(); }
    QLineEdit *filePathEdit() const { return ui_.FilePath; }
    /// Colours "FilePath": good (green), bad (red) or neutral.
    void setStatus(bool good);
    void clearStatus();
    /// Adds a widget to the selector's row.
    void addWidget(QWidget *w);
    /// Where the file dialog opens (the projections' folder, say); empty: the chosen file's
    /// folder, or the data root.
    void setStartDir(const QString &dir) { startDir_ = dir; }
    /// The folder the file dialog opens in.
    QString startDir() const;

    static QString goodStyle();
    static QString badStyle();

signals:
    void fileSelected(const QString &fileName);

public slots:
    /// Opens the file dialog.
    void select();
    /// Takes `fileName` as the chosen file: shows it and emits `fileSelected`.
    void selectFile(const QString &fileName);
    /// Forgets the chosen file: empties the path and name fields and their status colour.
    void clearFile();

protected:
    /// A name filter offered first in the file dialog besides the image files ("" for none).
    virtual QString extraNameFilter() const { return {}; }

    Ui_SelectAFile ui_;

private:
    QString startDir_;
};
