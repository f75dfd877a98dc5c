// The loops of the XANES maps for any x86-64 processor.

// Local
#include "xafs/xaneskernels.h"

#define QV_XANES_NS xanesGeneric
#define QV_XANES_LANES 4
#include "xafs/xaneskernels.inc"

const XanesKernels *xanesKernelsGeneric()
{
    return &xanesGeneric::kernels;
}
