#include "imagedata/imgdatascanframe.h"

// Qt
#include <QDebug>

// Local
#include "imagedata/imagedatalog.h"
#include "imagedata/imgdatavalues.h"
#include "imagedata/nonfinite.h"
#include <algorithm>
#include <cstring>

namespace {

template<typename T>
void scanSamplesToDoubles(const unsigned char *src, double *dst, int count, std::size_t stride)
{
    for (int i = 0; i < count; ++i, src += stride) {
        T v;
        std::memcpy(&v, src, sizeof v);
        dst[i] = static_cast<double>(v);
    }
}

} // namespace

ImgDataScanFrame::ImgDataScanFrame(std::shared_ptr<const Hdf5Scan> scan, Hdf5Scan::Kind kind, int index)
    : scan_(std::move(scan))
    , kind_(kind)
    , index_(index)
    , samples_(scan_->samples(kind))
{
    fileName_ = scan_->fileName();
}

bool ImgDataScanFrame::readProps(const QString &, int32_t &width, int32_t &height)
{
    width = height = 0;
    if (index_ < 0 || index_ >= scan_->count(kind_))
        return false;
    width = scan_->width();
    height = scan_->height();
    return true;
}

bool ImgDataScanFrame::loadData()
{
    pixels_.clear();
    if (!readAll_)
        return true;
    // Bounded when the scan was opened: a frame fits in memory.
    pixels_.resize(size_t(width_) * size_t(height_) * size_t(Hdf5Scan::bytesPerSample(samples_)));
    QString error;
    if (!scan_->readRect(kind_, index_, 0, height_, 0, width_, samples_, pixels_.data(), error)
        || !repairFrame(error)) {
        qCWarning(lcImageData).noquote() << QStringLiteral("Can not read a frame of the scan (%1) :").arg(error)
                             << fileName_;
        pixels_.clear();
        return false;
    }
    return true;
}

template<typename T> NonFiniteCount ImgDataScanFrame::repairRows()
{
    NonFiniteCount count;
    std::vector<T> row(static_cast<size_t>(width_));
    const size_t rowBytes = row.size() * sizeof(T);
    for (int y = 0; y < height_; ++y) {
        unsigned char *p = pixels_.data() + size_t(y) * rowBytes;
        std::memcpy(row.data(), p, rowBytes);
        const NonFiniteCount c = repairRow(std::span<T>(row));
        if (c.found > 0)
            std::memcpy(p, row.data(), rowBytes);
        count += c;
    }
    return count;
}

bool ImgDataScanFrame::repairFrame(QString &error)
{
    // Float frames: NaN and infinities as dead pixels, or the frame refused.
    NonFiniteCount count;
    if (samples_ == Hdf5Scan::Samples::Float32)
        count = repairRows<float>();
    else if (samples_ == Hdf5Scan::Samples::Float64)
        count = repairRows<double>();
    error = judgeNonFinite(count, frameLabel(fileName_, kind_, index_));
    return error.isEmpty();
}

void ImgDataScanFrame::convert(const unsigned char *src, double *dst, int count, std::size_t stride) const
{
    switch (samples_) {
    case Hdf5Scan::Samples::UInt8:
        scanSamplesToDoubles<uint8_t>(src, dst, count, stride);
        break;
    case Hdf5Scan::Samples::UInt16:
        scanSamplesToDoubles<uint16_t>(src, dst, count, stride);
        break;
    case Hdf5Scan::Samples::UInt32:
        scanSamplesToDoubles<uint32_t>(src, dst, count, stride);
        break;
    case Hdf5Scan::Samples::Float32:
        scanSamplesToDoubles<float>(src, dst, count, stride);
        break;
    case Hdf5Scan::Samples::Float64:
        scanSamplesToDoubles<double>(src, dst, count, stride);
        break;
    }
}

