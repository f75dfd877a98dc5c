#pragma once

// Local
#include "ct/backprojectkernel.h"
#include <cstddef>
#include <span>

/// One filtered projection in 32-bit floats, as the single-precision back-projection sees it.
/// Whether pixel (x, z) takes a sample pair is decided as in double precision, on
/// t = (x·c + ms·z) + C: when 0 ≤ t < lastSample (so the same pixels take part, and a sample at the
/// end of the detector is never half in). Where, is worked out in doubles only at the anchor of the
/// pixel's group of 16 along the row (the group's first pixel when c ≥ 0, its last when c < 0), and
/// from there in floats, relative to the sample below the anchor:
///   tₐ = (xₐ·c + ms·z) + C, fₐ = ⌊tₐ⌋, u = float(tₐ − fₐ) + float(d)·slope, d = |x − xₐ| ≤ 15,
///   j = fₐ + ⌊u⌋, fr = u − ⌊u⌋ (j < 0: j = 0, fr = 0; j ≥ lastSample: j = lastSample − 1, fr = 1),
/// and the pixel receives q[j] + (q[j + 1] − q[j])·fr. No pixel of a group takes part when fₐ lies
/// more than 64 samples outside the detector (never for |c| ≤ 1 and a pixel that takes part).
/// `slope` is float(|c|), at most the float below 1, so that u < d + 1 ≤ 16: a group's samples lie
/// within 17 of the anchor's, and the positions within 3·10⁻⁶ of a sample of the exact ones.
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
constexpr int backProjectionAnchorReach = 64; // how far outside the detector an anchor may lie

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
