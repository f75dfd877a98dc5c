#include "recon/runmemory.h"

// Local
#include "config/availablememory.h"
#include <algorithm>
#include <limits>

namespace {

constexpr qint64 huge = std::numeric_limits<qint64>::max() / 4;

qint64 sum(std::initializer_list<qint64> parts)
{
    qint64 total = 0;
    for (qint64 p : parts)
        total = std::min(huge, total + std::min(huge, std::max<qint64>(p, 0)));
    return total;
}

} // namespace

qint64 memoryProduct(qint64 a, qint64 b)
{
    qint64 p = 0;
    if (a <= 0 || b <= 0)
        return 0;
    return __builtin_mul_overflow(a, b, &p) || p > huge ? huge : p;
}

qint64 imageBytes(int n)
{
    return memoryProduct(memoryProduct(n, n), sizeof(double));
}

qint64 engineBytes(int n, int projections, bool single)
{
    // The buffers CtFbp::setup allocates (spectra of every row, filtered rows with their padding)
    // and the image; in single precision the image is accumulated in floats and handed out in doubles.
    const qint64 rows = std::max(projections, 1);
    if (single)
        return sum(
            {memoryProduct(memoryProduct(n / 2 + 1, rows), 8), memoryProduct(memoryProduct(n + 32, rows), 4),
                memoryProduct(memoryProduct(n + 16, n), 4), imageBytes(n), memoryProduct(n, 32)});
    return sum({memoryProduct(memoryProduct(n, rows), 16), memoryProduct(memoryProduct(n + 24, rows), 8),
        imageBytes(n), memoryProduct(n, 72)});
}

qint64 sinogramBytes(int n, int projections)
{
    return memoryProduct(memoryProduct(std::max(n, 1) + 1, std::max(projections, 1)), 2 * sizeof(double));
}

qint64 regionPixels(const Region *region, int n)
{
    if (!region)
        return memoryProduct(n, n);
    long long x0 = 0, x1 = 0, z0 = 0, z1 = 0;
    if (!regionPixelRange(region->x0, region->x1, x0, x1)
        || !regionPixelRange(region->z0, region->z1, z0, z1))
        return 0; // refused by the file makers
    return memoryProduct(x1 - x0, z1 - z0);
}

qint64 sliceFileBytes(qint64 pixels, bool data, bool tiff, bool picture)
{
    // A value of the data file takes up to 16 characters with its separator; the TIFF is made in a
    // buffer of floats and then as the file's bytes; the picture is one byte a pixel, and a copy.
    return sum({data ? memoryProduct(pixels, 16) : 0, tiff ? memoryProduct(pixels, 8) : 0,
        picture ? memoryProduct(pixels, 2) : 0});
}

int workersInMemory(const MemoryNeed &need, int workers, qint64 available, QString &why)
{
    why.clear();
    if (need.first > available) {
        why = memoryShortage(need.what, need.first, available);
        return 0;
    }
    workers = std::max(workers, 1);
    if (need.further <= 0)
        return workers;
    const qint64 more = (available - need.first) / need.further;
    return static_cast<int>(std::min<qint64>(workers, 1 + more));
}
