#include "xafs/alignkernels.h"

// Local
#include <cstdlib>
#include <string_view>

const AlignKernels *alignKernelsGeneric();
const AlignKernels *alignKernelsAvx2();
const AlignKernels *alignKernelsAvx512();

namespace {

bool hasAvx512()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")
        && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
}

bool hasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

struct Choice
{
    const AlignKernels *kernels;
    const char *name;
    AlignKernelVariant variant;
};

// QV_KERNEL=generic or QV_KERNEL=avx2 asks for a narrower variant than the processor's widest.
Choice choose()
{
    const char *asked = std::getenv("QV_KERNEL");
    const std::string_view wanted = asked ? asked : "";
    if (wanted == "generic")
        return {alignKernelsGeneric(), "generic", AlignKernelVariant::Generic};
    if (wanted != "avx2" && hasAvx512())
        return {alignKernelsAvx512(), "AVX-512", AlignKernelVariant::Avx512};
    if (hasAvx2())
        return {alignKernelsAvx2(), "AVX2", AlignKernelVariant::Avx2};
    return {alignKernelsGeneric(), "generic", AlignKernelVariant::Generic};
}

const Choice &chosen()
{
    static const Choice choice = choose();
    return choice;
}

} // namespace

const AlignKernels &alignKernels()
{
    return *chosen().kernels;
}

const char *alignKernelName()
{
    return chosen().name;
}

AlignKernelVariant alignKernelVariant()
{
    return chosen().variant;
}

bool hasKernelVariant(AlignKernelVariant variant)
{
    switch (variant) {
    case AlignKernelVariant::Generic:
        return true;
    case AlignKernelVariant::Avx2:
        return hasAvx2();
    case AlignKernelVariant::Avx512:
        return hasAvx512();
    }
    return false;
}

const AlignKernels *alignKernelsOf(AlignKernelVariant variant)
{
    switch (variant) {
    case AlignKernelVariant::Generic:
        return alignKernelsGeneric();
    case AlignKernelVariant::Avx2:
        return hasAvx2() ? alignKernelsAvx2() : nullptr;
    case AlignKernelVariant::Avx512:
        return hasAvx512() ? alignKernelsAvx512() : nullptr;
    }
    return nullptr;
}
