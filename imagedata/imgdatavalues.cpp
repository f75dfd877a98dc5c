#include "imagedata/imgdatavalues.h"

// Local
#include <algorithm>

ImgDataValues::ImgDataValues(
    const QString &fileName, const QString &what, int width, int height, std::vector<double> values)
    : what_(what)
    , values_(std::move(values))
{
    fileName_ = fileName;
    const bool whole = width > 0 && height > 0 && values_.size() == size_t(width) * size_t(height);
    width_ = whole ? width : 0;
    height_ = whole ? height : 0;
    rowBuf_.assign(size_t(width_), 0.0);
    colBuf_.assign(size_t(height_), 0.0);
    isOpen_ = whole;
}

bool ImgDataValues::readProps(const QString &, int32_t &width, int32_t &height)
{
    width = width_;
    height = height_;
    return isOpen_;
}

bool ImgDataValues::loadData()
{
    return isOpen_;
}

double *ImgDataValues::getRow(int y, double *buffer) const
{
    if (y >= 0 && y < height_)
        std::copy_n(values_.data() + size_t(y) * size_t(width_), width_, buffer);
    return buffer;
}

double *ImgDataValues::getColumn(int x, double *buffer) const
{
    if (x < 0 || x >= width_)
        return buffer;
    const double *p = values_.data() + x;
    for (int y = 0; y < height_; ++y, p += width_)
        buffer[y] = *p;
    return buffer;
}
