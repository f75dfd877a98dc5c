#pragma once

// Qt
#include <QImage>
#include <QString>

// Local
#include <optional>
#include <utility>
#include <vector>

/// Maps of shares (the fractions, the mask) are pictured over 0 … 1.
bool isShareMap(const QString &name);

/// The range a map's picture spans: the one given (fractions and the mask: 0 to 1), else the 1st to
/// the 99th percentile of its numbers; 0 to 1 when it has none.
std::pair<double, double> mapRange(
    const std::vector<float> &values, std::optional<std::pair<double, double>> fixed);

/// The picture of one slice of a map (nx × ny values, row after row): the slice in the colours of
/// viridis over `range` with square pixels (the longer side about 384 pixels), NaN (masked) in light
/// grey, a colour bar beside it with the ends of the range written at its ends, and `title` above.
/// \test tst_xanesfiles.cpp
QImage mapPicture(
    const std::vector<float> &values, int nx, int ny, std::pair<double, double> range, const QString &title);

/// The colour of a value at `f` (0 … 1) along the bar.
QRgb mapColour(double f);
