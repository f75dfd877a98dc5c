#include "ct/columnoffset.h"

// Local
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

float medianOf(float *values, int n)
{
    const int m = n / 2;
    std::nth_element(values, values + m, values + n);
    return values[m];
}

double quarterMargin(int n, double spread, double snr)
{
    return snr * medianSpreadFactor * spread / std::sqrt(double(std::max(n / 4, 1)));
}

bool departsLikeOffset(std::span<const double> mean, int j, double level, double share, double margin)
{
    const int w = static_cast<int>(mean.size());
    if (j < 2 || j + 2 >= w)
        return false;
    const double cubic = 2.0 / 3.0 * (mean[j - 1] + mean[j + 1]) - 1.0 / 6.0 * (mean[j - 2] + mean[j + 2]);
    const double departure = mean[j] - cubic;
    return departure * level > 0.0 && std::abs(departure) >= std::max(share * std::abs(level), margin);
}

bool holdsInEveryQuarter(float *values, int n, double spread, double snr, double alike)
{
    const int quarter = n / 4;
    if (quarter < 2)
        return false;
    const double limit = quarterMargin(n, spread, snr);
    double smallest = std::numeric_limits<double>::max(), largest = 0.0;
    int above = 0, below = 0;
    for (int q = 0; q < 4; ++q) {
        const int k0 = q * quarter, k1 = q == 3 ? n : k0 + quarter;
        const double m = medianOf(values + k0, k1 - k0);
        above += m > limit;
        below += m < -limit;
        smallest = std::min(smallest, std::abs(m));
        largest = std::max(largest, std::abs(m));
    }
    return (above == 4 || below == 4) && largest <= alike * smallest + std::sqrt(2.0) * limit;
}

double offsetOf(float *values, float *scratch, int n, double spread, double snr, double alike, bool &holds)
{
    std::copy(values, values + n, scratch);
    const double m = medianOf(scratch, n);
    const int quarter = n / 4;
    holds = quarter >= 2 && std::abs(m) > quarterMargin(n, spread, snr)
        && holdsInEveryQuarter(values, n, spread, snr, alike);
    return m;
}

double typicalOffset(std::span<const double> level)
{
    std::vector<double> size(level.begin(), level.end());
    if (size.empty())
        return 0.0;
    for (double &v : size)
        v = std::abs(v);
    std::nth_element(size.begin(), size.begin() + size.size() / 2, size.end());
    return 1.4826 * size[size.size() / 2];
}

bool stripeAlone(std::span<const double> mean, std::span<const double> level, int j)
{
    if (!departsLikeOffset(mean, j, level[j]))
        return false;
    int opposite = 0, alike = 0;
    for (int n : {j - 1, j + 1}) {
        opposite += level[n] * level[j] < 0.0 && std::abs(level[n]) >= 0.4 * std::abs(level[j]);
        alike += level[n] * level[j] > 0.0 && std::abs(level[n]) >= 0.3 * std::abs(level[j]);
    }
    return opposite != 1 && alike == 0;
}
