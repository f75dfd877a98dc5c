#include "view3d/slicedata.h"

// Local
#include <algorithm>

void SliceData::summarizeBlocks()
{
    blockRanges.clear();
    if (nx < 1 || ny < 1 || values.size() != static_cast<size_t>(nx) * ny)
        return;
    constexpr double inf = std::numeric_limits<double>::infinity();
    const int bw = blocksAcross(nx), bh = blocksAcross(ny);
    blockRanges.assign(2 * static_cast<size_t>(bw) * bh, 0.0);
    for (int by = 0; by < bh; ++by) {
        // One band of block rows at a time, its rows read in order.
        double *band = blockRanges.data() + 2 * static_cast<size_t>(by) * bw;
        for (int bx = 0; bx < bw; ++bx) {
            band[2 * bx] = inf;
            band[2 * bx + 1] = -inf;
        }
        for (int y = by * block; y < std::min(ny, (by + 1) * block); ++y) {
            const double *line = row(y);
            for (int bx = 0; bx < bw; ++bx) {
                double lo = band[2 * bx], hi = band[2 * bx + 1];
                for (int x = bx * block; x < std::min(nx, (bx + 1) * block); ++x) {
                    // NaN compares false both ways and so leaves the range as it was.
                    lo = line[x] < lo ? line[x] : lo;
                    hi = line[x] > hi ? line[x] : hi;
                }
                band[2 * bx] = lo;
                band[2 * bx + 1] = hi;
            }
        }
    }
}
