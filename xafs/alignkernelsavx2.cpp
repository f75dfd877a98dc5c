// The loops of the registration and the resampling for processors with AVX2.

// Local
#include "xafs/alignkernels.h"

#define QV_ALIGN_NS alignAvx2
#include "xafs/alignkernels.inc"

const AlignKernels *alignKernelsAvx2()
{
    return &alignAvx2::kernels;
}
