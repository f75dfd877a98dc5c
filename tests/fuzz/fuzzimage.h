#pragma once

// Local
#include "imagedata/imagelimits.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"
#include "tests/fuzz/fuzzsupport.h"
#include <vector>

namespace fuzz {

/// An image reader on any bytes, as the image set and the sinogram builder use it: the file is
/// opened in memory mode and in file-read mode, rows and columns are read at both edges and just
/// outside them, and the range of the pixels is taken.
inline void readImage(const uint8_t *data, size_t size, ImgFileType type, const QString &name)
{
    const QString path = writeScratch(name, data, size);
    if (checkFileType(path) != type)
        return;
    for (const bool inMemory : {true, false}) {
        std::unique_ptr<ImgData> img = createImgData(type);
        img->setReadAll(inMemory);
        img->setFileName(path);
        if (!img->open())
            continue;
        std::vector<double> row(static_cast<size_t>(img->width())),
            column(static_cast<size_t>(img->height()));
        for (int y : {0, img->height() - 1, img->height(), -1})
            img->getRow(y, row.data());
        for (int x : {0, img->width() - 1, img->width(), -1})
            img->getColumn(x, column.data());
        if (inMemory) {
            double min = 0, max = 0;
            img->getMinMax(min, max);
        }
    }
}

/// Silence, and an image limit well inside the fuzzer's memory limit.
inline void setUpImageReading()
{
    quiet();
    setMaxImageBytes(16 << 20);
}

} // namespace fuzz