double *ImgDataScanFrame::getRow(int y, double *buffer) const
{
    if (y < 0 || y >= height_)
        return buffer;
    const size_t bytes = size_t(Hdf5Scan::bytesPerSample(samples_));
    if (!pixels_.empty()) {
        convert(pixels_.data() + size_t(y) * size_t(width_) * bytes, buffer, width_, bytes);
        return buffer;
    }
    QString error;
    const int line = y;
    if (!scan_->readLines(
            kind_, index_, true, std::span<const int>(&line, 1), Hdf5Scan::Samples::Float64, buffer, error))
        qCWarning(lcImageData).noquote() << QStringLiteral("Can not read row %1 of a frame (%2) :").arg(y).arg(error)
                             << fileName_;
    return buffer;
}

double *ImgDataScanFrame::getColumn(int x, double *buffer) const
{
    if (x < 0 || x >= width_)
        return buffer;
    const size_t bytes = size_t(Hdf5Scan::bytesPerSample(samples_));
    if (!pixels_.empty()) {
        convert(pixels_.data() + size_t(x) * bytes, buffer, height_, size_t(width_) * bytes);
        return buffer;
    }
    QString error;
    const int line = x;
    if (!scan_->readLines(
            kind_, index_, false, std::span<const int>(&line, 1), Hdf5Scan::Samples::Float64, buffer, error))
        qCWarning(lcImageData).noquote() << QStringLiteral("Can not read column %1 of a frame (%2) :").arg(x).arg(error)
                             << fileName_;
    return buffer;
}

std::optional<double> ImgDataScanFrame::angleDeg() const
{
    const std::vector<double> &angles = scan_->angles();
    if (kind_ != Hdf5Scan::Kind::Projection || index_ < 0 || size_t(index_) >= angles.size())
        return std::nullopt;
    return angles[size_t(index_)];
}

QString frameLabel(const QString &fileName, Hdf5Scan::Kind kind, int index)
{
    const char *what = kind == Hdf5Scan::Kind::Projection ? "projection"
        : kind == Hdf5Scan::Kind::Flat                    ? "flat"
                                                          : "dark";
    return QStringLiteral("%1, %2 %3").arg(fileName, QLatin1String(what)).arg(index);
}

QString meanDescription(Hdf5Scan::Kind kind, int frames)
{
    const bool flats = kind == Hdf5Scan::Kind::Flat;
    return QStringLiteral("mean of %1 %2")
        .arg(frames)
        .arg(flats ? (frames == 1 ? QStringLiteral("flat") : QStringLiteral("flats"))
                   : (frames == 1 ? QStringLiteral("dark") : QStringLiteral("darks")));
}

std::unique_ptr<ImgData> meanOfFrames(
    const std::shared_ptr<const Hdf5Scan> &scan, Hdf5Scan::Kind kind, QString &error)
{
    const int frames = scan->count(kind);
    if (frames < 1) {
        error = QStringLiteral("the scan has no such frames");
        return nullptr;
    }
    const int w = scan->width(), h = scan->height();
    std::vector<double> sum(size_t(w) * size_t(h), 0.0);
    // A band of rows at a time: the whole sum, but never a whole frame more.
    const int band = std::clamp(int((size_t(4) << 20) / (sizeof(double) * size_t(w))), 1, h);
    std::vector<double> rows(size_t(band) * size_t(w));
    for (int f = 0; f < frames; ++f) {
        NonFiniteCount count; // each frame's pixels that are not finite, as dead pixels
        for (int y0 = 0; y0 < h; y0 += band) {
            const int n = std::min(band, h - y0);
            if (!scan->readRect(kind, f, y0, n, 0, w, Hdf5Scan::Samples::Float64, rows.data(), error))
                return nullptr;
            for (int r = 0; r < n; ++r)
                count += repairRow(std::span<double>(rows.data() + size_t(r) * size_t(w), size_t(w)));
            double *s = sum.data() + size_t(y0) * size_t(w);
            for (size_t i = 0; i < size_t(n) * size_t(w); ++i)
                s[i] += rows[i];
        }
        const QString label = frameLabel(scan->fileName(), kind, f);
        if (const QString why = judgeNonFinite(count, label); !why.isEmpty()) {
            error = QStringLiteral("%1: %2").arg(label, why);
            return nullptr;
        }
    }
    for (double &v : sum)
        v /= frames;
    return std::make_unique<ImgDataValues>(
        scan->fileName(), meanDescription(kind, frames), w, h, std::move(sum));
}
