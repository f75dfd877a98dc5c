#include "ct/corscore.h"

// Local
#include "ct/fftwplanner.h"
#include "ct/fftlength.h"
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
    if (forward_ || inverse_) {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        if (forward_)
            fftwf_destroy_plan(static_cast<fftwf_plan>(forward_));
        if (inverse_)
            fftwf_destroy_plan(static_cast<fftwf_plan>(inverse_));
    }
    fftwf_free(real_);
    fftwf_free(spectrum_);
    forward_ = inverse_ = nullptr;
    real_ = nullptr;
    spectrum_ = nullptr;
    n_ = 0;
    size_ = 0;
    inside_ = std::vector<double>();
}

void CorScorer::setup(int n)
{
    // The image is 0 outside its inscribed circle: padding it with zeros to a size FFTW likes
    // changes nothing inside the circle, and the trials of a scan (a few pixels apart in size)
    // share one size.
    const int m = n >= 2 ? fastFftLength(n) : 0;
    if (m == size_ && m > 0) {
        n_ = n;
        return;
    }
    release();
    if (n < 2)
        return;
    const size_t size = static_cast<size_t>(m);
    real_ = fftwf_alloc_real(size * size);
    auto *spectrum = fftwf_alloc_complex(size * (size / 2 + 1));
    spectrum_ = spectrum;
    if (!real_ || !spectrum) {
        release();
        return;
    }
    {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        forward_ = fftwf_plan_dft_r2c_2d(m, m, real_, spectrum, FFTW_ESTIMATE);
        inverse_ = fftwf_plan_dft_c2r_2d(m, m, spectrum, real_, FFTW_ESTIMATE);
    }
    n_ = n;
    size_ = m;
}

double CorScorer::score(std::span<const double> image, int n, double frac, const CorScoreSetup &setup)
{
    const size_t rowLength = static_cast<size_t>(n);
    if (n != n_ || n < 2 || size_ < n || image.size() < rowLength * rowLength)
        return std::numeric_limits<double>::quiet_NaN();
    const size_t size = static_cast<size_t>(size_);
    for (size_t z = 0; z < size; ++z) {
        float *row = real_ + z * size;
        if (z < rowLength) {
            const double *from = image.data() + z * rowLength;
            for (size_t x = 0; x < rowLength; ++x)
                row[x] = static_cast<float>(from[x]);
            std::fill(row + rowLength, row + size, 0.0f);
        } else {
            std::fill(row, row + size, 0.0f);
        }
    }
    fftwf_execute(static_cast<fftwf_plan>(forward_));

    // The weight depends on the radial frequency only: a table over the radius r (in frequency
    // bins, ρ = 2π·r/size) in half bins, interpolated; the inverse transform is unnormalised.
    const double scale = 1.0 / (double(size_) * size_);
    const int last = size_ + 2; // half bins up to r = size/2 + 1, beyond which ρ > π
    std::vector<float> table(static_cast<size_t>(last) + 2, 0.0f);
    for (int i = 0; i <= last; ++i)
        table[static_cast<size_t>(i)]
            = static_cast<float>(equalisingWeight(std::numbers::pi * i / size_, frac) * scale);
    const size_t half = size / 2 + 1;
    auto *spectrum = static_cast<fftwf_complex *>(spectrum_);
    for (size_t z = 0; z < size; ++z) {
        const double kz = z <= size / 2 ? double(z) : double(z) - size_;
        fftwf_complex *row = spectrum + z * half;
        for (size_t x = 0; x < half; ++x) {
            const double at = 2.0 * std::sqrt(kz * kz + double(x) * double(x)); // in half bins
            const size_t i = static_cast<size_t>(at);
            float w = 0.0f;
            if (i < static_cast<size_t>(last)) {
                const float t = static_cast<float>(at - double(i));
                w = table[i] + t * (table[i + 1] - table[i]);
            }
            row[x][0] *= w;
            row[x][1] *= w;
        }
    }
    fftwf_execute(static_cast<fftwf_plan>(inverse_));

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
    inside_.clear();
    for (long long z = z0; z < z1; ++z) {
        const double dz = double(z) - centre;
        const float *row = real_ + static_cast<size_t>(z) * size;
        for (long long x = x0; x < x1; ++x) {
            const double dx = double(x) - centre;
            if (dx * dx + dz * dz < r2)
                inside_.push_back(row[x]);
        }
    }
    return differentialEntropy(inside_, setup.bins);
}
