#pragma once

// Local
#include "ct/backprojectkernel.h"
#include <algorithm>
#include <vector>

// The order in which the back-projection visits pixels, shared by every variant of its inner loop.
// The image is cut into tiles of a few rows; a tile takes the lines in chunks of consecutive ones,
// so that a chunk's filtered rows and the tile stay in the second-level cache; within a chunk, a
// group of rows is swept in blocks of pixels that the variant keeps in registers while it adds the
// whole chunk into them, in line order. Every pixel therefore still receives its contributions one
// after the other in the order of the lines: the sums are those of a line-by-line pass.
//
// A chunk never mixes lines with c ≥ 0 and c < 0, so a variant may order the pixels of a vector by
// falling x where the detector position falls with x.
//
// A variant supplies:
//   Kernel::groupRows, Kernel::blockWidth: the rows and columns of one register block;
//   Kernel::blocks(rows, z, x, count, lines, lineCount, last, falling): `count` consecutive blocks
//       from column x on, rows[r] pointing at image row z[r];
//   Kernel::row(row, z, xa, xb, lines, lineCount, last, falling): columns xa … xb − 1 of one row.

namespace backprojection {

constexpr int tileRows = 32;
constexpr int chunkLines = 16;

/// Chunk boundaries: at most `chunkLines` lines each, cut where the sign of c changes.
inline std::vector<int> chunkStarts(std::span<const BackProjectionLine> lines)
{
    std::vector<int> starts;
    const int count = static_cast<int>(lines.size());
    for (int i = 0; i < count;) {
        starts.push_back(i);
        const bool falling = lines[i].c < 0.0;
        const int end = std::min(count, i + chunkLines);
        int k = i + 1;
        while (k < end && (lines[k].c < 0.0) == falling)
            ++k;
        i = k;
    }
    starts.push_back(count);
    return starts;
}

template<class Kernel>
void run(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last)
{
    if (lines.empty() || rows.ze <= rows.zs)
        return;
    constexpr int R = Kernel::groupRows;
    constexpr int W = Kernel::blockWidth;
    const std::vector<int> starts = chunkStarts(lines);
    for (int tz = rows.zs; tz < rows.ze; tz += tileRows) {
        const int tzEnd = std::min(rows.ze, tz + tileRows);
        for (size_t c = 0; c + 1 < starts.size(); ++c) {
            const BackProjectionLine *chunk = lines.data() + starts[c];
            const int count = starts[c + 1] - starts[c];
            const bool falling = chunk[0].c < 0.0;
            for (int z = tz; z < tzEnd; z += R) {
                const int g = std::min(R, tzEnd - z);
                double *ptr[R];
                int zz[R];
                int lo = 0, hi = 0;
                for (int r = 0; r < g; ++r) {
                    ptr[r] = rows.image + static_cast<size_t>(z + r) * rows.stride;
                    zz[r] = z + r;
                    const int xs = rows.xs[z + r - rows.zs], xe = rows.xe[z + r - rows.zs];
                    lo = r == 0 ? xs : std::max(lo, xs);
                    hi = r == 0 ? xe : std::min(hi, xe);
                }
                const int blocks = g == R && hi > lo ? (hi - lo) / W : 0;
                if (blocks > 0)
                    Kernel::blocks(ptr, zz, lo, blocks, chunk, count, last, falling);
                const int blockEnd = lo + blocks * W;
                for (int r = 0; r < g; ++r) {
                    const int xs = rows.xs[z + r - rows.zs], xe = rows.xe[z + r - rows.zs];
                    if (blocks > 0) {
                        Kernel::row(ptr[r], zz[r], xs, lo, chunk, count, last, falling);
                        Kernel::row(ptr[r], zz[r], blockEnd, xe, chunk, count, last, falling);
                    } else {
                        Kernel::row(ptr[r], zz[r], xs, xe, chunk, count, last, falling);
                    }
                }
            }
        }
    }
}

// The variants' entry points.
void runGeneric(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last);
void runAvx2(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last);
void runAvx512(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last);

} // namespace backprojection
