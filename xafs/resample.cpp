#include "xafs/resample.h"

// Local
#include "xafs/alignkernels.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// A source position this close to a whole voxel is that voxel (float rounding of the shift).
constexpr double wholeTolerance = 1e-6;

struct AxisShift
{
    long first = 0; // the first of the four samples of output 0
    float weights[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool whole = false; // a whole-voxel shift: a copy
    long wholeShift = 0;
};

AxisShift axisShift(double s)
{
    AxisShift a;
    const double nearest = std::round(s);
    if (std::abs(s - nearest) < wholeTolerance) {
        a.whole = true;
        a.wholeShift = static_cast<long>(nearest);
        return a;
    }
    const double base = std::floor(s);
    const double f = s - base;
    a.first = static_cast<long>(base) - 1;
    const double g = 1.0 - f;
    a.weights[0] = static_cast<float>(g * g * g / 6.0);
    a.weights[1] = static_cast<float>((4.0 - 6.0 * f * f + 3.0 * f * f * f) / 6.0);
    a.weights[2] = static_cast<float>((1.0 + 3.0 * f + 3.0 * f * f - 3.0 * f * f * f) / 6.0);
    a.weights[3] = static_cast<float>(f * f * f / 6.0);
    return a;
}

// Lines of `count` samples `stride` apart, `width` of them side by side in `lines`, shifted into
// `out` (same layout). Whole shifts copy, clamping at the ends (those voxels become NaN later).
void shiftBlock(float *lines, float *out, std::size_t count, std::size_t stride, std::size_t width,
    const AxisShift &a, const AlignKernels &k)
{
    if (a.whole) {
        const long n = static_cast<long>(count);
        for (long i = 0; i < n; ++i) {
            const long j = std::clamp(i + a.wholeShift, 0L, n - 1);
            std::memcpy(out + i * stride, lines + j * stride, width * sizeof(float));
        }
        return;
    }
    k.prefilterLines(lines, count, stride, width);
    k.shiftLines(lines, out, count, stride, width, a.first, a.weights);
}

} // namespace

ValidRange validRange(int n, double shift)
{
    ValidRange r;
    r.first = std::clamp(static_cast<int>(std::ceil(-shift - wholeTolerance)), 0, n);
    r.end = std::clamp(static_cast<int>(std::floor(n - 1 - shift + wholeTolerance)) + 1, r.first, n);
    return r;
}

ResampleCounts shiftVolume(Volume &volume, const Shift3 &shift, std::span<const std::uint64_t> nonFinite)
{
    ResampleCounts counts;
    const VolumeShape s = volume.shape;
    if (s.voxels() == 0)
        return counts;
    const AlignKernels &k = alignKernels();
    const AxisShift ax = axisShift(shift.x), ay = axisShift(shift.y), az = axisShift(shift.z);
    float *v = volume.values.data();
    const std::size_t nx = std::size_t(s.nx), ny = std::size_t(s.ny), nz = std::size_t(s.nz);

    // Along x: blocks of rows turned so that the rows lie side by side.
    if (!(ax.whole && ax.wholeShift == 0)) {
        constexpr std::size_t block = 16;
        std::vector<float> in(nx * block), out(nx * block);
        const std::size_t rows = nz * ny;
        for (std::size_t r0 = 0; r0 < rows; r0 += block) {
            const std::size_t w = std::min(block, rows - r0);
            for (std::size_t r = 0; r < w; ++r)
                for (std::size_t x = 0; x < nx; ++x)
                    in[x * w + r] = v[(r0 + r) * nx + x];
            shiftBlock(in.data(), out.data(), nx, w, w, ax, k);
            for (std::size_t r = 0; r < w; ++r)
                for (std::size_t x = 0; x < nx; ++x)
                    v[(r0 + r) * nx + x] = out[x * w + r];
        }
    }
    // Along y: each slice in place, the rows side by side already.
    if (!(ay.whole && ay.wholeShift == 0)) {
        std::vector<float> out(ny * nx);
        for (std::size_t z = 0; z < nz; ++z) {
            float *plane = v + z * ny * nx;
            shiftBlock(plane, out.data(), ny, nx, nx, ay, k);
            std::memcpy(plane, out.data(), ny * nx * sizeof(float));
        }
    }
    // Along z: a few rows of every slice at a time, gathered so that the buffer stays small.
    if (!(az.whole && az.wholeShift == 0)) {
        const std::size_t rowsPerBlock = std::max<std::size_t>(1, 4096 / nx);
        std::vector<float> in(nz * rowsPerBlock * nx), out(in.size());
        for (std::size_t y0 = 0; y0 < ny; y0 += rowsPerBlock) {
            const std::size_t width = std::min(rowsPerBlock, ny - y0) * nx;
            for (std::size_t z = 0; z < nz; ++z)
                std::memcpy(in.data() + z * width, v + (z * ny + y0) * nx, width * sizeof(float));
            shiftBlock(in.data(), out.data(), nz, width, width, az, k);
            for (std::size_t z = 0; z < nz; ++z)
                std::memcpy(v + (z * ny + y0) * nx, out.data() + z * width, width * sizeof(float));
        }
    }

    // What came from outside, then what touched a value that was not finite.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const ValidRange rz = validRange(s.nz, shift.z), ry = validRange(s.ny, shift.y),
                     rx = validRange(s.nx, shift.x);
    for (std::size_t z = 0; z < nz; ++z)
        for (std::size_t y = 0; y < ny; ++y) {
            float *row = v + (z * ny + y) * nx;
            if (int(z) < rz.first || int(z) >= rz.end || int(y) < ry.first || int(y) >= ry.end) {
                std::fill(row, row + nx, nan);
                continue;
            }
            std::fill(row, row + rx.first, nan);
            std::fill(row + rx.end, row + nx, nan);
        }
    counts.outside = s.voxels()
        - std::size_t(rz.end - rz.first) * std::size_t(ry.end - ry.first) * std::size_t(rx.end - rx.first);
    for (const std::uint64_t index : nonFinite) {
        if (index >= s.voxels())
            continue;
        const long p[3] = {long(index / (ny * nx)), long(index / nx % ny), long(index % nx)};
        long lo[3], hi[3];
        for (int a = 0; a < 3; ++a) { // outputs i with |i + shift − p| < 1
            lo[a] = std::max(0L, static_cast<long>(std::floor(p[a] - shift[a] - 1.0)) + 1);
            hi[a] = std::min(long(s.extent(a)) - 1, static_cast<long>(std::ceil(p[a] - shift[a] + 1.0)) - 1);
        }
        for (long z = lo[0]; z <= hi[0]; ++z)
            for (long y = lo[1]; y <= hi[1]; ++y)
                for (long x = lo[2]; x <= hi[2]; ++x) {
                    float &o = v[(std::size_t(z) * ny + std::size_t(y)) * nx + std::size_t(x)];
                    if (!std::isnan(o)) {
                        o = nan;
                        ++counts.nonFinite;
                    }
                }
    }
    return counts;
}
