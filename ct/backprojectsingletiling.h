#pragma once

// Local
#include "ct/backprojectsingle.h"
#include <algorithm>
#include <vector>

// The order in which the single-precision back-projection visits pixels, shared by its variants:
// tiles of rows and columns that take the lines in chunks, as the double one does, but in whole
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
constexpr int chunkLines = 16;

/// Chunk boundaries: at most `chunkLines` lines each, cut where the sign of c changes.
inline std::vector<int> chunkStarts(std::span<const BackProjectionLineSingle> lines)
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
    const std::vector<int> starts = chunkStarts(lines);
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

template<int R> struct RowGroup
{
    int rows = 0;
    float *ptr[R];
    int z[R];
    int lo[R], hi[R];
    int a = 0, b = 0; // the groups' columns: a … b − 1, multiples of 16
    int columnTiles = 0;
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
    std::vector<RowGroup<R>> groups;
    for (int tz = rows.zs; tz < rows.ze; tz += Kernel::tileRows) {
        const int tzEnd = std::min(rows.ze, tz + Kernel::tileRows);
        groups.clear();
        int columnTiles = 0;
        for (int z = tz; z < tzEnd; z += R) {
            RowGroup<R> g;
            g.rows = std::min(R, tzEnd - z);
            bool any = false;
            for (int r = 0; r < g.rows; ++r) {
                g.ptr[r] = rows.image + static_cast<size_t>(z + r) * rows.stride;
                g.z[r] = z + r;
                g.lo[r] = rows.xs[z + r - rows.zs];
                g.hi[r] = rows.xe[z + r - rows.zs];
                if (g.hi[r] <= g.lo[r])
                    continue;
                const int a = g.lo[r] / group * group, b = (g.hi[r] + group - 1) / group * group;
                g.a = any ? std::min(g.a, a) : a;
                g.b = any ? std::max(g.b, b) : b;
                any = true;
            }
            if (!any)
                continue;
            g.columnTiles = (g.b - g.a + Kernel::tileColumns - 1) / Kernel::tileColumns;
            columnTiles = std::max(columnTiles, g.columnTiles);
            groups.push_back(g);
        }
        for (int tc = 0; tc < columnTiles; ++tc) {
            for (const Chunk &chunk : chunks) {
                for (RowGroup<R> &g : groups) {
                    if (tc >= g.columnTiles)
                        continue;
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
                                Kernel::template block<1, 1>(
                                    &g.ptr[r], &g.z[r], xg, &g.lo[r], &g.hi[r], chunk, last);
                    }
                }
            }
        }
    }
}

// The variants' entry points.
void runGeneric(
    const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int last);
void runAvx2(const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int last);
void runAvx512(
    const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int last);

} // namespace backprojectsingle
