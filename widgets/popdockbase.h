#pragma once

// Qt
#include <QFrame>

class ClosableBase;
class QPushButton;
class QVBoxLayout;

/// A place in the main window for one panel, with a "Pop/Dock" button that moves the panel into
/// a separate top-level window and back. Closing that window docks the panel again.
/// \test tst_panels.cpp
class PopDockBase : public QFrame
{
    Q_OBJECT

public:
    explicit PopDockBase(QWidget *parent = nullptr);

    /// Puts the panel into its docked place. A panel held before is taken out and hidden (it stays
    /// a child of this frame); null holds nothing.
    void setPanel(QWidget *panel);
    QWidget *panel() const { return panel_; }

    /// Title of the separate window.
    void setPopTitle(const QString &title);
    ClosableBase *popBase() const { return popBase_; }
    QPushButton *popDockButton() const { return button_; }
    /// True while the panel sits in the separate window.
    bool isPopped() const;

signals:
    void closed();
    void popped(bool inPopWindow);

public slots:
    /// Toggles the separate window and moves the panel to where it is now shown.
    void popDock();
    /// Panel back into the main window, separate window hidden.
    void moveToDockBase();
    /// Panel into the separate window, which is shown.
    void moveToPopBase();

private:
    QPushButton *button_;
    QVBoxLayout *dockLayout_;
    ClosableBase *popBase_;
    QVBoxLayout *popLayout_;
    QWidget *panel_ = nullptr;
};
