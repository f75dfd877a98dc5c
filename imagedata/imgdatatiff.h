#pragma once

// Local
#include "imagedata/imgdata.h"

/// A TIFF file: recognised and accepted, but no pixels are read, so it opens as a 0 × 0 image.
class ImgDataTiff : public ImgData
{
public:
    bool readProps(const QString &, int32_t &, int32_t &) override { return true; }
    bool loadData() override { return true; }
    double *getRow(int, double *buffer) const override { return buffer; }
    double *getColumn(int, double *buffer) const override { return buffer; }
};
