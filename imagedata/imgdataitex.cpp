#include "imagedata/imgdataitex.h"

// Qt
#include <QDebug>
#include <QtEndian>

// Local
#include "imagedata/imagelimits.h"
#include "imagedata/itexcomment.h"
#include "imagedata/imagedatalog.h"
#include <algorithm>

namespace {

constexpr int headerBytes = 64;

} // namespace

ImgDataITEX::~ImgDataITEX() = default;

void ImgDataITEX::init()
{
    ImgData::init();
    if (file_.isOpen())
        file_.close();
    dataOffset_ = 0;
    rowBytes_.clear();
    imageBytes_.clear();
}

bool ImgDataITEX::readProps(const QString &fileName, int32_t &width, int32_t &height)
{
    width = height = 0;
    dataOffset_ = 0;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        qCWarning(lcImageData).noquote() << "Can not open ITEX file to read props." << fileName;
        return false;
    }
    return readHeader(f, width, height);
}

bool ImgDataITEX::readHeader(QFile &f, int32_t &width, int32_t &height)
{
    width = height = 0;
    dataOffset_ = 0;
    const QString fileName = f.fileName();
    if (!f.seek(0))
        return false;
    const QByteArray header = f.read(10);
    if (header.size() < 10) {
        qCWarning(lcImageData).noquote() << "Error on reading ITEX file props." << fileName;
        return false;
    }
    const int commentLength = qFromLittleEndian<quint16>(header.constData() + 2);
    dataOffset_ = commentLength + headerBytes;

    // The comment is read byte for byte (no line-end translation), so that exactly C characters
    // are scanned even when the camera joined its sections with CR LF.
    if (!f.seek(headerBytes)) {
        width = height = 0;
        return false;
    }
    const QByteArray comment = f.read(commentLength);
    if (comment.size() < commentLength || commentLength < 1)
        return false; // comment empty or shorter than announced

    const ItexProps props = parseItexComment(QString::fromLatin1(comment));
    width = props.width >= 1 ? props.width : props.areaWidth;
    height = props.height >= 1 ? props.height : props.areaHeight;
    expTime_ = props.expTime;
    bytesPerPixel_ = props.bytesPerPixel;
    if (width < 1 || height < 1)
        return false;
    if (bytesPerPixel_ != 2 && bytesPerPixel_ != 4) {
        qCWarning(lcImageData).noquote() << "Unsupported BytesPerPixel in ITEX file (only 2 and 4 are read) :"
                             << bytesPerPixel_ << fileName;
        return false;
    }
    // A corrupt or truncated file must not make us allocate (or read) what its comment announces.
    const qint64 available = f.size() - dataOffset_;
    if (qint64(width) * height > available / bytesPerPixel_) { // width · height < 2^62: no overflow
        qCWarning(lcImageData).noquote() << QStringLiteral("ITEX pixel block is shorter than %1 x %2 x %3 bytes :")
                                    .arg(width)
                                    .arg(height)
                                    .arg(bytesPerPixel_)
                             << fileName;
        return false;
    }
    rowBytes_.assign(static_cast<size_t>(bytesPerPixel_) * width, 0);
    return true;
}

bool ImgDataITEX::loadData()
{
    if (file_.isOpen())
        file_.close();
    file_.setFileName(fileName_);
    if (!file_.open(QIODevice::ReadOnly)) {
        qCWarning(lcImageData).noquote() << "Can not open ITEX file" << fileName_;
        return false;
    }
    if (readAll_) {
        const qint64 bytes = qint64(bytesPerPixel_) * width_ * height_; // at most the file size (readProps)
        if (bytes > maxImageBytes()) {
            qCWarning(lcImageData).noquote() << QStringLiteral(
                "ITEX image of %1 x %2 x %3 bytes does not fit in memory :")
                                        .arg(width_)
                                        .arg(height_)
                                        .arg(bytesPerPixel_)
                                 << fileName_;
            return false;
        }
        imageBytes_.resize(static_cast<size_t>(bytes));
        const bool read = file_.seek(dataOffset_)
            && file_.read(reinterpret_cast<char *>(imageBytes_.data()), bytes) == bytes;
        // In memory mode the file is done with: a set of thousands of projections must not hold
        // thousands of open files (the usual limit is 1024).
        file_.close();
        if (!read) {
            qCWarning(lcImageData).noquote() << "Can not open ITEX file" << fileName_;
            imageBytes_.clear();
            return false;
        }
    }
    return true;
}

const unsigned char *ImgDataITEX::rowBytes(int y) const
{
    const qint64 rowSize = qint64(bytesPerPixel_) * width_;
    if (readAll_)
        return imageBytes_.data() + rowSize * y;
    if (!file_.seek(dataOffset_ + rowSize * y)
        || file_.read(reinterpret_cast<char *>(rowBytes_.data()), rowSize) != rowSize)
        return nullptr;
    return rowBytes_.data();
}

