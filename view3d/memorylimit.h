#pragma once

// Local
#include <cstdint>

/// Bytes of memory the machine can give a new allocation now: the kernel's estimate of available
/// memory where it offers one, else the physical memory; a very large number when neither is known.
int64_t availableMemoryBytes();
