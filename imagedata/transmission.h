#pragma once

// Qt
#include <QString>

// Local
#include <cmath>
#include <span>

/// Attenuation of one sample: ln(a′/b′) with a = I0 − BG and b = I − BG, where a difference that is
/// not positive is replaced by 1 (so a raw value at or below the dark level gives ln a′). A NaN
/// passes unchanged. No exposure time enters: counts are used as read.
inline double attenuation(double i0, double bg, double raw)
{
    double a = i0 - bg;
    double b = raw - bg;
    if (a <= 0.0)
        a = 1.0;
    if (b <= 0.0)
        b = 1.0;
    return std::log(a / b);
}

/// `attenuation` sample by sample over equally long lines; `att` may alias none of the inputs.
void attenuationLine(std::span<const double> i0, std::span<const double> bg, std::span<const double> raw,
    std::span<double> att);

/// The samples of a line where I0 is not above BG (I0 − BG ≤ 0, or not a number): the correction
/// takes 1 for the reference there, which makes the attenuation meaningless at those samples.
qsizetype countI0NotAboveBg(std::span<const double> i0, std::span<const double> bg);

/// Whether `count` such samples of a line of `samples` fail its correction: more than half of them.
inline bool i0NotAboveBgFails(qsizetype count, qsizetype samples)
{
    return 2 * count > samples;
}

/// Why a correction failed: "I0 is not above BG: check the I0 and BG images".
QString i0NotAboveBgText();
