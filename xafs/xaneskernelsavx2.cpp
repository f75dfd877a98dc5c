// The loops of the XANES maps for processors with AVX2.

// Local
#include "xafs/xaneskernels.h"

#define QV_XANES_NS xanesAvx2
#define QV_XANES_LANES 8
#include "xafs/xaneskernels.inc"

const XanesKernels *xanesKernelsAvx2()
{
    return &xanesAvx2::kernels;
}
