#pragma once

// Local
#include "ct/backprojectsingle.h"
#include "ct/backprojectwalk.h"
#include <algorithm>
#include <vector>

// The order in which the single-precision back-projection visits pixels, shared by its variants:
// tiles of rows and columns that take the lines in chunks (backprojectwalk.h), but in whole
// groups of 16 pixels (the groups the positions are anchored on, at multiples of 16 in x). A
// register block is R rows × B groups; pixels of a group outside the row's span are computed and
// not stored.
//
// A variant supplies Kernel::groupRows (R), Kernel::blockGroups (B), Kernel::tileRows,
// Kernel::tileColumns (a multiple of 16·B) and
//   template<int R, int B> Kernel::block(rows, z, x, lo, hi, chunk, last):
//       the groups from column x (a multiple of 16) on, pixels lo[r] … hi[r] − 1 of row r.

namespace backprojectsingle {

constexpr int group = backProjectionGroup;
constexpr int anchorReach = backProjectionAnchorReach;
using backprojectwalk::chunkLines;

/// The lines of a chunk, field by field (so that a variant loads several lines' values at once);
/// the slots past `count` hold a line at rest (no sample is read for them).
struct Chunk
{
    int count = 0;
    bool falling = false; // c < 0
    alignas(64) double c[chunkLines] = {};
    alignas(64) double ms[chunkLines] = {};
    alignas(64) double C[chunkLines] = {};
    alignas(64) float slope[chunkLines] = {};
    const float *q[chunkLines] = {};
};

inline std::vector<Chunk> chunksOf(std::span<const BackProjectionLineSingle> lines)
{
    const std::vector<int> starts = backprojectwalk::chunkStarts(lines);
    std::vector<Chunk> chunks(starts.size() - 1);
    for (size_t i = 0; i < chunks.size(); ++i) {
        Chunk &ch = chunks[i];
        ch.count = starts[i + 1] - starts[i];
        ch.falling = lines[starts[i]].c < 0.0;
        for (int k = 0; k < ch.count; ++k) {
            const BackProjectionLineSingle &l = lines[starts[i] + k];
            ch.c[k] = l.c;
            ch.ms[k] = l.ms;
            ch.C[k] = l.C;
            ch.slope[k] = l.slope;
            ch.q[k] = l.q;
        }
    }
    return chunks;
}

/// The group anchor's x for a group starting at xg.
inline int anchorX(int xg, bool falling)
{
    return falling ? xg + group - 1 : xg;
}

/// One group of rows of a tile: the 16-pixel groups its rows touch, columns a … b − 1.
template<int R> struct RowGroup : backprojectwalk::RowGroupBase<float, R>
{
    int a = 0, b = 0; // multiples of 16
};

template<class Kernel>
void run(const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int last)
{
    if (lines.empty() || rows.ze <= rows.zs)
        return;
    constexpr int R = Kernel::groupRows;
    constexpr int B = Kernel::blockGroups;
    constexpr int width = group * B;
    static_assert(Kernel::tileColumns % width == 0 && Kernel::tileRows % R == 0);
    const std::vector<Chunk> chunks = chunksOf(lines);
    auto shape = [](RowGroup<R> &g) {
        bool any = false;
        for (int r = 0; r < g.rows; ++r) {
            if (g.hi[r] <= g.lo[r])
                continue;
            const int a = g.lo[r] / group * group, b = (g.hi[r] + group - 1) / group * group;
            g.a = any ? std::min(g.a, a) : a;
            g.b = any ? std::max(g.b, b) : b;
            any = true;
        }
        g.columnTiles = any ? (g.b - g.a + Kernel::tileColumns - 1) / Kernel::tileColumns : 0;
    };
    auto add = [last](RowGroup<R> &g, int tc, const Chunk &chunk) {
        const int from = g.a + tc * Kernel::tileColumns;
        const int to = std::min(g.b, from + Kernel::tileColumns);
        int x = from;
        if (g.rows == R) {
            for (; x + width <= to; x += width)
                Kernel::template block<R, B>(g.ptr, g.z, x, g.lo, g.hi, chunk, last);
            for (; x < to; x += group)
                Kernel::template block<R, 1>(g.ptr, g.z, x, g.lo, g.hi, chunk, last);
        } else {
            for (int r = 0; r < g.rows; ++r)
                for (int xg = x; xg < to; xg += group)
                    Kernel::template block<1, 1>(&g.ptr[r], &g.z[r], xg, &g.lo[r], &g.hi[r], chunk, last);
        }
    };
    backprojectwalk::walk<RowGroup<R>, R>(
        rows.image, rows.stride, rows.zs, rows.ze, rows.xs, rows.xe, Kernel::tileRows, chunks, shape, add);
}

// The variants' entry points.
void runGeneric(
    const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int last);
void runAvx2(const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int last);
void runAvx512(
    const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int last);

} // namespace backprojectsingle
