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

tsize_t readNothing(thandle_t, tdata_t, tsize_t)
{
    return 0;
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

QByteArray ctImageTiff(std::span<const double> image, int n, const Region &region, int slice, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    long long xs = 0, xe = 0, zs = 0, ze = 0;
    if (!regionPixelRange(region.x0, region.x1, xs, xe) || !regionPixelRange(region.z0, region.z1, zs, ze))
        return fail(QStringLiteral("the region is not a number"));
    const long long width = xe - xs, height = ze - zs;
    if (width < 1 || height < 1)
        return fail(QStringLiteral("the region holds no pixel"));
    // Bound by memory, not by the image: a small image's region may be large (pixels outside it are 0).
    if (width > 1 << 30 || height > 1 << 30 || width > dataFileByteLimit() / 4 / height)
        return fail(QStringLiteral("the region is too large"));

    MemoryFile file;
    TIFF *tif = TIFFClientOpen(
        "slice", "w", &file, readNothing, writeBytes, seekTo, closeNothing, sizeOf, mapNothing, unmapNothing);
    if (!tif)
        return fail(QStringLiteral("libtiff cannot start a file"));
    const QByteArray description = QStringLiteral("slice %1, region x %2 ... %3, z %4 ... %5")
                                       .arg(slice)
                                       .arg(xs)
                                       .arg(xe - 1)
                                       .arg(zs)
                                       .arg(ze - 1)
                                       .toLatin1();
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
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
        const bool rowInside = z >= 0 && z < n;
        for (long long x = xs; x < xe; ++x)
            line[static_cast<size_t>(x - xs)] = rowInside && x >= 0 && x < n
                ? static_cast<float>(image[static_cast<size_t>(z * n + x)])
                : 0.0f;
        ok = TIFFWriteScanline(tif, line.data(), static_cast<uint32_t>(z - zs), 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tif) == 1;
    TIFFClose(tif);
    if (!ok)
        return fail(QStringLiteral("libtiff cannot write the image"));
    return file.bytes;
}
