#pragma once

// Local
#include <optional>
#include <span>
#include <vector>

/// A rotation axis that is not parallel to the detector lines: its centre moves linearly along the
/// slices. Two (slice, centre) records define the line; any slice's centre is interpolated (or
/// extrapolated) on it.
/// \test tst_corguess.cpp
struct CorLine
{
    int slice1 = -1;
    double cor1 = 0.0;
    int slice2 = -1;
    double cor2 = 0.0;

    /// Both records are slices (not negative) and they differ.
    bool isValid() const { return slice1 >= 0 && slice2 >= 0 && slice1 != slice2; }
    /// c1 + (c2 − c1) · (s − s1) / (s2 − s1).
    double at(int slice) const { return cor1 + (cor2 - cor1) * (slice - slice1) / double(slice2 - slice1); }
};

/// The least-squares line through (slice, centre) points and how well it fits.
struct CorLineFit
{
    double intercept = 0.0; // centre at slice 0
    double slope = 0.0; // pixels per slice
    double rms = 0.0; // root mean square of the residuals
    double maxResidual = 0.0;
    int points = 0;

    double at(int slice) const { return intercept + slope * slice; }
    /// The line as two records at `from` and `to`.
    CorLine records(int from, int to) const { return {from, at(from), to, at(to)}; }
};

/// A fit above this many pixels (root mean square) is no straight axis: the guesses disagree.
constexpr double corLineResidualLimit = 0.5;

/// The fit through the points; none for fewer than two points or all at one slice.
std::optional<CorLineFit> fitCorLine(std::span<const int> slices, std::span<const double> cors);

/// `count` slices spread evenly over from … to, both ends included (rounded to whole slices,
/// without repeats; at least one).
std::vector<int> spreadSlices(int from, int to, int count);
