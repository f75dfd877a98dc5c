#include "imagedata/imgdata.h"

// Qt
#include <QDebug>

// Local
#include "config/availablememory.h"
#include "config/specialfile.h"
#include "display/greyscale.h"
#include "imagedata/imagedatalog.h"
#include <algorithm>
#include <limits>

ImgData::~ImgData() = default;

void ImgData::init()
{
    isOpen_ = false;
    readAll_ = true;
    expTime_ = 1.0;
    width_ = 0;
    height_ = 0;
    fileName_.clear();
    minMaxValid_ = false;
    minV_ = std::numeric_limits<double>::max();
    maxV_ = -std::numeric_limits<double>::max();
}

void ImgData::getColumns(const int *xs, int count, double *buffer, std::size_t stride) const
{
    for (int i = 0; i < count; ++i)
        getColumn(xs[i], buffer + i * stride);
}

bool ImgData::open()
{
    isOpen_ = false;
    if (const QString kind = specialFileKind(fileName_); !kind.isEmpty()) {
        qCWarning(lcImageData).noquote()
            << QStringLiteral("Not a regular file (%1), not read :").arg(kind) << fileName_;
        return false;
    }
    if (!readProps(fileName_, width_, height_))
        return false;
    if (width_ < 1 || height_ < 1) { // never a projection, I0 or BG image
        qCWarning(lcImageData).noquote() << QStringLiteral("Image without pixels (%1 x %2) :").arg(width_).arg(height_)
                             << fileName_;
        width_ = height_ = 0;
        return false;
    }
    // Refused before it is read, rather than the system's memory running out under the window.
    if (memoryChecked_) {
        const qint64 bytes = qint64(width_) * height_ * 2; // the least a pixel takes
        if (const QString why = memoryShortage(
                QStringLiteral("the image of %1 x %2").arg(width_).arg(height_), bytes, availableMemory());
            !why.isEmpty()) {
            qCWarning(lcImageData).noquote() << why << ":" << fileName_;
            return false;
        }
    }
    minMaxValid_ = false;
    bool loaded = false;
    try {
        loaded = loadData();
    } catch (const std::bad_alloc &) {
        qCWarning(lcImageData).noquote()
            << QStringLiteral("Not enough memory for the image of %1 x %2 :").arg(width_).arg(height_)
            << fileName_;
    }
    if (!loaded) {
        qCWarning(lcImageData).noquote() << "Can not open ImgData" << fileName_;
        return false;
    }
    rowBuf_.assign(static_cast<size_t>(width_), 0.0);
    colBuf_.assign(static_cast<size_t>(height_), 0.0);
    isOpen_ = true;
    return true;
}

void ImgData::getMinMax(double &min, double &max)
{
    if (!minMaxValid_) {
        if (!isOpen_) {
            min = max = 0.0;
            return;
        }
        double lo = std::numeric_limits<double>::max();
        double hi = -std::numeric_limits<double>::max();
        for (int y = 0; y < height_; ++y) {
            getRow(y, rowBuf_.data());
            const auto [rowLo, rowHi] = std::minmax_element(rowBuf_.cbegin(), rowBuf_.cend());
            lo = std::min(lo, *rowLo);
            hi = std::max(hi, *rowHi);
        }
        minV_ = lo;
        maxV_ = hi;
        minMaxValid_ = true;
    }
    min = minV_;
    max = maxV_;
}

QImage ImgData::toImage(GreyScale &scale)
{
    if (!isOpen_)
        return QImage();
    double min = 0.0;
    double max = 0.0;
    getMinMax(min, max);
    scale.adoptRange(min, max);
    QImage image(width_, height_, QImage::Format_Grayscale8);
    for (int y = 0; y < height_; ++y) {
        getRow(y, rowBuf_.data());
        uchar *line = image.scanLine(y);
        for (int x = 0; x < width_; ++x)
            line[x] = static_cast<uchar>(scale.level(rowBuf_[x]));
    }
    return image;
}
