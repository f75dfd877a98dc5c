#pragma once

// Local
#include "ct/stripeparams.h"
#include <span>
#include <vector>

/// Stripe (ring) removal in a sinogram of attenuation values, after the methods of N. T. Vo,
/// R. C. Atwood and M. Drakopoulos, "Superior techniques for eliminating ring artifacts in X-ray
/// micro-tomography", Optics Express 26, 28396 (2018), made safe for samples with sharp edges:
/// - dead: a column that hardly varies along the angle (unresponsive) or far more than its
///   neighbours (fluctuating) is found from its summed deviation from a running mean along the
///   angle against the median of its neighbours (the paper's detection), and interpolated from the
///   nearest good columns;
/// - large: the normalisation of columns against their neighbours. A column's offset is its median
///   difference, over the angles, from the median of the `largeSize` − 1 columns about it at each
///   angle; it is taken off when it holds in every quarter of the turn (the paper's smoothed sorted
///   columns pass the sample's own structure for stripes where it turns; an offset seen over part of
///   the turn only is the sample's). Three passes, so that a strong stripe's pull on its neighbours'
///   medians is undone. Stripes up to half the window wide.
/// - sorting: each column sorted along the angle is compared rank by rank with its neighbours'
///   (the median over `smallSize` − 1 columns) and, where the difference holds in every quarter of the
///   ranks, replaced by theirs in its own rank order: small stripes and those present in part of the
///   projections only.
/// On attenuation values a detector gain error is an offset (the paper divides intensities). A median
/// of neighbours leaves the column itself out and takes the mean of the two middle values, so that a
/// linear trend across the columns is followed exactly. "all" runs the three in that order. The
/// changes hold only where they stand out of the noise (`snr` times the spread of the estimate), so
/// a sinogram without stripes comes out (nearly) unchanged. Non-finite samples are interpolated along
/// their row first. Any thread; the working memory is kept per thread.
/// \test tst_sinogramgen.cpp
void removeStripes(std::span<double> att, int width, int height, const StripeParams &params);

enum class StripeSide { Both, High, Low };

/// The values that stand out of `values` (one per column), after the paper's detection: a line fitted
/// to the middle half of the sorted values gives the spread (its rise over all of them); when the
/// largest (smallest) value lies `snr` spreads or more beyond the line's end, every value more than
/// snr/2 spreads beyond it is marked, on the sides `side` names. Fewer than 8 values: none.
std::vector<unsigned char> stripeOutliers(
    std::span<const double> values, double snr, StripeSide side = StripeSide::Both);

/// Gives back the working memory the calling thread keeps between sinograms.
void releaseStripeWorkspace();
