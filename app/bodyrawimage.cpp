// The main window's raw projection display: picture and value readout.

// Local
#include "app/body.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "widgets/colorbar.h"
#include "widgets/rawdisp.h"
#include <vector>

void Body::updateRawImage()
{
    GreyScale scale = rawDisp_->colorBar()->greyScale();
    if (!imgDatas_->drawImage(ui_.seekCtrl->value(), rawImage_, scale))
        return;
    rawDisp_->colorBar()->adoptRange(scale.minV, scale.maxV);
    rawDisp_->setImage(rawImage_);
}

void Body::newPosOnRawImg(double x, double y)
{
    const ImgData *img = imgDatas_->image(ui_.seekCtrl->value());
    const int xi = static_cast<int>(x);
    const int yi = static_cast<int>(y);
    double value = 0.0;
    if (img && xi >= 0 && yi >= 0 && xi < img->width() && yi < img->height()) {
        std::vector<double> row(static_cast<size_t>(img->width()));
        value = img->getRow(yi, row.data())[xi];
    }
    rawDisp_->setVal(value);
}
