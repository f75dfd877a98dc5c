#pragma once

// Local
#include "ct/backprojectkernel.h"
#include <cstddef>
#include <span>

/// One filtered projection in 32-bit floats, as the single-precision back-projection sees it. The
/// detector position of a pixel is worked out in doubles only at the anchor of its group of 16
/// pixels along a row (the group's first pixel when c ≥ 0, its last when c < 0), and from there in
/// floats, relative to the sample below the anchor:
///   tₐ = (xₐ·c + ms·z) + C, fₐ = ⌊tₐ⌋, u = float(tₐ − fₐ) + float(d)·slope, d = |x − xₐ| ≤ 15,
///   j = fₐ + ⌊u⌋, the pixel receives q[j] + (q[j + 1] − q[j])·(u − ⌊u⌋) when 0 ≤ j < lastSample.
/// `slope` is float(|c|), at most the float below 1, so that u < d + 1 ≤ 16 and a group's samples
/// lie within 17 of the anchor's; the positions are within 3·10⁻⁶ of a sample of the exact ones.
/// q must have `backProjectRowPaddingSingle` readable values after q[lastSample].
struct BackProjectionLineSingle
{
    const float *q = nullptr;
    double c = 0.0; // cos θ
    double ms = 0.0; // −sin θ
    double C = 0.0; // h − (c·h − s·h)
    float slope = 0.0f; // singleSlope(c)
};
constexpr int backProjectRowPaddingSingle = 48;
constexpr int backProjectionGroup = 16;

/// The step of u from one pixel of a group to the next.
inline float singleSlope(double c)
{
    const float a = static_cast<float>(c < 0.0 ? -c : c);
    return a < 0x1.fffffep-1f ? a : 0x1.fffffep-1f;
}

/// The pixels to update: rows zs … ze − 1 of a float image whose row z starts at image + z·stride,
/// row z from column xs[z − zs] to xe[z − zs] − 1. Every row must be readable and writable up to
/// the multiple of 64 at or above its xe (the variants load and store whole groups; they write back
/// the values they found where a group reaches past the pixels to update).
struct BackProjectionRowsSingle
{
    float *image = nullptr;
    std::size_t stride = 0;
    int zs = 0;
    int ze = 0;
    const int *xs = nullptr;
    const int *xe = nullptr;
};

/// The row length a float image needs for `n` columns.
inline std::size_t singleImageStride(int n)
{
    return (static_cast<std::size_t>(n > 0 ? n : 0) + 63) / 64 * 64 + 64;
}

/// Adds every line into every pixel of `rows`, each pixel receiving its contributions in the order
/// of `lines`, in floats. The variants (generic, AVX2, AVX-512; chosen like the double ones, QV_KERNEL
/// included) compute the same bits.
void addBackProjectionsSingle(
    const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int lastSample);

/// Runs one given variant (tests and benchmarks); false when the processor lacks its instructions.
bool addBackProjectionsSingleWith(BackProjectionVariant variant, const BackProjectionRowsSingle &rows,
    std::span<const BackProjectionLineSingle> lines, int lastSample);
