// The AVX-512 variant of the single-precision back-projection: blocks of 2 rows × 4 anchor groups
// (one vector of 16 floats each) held in registers while a chunk of lines is added. The anchors of
// a chunk are worked out first, eight at a time in doubles; then each group fetches its samples from
// a window of 32 with four loads and two two-table permutes (its positions lie within 16 samples).

// Local
#include "ct/backprojectsingletiling.h"
#include <cstdint>
#include <immintrin.h>

#define QV_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl")))

namespace backprojectsingle {

namespace {

template<int N> struct Anchors
{
    alignas(32) std::int32_t j0[chunkLines][N]; // ⌊tₐ⌋ (INT_MIN where it is not a number that fits)
    alignas(32) float f0[chunkLines][N]; // tₐ − ⌊tₐ⌋
};

QV_AVX512 inline __m512 reversed(__m512 v)
{
    return _mm512_permutexvar_ps(_mm512_setr_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0), v);
}

// A group near the ends of the detector: which pixels take part is decided on their positions in
// doubles, the samples are gathered; inline, so that the accumulators stay in registers.
QV_AVX512 inline __m512 lanesAdded(__m512 acc, const float *q, int j0, __m512 u, int last, double xa,
    bool falling, double c, double b, double C)
{
    const __m512d order
        = falling ? _mm512_setr_pd(0, -1, -2, -3, -4, -5, -6, -7) : _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7);
    const __m512d step = _mm512_set1_pd(falling ? -8.0 : 8.0);
    const __m512d xLow = _mm512_add_pd(_mm512_set1_pd(xa), order), xHigh = _mm512_add_pd(xLow, step);
    const __m512d cV = _mm512_set1_pd(c), bV = _mm512_set1_pd(b), CV = _mm512_set1_pd(C);
    const __m512d zero = _mm512_setzero_pd(), lastV = _mm512_set1_pd(last);
    const __m512d tLow = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(xLow, cV), bV), CV);
    const __m512d tHigh = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(xHigh, cV), bV), CV);
    const __mmask8 inLow
        = _mm512_cmp_pd_mask(tLow, zero, _CMP_GE_OQ) & _mm512_cmp_pd_mask(tLow, lastV, _CMP_LT_OQ);
    const __mmask8 inHigh
        = _mm512_cmp_pd_mask(tHigh, zero, _CMP_GE_OQ) & _mm512_cmp_pd_mask(tHigh, lastV, _CMP_LT_OQ);
    const __mmask16 in = _mm512_kunpackb(inHigh, inLow);
    __m512i j = _mm512_add_epi32(_mm512_set1_epi32(j0), _mm512_cvttps_epi32(u));
    __m512 fr = _mm512_reduce_ps(u, _MM_FROUND_TO_NEG_INF);
    const __mmask16 under = _mm512_cmplt_epi32_mask(j, _mm512_setzero_si512());
    const __mmask16 over = _mm512_cmpge_epi32_mask(j, _mm512_set1_epi32(last));
    j = _mm512_mask_mov_epi32(j, under, _mm512_setzero_si512());
    j = _mm512_mask_mov_epi32(j, over, _mm512_set1_epi32(last - 1));
    fr = _mm512_mask_mov_ps(fr, under, _mm512_setzero_ps());
    fr = _mm512_mask_mov_ps(fr, over, _mm512_set1_ps(1.0f));
    const __m512 none = _mm512_setzero_ps();
    const __m512 q0 = _mm512_mask_i32gather_ps(none, in, j, q, 4);
    const __m512 q1 = _mm512_mask_i32gather_ps(none, in, j, q + 1, 4);
    return _mm512_mask_add_ps(acc, in, acc, _mm512_add_ps(q0, _mm512_mul_ps(_mm512_sub_ps(q1, q0), fr)));
}

struct Avx512Kernel
{
    static constexpr int groupRows = 2;
    static constexpr int blockGroups = 4;
    static constexpr int tileRows = 128;
    static constexpr int tileColumns = 256;

