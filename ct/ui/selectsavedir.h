#pragma once

// Qt
#include <QFrame>

// Local
#include "ui_selectsavedir.h"

/// Where results of one kind are saved: a directory (typed or chosen), a name and a tag.
class SelectSaveDir : public QFrame
{
    Q_OBJECT
public:
    explicit SelectSaveDir(QWidget *parent = nullptr);

    QString dir() const { return ui_.FilePath->text(); }
    QString name() const { return ui_.Name->text(); }
    QString tag() const { return ui_.AddTag->text(); }
    /// Shows the end of a long path (the folder's own name), the whole in the tooltip.
    void setDir(const QString &dir);
    void setName(const QString &name) { ui_.Name->setText(name); }
    void setTag(const QString &tag) { ui_.AddTag->setText(tag); }
    /// Marks "FilePath" red (a write failed) or neutral.
    void setFailed(bool failed);
    bool isFailed() const;
    Ui_SelectSaveDir &ui() { return ui_; }

public slots:
    void select();

private:
    Ui_SelectSaveDir ui_;
};
