#include "widgets/imgdispwcbar.h"

// Qt
#include <QGridLayout>

// Local
#include "widgets/colorbar.h"

ImgDispWCBar::ImgDispWCBar(QWidget *parent)
    : ImgDisp(parent)
    , cBar_(new ColorBar(this))
{
    cBar_->setObjectName(QStringLiteral("CBar"));
    grid()->addWidget(cBar_, 0, 1);
    connect(cBar_, &ColorBar::newBar, this, &ImgDispWCBar::newBar);
}
