#include "imagedata/imgdatatiff.h"

// Qt
#include <QDebug>

// Local
#include "imagedata/imagedatalog.h"
#include "imagedata/imagelimits.h"
#include "imagedata/nonfinite.h"
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <tiffio.h>

namespace {

QString sampleKind(uint16_t format)
{
    switch (format) {
    case SAMPLEFORMAT_UINT:
        return QStringLiteral("unsigned integer");
    case SAMPLEFORMAT_INT:
        return QStringLiteral("signed integer");
    case SAMPLEFORMAT_IEEEFP:
        return QStringLiteral("floating-point");
    case SAMPLEFORMAT_VOID:
        return QStringLiteral("untyped");
    default:
        return QStringLiteral("complex or unknown (format %1)").arg(format);
    }
}

template<typename T> void convertSamples(const unsigned char *src, double *dst, int count, int64_t stride)
{
    for (int i = 0; i < count; ++i, src += stride) {
        T v;
        std::memcpy(&v, src, sizeof v);
        dst[i] = static_cast<double>(v);
    }
}

} // namespace

ImgDataTiff::ImgDataTiff() = default;

ImgDataTiff::~ImgDataTiff() = default;

void ImgDataTiff::init()
{
    ImgData::init();
    tiff_.close();
    if (file_.isOpen())
        file_.close();
    samples_ = Samples::UInt16;
    bytesPerSample_ = 2;
    layout_ = Layout {};
    pixels_.reset();
    band_.reset();
    bandIndex_ = -1;
}

bool ImgDataTiff::refuse(const QString &reason) const
{
    qCWarning(lcImageData).noquote() << QStringLiteral("Can not read TIFF file (%1) :").arg(reason) << fileName_;
    return false;
}

bool ImgDataTiff::openFile(QFile &file, TiffFile &tiff) const
{
    file.setFileName(fileName_);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    if (!tiff.open(file, fileName_, "r"))
        return refuse(tiff.error());
    return true;
}

bool ImgDataTiff::readProps(const QString &fileName, int32_t &width, int32_t &height)
{
    width = height = 0;
    fileName_ = fileName;
    QFile file;
    TiffFile tiff;
    if (!openFile(file, tiff))
        return false;
    TIFF *t = tiff.tiff();

    uint32_t w = 0, h = 0;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h) || w < 1
        || h < 1)
        return refuse(QStringLiteral("an image of %1 x %2 pixels").arg(w).arg(h));
    constexpr uint32_t maxSide = std::numeric_limits<int32_t>::max();
    if (w > maxSide || h > maxSide)
        return refuse(QStringLiteral("%1 x %2 pixels, more than a side of 2^31 - 1").arg(w).arg(h));
    uint16_t spp = 1, bits = 1, format = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    if (spp != 1)
        return refuse(
            QStringLiteral("%1 samples per pixel; only grey images of one sample are read").arg(spp));
    if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE)
        return refuse(
            QStringLiteral("photometric interpretation %1; only grey levels are read").arg(photometric));
    const bool unsignedInt = format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID;
    if (unsignedInt && bits == 8)
        samples_ = Samples::UInt8;
    else if (unsignedInt && bits == 16)
        samples_ = Samples::UInt16;
    else if (unsignedInt && bits == 32)
        samples_ = Samples::UInt32;
    else if (format == SAMPLEFORMAT_IEEEFP && bits == 32)
        samples_ = Samples::Float32;
    else
        return refuse(QStringLiteral("%1-bit %2 samples; 8-, 16- and 32-bit unsigned integers and 32-bit "
                                     "floats are read")
                          .arg(bits)
                          .arg(sampleKind(format)));
    bytesPerSample_ = bits / 8;
    if (!TIFFIsCODECConfigured(compression))
        return refuse(QStringLiteral("compression %1, which this libtiff cannot decode").arg(compression));

    const int64_t limit = maxImageBytes();
    const int64_t imageBytes = boundedProduct(w, h, bytesPerSample_, limit);
    if (imageBytes < 0)
        return refuse(QStringLiteral("%1 x %2 pixels of %3 bytes, more than the %4 bytes an image may hold")
                          .arg(w)
                          .arg(h)
                          .arg(bytesPerSample_)
                          .arg(limit));
    if (compression == COMPRESSION_NONE && imageBytes > file.size())
        return refuse(QStringLiteral("the file is shorter than its %1 x %2 pixels of %3 bytes")
                          .arg(w)
                          .arg(h)
                          .arg(bytesPerSample_));
    Layout layout;
    layout.tiled = TIFFIsTiled(t);
    if (layout.tiled) {
        uint32_t tw = 0, th = 0;
        if (!TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw) || !TIFFGetField(t, TIFFTAG_TILELENGTH, &th) || tw < 1
            || th < 1)
            return refuse(QStringLiteral("tiles of %1 x %2 pixels").arg(tw).arg(th));
        layout.tileWidth = tw;
        layout.bandHeight = th;
        layout.tileBytes = boundedProduct(tw, th, bytesPerSample_, limit);
        if (layout.tileBytes < 0 || uint64_t(layout.tileBytes) != TIFFTileSize64(t))
            return refuse(QStringLiteral("tiles of %1 x %2 pixels that do not fit in memory or hold "
                                         "more than one sample")
                              .arg(tw)
                              .arg(th));
    } else {
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        layout.bandHeight = rowsPerStrip < 1 || rowsPerStrip > h ? h : rowsPerStrip;
        if (TIFFScanlineSize64(t) != uint64_t(w) * bytesPerSample_)
            return refuse(QStringLiteral("rows of %1 bytes for %2 pixels").arg(TIFFScanlineSize64(t)).arg(w));
    }
    layout_ = layout;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}

