// The loops of the registration and the resampling for any x86-64 processor.

// Local
#include "xafs/alignkernels.h"

#define QV_ALIGN_NS alignGeneric
#include "xafs/alignkernels.inc"

const AlignKernels *alignKernelsGeneric()
{
    return &alignGeneric::kernels;
}
