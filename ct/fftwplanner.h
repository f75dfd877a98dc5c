#pragma once

// C++
#include <mutex>

/// FFTW's planner is not thread-safe: making or destroying a plan, in double or in single
/// precision, on any thread of the program, holds this one lock (executing a plan needs none). The
/// engine plans on the main thread, the alignment of a series on its workers: both take it.
std::mutex &fftwPlannerMutex();
