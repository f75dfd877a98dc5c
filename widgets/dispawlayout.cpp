#include "widgets/dispawlayout.h"

// Qt
#include <QGridLayout>

// Local
#include "widgets/dispb.h"

DispAWLayout::DispAWLayout(QWidget *parent)
    : QFrame(parent)
    , grid_(new QGridLayout(this))
    , area_(new DispB(this))
{
    area_->setObjectName(QStringLiteral("dispB_"));
    area_->setMinimumSize(64, 64);
    area_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->addWidget(area_, 0, 0);
    grid_->setRowStretch(0, 1);
    grid_->setColumnStretch(0, 1);
}
