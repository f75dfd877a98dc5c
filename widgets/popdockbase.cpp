#include "widgets/popdockbase.h"

// Qt
#include <QPushButton>
#include <QVBoxLayout>

// Local
#include "widgets/closablebase.h"

PopDockBase::PopDockBase(QWidget *parent)
    : QFrame(parent)
    , button_(new QPushButton(tr("Pop/Dock"), this))
    , dockLayout_(new QVBoxLayout(this))
    // A child window: deleted with this frame, panel and all, but shown on its own.
    , popBase_(new ClosableBase(this))
    , popLayout_(new QVBoxLayout(popBase_))
{
    button_->setObjectName(QStringLiteral("PopDock"));
    button_->setToolTip(tr("Show this page in a window of its own, or back in its place"));
    popBase_->setObjectName(QStringLiteral("popBase_"));
    popBase_->setWindowFlags(Qt::Window);
    dockLayout_->setContentsMargins(0, 0, 0, 0);
    dockLayout_->addWidget(button_, 0, Qt::AlignLeft);
    popLayout_->setContentsMargins(0, 0, 0, 0);

    connect(button_, &QPushButton::clicked, this, &PopDockBase::popDock);
    connect(popBase_, &ClosableBase::closed, this, &PopDockBase::closed);
    connect(popBase_, &ClosableBase::closed, this, &PopDockBase::moveToDockBase);
}

void PopDockBase::setPanel(QWidget *panel)
{
    if (panel_) {
        dockLayout_->removeWidget(panel_);
        popLayout_->removeWidget(panel_);
        panel_->hide();
        panel_->setParent(this);
    }
    panel_ = panel;
    if (panel_) {
        dockLayout_->addWidget(panel_, 1);
        panel_->show();
    }
}

void PopDockBase::setPopTitle(const QString &title)
{
    popBase_->setWindowTitle(title);
}

bool PopDockBase::isPopped() const
{
    return panel_ && panel_->parentWidget() == popBase_;
}

void PopDockBase::popDock()
{
    const bool show = !popBase_->isVisible();
    if (!panel_)
        popBase_->setVisible(show);
    else if (show)
        moveToPopBase();
    else
        moveToDockBase();
}

void PopDockBase::moveToDockBase()
{
    popBase_->hide();
    if (!panel_)
        return;
    popLayout_->removeWidget(panel_);
    dockLayout_->addWidget(panel_, 1); // reparents the panel to this frame
    panel_->show();
    emit popped(false);
}

void PopDockBase::moveToPopBase()
{
    if (!panel_)
        return;
    const QSize size = panel_->size();
    dockLayout_->removeWidget(panel_);
    popLayout_->addWidget(panel_);
    panel_->show();
    if (!popBase_->isVisible()) {
        popBase_->resize(size.expandedTo(popBase_->minimumSizeHint()));
        popBase_->show();
    }
    emit popped(true);
}