int ImgDataTiff::bandRows(int64_t band) const
{
    return static_cast<int>(std::min<int64_t>(layout_.bandHeight, height_ - band * layout_.bandHeight));
}

bool ImgDataTiff::decodeBand(TiffFile &tiff, int y, unsigned char *out) const
{
    TIFF *t = tiff.tiff();
    const int64_t band = bandOf(y);
    const int rows = bandRows(band);
    const int64_t rowBytes = int64_t(width_) * bytesPerSample_;
    if (!layout_.tiled) {
        const tmsize_t expected = rows * rowBytes;
        const tmsize_t got = TIFFReadEncodedStrip(t, static_cast<uint32_t>(band), out, expected);
        if (got != expected) {
            error_ = tiff.error().isEmpty()
                ? QStringLiteral("strip %1 holds %2 of its %3 bytes").arg(band).arg(got).arg(expected)
                : tiff.error();
            return false;
        }
        return true;
    }
    std::unique_ptr<unsigned char[]> tile(new (std::nothrow) unsigned char[size_t(layout_.tileBytes)]);
    if (!tile) {
        error_ = QStringLiteral("no memory for a tile of %1 bytes").arg(layout_.tileBytes);
        return false;
    }
    const uint32_t y0 = static_cast<uint32_t>(band * layout_.bandHeight);
    const int64_t tileRowBytes = layout_.tileWidth * bytesPerSample_;
    for (int64_t x0 = 0; x0 < width_; x0 += layout_.tileWidth) {
        const uint32_t index = TIFFComputeTile(t, static_cast<uint32_t>(x0), y0, 0, 0);
        const tmsize_t got = TIFFReadEncodedTile(t, index, tile.get(), layout_.tileBytes);
        if (got != layout_.tileBytes) {
            error_ = tiff.error().isEmpty() ? QStringLiteral("tile %1 holds %2 of its %3 bytes")
                                                  .arg(index)
                                                  .arg(got)
                                                  .arg(layout_.tileBytes)
                                            : tiff.error();
            return false;
        }
        const int64_t copyBytes = std::min<int64_t>(layout_.tileWidth, width_ - x0) * bytesPerSample_;
        for (int r = 0; r < rows; ++r)
            std::memcpy(
                out + r * rowBytes + x0 * bytesPerSample_, tile.get() + r * tileRowBytes, size_t(copyBytes));
    }
    return true;
}

