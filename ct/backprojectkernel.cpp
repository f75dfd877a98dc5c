#include "ct/backprojectkernel.h"

// Local
#include <cmath>
#include <immintrin.h>

// Every variant computes, for each pixel, exactly the operations of the generic one in the same
// order — t = (x·c + b) + C, f = ⌊t⌋, q[j] + (q[j+1] − q[j])·(t − f) — and leaves skipped pixels
// untouched, so all of them give the same bits.

namespace {

void addRowGeneric(double *__restrict out, int xs, int xe, const double *__restrict q, int lastSample,
    double c, double b, double C)
{
    for (int x = xs; x < xe; ++x) {
        const double t = (double(x) * c + b) + C;
        const double f = std::floor(t);
        if (f >= 0.0 && f < lastSample) {
            const int j = static_cast<int>(f);
            out[x] += q[j] + (q[j + 1] - q[j]) * (t - f);
        }
    }
}

__attribute__((target("avx2"))) void addRowAvx2(double *__restrict out, int xs, int xe,
    const double *__restrict q, int lastSample, double c, double b, double C)
{
    const __m256d vc = _mm256_set1_pd(c), vb = _mm256_set1_pd(b), vC = _mm256_set1_pd(C);
    const __m256d zero = _mm256_setzero_pd(), last = _mm256_set1_pd(lastSample);
    __m128i xi = _mm_add_epi32(_mm_set1_epi32(xs), _mm_setr_epi32(0, 1, 2, 3));
    const __m128i four = _mm_set1_epi32(4);
    int x = xs;
    for (; x + 4 <= xe; x += 4, xi = _mm_add_epi32(xi, four)) {
        const __m256d t = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(xi), vc), vb), vC);
        const __m256d f = _mm256_floor_pd(t);
        const __m256d in
            = _mm256_and_pd(_mm256_cmp_pd(f, zero, _CMP_GE_OQ), _mm256_cmp_pd(f, last, _CMP_LT_OQ));
        const __m128i j = _mm256_cvttpd_epi32(_mm256_and_pd(f, in)); // 0 where the pair does not exist
        const __m256d q0 = _mm256_mask_i32gather_pd(zero, q, j, in, 8);
        const __m256d q1 = _mm256_mask_i32gather_pd(zero, q + 1, j, in, 8);
        const __m256d v = _mm256_add_pd(q0, _mm256_mul_pd(_mm256_sub_pd(q1, q0), _mm256_sub_pd(t, f)));
        const __m256d o = _mm256_loadu_pd(out + x);
        _mm256_storeu_pd(out + x, _mm256_blendv_pd(o, _mm256_add_pd(o, v), in));
    }
    addRowGeneric(out, x, xe, q, lastSample, c, b, C);
}

// Eight neighbouring pixels fall on at most ten neighbouring detector samples (|c| ≤ 1), so instead
// of gathering q[j] and q[j + 1] pixel by pixel, the sixteen samples from the smallest j on are
// loaded at once and the two values of every pixel picked out with a permute. The rows handed in
// have 16 readable samples of padding after their end for that load.
__attribute__((target("avx512f"))) void addRowAvx512(double *__restrict out, int xs, int xe,
    const double *__restrict q, int lastSample, double c, double b, double C)
{
    const __m512d vc = _mm512_set1_pd(c), vb = _mm512_set1_pd(b), vC = _mm512_set1_pd(C);
    const __m512d zero = _mm512_setzero_pd(), last = _mm512_set1_pd(lastSample);
    const __m512i one = _mm512_set1_epi64(1);
    __m256i xi = _mm256_add_epi32(_mm256_set1_epi32(xs), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i eight = _mm256_set1_epi32(8);
    int x = xs;
    for (; x + 8 <= xe; x += 8, xi = _mm256_add_epi32(xi, eight)) {
        const __m512d t = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(_mm512_cvtepi32_pd(xi), vc), vb), vC);
        const __m512d f = _mm512_roundscale_pd(t, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
        const __mmask8 in = _mm512_cmp_pd_mask(f, zero, _CMP_GE_OQ) & _mm512_cmp_pd_mask(f, last, _CMP_LT_OQ);
        __m512d q0, q1;
        if (in == 0xff) {
            const __m256i j = _mm512_cvttpd_epi32(f);
            const int first = _mm256_extract_epi32(j, 0);
            const int lastJ = _mm256_extract_epi32(j, 7);
            const int base = first < lastJ ? first : lastJ; // j runs monotonically along x
            const __m512d lo = _mm512_loadu_pd(q + base);
            const __m512d hi = _mm512_loadu_pd(q + base + 8);
            const __m512i k = _mm512_cvtepi32_epi64(_mm256_sub_epi32(j, _mm256_set1_epi32(base)));
            q0 = _mm512_permutex2var_pd(lo, k, hi);
            q1 = _mm512_permutex2var_pd(lo, _mm512_add_epi64(k, one), hi);
        } else {
            const __m256i j = _mm512_maskz_cvttpd_epi32(in, f);
            q0 = _mm512_mask_i32gather_pd(zero, in, j, q, 8);
            q1 = _mm512_mask_i32gather_pd(zero, in, j, q + 1, 8);
        }
        const __m512d v = _mm512_add_pd(q0, _mm512_mul_pd(_mm512_sub_pd(q1, q0), _mm512_sub_pd(t, f)));
        const __m512d o = _mm512_loadu_pd(out + x);
        _mm512_storeu_pd(out + x, _mm512_mask_add_pd(o, in, o, v));
    }
    addRowGeneric(out, x, xe, q, lastSample, c, b, C);
}

using RowKernel = void (*)(double *, int, int, const double *, int, double, double, double);

RowKernel chooseKernel()
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f"))
        return addRowAvx512;
    if (__builtin_cpu_supports("avx2"))
        return addRowAvx2;
    return addRowGeneric;
}

const RowKernel kernel = chooseKernel();

} // namespace

void addBackProjectedRow(
    double *out, int xs, int xe, const double *q, int lastSample, double c, double b, double C)
{
    kernel(out, xs, xe, q, lastSample, c, b, C);
}

bool addBackProjectedRowWith(BackProjectionVariant variant, double *out, int xs, int xe, const double *q,
    int lastSample, double c, double b, double C)
{
    __builtin_cpu_init();
    switch (variant) {
    case BackProjectionVariant::Generic:
        addRowGeneric(out, xs, xe, q, lastSample, c, b, C);
        return true;
    case BackProjectionVariant::Avx2:
        if (!__builtin_cpu_supports("avx2"))
            return false;
        addRowAvx2(out, xs, xe, q, lastSample, c, b, C);
        return true;
    case BackProjectionVariant::Avx512:
        if (!__builtin_cpu_supports("avx512f"))
            return false;
        addRowAvx512(out, xs, xe, q, lastSample, c, b, C);
        return true;
    }
    return false;
}

const char *backProjectionKernelName()
{
    if (kernel == addRowAvx512)
        return "AVX-512";
    if (kernel == addRowAvx2)
        return "AVX2";
    return "generic";
}
