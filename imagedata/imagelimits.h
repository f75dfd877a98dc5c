#pragma once

// Qt
#include <QtGlobal>

/// The largest pixel block one image may hold in memory, in bytes: by default the machine's physical
/// memory, since a larger image could never be held however it is compressed on disk. Readers
/// refuse a bigger image before allocating anything for it.
qint64 maxImageBytes();
/// Lowers (or raises) the bound, e.g. for fuzzing under a memory limit; a value below 1 restores the
/// default.
void setMaxImageBytes(qint64 bytes);

/// `a · b · c` when it is at most `limit`; -1 when it is larger (or does not fit in 64 bits) or when a
/// factor is negative.
qint64 boundedProduct(qint64 a, qint64 b, qint64 c, qint64 limit);