double ImgDataITEX::pixel(const unsigned char *p) const
{
    if (bytesPerPixel_ == 2)
        return qFromLittleEndian<quint16>(p);
    return qFromLittleEndian<quint32>(p);
}

double *ImgDataITEX::getRow(int y, double *buffer) const
{
    if (y < 0 || y >= height_ || (readAll_ && imageBytes_.empty()))
        return buffer;
    const unsigned char *row = rowBytes(y);
    if (!row)
        return buffer;
    if (bytesPerPixel_ == 2) {
        for (int i = 0; i < width_; ++i)
            buffer[i] = qFromLittleEndian<quint16>(row + 2 * i);
    } else {
        for (int i = 0; i < width_; ++i)
            buffer[i] = qFromLittleEndian<quint32>(row + 4 * i);
    }
    return buffer;
}

double *ImgDataITEX::getColumn(int x, double *buffer) const
{
    if (x < 0 || x >= width_ || (readAll_ && imageBytes_.empty()))
        return buffer;
    const qint64 rowSize = qint64(bytesPerPixel_) * width_;
    if (readAll_) {
        // Every pixel of a column sits on a cache line of its own: fetch some rows ahead.
        constexpr int ahead = 24;
        const unsigned char *p = imageBytes_.data() + qint64(bytesPerPixel_) * x;
        const int prefetched = std::max(0, height_ - ahead);
        int y = 0;
        if (bytesPerPixel_ == 2) {
            for (; y < prefetched; ++y, p += rowSize) {
                __builtin_prefetch(p + ahead * rowSize);
                buffer[y] = qFromLittleEndian<quint16>(p);
            }
        } else {
            for (; y < prefetched; ++y, p += rowSize) {
                __builtin_prefetch(p + ahead * rowSize);
                buffer[y] = qFromLittleEndian<quint32>(p);
            }
        }
        for (; y < height_; ++y, p += rowSize)
            buffer[y] = pixel(p);
        return buffer;
    }
    std::vector<unsigned char> block(static_cast<size_t>(rowSize * height_));
    if (!file_.seek(dataOffset_)
        || file_.read(reinterpret_cast<char *>(block.data()), qint64(block.size())) != qint64(block.size()))
        return buffer;
    for (int y = 0; y < height_; ++y)
        buffer[y] = pixel(block.data() + rowSize * y + qint64(bytesPerPixel_) * x);
    return buffer;
}

void ImgDataITEX::getColumns(const int *xs, int count, double *buffer, std::size_t stride) const
{
    if (count < 1)
        return;
    const auto [lo, hi] = std::minmax_element(xs, xs + count);
    const int first = *lo;
    const int span = *hi - *lo + 1;
    // Columns close together, all inside the image: one sweep down the rows. Else one by one.
    if (!readAll_ || imageBytes_.empty() || first < 0 || *hi >= width_ || span > 4 * count + 64) {
        ImgData::getColumns(xs, count, buffer, stride);
        return;
    }
    // Eight rows at a time: each row's run of pixels from the first column to the last is converted
    // into a tile, and the tile goes out as eight consecutive values of every column (a whole cache
    // line each, instead of one value into each of `count` lines per row).
    constexpr int tileRows = 8;
    constexpr int ahead = 32; // rows: every one is on a cache line of its own
    std::vector<double> tile(static_cast<size_t>(tileRows) * span);
    const qint64 rowSize = qint64(bytesPerPixel_) * width_;
    const unsigned char *start = imageBytes_.data() + qint64(bytesPerPixel_) * first;
    for (int y = 0; y < height_; y += tileRows) {
        const int rows = std::min(tileRows, height_ - y);
        for (int r = 0; r < rows; ++r) {
            const unsigned char *p = start + rowSize * (y + r);
            if (y + r + ahead < height_)
                __builtin_prefetch(p + ahead * rowSize);
            double *t = tile.data() + static_cast<size_t>(r) * span;
            if (bytesPerPixel_ == 2) {
                for (int i = 0; i < span; ++i)
                    t[i] = qFromLittleEndian<quint16>(p + 2 * i);
            } else {
                for (int i = 0; i < span; ++i)
                    t[i] = qFromLittleEndian<quint32>(p + 4 * i);
            }
        }
        for (int i = 0; i < count; ++i) {
            double *out = buffer + i * stride + y;
            const double *t = tile.data() + (xs[i] - first);
            for (int r = 0; r < rows; ++r)
                out[r] = t[static_cast<size_t>(r) * span];
        }
    }
}
