#pragma once

// Qt
#include <QString>

// Local
#include "display/greyscale.h"
#include <functional>
#include <vector>

/// A value written on a colour bar: the range's ends read along the bar, the handle being dragged
/// at its middle, the window's bounds across it beside their markers.
struct BarLabel
{
    enum class Kind { Max, Min, Grabbed, Hi, Lo };
    Kind kind = Kind::Max;
    double value = 0.0;
    QString text;
    /// The rows of the bar it covers, 0 at the top.
    double from = 0.0;
    double to = 0.0;
};

/// What the bar shows and how large its labels are.
struct BarLabelSetup
{
    double barHeight = 0.0;
    double fontHeight = 0.0;
    GreyScale scale;
    /// The handle being dragged: Kind::Hi, Kind::Lo, or Kind::Max for none.
    BarLabel::Kind grabbed = BarLabel::Kind::Max;
    /// The length of a text on screen (the labels along the bar cover that much of it).
    std::function<double(const QString &)> textLength;
};

/// The labels that fit on the bar, in their order of importance (maximum, minimum, the dragged
/// handle, the upper and the lower window bound): each is kept when it lies on the bar and clear of
/// those kept before it, so that no two overlap however short the bar.
/// \test tst_barlabels.cpp
std::vector<BarLabel> barLabels(const BarLabelSetup &setup);

/// A value as the bar writes it: general format, 6 significant digits.
QString barNumberText(double v);
