#include "automation/ui/i0ofimage.h"

I0ofImage::I0ofImage(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
}
