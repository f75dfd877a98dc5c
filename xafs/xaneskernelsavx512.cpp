// The loops of the XANES maps for processors with AVX-512.

// Local
#include "xafs/xaneskernels.h"

#define QV_XANES_NS xanesAvx512
#define QV_XANES_LANES 16
#include "xafs/xaneskernels.inc"

const XanesKernels *xanesKernelsAvx512()
{
    return &xanesAvx512::kernels;
}
