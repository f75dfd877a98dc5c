#include "imagedata/tiffwriter.h"

// Qt
#include <QSaveFile>

// Local
#include "imagedata/tifffile.h"
#include <algorithm>
#include <cstring>
#include <tiffio.h>
#include <vector>

namespace {

bool failWith(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// Sample i of the image in the file's sample type, native byte order, at `out`.
void putSample(const TiffImage &image, size_t i, unsigned char *out)
{
    if (image.isFloat) {
        std::memcpy(out, &image.values[i], 4);
        return;
    }
    const uint32_t v = image.counts[i];
    if (image.bitsPerSample == 8) {
        *out = static_cast<uint8_t>(std::min<uint32_t>(v, 0xff));
    } else if (image.bitsPerSample == 16) {
        const uint16_t s = static_cast<uint16_t>(std::min<uint32_t>(v, 0xffff));
        std::memcpy(out, &s, 2);
    } else {
        std::memcpy(out, &v, 4);
    }
}

} // namespace

bool writeTiffFile(const QString &fileName, const TiffImage &image, QString *error)
{
    const int bits = image.isFloat ? 32 : image.bitsPerSample;
    const size_t count = size_t(std::max(image.width, 0)) * size_t(std::max(image.height, 0));
    const size_t given = image.isFloat ? image.values.size() : image.counts.size();
    if (image.width < 1 || image.height < 1 || (bits != 8 && bits != 16 && bits != 32) || given != count)
        return failWith(error,
            QStringLiteral("%1: not a %2 x %3 image of %4-bit samples")
                .arg(fileName)
                .arg(image.width)
                .arg(image.height)
                .arg(bits));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return failWith(error, QStringLiteral("%1: %2").arg(fileName, file.errorString()));
    TiffFile tiff;
    if (!tiff.open(file, fileName, "w"))
        return failWith(error, QStringLiteral("%1: %2").arg(fileName, tiff.error()));
    TIFF *t = tiff.tiff();
    const int bytes = bits / 8;
    const size_t rowBytes = size_t(image.width) * bytes;
    const uint32_t rowsPerStrip
        = static_cast<uint32_t>(std::clamp<size_t>(65536 / rowBytes, 1, image.height));
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(image.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(image.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(bits));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, uint16_t(image.isFloat ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISBLACK));
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_NONE));
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    TIFFSetField(t, TIFFTAG_SOFTWARE, "Quorvel");

    std::vector<unsigned char> strip(rowBytes * rowsPerStrip);
    uint32_t index = 0;
    for (int y0 = 0; y0 < image.height; y0 += int(rowsPerStrip), ++index) {
        const int rows = std::min<int>(int(rowsPerStrip), image.height - y0);
        const size_t first = size_t(y0) * image.width;
        for (size_t i = 0; i < size_t(rows) * image.width; ++i)
            putSample(image, first + i, strip.data() + i * bytes);
        if (TIFFWriteEncodedStrip(t, index, strip.data(), tmsize_t(rows * rowBytes)) < 0)
            return failWith(error, QStringLiteral("%1: %2").arg(fileName, tiff.error()));
    }
    if (!tiff.close())
        return failWith(error, QStringLiteral("%1: %2").arg(fileName, tiff.error()));
    if (!file.commit())
        return failWith(error, QStringLiteral("%1: %2").arg(fileName, file.errorString()));
    return true;
}
