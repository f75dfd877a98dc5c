#include "imagedata/imagelimits.h"

// Local
#include <atomic>
#include <unistd.h>

namespace {

qint64 physicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return qint64(8) << 30; // unknown: 8 GiB
    return qint64(pages) * pageSize;
}

std::atomic<qint64> g_maxImageBytes {0};

} // namespace

qint64 maxImageBytes()
{
    const qint64 set = g_maxImageBytes.load(std::memory_order_relaxed);
    if (set > 0)
        return set;
    static const qint64 physical = physicalMemory();
    return physical;
}

void setMaxImageBytes(qint64 bytes)
{
    g_maxImageBytes.store(bytes > 0 ? bytes : 0, std::memory_order_relaxed);
}

qint64 boundedProduct(qint64 a, qint64 b, qint64 c, qint64 limit)
{
    qint64 ab = 0;
    qint64 abc = 0;
    if (a < 0 || b < 0 || c < 0 || __builtin_mul_overflow(a, b, &ab) || __builtin_mul_overflow(ab, c, &abc)
        || abc > limit)
        return -1;
    return abc;
}
