// The ITEX reader on any bytes: header, comment grammar, sizes and pixel block.

// Local
#include "tests/fuzz/fuzzimage.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUpImageReading();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::readImage(data, size, ImgFileType::ITEX, QStringLiteral("input.img"));
    return 0;
}
