#include "ct/ctimagetiff.h"

// Qt
#include <QString>

// Local
#include "ct/ctimagefile.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <tiffio.h>
#include <vector>

namespace {

// The whole file is built in memory and written by the saver like any other file: libtiff writes
// through these procedures into a growing byte array.
struct MemoryFile
{
    QByteArray bytes;
    toff_t position = 0;
};

// Linking a second page to the first reads the file back.
tsize_t readBytes(thandle_t handle, tdata_t data, tsize_t size)
{
    auto *f = static_cast<MemoryFile *>(handle);
    const toff_t end = static_cast<toff_t>(f->bytes.size());
    const toff_t n = f->position >= end ? 0 : std::min<toff_t>(static_cast<toff_t>(size), end - f->position);
    std::memcpy(data, f->bytes.constData() + f->position, static_cast<size_t>(n));
    f->position += n;
    return static_cast<tsize_t>(n);
}

tsize_t writeBytes(thandle_t handle, tdata_t data, tsize_t size)
{
    auto *f = static_cast<MemoryFile *>(handle);
    const toff_t end = f->position + static_cast<toff_t>(size);
    if (end > static_cast<toff_t>(f->bytes.size()))
        f->bytes.resize(static_cast<qsizetype>(end));
    std::memcpy(f->bytes.data() + f->position, data, static_cast<size_t>(size));
    f->position = end;
    return size;
}

toff_t seekTo(thandle_t handle, toff_t offset, int whence)
{
    auto *f = static_cast<MemoryFile *>(handle);
    const toff_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? toff_t(f->bytes.size()) : 0;
    f->position = base + offset;
    return f->position;
}

int closeNothing(thandle_t)
{
    return 0;
}

toff_t sizeOf(thandle_t handle)
{
    return static_cast<toff_t>(static_cast<MemoryFile *>(handle)->bytes.size());
}

int mapNothing(thandle_t, tdata_t *, toff_t *)
{
    return 0;
}

void unmapNothing(thandle_t, tdata_t, toff_t) { }

} // namespace

namespace {

// The pixels a region covers, checked: some, and few enough for memory.
bool regionExtent(
    const Region &region, long long &xs, long long &xe, long long &zs, long long &ze, QString &why)
{
    if (!regionPixelRange(region.x0, region.x1, xs, xe) || !regionPixelRange(region.z0, region.z1, zs, ze)) {
        why = QStringLiteral("the region is not a number");
        return false;
    }
    const long long width = xe - xs, height = ze - zs;
    if (width < 1 || height < 1) {
        why = QStringLiteral("the region holds no pixel");
        return false;
    }
    // Bound by memory, not by the image: a small image's region may be large (pixels outside it are 0).
    if (width > 1 << 30 || height > 1 << 30 || width > dataFileByteLimit() / 4 / height) {
        why = QStringLiteral("the region is too large");
        return false;
    }
    return true;
}

// Row z of the region, columns xs … xe − 1, as floats; 0 outside the n × n image.
void regionRow(const FloatTiffPage &page, long long z, long long xs, long long xe, float *line)
{
    const int n = page.n;
    const size_t pixels = static_cast<size_t>(std::max(n, 0)) * static_cast<size_t>(std::max(n, 0));
    const bool floats = !page.floats.empty();
    const bool inside = (floats ? page.floats.size() : page.image.size()) >= pixels;
    const bool rowInside = inside && z >= 0 && z < n;
    for (long long x = xs; x < xe; ++x)
        line[x - xs] = !(rowInside && x >= 0 && x < n) ? 0.0f
            : floats                                   ? page.floats[static_cast<size_t>(z * n + x)]
                     : static_cast<float>(page.image[static_cast<size_t>(z * n + x)]);
}

// One page into an open file; the reason in `why` when it cannot be written.
bool writePage(TIFF *tif, const FloatTiffPage &page, QString &why)
{
    const Region &region = page.region;
    long long xs = 0, xe = 0, zs = 0, ze = 0;
    if (!regionExtent(region, xs, xe, zs, ze, why))
        return false;
    const long long width = xe - xs;
    const QByteArray description = QStringLiteral("%1, region x %2 ... %3, z %4 ... %5")
                                       .arg(page.what)
                                       .arg(xs)
                                       .arg(xe - 1)
                                       .arg(zs)
                                       .arg(ze - 1)
                                       .toLatin1();
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(ze - zs));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 32);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, description.constData());
    TIFFSetField(tif, TIFFTAG_SOFTWARE, "Quorvel");
    std::vector<float> line(static_cast<size_t>(width));
    bool ok = true;
    for (long long z = zs; z < ze && ok; ++z) {
        regionRow(page, z, xs, xe, line.data());
        ok = TIFFWriteScanline(tif, line.data(), static_cast<uint32_t>(z - zs), 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tif) == 1;
    if (!ok)
        why = QStringLiteral("libtiff cannot write the image");
    return ok;
}

} // namespace

QByteArray floatTiffPages(std::span<const FloatTiffPage> pages, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    if (pages.empty())
        return fail(QStringLiteral("there is no image"));
    MemoryFile file;
    TIFF *tif = TIFFClientOpen(
        "slice", "w", &file, readBytes, writeBytes, seekTo, closeNothing, sizeOf, mapNothing, unmapNothing);
    if (!tif)
        return fail(QStringLiteral("libtiff cannot start a file"));
    QString why;
    bool ok = true;
    for (const FloatTiffPage &page : pages) {
        ok = writePage(tif, page, why);
        if (!ok)
            break;
    }
    TIFFClose(tif);
    if (!ok)
        return fail(why);
    return file.bytes;
}

QByteArray ctImageTiff(std::span<const double> image, int n, const Region &region, int slice, QString *error)
{
    const FloatTiffPage page {image, {}, n, region, QStringLiteral("slice %1").arg(slice)};
    return floatTiffPages(std::span<const FloatTiffPage>(&page, 1), error);
}

RegionFloats regionFloats(std::span<const double> image, int n, const Region &region, QString *error)
{
    RegionFloats r;
    long long xs = 0, xe = 0, zs = 0, ze = 0;
    QString why;
    if (!regionExtent(region, xs, xe, zs, ze, why)) {
        if (error)
            *error = why;
        return r;
    }
    r.width = static_cast<int>(xe - xs);
    r.height = static_cast<int>(ze - zs);
    r.values.resize(static_cast<size_t>(r.width) * static_cast<size_t>(r.height));
    const FloatTiffPage page {image, {}, n, region, {}};
    for (long long z = zs; z < ze; ++z)
        regionRow(
            page, z, xs, xe, r.values.data() + static_cast<size_t>(z - zs) * static_cast<size_t>(r.width));
    return r;
}
