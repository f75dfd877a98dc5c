#pragma once

// Local
#include "ct/backprojectkernel.h"
#include <algorithm>
#include <vector>

// The order in which the back-projection visits pixels, shared by every variant of its inner loop.
// The image is cut into tiles of a hundred rows and columns or so; a tile takes the lines in chunks
// of consecutive ones, so that the tile and the part of a chunk's filtered rows that falls on it
// stay in the second-level cache (tiles of 128 to 256 kB: AVX2 processors may have 512 kB per core);
// within a chunk, a group of rows is swept in blocks of pixels that the variant keeps in registers
// while it adds the whole chunk into them, in line order. Every pixel therefore still receives its
// contributions one after the other in the order of the lines: the sums are those of a line-by-line
// pass.
//
// A chunk never mixes lines with c ≥ 0 and c < 0, so a variant may order the pixels of a vector by
// falling x where the detector position falls with x.
//
// A variant supplies:
//   Kernel::groupRows, Kernel::blockWidth: the rows and columns of one register block;
//   Kernel::tileRows, Kernel::tileColumns: the size of a tile (multiples of the block's);
//   Kernel::blocks(rows, z, x, count, lines, lineCount, last, falling): `count` consecutive blocks
//       from column x on, rows[r] pointing at image row z[r];
//   Kernel::row(row, z, xa, xb, lines, lineCount, last, falling): columns xa … xb − 1 of one row.

namespace backprojection {

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

/// One group of rows of a tile: the columns all its rows share are swept in register blocks from
/// `lo` on, cut into column tiles from there; each row's columns left of `lo` go with
/// the first column tile, those right of the blocks with the last.
template<int R> struct RowGroup
{
    int rows = 0;
    double *ptr[R];
    int z[R];
    int xs[R], xe[R];
    int lo = 0;
    int blocks = 0;
    int columnTiles = 1;
};

template<class Kernel>
void run(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last)
{
    if (lines.empty() || rows.ze <= rows.zs)
        return;
    constexpr int R = Kernel::groupRows;
    constexpr int W = Kernel::blockWidth;
    constexpr int tileRows = Kernel::tileRows;
    static_assert(Kernel::tileColumns % W == 0 && tileRows % R == 0);
    constexpr int tileBlocks = Kernel::tileColumns / W;
    const std::vector<int> starts = chunkStarts(lines);
    std::vector<RowGroup<R>> groups;
    for (int tz = rows.zs; tz < rows.ze; tz += tileRows) {
        const int tzEnd = std::min(rows.ze, tz + tileRows);
        groups.clear();
        int columnTiles = 1;
        for (int z = tz; z < tzEnd; z += R) {
            RowGroup<R> g;
            g.rows = std::min(R, tzEnd - z);
            int hi = 0;
            for (int r = 0; r < g.rows; ++r) {
                g.ptr[r] = rows.image + static_cast<size_t>(z + r) * rows.stride;
                g.z[r] = z + r;
                g.xs[r] = rows.xs[z + r - rows.zs];
                g.xe[r] = rows.xe[z + r - rows.zs];
                g.lo = r == 0 ? g.xs[r] : std::max(g.lo, g.xs[r]);
                hi = r == 0 ? g.xe[r] : std::min(hi, g.xe[r]);
            }
            g.blocks = g.rows == R && hi > g.lo ? (hi - g.lo) / W : 0;
            g.columnTiles = std::max(1, (g.blocks + tileBlocks - 1) / tileBlocks);
            columnTiles = std::max(columnTiles, g.columnTiles);
            groups.push_back(g);
        }
        for (int tc = 0; tc < columnTiles; ++tc) {
            for (size_t c = 0; c + 1 < starts.size(); ++c) {
                const BackProjectionLine *chunk = lines.data() + starts[c];
                const int count = starts[c + 1] - starts[c];
                const bool falling = chunk[0].c < 0.0;
                for (RowGroup<R> &g : groups) {
                    if (tc >= g.columnTiles)
                        continue;
                    if (g.blocks == 0) { // rows too short for a block, or a group cut by the tile
                        for (int r = 0; r < g.rows; ++r)
                            Kernel::row(g.ptr[r], g.z[r], g.xs[r], g.xe[r], chunk, count, last, falling);
                        continue;
                    }
                    if (tc == 0)
                        for (int r = 0; r < g.rows; ++r)
                            Kernel::row(g.ptr[r], g.z[r], g.xs[r], g.lo, chunk, count, last, falling);
                    const int first = tc * tileBlocks;
                    const int n = std::min(g.blocks - first, tileBlocks);
                    Kernel::blocks(g.ptr, g.z, g.lo + first * W, n, chunk, count, last, falling);
                    if (tc == g.columnTiles - 1) {
                        const int blockEnd = g.lo + g.blocks * W;
                        for (int r = 0; r < g.rows; ++r)
                            Kernel::row(g.ptr[r], g.z[r], blockEnd, g.xe[r], chunk, count, last, falling);
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
