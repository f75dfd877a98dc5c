// The loops of the XANES maps for processors with AVX2.

// Local
#include "xafs/xaneskernels.h"

#define QV_XANES_NS xanesAvx2
#include "xafs/xaneskernels.inc"

const XanesKernels *xanesKernelsAvx2()
{
    return &xanesAvx2::kernels;
}
