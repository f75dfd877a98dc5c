// The loops of the registration and the resampling for processors with AVX-512.

// Local
#include "xafs/alignkernels.h"

#define QV_ALIGN_NS alignAvx512
#include "xafs/alignkernels.inc"

const AlignKernels *alignKernelsAvx512()
{
    return &alignAvx512::kernels;
}
