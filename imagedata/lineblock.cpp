#include "imagedata/lineblock.h"

// Qt
#include <QDebug>
#include <QFile>
#include <QtEndian>

// Local
#include "config/specialfile.h"
#include "imagedata/imgdataitex.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/imagedatalog.h"
#include <algorithm>

ImgDataLineBlock::ImgDataLineBlock(
    const QString &fileName, int width, int height, bool rowLines, std::vector<int> lines)
    : rowLines_(rowLines)
    , lines_(std::move(lines))
{
    fileName_ = fileName;
    width_ = width;
    height_ = height;
    isOpen_ = true;
}

bool ImgDataLineBlock::readProps(const QString &, int32_t &width, int32_t &height)
{
    width = width_;
    height = height_;
    return true;
}

bool ImgDataLineBlock::loadData()
{
    return true; // filled by the reader
}

void ImgDataLineBlock::allocate(Storage storage)
{
    storage_ = storage;
    const size_t n = lines_.size() * static_cast<size_t>(lineLength());
    u16_.assign(storage == Storage::U16 ? n : 0, 0);
    u32_.assign(storage == Storage::U32 ? n : 0, 0);
    f64_.assign(storage == Storage::F64 ? n : 0, 0.0);
}

size_t ImgDataLineBlock::bytes() const
{
    return u16_.size() * sizeof(uint16_t) + u32_.size() * sizeof(uint32_t) + f64_.size() * sizeof(double);
}

uint16_t *ImgDataLineBlock::u16Line(size_t k)
{
    return u16_.data() + k * static_cast<size_t>(lineLength());
}

uint32_t *ImgDataLineBlock::u32Line(size_t k)
{
    return u32_.data() + k * static_cast<size_t>(lineLength());
}

double *ImgDataLineBlock::f64Line(size_t k)
{
    return f64_.data() + k * static_cast<size_t>(lineLength());
}

int ImgDataLineBlock::slot(int index) const
{
    const auto it = std::lower_bound(lines_.cbegin(), lines_.cend(), index);
    return it != lines_.cend() && *it == index ? static_cast<int>(it - lines_.cbegin()) : -1;
}

double *ImgDataLineBlock::copyLine(int index, double *buffer) const
{
    const int k = slot(index);
    if (k < 0)
        return buffer;
    const size_t n = static_cast<size_t>(lineLength());
    const size_t at = static_cast<size_t>(k) * n;
    switch (storage_) {
    case Storage::U16:
        std::copy_n(u16_.data() + at, n, buffer);
        break;
    case Storage::U32:
        std::copy_n(u32_.data() + at, n, buffer);
        break;
    case Storage::F64:
        std::copy_n(f64_.data() + at, n, buffer);
        break;
    }
    return buffer;
}

double *ImgDataLineBlock::getRow(int y, double *buffer) const
{
    return rowLines_ ? copyLine(y, buffer) : buffer;
}

double *ImgDataLineBlock::getColumn(int x, double *buffer) const
{
    return rowLines_ ? buffer : copyLine(x, buffer);
}

