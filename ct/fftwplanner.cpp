#include "ct/fftwplanner.h"

std::mutex &fftwPlannerMutex()
{
    static std::mutex mutex;
    return mutex;
}