bool ImgDataTiff::loadData()
{
    tiff_.close();
    if (file_.isOpen())
        file_.close();
    pixels_.reset();
    band_.reset();
    bandIndex_ = -1;
    if (layout_.bandHeight < 1 || width_ < 1 || height_ < 1)
        return false;
    const int64_t rowBytes = int64_t(width_) * bytesPerSample_;
    if (!readAll_) {
        // File-read mode: the file stays open; one band is decoded at a time.
        const int64_t bandBytes = std::min<int64_t>(layout_.bandHeight, height_) * rowBytes;
        band_.reset(new (std::nothrow) unsigned char[size_t(bandBytes)]);
        if (!band_)
            return refuse(QStringLiteral("no memory for a band of %1 bytes").arg(bandBytes));
        return openFile(file_, tiff_);
    }
    QFile file;
    TiffFile tiff;
    if (!openFile(file, tiff))
        return false;
    const int64_t imageBytes = rowBytes * height_; // bounded by readProps
    pixels_.reset(new (std::nothrow) unsigned char[size_t(imageBytes)]);
    if (!pixels_)
        return refuse(QStringLiteral("no memory for %1 bytes of pixels").arg(imageBytes));
    for (int64_t y = 0; y < height_; y += layout_.bandHeight) {
        if (!decodeBand(tiff, static_cast<int>(y), pixels_.get() + y * rowBytes)) {
            pixels_.reset();
            return refuse(error_);
        }
    }
    if (samples_ == Samples::Float32 && repairNonFinite_) { // NaN and infinities as dead pixels, or refused
        NonFiniteCount count;
        std::vector<float> row(static_cast<size_t>(width_));
        for (int64_t y = 0; y < height_; ++y) {
            unsigned char *p = pixels_.get() + y * rowBytes;
            std::memcpy(row.data(), p, size_t(rowBytes));
            const NonFiniteCount c = repairRow(row);
            if (c.found > 0)
                std::memcpy(p, row.data(), size_t(rowBytes));
            count += c;
        }
        if (const QString why = judgeNonFinite(count, fileName_); !why.isEmpty()) {
            pixels_.reset();
            return refuse(why);
        }
    }
    return true; // the file closes here: every pixel is in memory
}

const unsigned char *ImgDataTiff::row(int y) const
{
    const int64_t rowBytes = int64_t(width_) * bytesPerSample_;
    if (pixels_)
        return pixels_.get() + y * rowBytes;
    if (!band_ || !tiff_.tiff())
        return nullptr;
    const int64_t band = bandOf(y);
    if (band != bandIndex_) {
        bandIndex_ = -1;
        if (!decodeBand(tiff_, y, band_.get())) {
            qCWarning(lcImageData).noquote() << QStringLiteral("Can not read TIFF file (%1) :").arg(error_) << fileName_;
            return nullptr;
        }
        bandIndex_ = band;
    }
    return band_.get() + (y - band * layout_.bandHeight) * rowBytes;
}

void ImgDataTiff::convert(const unsigned char *src, double *dst, int count, int64_t stride) const
{
    switch (samples_) {
    case Samples::UInt8:
        convertSamples<uint8_t>(src, dst, count, stride);
        break;
    case Samples::UInt16:
        convertSamples<uint16_t>(src, dst, count, stride);
        break;
    case Samples::UInt32:
        convertSamples<uint32_t>(src, dst, count, stride);
        break;
    case Samples::Float32:
        convertSamples<float>(src, dst, count, stride);
        break;
    }
}

double *ImgDataTiff::getRow(int y, double *buffer) const
{
    if (y < 0 || y >= height_)
        return buffer;
    if (const unsigned char *p = row(y))
        convert(p, buffer, width_, bytesPerSample_);
    return buffer;
}

double *ImgDataTiff::getColumn(int x, double *buffer) const
{
    if (x < 0 || x >= width_)
        return buffer;
    const int64_t rowBytes = int64_t(width_) * bytesPerSample_;
    if (pixels_) {
        convert(pixels_.get() + int64_t(x) * bytesPerSample_, buffer, height_, rowBytes);
        return buffer;
    }
    // File-read mode: the whole column first, so that a failure leaves the buffer untouched.
    std::vector<double> column(static_cast<size_t>(height_));
    for (int y = 0; y < height_; ++y) {
        const unsigned char *p = row(y);
        if (!p)
            return buffer;
        convert(p + int64_t(x) * bytesPerSample_, column.data() + y, 1, 0);
    }
    std::copy(column.cbegin(), column.cend(), buffer);
    return buffer;
}
