#pragma once

// Local
#include "ct/stripeparams.h"
#include <span>
#include <vector>

/// Stripe (ring) removal in a sinogram of attenuation values, after the methods of N. T. Vo,
/// R. C. Atwood and M. Drakopoulos, "Superior techniques for eliminating ring artifacts in X-ray
/// micro-tomography", Optics Express 26, 28396 (2018), made safe for the sample:
/// - dead: a column that hardly varies along the angle (unresponsive) or far more than its
///   neighbours (fluctuating), found by the paper's detection and confirmed against the cubic through
///   the columns two and three away (removeDeadColumns), is filled along that cubic;
/// - large: a column's offset is its median difference, over the angles, from its `largeSize` − 1
///   neighbours at each angle, taken off when it holds in every quarter of the turn (an offset seen
///   over part of the turn only is the sample's). Three passes, so that a strong stripe's pull on its
///   neighbours' medians is undone. Stripes up to half the window wide;
/// - sorting: each column sorted along the angle is compared rank by rank with its neighbours'
///   (the median over `smallSize` − 1 columns) and, where the difference holds in every quarter of the
///   ranks, replaced by theirs in its own rank order: small stripes, those that drift over the turn
///   and those present in part of the projections only.
/// On attenuation values a detector gain error is an offset (the paper divides intensities). A median
/// of neighbours leaves the column itself out and keeps the column's own value when it lies between
/// the two middle values, so that a linear trend or any monotonic run of columns is followed exactly.
/// "all" runs dead first, then large and sorting on what it left: a column both find is levelled
/// (its offset is exact), one only the sorting finds is replaced. The offsets are found from a few
/// hundred rows (ranks) taken evenly.
///
/// What tells a stripe from the sample. Near the rotation axis a feature traces a small sinusoid, so
/// its column changes little with the angle, as a faulty column does; a plain median of the
/// neighbours lies below a peak of the profile in every row and takes the peak for a stripe. So:
/// - an offset counts only when the plain median and one that follows the curvature of the columns'
///   mean profile (each neighbour lowered by the parabola of that profile) both find it; where the two
///   differ, the curved one gives the values. A sample column deviates from its neighbours by no more
///   than the profile's own curvature, a fault by a step;
/// - a sample centred on the axis (a tube, a cylinder) shows its edges at the same columns from every
///   angle, but at both sides of the axis alike: an offset that stands far out of the others and whose
///   column matches its mirror image about the axis (p(θ + 180°, a + t) = p(θ, a − t)) is the sample's;
/// - on the axis column itself, its own mirror image, only an offset twice the usual margin is taken:
///   a stripe there draws a dot in the middle of the slice, which a thin feature on the axis would too;
/// - within twice the half window of the axis a small sample beside it (a bump of the profile narrower
///   than the window, whose columns see it at every angle) makes any median of the neighbours miss
///   its columns in every quarter: there an offset counts only where the column's mean also departs
///   from the cubic of its neighbours' as a stripe's does (a quarter of the offset for the levelling,
///   half for the sorting);
/// - a stripe on a slope of the sample steeper than itself lies between its neighbours in every row,
///   so the median that keeps the column's value sees nothing: beyond that the levelling also
///   asks the neighbours' median alone, and takes its offset only where the column's mean departs
///   from the cubic of its neighbours' as a stripe's does and is no half of a step nor part of a bend
///   (that median takes the bent sides and the steps of a sample seen alike from every angle for
///   stripes too).
/// The changes hold only where they stand out of the noise (`snr` times the spread of the estimate;
/// below a thousandth of the sinogram's largest value noise counts as that much), so a sinogram
/// without stripes comes out unchanged. Non-finite samples are interpolated along their row first.
/// What is left: a stripe pair of like size at mirrored columns is kept as a centred ring of the
/// sample, a small stripe on the axis column as a dot, a faint band of stripes on a steep slope (the
/// cubic of its neighbours follows it), about the axis a band of faulty columns, and stripes in part of
/// the turn that hardly move their column's mean (elsewhere such a stripe is found where it shifts
/// every quarter of a sorted column and moves the mean or shows row by row: the edge of a small dense
/// feature that turns at the same columns for a good part of the turn shifts the ranks alone). Any
/// thread; the working memory is kept per thread.
/// \test tst_stripefilter.cpp, tst_ringphantoms.cpp
void removeStripes(std::span<double> att, int width, int height, const StripeParams &params);

/// Gives back the working memory the calling thread keeps between sinograms.
void releaseStripeWorkspace();
