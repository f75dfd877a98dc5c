#pragma once

// Local
#include "ct/stripeparams.h"
#include <span>
#include <vector>

enum class StripeSide { Both, High, Low };

/// The values that stand out of `values` (one per column), after the detection of N. T. Vo,
/// R. C. Atwood and M. Drakopoulos (Optics Express 26, 28396, 2018): a line fitted to the middle half
/// of the sorted values gives the spread (its rise over all of them); when the largest (smallest)
/// value lies `snr` spreads or more beyond the line's end, every value more than snr/2 spreads beyond
/// it is marked, on the sides `side` names. Fewer than 8 values: none.
std::vector<unsigned char> stripeOutliers(
    std::span<const double> values, double snr, StripeSide side = StripeSide::Both);

/// Finds the columns of `att` (`width` × `height`, row after row) that do not respond (they hardly
/// vary along the angle, against their neighbours) or read far noisier than their neighbours, and
/// fills each with a column on either side row by row along the cubic through the two nearest good
/// columns on each side. A column that varies little is taken for dead only when it also departs from
/// what its neighbours make of it (the cubic through the columns two and three away on each side):
/// about the rotation axis a sample looks alike from every angle, and its columns vary as little as a
/// dead one's. One that departs grossly but still varies (a dead pixel blended with a live one) must
/// read as a share of a direct neighbour, and lie beyond twice the half window of the axis; a noisy
/// one must read twice as noisy at least (about the axis four times, and alone). The outermost two
/// columns on each side are left as they are.
/// \test tst_stripefilter.cpp
void removeDeadColumns(double *att, int width, int height, const StripeParams &params);
