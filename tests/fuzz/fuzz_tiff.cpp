// The TIFF reader on any bytes: libtiff's parsing as we call it, the layout checks and the decoding of
// strips and tiles, in memory mode and in file-read mode.

// Local
#include "imagedata/imagelimits.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"
#include "tests/fuzz/fuzzsupport.h"
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quiet();
    setMaxImageBytes(16 << 20); // well inside the fuzzer's memory limit
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzz::writeScratch(QStringLiteral("input.tif"), data, size);
    if (checkFileType(path) != ImgFileType::TIFF)
        return 0;
    for (const bool inMemory : {true, false}) {
        std::unique_ptr<ImgData> img = createImgData(ImgFileType::TIFF);
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
    return 0;
}
