#pragma once

// Local
#include "xafs/volume.h"
#include <cmath>
#include <random>

// Volumes of a CT-XAFS sample for the alignment's tests and benchmark: an analytic, nearly
// band-limited phantom (smooth-edged ellipsoids) drawn at a known shift.

/// A column along z (it runs through every slice, as a sample does) with inserts: two of a "matrix"
/// material and two of the absorbing element, whose contrast is `element` (1 below the edge, 5 well
/// above). The whole sample is drawn at `shift` voxels from its reference place.
inline Volume phantomVolume(const VolumeShape &s, const Shift3 &shift, double element)
{
    Volume v;
    v.shape = s;
    v.values.resize(s.voxels());
    const auto inside = [](double q, double radius) { // 1 inside, 0 outside, an edge of about a voxel
        return 0.5 * (1.0 + std::erf((1.0 - q) * radius / (0.8 * std::sqrt(2.0))));
    };
    const double cy = s.ny / 2.0, cx = s.nx / 2.0, fz = s.nz / 32.0, fxy = s.nx / 64.0;
    for (int z = 0; z < s.nz; ++z)
        for (int y = 0; y < s.ny; ++y)
            for (int x = 0; x < s.nx; ++x) {
                const double Z = z - shift.z, Y = y - shift.y - cy, X = x - shift.x - cx;
                const auto q = [&](double oz, double oy, double ox, double rz, double ry, double rx) {
                    return std::sqrt(std::pow((Z - oz * fz) / (rz * fz), 2)
                        + std::pow((Y - oy * fxy) / (ry * fxy), 2)
                        + std::pow((X - ox * fxy) / (rx * fxy), 2));
                };
                double value = inside(std::sqrt(Y * Y + X * X) / (0.36 * s.nx), 0.36 * s.nx);
                value += 0.4 * inside(q(10, 8, -5, 7, 6, 5), 5 * fxy);
                value -= 0.3 * inside(q(22, -3, 10, 9, 4, 4), 4 * fxy);
                value += 0.5 * element * inside(q(16, -9, -8, 5, 5, 5), 5 * fxy);
                value += 0.5 * element * inside(q(8, 6, 9, 3.5, 3.5, 3.5), 3.5 * fxy);
                v.values[(std::size_t(z) * s.ny + y) * s.nx + x] = static_cast<float>(value);
            }
    return v;
}

inline void addNoise(Volume &v, double sigma, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, sigma);
    for (float &x : v.values)
        x += static_cast<float>(g(rng));
}
