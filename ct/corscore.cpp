#include "ct/corscore.h"

// Local
#include <algorithm>
#include <cmath>
#include <fftw3.h>
#include <limits>
#include <numbers>

CorScoreSetup corScoreSetup(int smallestN, const Region *region)
{
    CorScoreSetup s;
    // Two pixels inside the circle the engine fills: its rim is where the back-projection starts
    // and stops, in every trial at another place.
    s.radius = std::max(0.0, 0.5 * smallestN - 2.0);
    if (region) {
        s.hasRegion = true;
        s.region = *region;
    }
    const double pixels = std::numbers::pi * s.radius * s.radius;
    s.bins = std::clamp(static_cast<int>(std::lround(std::sqrt(pixels))), 16, 4096);
    return s;
}

double equalisingWeight(double rho, double frac)
{
    if (rho > std::numbers::pi)
        return 0.0;
    const double f = std::clamp(frac, 0.0, 1.0);
    const double half = std::abs(std::cos(0.5 * rho)); // |H_½(ρ)|
    const double h2 = 1.0 - 2.0 * f * (1.0 - f) * (1.0 - std::cos(rho)); // |H_f(ρ)|² ≥ |H_½(ρ)|²
    return h2 > 0.0 ? std::min(1.0, half / std::sqrt(h2)) : 1.0;
}

double differentialEntropy(std::span<const double> values, int bins)
{
    if (values.empty() || bins < 1)
        return 0.0;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double min = *lo, max = *hi;
    if (!(max > min) || !std::isfinite(max - min))
        return 0.0;
    const double width = (max - min) / bins;
    std::vector<double> counts(static_cast<size_t>(bins), 0.0);
    for (double v : values) {
        const int b = std::min(bins - 1, static_cast<int>((v - min) / width));
        counts[static_cast<size_t>(std::max(0, b))] += 1.0;
    }
    double h = 0.0;
    const double total = static_cast<double>(values.size());
    for (double c : counts) {
        if (c > 0.0) {
            const double p = c / total;
            h -= p * std::log(p);
        }
    }
    return h + std::log(width);
}

CorScorer::~CorScorer()
{
    release();
}

void CorScorer::release()
{
    if (forward_)
        fftw_destroy_plan(static_cast<fftw_plan>(forward_));
    if (inverse_)
        fftw_destroy_plan(static_cast<fftw_plan>(inverse_));
    fftw_free(real_);
    fftw_free(spectrum_);
    forward_ = inverse_ = nullptr;
    real_ = nullptr;
    spectrum_ = nullptr;
    n_ = 0;
}

void CorScorer::setup(int n)
{
    if (n == n_)
        return;
    release();
    if (n < 2)
        return;
    const size_t size = static_cast<size_t>(n);
    real_ = fftw_alloc_real(size * size);
    auto *spectrum = fftw_alloc_complex(size * (size / 2 + 1));
    spectrum_ = spectrum;
    if (!real_ || !spectrum) {
        release();
        return;
    }
    forward_ = fftw_plan_dft_r2c_2d(n, n, real_, spectrum, FFTW_ESTIMATE);
    inverse_ = fftw_plan_dft_c2r_2d(n, n, spectrum, real_, FFTW_ESTIMATE);
    n_ = n;
}

double CorScorer::score(std::span<const double> image, int n, double frac, const CorScoreSetup &setup)
{
    const size_t size = static_cast<size_t>(n);
    if (n != n_ || n < 2 || image.size() < size * size)
        return std::numeric_limits<double>::quiet_NaN();
    std::copy_n(image.data(), size * size, real_);
    fftw_execute(static_cast<fftw_plan>(forward_));
    // The weight depends on the radial frequency only; the inverse transform is unnormalised.
    const size_t half = size / 2 + 1;
    auto *spectrum = static_cast<fftw_complex *>(spectrum_);
    const double toRadians = 2.0 * std::numbers::pi / n;
    const double scale = 1.0 / (double(n) * n);
    for (size_t z = 0; z < size; ++z) {
        const double kz = z <= size / 2 ? double(z) : double(z) - n;
        for (size_t x = 0; x < half; ++x) {
            const double rho = toRadians * std::sqrt(kz * kz + double(x) * double(x));
            const double w = equalisingWeight(rho, frac) * scale;
            spectrum[z * half + x][0] *= w;
            spectrum[z * half + x][1] *= w;
        }
    }
    fftw_execute(static_cast<fftw_plan>(inverse_));

    // The values inside the common circle (and the region).
    const double centre = 0.5 * n;
    const double r2 = setup.radius * setup.radius;
    long long x0 = 0, x1 = n, z0 = 0, z1 = n;
    if (setup.hasRegion) {
        long long a = 0, b = 0;
        if (regionPixelRange(setup.region.x0, setup.region.x1, a, b)) {
            x0 = std::max(x0, a);
            x1 = std::min(x1, b);
        }
        if (regionPixelRange(setup.region.z0, setup.region.z1, a, b)) {
            z0 = std::max(z0, a);
            z1 = std::min(z1, b);
        }
    }
    std::vector<double> inside;
    inside.reserve(static_cast<size_t>(std::numbers::pi * r2) + 16);
    for (long long z = z0; z < z1; ++z) {
        const double dz = double(z) - centre;
        for (long long x = x0; x < x1; ++x) {
            const double dx = double(x) - centre;
            if (dx * dx + dz * dz < r2)
                inside.push_back(real_[static_cast<size_t>(z) * size + static_cast<size_t>(x)]);
        }
    }
    return differentialEntropy(inside, setup.bins);
}
