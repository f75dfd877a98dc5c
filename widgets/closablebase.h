#pragma once

// Qt
#include <QFrame>

/// The frame of a separate top-level window that announces its closing (the window manager's
/// close button included).
class ClosableBase : public QFrame
{
    Q_OBJECT

public:
    explicit ClosableBase(QWidget *parent = nullptr);

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *e) override;
};
