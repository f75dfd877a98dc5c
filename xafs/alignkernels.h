#pragma once

// Local
#include <cstddef>

/// The hot loops of the registration and the resampling, each compiled three times (generic, AVX2,
/// AVX-512) from one source; the widest the processor has is chosen when the program starts
/// (QV_KERNEL=avx2 or QV_KERNEL=generic in the environment asks for a narrower one, as for the
/// back-projection). All variants do the same operations in the same order on each value, so they
/// differ only where a sum is split into lanes. Complex numbers are interleaved (re, im).
/// \test tst_registration.cpp
struct AlignKernels
{
    /// Points of the upsampled DFT per axis: one vector of floats on AVX-512.
    static constexpr int dftPoints = 16;

    /// Σ w[i]·src[i] and Σ w[i] over n values, in float lanes.
    void (*weightedSum)(const float *src, const float *w, std::size_t n, double *sum, double *weights);
    /// dst[i] = (src[i] − mean)·scale·w[i].
    void (*windowRow)(const float *src, const float *w, float scale, float mean, float *dst, std::size_t n);
    /// c[k] ← c[k]/|c[k]| (0 where |c| is 0) over n complex values.
    void (*whiten)(float *c, std::size_t n);
    /// m[k] ← g·gx[k]·m[k]·conj(r[k])/|m[k]| over n complex values, r already whitened: the
    /// phase-correlation cross-power spectrum, weighted.
    void (*crossPower)(float *m, const float *r, const float *gx, float g, std::size_t n);
    /// For each of `rows` rows of n complex values c: out[row][j] = Σ_k c[k]·e[k][j], e given as
    /// re and im tables of n × dftPoints; out as re and im, rows × dftPoints each.
    void (*dftRows)(const float *c, std::size_t rows, std::size_t n, const float *eRe, const float *eIm,
        float *outRe, float *outIm);
    /// The cubic B-spline prefilter along an axis whose samples lie `stride` floats apart, over
    /// `width` neighbouring lines at once (v[k·stride + i], i < width): causal and anticausal passes
    /// with the pole √3 − 2 and mirror boundaries (Unser; Thévenaz, Blu and Unser 2000).
    void (*prefilterLines)(float *v, std::size_t count, std::size_t stride, std::size_t width);
    /// out[i·stride + l] = Σ_k w[k]·c[mirror(i + first + k)·stride + l] for i < count, l < width:
    /// a shift by a constant, four weights of the cubic B-spline.
    void (*shiftLines)(const float *c, float *out, std::size_t count, std::size_t stride, std::size_t width,
        long first, const float *w);
    /// Sums over the pairs where a[i] is not NaN: count, Σa, Σb, Σa², Σb², Σab.
    void (*pairSums)(const float *a, const float *b, std::size_t n, double *sums);
};

/// The variant in use ("generic", "AVX2" or "AVX-512") and its loops.
const AlignKernels &alignKernels();
const char *alignKernelName();

enum class AlignKernelVariant { Generic, Avx2, Avx512 };
/// The variant in use, for the other loops of the library (the XANES maps') to follow.
AlignKernelVariant alignKernelVariant();
/// Whether the processor has the instructions of `variant`.
bool hasKernelVariant(AlignKernelVariant variant);
/// One given variant (for tests and benchmarks); none when the processor lacks its instructions.
const AlignKernels *alignKernelsOf(AlignKernelVariant variant);
