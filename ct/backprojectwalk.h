#pragma once

// Local
#include <algorithm>
#include <span>
#include <vector>

// The walk over the image that every back-projection variant shares, in double and in single
// precision. The image is cut into tiles of rows; the rows of a tile are gathered in groups (the
// rows a register block spans), and each group may be cut into column tiles. The lines are taken
// in chunks of consecutive ones, so that a tile and the part of a chunk's filtered rows that falls on
// it stay in the second-level cache. For every column tile, every chunk is added into every group in
// line order: each pixel still receives its contributions one after the other in the order of the
// lines, so the sums are those of a line-by-line pass.
//
// A chunk never mixes lines with c ≥ 0 and c < 0, so a variant may order the pixels of a vector by
// falling x where the detector position falls with x.

namespace backprojectwalk {

constexpr int chunkLines = 16;

/// Chunk boundaries: at most `chunkLines` lines each, cut where the sign of c changes; the last
/// entry is the line count.
template<class Line> std::vector<int> chunkStarts(std::span<const Line> lines)
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

/// The rows of one group: their pointers, image rows and spans of pixels (lo … hi − 1), and how
/// many column tiles the variant cuts the group into.
template<typename Pixel, int R> struct RowGroupBase
{
    int rows = 0;
    Pixel *ptr[R];
    int z[R];
    int lo[R], hi[R];
    int columnTiles = 0;
};

/// Walks rows zs … ze − 1 of `image` (rows `stride` apart, row z spanning xs[z − zs] … xe[z − zs] − 1)
/// in tiles of `tileRows` rows and groups of R rows. `shape(group)` completes a group whose rows are
/// filled in (its column tiles; a group of no column tile is left out); then `add(group, tile,
/// chunk)` runs for every column tile, every chunk of `chunks` and every group that has that tile.
template<class Group, int R, typename Pixel, class Chunks, class Shape, class Add>
void walk(Pixel *image, size_t stride, int zs, int ze, const int *xs, const int *xe, int tileRows,
    const Chunks &chunks, Shape shape, Add add)
{
    std::vector<Group> groups;
    for (int tz = zs; tz < ze; tz += tileRows) {
        const int tzEnd = std::min(ze, tz + tileRows);
        groups.clear();
        int columnTiles = 0;
        for (int z = tz; z < tzEnd; z += R) {
            Group g;
            g.rows = std::min(R, tzEnd - z);
            for (int r = 0; r < g.rows; ++r) {
                g.ptr[r] = image + static_cast<size_t>(z + r) * stride;
                g.z[r] = z + r;
                g.lo[r] = xs[z + r - zs];
                g.hi[r] = xe[z + r - zs];
            }
            shape(g);
            if (g.columnTiles < 1)
                continue;
            columnTiles = std::max(columnTiles, g.columnTiles);
            groups.push_back(g);
        }
        for (int tc = 0; tc < columnTiles; ++tc)
            for (const auto &chunk : chunks)
                for (Group &g : groups)
                    if (tc < g.columnTiles)
                        add(g, tc, chunk);
    }
}

} // namespace backprojectwalk
