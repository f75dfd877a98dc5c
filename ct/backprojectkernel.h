#pragma once

// Local
#include <cstddef>
#include <span>

/// One filtered projection as the back-projection sees it: pixel (x, z) lies at the detector
/// position t = (x·c + ms·z) + C, and receives q[j] + (q[j + 1] − q[j])·(t − j) with j = ⌊t⌋ when
/// both samples exist (0 ≤ j < lastSample). q must have `backProjectRowPadding` readable values
/// after q[lastSample]; the wide loads read them, no result uses them.
struct BackProjectionLine
{
    const double *q = nullptr;
    double c = 0.0; // cos θ
    double ms = 0.0; // −sin θ
    double C = 0.0; // h − (c·h − s·h)
};
constexpr int backProjectRowPadding = 16;

/// The pixels to update: rows zs … ze − 1 of an image whose row z starts at image + z·stride, row z
/// from column xs[z − zs] to xe[z − zs] − 1.
struct BackProjectionRows
{
    double *image = nullptr;
    std::size_t stride = 0;
    int zs = 0;
    int ze = 0;
    const int *xs = nullptr;
    const int *xe = nullptr;
};

/// Adds every line into every pixel of `rows`, each pixel receiving its contributions in the order
/// of `lines`. Pixels are visited in blocks that stay in registers for several consecutive lines,
/// and the sums are the same bits as one line after the other over the whole image. The variant for
/// the processor (generic, AVX2 or AVX-512) is chosen when the program starts (QV_KERNEL=avx2 or
/// QV_KERNEL=generic in the environment asks for a narrower one); all of them compute the same bits
/// (no fused multiply-add).
void addBackProjections(
    const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int lastSample);

/// The variant in use: "generic", "AVX2" or "AVX-512".
const char *backProjectionKernelName();

/// Runs one given variant (for tests and benchmarks); false when the processor lacks its instructions.
enum class BackProjectionVariant { Generic, Avx2, Avx512 };
/// The variant in use.
BackProjectionVariant backProjectionVariant();
bool addBackProjectionsWith(BackProjectionVariant variant, const BackProjectionRows &rows,
    std::span<const BackProjectionLine> lines, int lastSample);
