#pragma once

// Qt
#include <QString>

// Local
#include <cstdint>
#include <span>

/// Pixels of one grey image for the TIFF writer, row after row: `counts` for integer samples of
/// `bitsPerSample` 8, 16 or 32 (values above the sample width's range are clipped), or `values` for
/// 32-bit float samples when `isFloat`.
struct TiffImage
{
    int width = 0;
    int height = 0;
    int bitsPerSample = 16;
    bool isFloat = false;
    std::span<const uint32_t> counts;
    std::span<const float> values;
};

/// Writes an uncompressed, one-sample grey TIFF in strips of about 64 KiB, as detectors do; the file
/// appears under its name only when complete. False (with `error` set) when the image does not fit
/// its description or the file cannot be written.
bool writeTiffFile(const QString &fileName, const TiffImage &image, QString *error = nullptr);
