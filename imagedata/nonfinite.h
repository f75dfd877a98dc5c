#pragma once

// Qt
#include <QString>

// Local
#include <cstdint>
#include <span>

/// What the repair of an image's pixels that are not finite (NaN, ±inf: a float detector's dead or
/// saturated pixels, a damaged frame) found.
struct NonFiniteCount
{
    std::int64_t found = 0; // pixels that were not finite (and were replaced, where a row allowed)
    std::int64_t pixels = 0; // pixels looked at
    std::int64_t rowsWithout = 0; // rows without a finite pixel (left as they were)

    NonFiniteCount &operator+=(const NonFiniteCount &o)
    {
        found += o.found;
        pixels += o.pixels;
        rowsWithout += o.rowsWithout;
        return *this;
    }
    /// More than 1 % of the pixels, or a whole row, were not finite: the image is not to be used.
    bool tooMany() const { return rowsWithout > 0 || found * 100 > pixels; }
};

/// Replaces each run of samples of a row that are not finite by the straight line between the
/// finite samples on either side (the nearest finite one where the run reaches an end), as dead
/// pixels are; a row without a finite sample is left as it is and counted apart. `roundToFloat`:
/// the row holds float samples read into doubles, and gets the values the float row would.
/// \test tst_tiffreader.cpp, tst_hdf5scan.cpp
NonFiniteCount repairRow(std::span<double> row, bool roundToFloat = false);
NonFiniteCount repairRow(std::span<float> row);

/// Why an image is not used ("12000 of 65536 pixels are not finite (more than 1 %)"), empty when
/// it may be; when pixels were replaced, a warning names the image (`label`) and their count.
QString judgeNonFinite(const NonFiniteCount &count, const QString &label);
