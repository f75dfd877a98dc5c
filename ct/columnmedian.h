#pragma once

// Local
#include <cstddef>
#include <span>

/// Rows are handled in lanes of this many floats: a column's stride must be a multiple of it.
constexpr std::size_t medianLanes = 16;

/// What a column's reference is where its own value lies between its neighbours' two middle values.
enum class OwnValue {
    Kept, // the value itself: a step or a slope passes unchanged, a stripe on a slope is not seen
    Left, // the neighbours' median even so: a stripe steeper or shallower than the slope is seen
};

/// The index of a column `e` places beyond either edge of `columns`, mirrored about the edge
/// (… c b a | a b c … x y z | z y x …), as often as it takes.
int reflectedColumn(long e, int columns);

/// For every row k < stride and column j, what the neighbours of j make of its value in[j·stride + k]:
/// with lo ≤ hi the two middle values of the `window` − 1 columns centred on j without j itself
/// (columns beyond the edges mirrored; an even window counts as the next odd one), out[j·stride + k]
/// is the value itself when it lies between them (a median over the window with it would keep it: a
/// step or a slope passes unchanged), else (lo + hi)/2 (the neighbours' median, which follows a
/// linear trend across the columns exactly and is blind to the column's own stripe). A matrix of
/// `columns` columns of `stride` finite floats each; `in` and `out` do not overlap.
/// The rows run in lanes side by side, each keeping its window sorted: a column leaves and one comes
/// in per step, with no branch on the values, so a window of w costs about w operations per lane.
/// Only columns first … last − 1 are written (last < 0: to the end). With `OwnValue::Left` the
/// neighbours' median is taken whatever the value itself.
/// \test tst_sinogramgen.cpp
void medianAcrossColumns(const float *in, float *out, int columns, std::size_t stride, int window, int first = 0,
    int last = -1, OwnValue own = OwnValue::Kept);

/// As `medianAcrossColumns` over all rows, with each neighbour first lowered by the parabola of the
/// sample's mean profile about column j: the neighbour at distance d by curvature[j]·d²/2. The
/// reference then also follows a sample whose columns curve as its mean profile does (about the
/// rotation axis, where the sample looks alike from every angle and a plain median of the neighbours
/// lies below a peak and above a trough), and still follows a linear trend or any monotonic run of
/// columns exactly. Windows up to 65 columns are sorted in lanes (Batcher's bitonic network); wider
/// ones a row at a time.
/// \test tst_stripefilter.cpp
void medianAcrossColumnsCurved(const float *in, float *out, int columns, std::size_t stride, int window,
    std::span<const double> curvature, int first = 0, int last = -1, OwnValue own = OwnValue::Kept);
