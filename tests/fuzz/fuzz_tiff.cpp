// The TIFF reader on any bytes: libtiff's parsing as we call it, the layout checks and the decoding of
// strips and tiles.

// Local
#include "tests/fuzz/fuzzimage.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUpImageReading();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::readImage(data, size, ImgFileType::TIFF, QStringLiteral("input.tif"));
    return 0;
}
