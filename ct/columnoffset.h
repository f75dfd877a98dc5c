#pragma once

// Local
#include <span>

/// The spread of the median of n samples of a normal distribution, in units of their spread.
constexpr double medianSpreadFactor = 1.2533;

/// The median of `values` (the upper one of an even count). Reorders them.
float medianOf(float *values, int n);

/// The margin a quarter's median of `n` values must stand beyond: `snr` times the spread of the median
/// of a quarter of them, each of spread `spread`.
double quarterMargin(int n, double spread, double snr);

/// Whether column j's mean departs from the cubic through the two columns on either side of it in
/// `mean` (which follows a smooth profile) as an offset `level` makes it: to the same side, by `share`
/// of the offset or more, and by `margin` at least (the spread the noise gives the departure). False
/// within two columns of an end.
bool departsLikeOffset(std::span<const double> mean, int j, double level, double share = 0.5, double margin = 0.0);

/// Whether the medians of the four quarters of `values` (of the turn, or of the ranks) all lie on the
/// same side of 0 and stand out of `spread` (the spread of one value) `snr` times, and none more than
/// `alike` times another, give or take the noise. A stripe offsets a column alike in every
/// quarter of the turn; a small dense feature of the sample that turns at the column's distance from
/// the axis dwells there for a good part of the turn and makes some quarters stand far out of the
/// others. (Quarters of the ranks differ by the sample's spread of values anyway.) Reorders `values`
/// within each quarter.
/// \test tst_stripefilter.cpp
bool holdsInEveryQuarter(float *values, int n, double spread, double snr, double alike);

/// The median of the `n` differences of a column from a reference in `values` (its offset), and in
/// `holds` whether it holds in every quarter (`holdsInEveryQuarter`). The whole median lies between the
/// smallest and the largest of the quarters' medians, so an offset within a quarter's margin cannot
/// hold in all of them: the quarters are looked at only for an offset beyond it, which few columns
/// have. Reorders `values`; `scratch` takes n values.
/// \test tst_stripefilter.cpp
double offsetOf(float *values, float *scratch, int n, double spread, double snr, double alike, bool &holds);

/// The typical size of the columns' offsets: 1.4826 times the median magnitude.
/// \test tst_stripefilter.cpp
double typicalOffset(std::span<const double> level);

/// Whether an offset found against the neighbours' median alone (`OwnValue::Left`) at column j, where
/// the median that keeps a column's own value found none, is a stripe's. That happens on a slope of the
/// sample's profile steeper than the stripe, where it is right, and where the sample's profile bends
/// alike at every angle (the sides of a sample on the axis, its sharp edges), where it is not: the
/// median of the neighbours lies off a curve by its depth and halfway up a step. So the column's mean
/// (`mean`, the profile as levelled so far) must depart from the cubic of its neighbours as the offset
/// makes it (`departsLikeOffset`). A step shows to the other side of half the size in just one of the two
/// columns beside it; a stripe on a steep slope, which the neighbours' medians take in halfway, in both,
/// and in neither to the same side: where a column beside it shows an offset to the same side (a third
/// of it or more), the three lie on a bend of the profile (the flank of a body, where its edge turns at
/// those columns for many angles) or in a band of stripes that the cubic cannot tell.
/// \test tst_stripefilter.cpp
bool stripeAlone(std::span<const double> mean, std::span<const double> level, int j);
