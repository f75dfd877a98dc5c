#pragma once

// Qt
#include <QByteArray>
#include <QString>

// Local
#include <cstdint>
#include <span>

/// Pixels of one image for the ITEX writer: `height` rows of `width` unsigned values.
struct ItexImage
{
    int width = 0;
    int height = 0;
    int bytesPerPixel = 2; // 2: unsigned 16-bit, 4: unsigned 32-bit
    double expTime = 1.0;
    std::span<const uint32_t> pixels;
};

/// A camera-style comment: sections joined by CR LF, every property followed by a comma,
/// the size given both as "Prop_ImageWidth="/"Prop_ImageHeight=" and as "areSource=".
QByteArray itexComment(const ItexImage &image);

/// The bytes of an ITEX file with the given comment: the 64-byte header ("IM", comment length,
/// width, height, offsets 0, file type 2 for 16-bit or 3 for 32-bit pixels), the comment, then the
/// pixels, little-endian. Pixel values above the pixel width's range are clipped.
QByteArray itexFileBytes(const ItexImage &image, const QByteArray &comment);

/// Writes an ITEX file with `itexComment`; the file appears under its name only when complete.
/// False when the file cannot be written or the pixel count does not match the size.
bool writeItexFile(const QString &fileName, const ItexImage &image);
