#pragma once

// Local
#include "ct/backprojectkernel.h"
#include "ct/backprojectwalk.h"
#include <algorithm>
#include <vector>

// The order in which the back-projection visits pixels (backprojectwalk.h), in double precision:
// tiles of a hundred rows and columns or so (128 to 256 kB: AVX2 processors may have 512 kB of
// second-level cache per core); within a chunk of lines, a group of rows is swept in blocks of pixels
// that the variant keeps in registers while it adds the whole chunk into them, in line order.
//
// A variant supplies:
//   Kernel::groupRows, Kernel::blockWidth: the rows and columns of one register block;
//   Kernel::tileRows, Kernel::tileColumns: the size of a tile (multiples of the block's);
//   Kernel::blocks(rows, z, x, count, lines, lineCount, last, falling): `count` consecutive blocks
//       from column x on, rows[r] pointing at image row z[r];
//   Kernel::row(row, z, xa, xb, lines, lineCount, last, falling): columns xa … xb − 1 of one row.
// `VectorKernel` makes the last two of a variant's block routine.

namespace backprojection {

using backprojectwalk::chunkLines;

/// One group of rows of a tile: the columns all its rows share are swept in register blocks from
/// `from` on, cut into column tiles from there; each row's columns left of `from` go with the first
/// column tile, those right of the blocks with the last.
template<int R> struct RowGroup : backprojectwalk::RowGroupBase<double, R>
{
    int from = 0;
    int blocks = 0;
};

/// A chunk of consecutive lines, all with c ≥ 0 or all with c < 0.
struct LineChunk
{
    const BackProjectionLine *lines = nullptr;
    int count = 0;
    bool falling = false;
};

template<class Kernel>
void run(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last)
{
    if (lines.empty() || rows.ze <= rows.zs)
        return;
    constexpr int R = Kernel::groupRows;
    constexpr int W = Kernel::blockWidth;
    static_assert(Kernel::tileColumns % W == 0 && Kernel::tileRows % R == 0);
    constexpr int tileBlocks = Kernel::tileColumns / W;
    const std::vector<int> starts = backprojectwalk::chunkStarts(lines);
    std::vector<LineChunk> chunks;
    for (size_t c = 0; c + 1 < starts.size(); ++c)
        chunks.push_back({lines.data() + starts[c], starts[c + 1] - starts[c], lines[starts[c]].c < 0.0});
    auto shape = [](RowGroup<R> &g) {
        int hi = 0;
        for (int r = 0; r < g.rows; ++r) {
            g.from = r == 0 ? g.lo[r] : std::max(g.from, g.lo[r]);
            hi = r == 0 ? g.hi[r] : std::min(hi, g.hi[r]);
        }
        g.blocks = g.rows == R && hi > g.from ? (hi - g.from) / W : 0;
        g.columnTiles = std::max(1, (g.blocks + tileBlocks - 1) / tileBlocks);
    };
    auto add = [last, tileBlocks](RowGroup<R> &g, int tc, const LineChunk &ch) {
        if (g.blocks == 0) { // rows too short for a block, or a group cut by the tile
            for (int r = 0; r < g.rows; ++r)
                Kernel::row(g.ptr[r], g.z[r], g.lo[r], g.hi[r], ch.lines, ch.count, last, ch.falling);
            return;
        }
        if (tc == 0)
            for (int r = 0; r < g.rows; ++r)
                Kernel::row(g.ptr[r], g.z[r], g.lo[r], g.from, ch.lines, ch.count, last, ch.falling);
        const int first = tc * tileBlocks;
        const int n = std::min(g.blocks - first, tileBlocks);
        Kernel::blocks(g.ptr, g.z, g.from + first * W, n, ch.lines, ch.count, last, ch.falling);
        if (tc == g.columnTiles - 1) {
            const int blockEnd = g.from + g.blocks * W;
            for (int r = 0; r < g.rows; ++r)
                Kernel::row(g.ptr[r], g.z[r], blockEnd, g.hi[r], ch.lines, ch.count, last, ch.falling);
        }
    };
    backprojectwalk::walk<RowGroup<R>, R>(
        rows.image, rows.stride, rows.zs, rows.ze, rows.xs, rows.xe, Kernel::tileRows, chunks, shape, add);
}

/// The block and row routines of `run` over a vector variant's register-block routine:
///   Ops::lanes: pixels per vector;
///   Ops::add<R, V, Falling>(rows, z, x, count, lines, lineCount, last): `count` blocks of R rows ×
///       V vectors from column x on;
///   Ops::tail(row, z, x, n, lines, lineCount, last, falling): the last n < lanes pixels of a row.
template<class Ops, int R, int V, int TileRows, int TileColumns> struct VectorKernel
{
    static constexpr int groupRows = R;
    static constexpr int vectors = V;
    static constexpr int blockWidth = Ops::lanes * V;
    static constexpr int tileRows = TileRows;
    static constexpr int tileColumns = TileColumns;

    static void blocks(double *const *rows, const int *z, int x, int count, const BackProjectionLine *lines,
        int lineCount, int last, bool falling)
    {
        if (falling)
            Ops::template add<R, V, true>(rows, z, x, count, lines, lineCount, last);
        else
            Ops::template add<R, V, false>(rows, z, x, count, lines, lineCount, last);
    }

    static void row(double *row, int z, int xa, int xb, const BackProjectionLine *lines, int lineCount,
        int last, bool falling)
    {
        if (xb <= xa)
            return;
        const int full = (xb - xa) / Ops::lanes;
        if (full > 0) {
            if (falling)
                Ops::template add<1, 1, true>(&row, &z, xa, full, lines, lineCount, last);
            else
                Ops::template add<1, 1, false>(&row, &z, xa, full, lines, lineCount, last);
        }
        const int done = xa + Ops::lanes * full;
        if (done < xb)
            Ops::tail(row, z, done, xb - done, lines, lineCount, last, falling);
    }
};

// The variants' entry points.
void runGeneric(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last);
void runAvx2(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last);
void runAvx512(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last);

} // namespace backprojection