namespace {

// Little-endian samples of 2 or 4 bytes into a line slot.
void storeSamples(ImgDataLineBlock &block, size_t k, const unsigned char *p, int count, int stride, int bpp)
{
    if (bpp == 2) {
        uint16_t *out = block.u16Line(k);
        for (int i = 0; i < count; ++i)
            out[i] = qFromLittleEndian<quint16>(p + static_cast<qint64>(i) * stride);
    } else {
        uint32_t *out = block.u32Line(k);
        for (int i = 0; i < count; ++i)
            out[i] = qFromLittleEndian<quint32>(p + static_cast<qint64>(i) * stride);
    }
}

bool readItexLines(ImgDataLineBlock &block, QFile &f, int dataOffset, int bpp)
{
    const int w = block.width(), h = block.height();
    const qint64 rowSize = qint64(bpp) * w;
    block.allocate(bpp == 2 ? ImgDataLineBlock::Storage::U16 : ImgDataLineBlock::Storage::U32);
    const std::vector<int> &lines = block.lines();
    std::vector<unsigned char> buffer;
    if (block.rowLines()) {
        buffer.resize(static_cast<size_t>(rowSize));
        for (size_t k = 0; k < lines.size(); ++k) {
            if (!f.seek(dataOffset + rowSize * lines[k])
                || f.read(reinterpret_cast<char *>(buffer.data()), rowSize) != rowSize)
                return false;
            storeSamples(block, k, buffer.data(), w, bpp, bpp);
        }
        return true;
    }
    // Columns: the pixel block streams through a buffer of a few MB; each row gives one sample to
    // every column of the block.
    const int chunkRows = static_cast<int>(std::clamp<qint64>((qint64(4) << 20) / rowSize, 1, h));
    buffer.resize(static_cast<size_t>(rowSize * chunkRows));
    if (!f.seek(dataOffset))
        return false;
    for (int y0 = 0; y0 < h; y0 += chunkRows) {
        const int rows = std::min(chunkRows, h - y0);
        if (f.read(reinterpret_cast<char *>(buffer.data()), rowSize * rows) != rowSize * rows)
            return false;
        for (size_t k = 0; k < lines.size(); ++k) {
            const unsigned char *p = buffer.data() + qint64(bpp) * lines[k];
            if (bpp == 2) {
                uint16_t *out = block.u16Line(k) + y0;
                for (int r = 0; r < rows; ++r)
                    out[r] = qFromLittleEndian<quint16>(p + rowSize * r);
            } else {
                uint32_t *out = block.u32Line(k) + y0;
                for (int r = 0; r < rows; ++r)
                    out[r] = qFromLittleEndian<quint32>(p + rowSize * r);
            }
        }
    }
    return true;
}

bool readOtherLines(ImgDataLineBlock &block)
{
    const std::unique_ptr<ImgData> whole = openImgData(block.fileName());
    if (!whole || whole->width() != block.width() || whole->height() != block.height())
        return false;
    block.allocate(ImgDataLineBlock::Storage::F64);
    const std::vector<int> &lines = block.lines();
    for (size_t k = 0; k < lines.size(); ++k) {
        if (block.rowLines())
            whole->getRow(lines[k], block.f64Line(k));
        else
            whole->getColumn(lines[k], block.f64Line(k));
    }
    return true;
}

// Opens `f` when it is an ITEX file: the command reads the headers and lines of hundreds of files,
// each open costing more than its header's parsing.
bool openItex(QFile &f)
{
    if (isSpecialFile(f.fileName()) || !f.open(QIODevice::ReadOnly))
        return false;
    if (f.peek(2) == "IM")
        return true;
    f.close();
    return false;
}

} // namespace

bool readImageSize(const QString &fileName, int &width, int &height)
{
    width = height = 0;
    int32_t w = 0, h = 0;
    QFile f(fileName);
    if (openItex(f)) {
        if (!ImgDataITEX().readHeader(f, w, h))
            return false;
    } else {
        std::unique_ptr<ImgData> img = createImgData(checkFileType(fileName));
        if (!img || !img->readProps(fileName, w, h))
            return false;
    }
    if (w < 1 || h < 1)
        return false;
    width = w;
    height = h;
    return true;
}

std::shared_ptr<const ImgData> readLineBlock(
    const QString &fileName, bool rowLines, std::span<const int> lines, int width, int height)
{
    const int extent = rowLines ? height : width;
    for (size_t k = 0; k < lines.size(); ++k) {
        if (lines[k] < 0 || lines[k] >= extent || (k > 0 && lines[k] <= lines[k - 1])) {
            qCWarning(lcImageData).noquote() << "Lines to read are not in order inside the image :" << fileName;
            return nullptr;
        }
    }
    auto block = std::make_shared<ImgDataLineBlock>(
        fileName, width, height, rowLines, std::vector<int>(lines.begin(), lines.end()));
    bool ok = false;
    QFile f(fileName);
    if (openItex(f)) {
        ImgDataITEX itex;
        int32_t w = 0, h = 0;
        if (itex.readHeader(f, w, h) && w == width && h == height)
            ok = readItexLines(*block, f, itex.dataOffset(), itex.bytesPerPixel());
    } else {
        ok = readOtherLines(*block);
    }
    if (!ok) {
        qCWarning(lcImageData).noquote()
            << QStringLiteral("Can not read lines of a %1 x %2 image from").arg(width).arg(height)
            << fileName;
        return nullptr;
    }
    return block;
}
