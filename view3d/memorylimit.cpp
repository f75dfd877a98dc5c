#include "view3d/memorylimit.h"

// Local
#include "config/availablememory.h"

int64_t availableMemoryBytes()
{
    return availableMemory();
}
