#include "widgets/imgdispwpv.h"

// Qt
#include <QGridLayout>

// Local
#include "ui_posval.h"

ImgDispWPV::ImgDispWPV(QWidget *parent)
    : ImgDispWCBar(parent)
{
    auto *posVal = new QFrame(this);
    Ui::PosValUI ui;
    ui.setupUi(posVal);
    posX_ = ui.PosX;
    posY_ = ui.PosY;
    val_ = ui.Val;
    grid()->addWidget(posVal, 1, 0, 1, 2);

    connect(this, &ImgDisp::newPos, this, &ImgDispWPV::noticedNewPos);
    connect(ui.ResetScale, &QPushButton::clicked, this, &ImgDisp::resetScale);
    keepAspect_ = ui.KeepAspect;
    keepAspect_->setChecked(isAspectKept());
    connect(keepAspect_, &QCheckBox::toggled, this, &ImgDisp::setAspectKept);
    connect(this, &ImgDisp::aspectKeptChanged, keepAspect_, &QCheckBox::setChecked);
}

void ImgDispWPV::noticedNewPos(int x, int y)
{
    posX_->setText(QString::number(x));
    posY_->setText(QString::number(y));
    emit newPosInvY(x, y);
}

void ImgDispWPV::setVal(double v)
{
    val_->setText(QString::number(v, 'g', 6));
}

void ImgDispWPV::clearVal()
{
    val_->clear();
}