    template<int R, int B>
    QV_AVX512 static void block(
        float *const *rows, const int *z, int x, const int *lo, const int *hi, const Chunk &ch, int last)
    {
        const bool falling = ch.falling;
        constexpr int N = R * B; // anchors per line, at most 8
        static_assert(N <= 8);
        // Lane d of a group's vector is the pixel d from its anchor.
        __m512 acc[R][B];
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
#pragma GCC unroll 8
            for (int b = 0; b < B; ++b) {
                const __m512 v = _mm512_loadu_ps(rows[r] + x + group * b);
                acc[r][b] = falling ? reversed(v) : v;
            }
        alignas(64) double xa[8] = {}, zd[8] = {};
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
#pragma GCC unroll 8
            for (int b = 0; b < B; ++b) {
                xa[r * B + b] = anchorX(x + group * b, falling);
                zd[r * B + b] = z[r];
            }
        const __m512d xaV = _mm512_load_pd(xa), zV = _mm512_load_pd(zd);
        Anchors<8> an;
        for (int k = 0; k < ch.count; ++k) {
            const __m512d ta = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(xaV, _mm512_set1_pd(ch.c[k])),
                                                 _mm512_mul_pd(_mm512_set1_pd(ch.ms[k]), zV)),
                _mm512_set1_pd(ch.C[k]));
            const __m512d fa = _mm512_roundscale_pd(ta, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
            _mm256_store_si256(reinterpret_cast<__m256i *>(an.j0[k]), _mm512_cvttpd_epi32(fa));
            _mm256_store_ps(an.f0[k], _mm512_cvtpd_ps(_mm512_sub_pd(ta, fa)));
        }
        const __m512 d = _mm512_setr_ps(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        const __m512i one = _mm512_set1_epi32(1);
        for (int k = 0; k < ch.count; ++k) {
            const float *q = ch.q[k];
            const __m512 s = _mm512_mul_ps(d, _mm512_set1_ps(ch.slope[k]));
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r)
#pragma GCC unroll 8
                for (int b = 0; b < B; ++b) {
                    const int j0 = an.j0[k][r * B + b];
                    const __m512 u = _mm512_add_ps(_mm512_set1_ps(an.f0[k][r * B + b]), s);
                    // Every pixel inside, with a sample to spare at either end: all take part.
                    if (__builtin_expect(j0 >= 1 && j0 + group + 1 <= last, 1)) {
                        // u − ⌊u⌋ in one reduction: exact, as the subtraction it stands for.
                        const __m512i i = _mm512_cvttps_epi32(u);
                        const __m512 fr = _mm512_reduce_ps(u, _MM_FROUND_TO_NEG_INF);
                        const __m512 lo = _mm512_loadu_ps(q + j0), hi = _mm512_loadu_ps(q + j0 + 16);
                        const __m512 q0 = _mm512_permutex2var_ps(lo, i, hi);
                        const __m512 q1 = _mm512_permutex2var_ps(lo, _mm512_add_epi32(i, one), hi);
                        acc[r][b] = _mm512_add_ps(
                            acc[r][b], _mm512_add_ps(q0, _mm512_mul_ps(_mm512_sub_ps(q1, q0), fr)));
                    } else if (j0 >= -anchorReach && j0 <= last + anchorReach) {
                        acc[r][b] = lanesAdded(acc[r][b], q, j0, u, last, xa[r * B + b], falling, ch.c[k],
                            ch.ms[k] * zd[r * B + b], ch.C[k]);
                    }
                }
        }
        const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
#pragma GCC unroll 8
            for (int b = 0; b < B; ++b) {
                const int xg = x + group * b;
                const __m512 v = falling ? reversed(acc[r][b]) : acc[r][b];
                if (lo[r] <= xg && xg + group <= hi[r]) {
                    _mm512_storeu_ps(rows[r] + xg, v);
                } else { // pixels outside the row's span keep what they had
                    const __m512i px = _mm512_add_epi32(_mm512_set1_epi32(xg), lane);
                    const __mmask16 in = _mm512_cmpge_epi32_mask(px, _mm512_set1_epi32(lo[r]))
                        & _mm512_cmplt_epi32_mask(px, _mm512_set1_epi32(hi[r]));
                    _mm512_mask_storeu_ps(rows[r] + xg, in, v);
                }
            }
    }
};

} // namespace

void runAvx512(
    const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int last)
{
    run<Avx512Kernel>(rows, lines, last);
}

} // namespace backprojectsingle
