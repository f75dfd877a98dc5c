// The reader of standards files on any bytes: whatever it accepts is at least two points of finite
// numbers with rising energies, and a standard interpolates within its values.

// Local
#include "tests/fuzz/fuzzsupport.h"
#include "xafs/standardsfile.h"
#include <algorithm>
#include <cmath>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Standard s;
    QString error;
    if (!parseStandard(
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)), s, error)) {
        check(!error.isEmpty());
        return 0;
    }
    check(s.energy.size() >= 2 && s.energy.size() == s.value.size() && s.energy.size() <= maxStandardPoints);
    for (std::size_t i = 0; i < s.energy.size(); ++i) {
        check(std::isfinite(s.energy[i]) && std::isfinite(s.value[i]));
        check(i == 0 || s.energy[i] > s.energy[i - 1]);
    }
    const auto [lo, hi] = std::minmax_element(s.value.begin(), s.value.end());
    for (const double f : {0.0, 0.25, 0.5, 0.999, 1.0}) {
        const double v = s.at(s.first() + f * (s.last() - s.first()));
        check(!(v < *lo - 1e-9 * std::abs(*lo)) && !(v > *hi + 1e-9 * std::abs(*hi)));
    }
    return 0;
}
