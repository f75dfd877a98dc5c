#pragma once

// Qt
#include <QFile>
#include <QString>

// Local
#include "imagedata/itexwriter.h"
#include <cstdint>
#include <vector>

/// Writes a `w` × `h` ITEX image of `bytes` bytes per pixel whose pixel (x, y) is `pixel(x, y)`, called
/// row by row (a random source gives the same image as a loop over the rows would). The file's path,
/// or an empty string when it could not be written.
template<class Pixel> QString writeItexImage(const QString &path, int w, int h, Pixel pixel, int bytes = 2)
{
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[static_cast<size_t>(y) * w + x] = static_cast<uint32_t>(pixel(x, y));
    return writeItexFile(path, {w, h, bytes, 1.0, px}) ? path : QString();
}

/// Writes `bytes` to `path`, whole.
inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
