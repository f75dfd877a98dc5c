#pragma once

// C++
#include <span>

// Qt
#include <QImage>

/// The grey mapping of a colour bar: a value window (minV at the bottom, maxV at the top of the bar)
/// and two handles lo/hi, fractions of the bar height. Every image generator maps its values
/// through one of these, so the picture always agrees with the bar beside it.
struct GreyScale
{
    double minV = 0.0;
    double maxV = 1.0;
    double lo = 0.0;
    double hi = 1.0;
    bool fixed = false; // a fixed scale keeps minV/maxV when new data arrive

    /// ((v − minV)/(maxV − minV) − lo) · 256/(hi − lo), clamped to 0 … 255 and truncated.
    /// An infinite ratio gives 255 (+∞) or 0 (−∞); an undefined one (NaN) gives 0.
    int level(double v) const { return levelOfFraction((v - minV) / (maxV - minV)); }

    /// (f − lo) · 256/(hi − lo), clamped and truncated like `level`.
    int levelOfFraction(double f) const
    {
        const double g = (f - lo) * 256.0 / (hi - lo);
        if (!(g > 0.0)) // also NaN
            return 0;
        if (g >= 255.0)
            return 255;
        return static_cast<int>(g);
    }

    /// Takes the data range unless the scale is fixed.
    void adoptRange(double dataMin, double dataMax)
    {
        if (!fixed) {
            minV = dataMin;
            maxV = dataMax;
        }
    }
};

/// Smallest and largest value (NaNs are passed over); (0, 0) for no data.
void valueRange(std::span<const double> values, double &min, double &max);

/// An 8-bit grey image of width × height pixels; `values` holds height rows of width values.
QImage greyImage(std::span<const double> values, int width, int height, const GreyScale &scale);

/// The rule of every image generator: the scale takes the data's range (unless it is fixed),
/// then the values are mapped through it. Safe on any thread: it touches only `scale`.
QImage greyImageOfData(std::span<const double> values, int width, int height, GreyScale &scale);
