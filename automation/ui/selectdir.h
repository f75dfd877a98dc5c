#pragma once

// Qt
#include <QFrame>

class QLineEdit;
class QPushButton;

/// A directory picker: a button that opens a directory dialog in the data root and a field that
/// shows the chosen directory.
class SelectDir : public QFrame
{
    Q_OBJECT
public:
    explicit SelectDir(QWidget *parent = nullptr);

    QPushButton *button() const { return select_; }
    QString dir() const;

signals:
    void aDirSelected(const QString &dir);

public slots:
    /// Shows `dir`; the dialog opens there next time.
    void setDirName(const QString &dir);
    void select();

private:
    QPushButton *select_;
    QLineEdit *selectedDir_;
    QString startDir_; // where the dialog opens; the data root until a directory is known
};
