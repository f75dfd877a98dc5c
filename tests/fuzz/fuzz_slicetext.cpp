// The volume view's readers of slice text files on any bytes: the CT image data file and the XYV grid
// file, each read as the other too. Whatever they accept must be a grid of the size they say, within
// the limits, with a value range that holds.

// Local
#include "tests/fuzz/fuzzsupport.h"
#include "view3d/slicereaders.h"
#include <cmath>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void checkSlice(const std::optional<SliceData> &slice, const SliceReadLimits &limits)
{
    if (!slice)
        return;
    check(slice->nx > 0 && slice->ny > 0);
    check(int64_t(slice->nx) * slice->ny <= limits.maxValues);
    check(slice->values.size() == size_t(slice->nx) * size_t(slice->ny));
    for (double v : slice->values)
        check(!std::isfinite(v) || (v >= slice->min && v <= slice->max) || v == 0.0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    SliceReadLimits limits;
    limits.maxValues = 1 << 16; // well inside the fuzzer's memory and time
    checkSlice(readCtImgText(text, limits), limits);
    checkSlice(readXyvText(text, limits), limits);
    return 0;
}
