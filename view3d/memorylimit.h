#pragma once

// Local
#include <cstdint>

/// Bytes of memory the machine can give a new allocation now: the system's available memory, or
/// the control group's room where lower (`availableMemory`).
int64_t availableMemoryBytes();
