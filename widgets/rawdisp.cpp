#include "widgets/rawdisp.h"

RawDisp::RawDisp(QWidget *parent)
    : ImgDispWPV(parent)
{
    setObjectName(QStringLiteral("RawDisp"));
}
