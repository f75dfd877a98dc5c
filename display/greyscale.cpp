#include "display/greyscale.h"

// C++
#include <algorithm>
#include <limits>

void valueRange(std::span<const double> values, double &min, double &max)
{
    double lo = std::numeric_limits<double>::max();
    double hi = -std::numeric_limits<double>::max();
    for (const double v : values) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (lo > hi) { // no data, or NaN only
        lo = 0.0;
        hi = 0.0;
    }
    min = lo;
    max = hi;
}

QImage greyImage(std::span<const double> values, int width, int height, const GreyScale &scale)
{
    if (width <= 0 || height <= 0 || values.size() < static_cast<size_t>(width) * height)
        return QImage();
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        uchar *line = image.scanLine(y);
        const double *row = values.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x)
            line[x] = static_cast<uchar>(scale.level(row[x]));
    }
    return image;
}

QImage greyImageOfData(std::span<const double> values, int width, int height, GreyScale &scale)
{
    if (width <= 0 || height <= 0 || values.size() < static_cast<size_t>(width) * height)
        return QImage();
    double min = 0.0;
    double max = 0.0;
    valueRange(values.first(static_cast<size_t>(width) * height), min, max);
    scale.adoptRange(min, max);
    return greyImage(values, width, height, scale);
}
