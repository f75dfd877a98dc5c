#pragma once

/// Adds the filtered row q into one image row for x in [xs, xe): t = x·c + b + C is the detector
/// position of pixel x, interpolated linearly between samples j = ⌊t⌋ and j + 1 when both exist
/// (0 ≤ j < lastSample). q must have 16 readable values after q[lastSample]. The variant for the processor
/// (generic, AVX2 or AVX-512 gathers) is chosen when the program starts; all of them compute the same bits
/// (no fused multiply-add).
constexpr int backProjectRowPadding = 16;
void addBackProjectedRow(
    double *out, int xs, int xe, const double *q, int lastSample, double c, double b, double C);

/// The variant in use: "generic", "AVX2" or "AVX-512".
const char *backProjectionKernelName();

/// Runs one given variant (for tests); false when the processor lacks its instructions.
enum class BackProjectionVariant { Generic, Avx2, Avx512 };
bool addBackProjectedRowWith(BackProjectionVariant variant, double *out, int xs, int xe, const double *q,
    int lastSample, double c, double b, double C);
