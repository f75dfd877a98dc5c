#include "ct/corline.h"

// Local
#include <algorithm>
#include <cmath>

std::optional<CorLineFit> fitCorLine(std::span<const int> slices, std::span<const double> cors)
{
    const size_t n = std::min(slices.size(), cors.size());
    if (n < 2)
        return std::nullopt;
    // About the mean slice, so that large slice numbers lose no precision.
    double ms = 0.0, mc = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ms += slices[i];
        mc += cors[i];
    }
    ms /= double(n);
    mc /= double(n);
    double sss = 0.0, ssc = 0.0;
    for (size_t i = 0; i < n; ++i) {
        sss += (slices[i] - ms) * (slices[i] - ms);
        ssc += (slices[i] - ms) * (cors[i] - mc);
    }
    if (!(sss > 0.0))
        return std::nullopt;
    CorLineFit fit;
    fit.slope = ssc / sss;
    fit.intercept = mc - fit.slope * ms;
    fit.points = static_cast<int>(n);
    double sum2 = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double r = cors[i] - fit.at(slices[i]);
        sum2 += r * r;
        fit.maxResidual = std::max(fit.maxResidual, std::abs(r));
    }
    fit.rms = std::sqrt(sum2 / double(n));
    return fit;
}

std::vector<int> spreadSlices(int from, int to, int count)
{
    std::vector<int> slices;
    const int n = std::max(1, count);
    for (int i = 0; i < n; ++i) {
        const double s = n == 1 ? 0.5 * (double(from) + to) : from + (double(to) - from) * i / (n - 1);
        const int slice = static_cast<int>(std::lround(s));
        if (slices.empty() || slices.back() != slice)
            slices.push_back(slice);
    }
    return slices;
}
