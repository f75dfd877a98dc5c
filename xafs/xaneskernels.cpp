#include "xafs/xaneskernels.h"

const XanesKernels *xanesKernelsGeneric();
const XanesKernels *xanesKernelsAvx2();
const XanesKernels *xanesKernelsAvx512();

const XanesKernels *xanesKernelsOf(AlignKernelVariant variant)
{
    if (!hasKernelVariant(variant))
        return nullptr;
    switch (variant) {
    case AlignKernelVariant::Generic:
        return xanesKernelsGeneric();
    case AlignKernelVariant::Avx2:
        return xanesKernelsAvx2();
    case AlignKernelVariant::Avx512:
        return xanesKernelsAvx512();
    }
    return nullptr;
}

const XanesKernels &xanesKernels()
{
    static const XanesKernels *const chosen = xanesKernelsOf(alignKernelVariant());
    return *chosen;
}
