// The AVX2 variant of the single-precision back-projection: blocks of 2 rows × 16 pixels (one
// anchor group, two vectors of 8 floats per row) held in registers while a chunk of lines is added.
// The anchors of a chunk are worked out first in doubles; then each half group fetches its samples
// from a window of 9 with two loads and two permutes (its positions lie within 8 samples).

// Local
#include "ct/backprojectsingletiling.h"
#include <cstdint>
#include <immintrin.h>

#define QV_AVX2 __attribute__((target("avx2")))

namespace backprojectsingle {

namespace {

// The anchors of a chunk's lines for each row of a block.
template<int R> struct Anchors
{
    alignas(16) std::int32_t j0[R][chunkLines]; // ⌊tₐ⌋ (INT_MIN where it is not a number that fits)
    alignas(16) float f0[R][chunkLines]; // tₐ − ⌊tₐ⌋
    alignas(16) std::int32_t jb[R][chunkLines]; // ⌊u⌋ of the pixel 8 from the anchor
    alignas(16) float jbf[R][chunkLines]; // the same as a float
};

QV_AVX2 inline __m256 reversed(__m256 v)
{
    return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
}

// Pixels x … x + 7 of [lo, hi) as a lane mask in memory order.
QV_AVX2 inline __m256 spanMask(int x, int lo, int hi)
{
    const __m256i px = _mm256_add_epi32(_mm256_set1_epi32(x), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i in = _mm256_andnot_si256(
        _mm256_cmpgt_epi32(_mm256_set1_epi32(lo), px), _mm256_cmpgt_epi32(_mm256_set1_epi32(hi), px));
    return _mm256_castsi256_ps(in);
}

QV_AVX2 inline __m256 interpolated(__m256 acc, const float *w, __m256i index, __m256 fr)
{
    const __m256 q0 = _mm256_permutevar8x32_ps(_mm256_loadu_ps(w), index);
    const __m256 q1 = _mm256_permutevar8x32_ps(_mm256_loadu_ps(w + 1), index);
    return _mm256_add_ps(acc, _mm256_add_ps(q0, _mm256_mul_ps(_mm256_sub_ps(q1, q0), fr)));
}

// Eight pixels of a group near the ends of the detector, those `d` … `d` + 7 from its anchor: which
// take part is decided on their positions in doubles, the samples are gathered; inline, so that the
// accumulators stay in registers.
QV_AVX2 inline __m256 lanesAdded(__m256 acc, const float *q, int j0, __m256 u, int last, int d, double xa,
    bool falling, double c, double b, double C)
{
    const double dir = falling ? -1.0 : 1.0;
    const __m256d x0 = _mm256_add_pd(_mm256_set1_pd(xa),
        _mm256_mul_pd(_mm256_set1_pd(dir), _mm256_add_pd(_mm256_set1_pd(d), _mm256_setr_pd(0, 1, 2, 3))));
    const __m256d x1 = _mm256_add_pd(x0, _mm256_set1_pd(4.0 * dir));
    const __m256d cV = _mm256_set1_pd(c), bV = _mm256_set1_pd(b), CV = _mm256_set1_pd(C);
    const __m256d t0 = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(x0, cV), bV), CV);
    const __m256d t1 = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(x1, cV), bV), CV);
    const __m256d zero = _mm256_setzero_pd(), lastV = _mm256_set1_pd(last);
    const int bits = _mm256_movemask_pd(_mm256_and_pd(
                         _mm256_cmp_pd(t0, zero, _CMP_GE_OQ), _mm256_cmp_pd(t0, lastV, _CMP_LT_OQ)))
        | _mm256_movemask_pd(
              _mm256_and_pd(_mm256_cmp_pd(t1, zero, _CMP_GE_OQ), _mm256_cmp_pd(t1, lastV, _CMP_LT_OQ)))
            << 4;
    if (bits == 0)
        return acc;
    const __m256i bit = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const __m256 in
        = _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(bits), bit), bit));
    const __m256i i = _mm256_cvttps_epi32(u);
    __m256 fr = _mm256_sub_ps(u, _mm256_cvtepi32_ps(i));
    __m256i j = _mm256_add_epi32(_mm256_set1_epi32(j0), i);
    const __m256 under = _mm256_castsi256_ps(_mm256_cmpgt_epi32(_mm256_setzero_si256(), j));
    const __m256 over = _mm256_castsi256_ps(_mm256_cmpgt_epi32(j, _mm256_set1_epi32(last - 1)));
    j = _mm256_min_epi32(_mm256_max_epi32(j, _mm256_setzero_si256()), _mm256_set1_epi32(last - 1));
    fr = _mm256_blendv_ps(fr, _mm256_setzero_ps(), under);
    fr = _mm256_blendv_ps(fr, _mm256_set1_ps(1.0f), over);
    const __m256 none = _mm256_setzero_ps();
    const __m256 q0 = _mm256_mask_i32gather_ps(none, q, j, in, 4);
    const __m256 q1 = _mm256_mask_i32gather_ps(none, q + 1, j, in, 4);
    return _mm256_blendv_ps(
        acc, _mm256_add_ps(acc, _mm256_add_ps(q0, _mm256_mul_ps(_mm256_sub_ps(q1, q0), fr))), in);
}

struct Avx2Kernel
{
    static constexpr int groupRows = 2;
    static constexpr int blockGroups = 1;
    static constexpr int tileRows = 64;
    static constexpr int tileColumns = 256;

    template<int R, int B>
    QV_AVX2 static void block(
        float *const *rows, const int *z, int x, const int *lo, const int *hi, const Chunk &ch, int last)
    {
        static_assert(B == 1);
        const bool falling = ch.falling;
        // Lane i of vector A is the pixel i from the anchor, of vector B the pixel 8 + i.
        __m256 accA[R], accB[R];
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r) {
            const __m256 low = _mm256_loadu_ps(rows[r] + x), high = _mm256_loadu_ps(rows[r] + x + 8);
            accA[r] = falling ? reversed(high) : low;
            accB[r] = falling ? reversed(low) : high;
        }
        // The anchors, four lines at a time.
        const double xa0 = anchorX(x, falling);
        const __m256d xa = _mm256_set1_pd(xa0);
        Anchors<R> an;
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r) {
            const __m256d zd = _mm256_set1_pd(z[r]);
            for (int k = 0; k < ch.count; k += 4) {
                const __m256d ta = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(xa, _mm256_load_pd(ch.c + k)),
                                                     _mm256_mul_pd(_mm256_load_pd(ch.ms + k), zd)),
                    _mm256_load_pd(ch.C + k));
                const __m256d fa = _mm256_floor_pd(ta);
                const __m128 f0 = _mm256_cvtpd_ps(_mm256_sub_pd(ta, fa));
                const __m128i jb = _mm_cvttps_epi32(
                    _mm_add_ps(f0, _mm_mul_ps(_mm_set1_ps(8.0f), _mm_load_ps(ch.slope + k))));
                _mm_store_si128(reinterpret_cast<__m128i *>(an.j0[r] + k), _mm256_cvttpd_epi32(fa));
                _mm_store_ps(an.f0[r] + k, f0);
                _mm_store_si128(reinterpret_cast<__m128i *>(an.jb[r] + k), jb);
                _mm_store_ps(an.jbf[r] + k, _mm_cvtepi32_ps(jb));
            }
        }
        const __m256 dA = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
        const __m256 dB = _mm256_setr_ps(8, 9, 10, 11, 12, 13, 14, 15);
        for (int k = 0; k < ch.count; ++k) {
            const float *q = ch.q[k];
            const __m256 slope = _mm256_set1_ps(ch.slope[k]);
            const __m256 sA = _mm256_mul_ps(dA, slope), sB = _mm256_mul_ps(dB, slope);
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r) {
                const int j0 = an.j0[r][k], jb = an.jb[r][k];
                const __m256 f0 = _mm256_set1_ps(an.f0[r][k]);
                const __m256 uA = _mm256_add_ps(f0, sA), uB = _mm256_add_ps(f0, sB);
                // Every pixel inside, with a sample to spare at either end: all take part.
                if (__builtin_expect(j0 >= 1 && j0 + jb + 9 <= last, 1)) {
                    // Vector B counts from sample jb on: u − jb is exact, and so is its fraction.
                    const __m256 vB = _mm256_sub_ps(uB, _mm256_set1_ps(an.jbf[r][k]));
                    const __m256i iA = _mm256_cvttps_epi32(uA), iB = _mm256_cvttps_epi32(vB);
                    const __m256 frA = _mm256_sub_ps(uA, _mm256_cvtepi32_ps(iA));
                    const __m256 frB = _mm256_sub_ps(vB, _mm256_cvtepi32_ps(iB));
                    accA[r] = interpolated(accA[r], q + j0, iA, frA);
                    accB[r] = interpolated(accB[r], q + j0 + jb, iB, frB);
                } else if (j0 >= -anchorReach && j0 <= last + anchorReach) {
                    const double b = ch.ms[k] * double(z[r]);
                    accA[r] = lanesAdded(accA[r], q, j0, uA, last, 0, xa0, falling, ch.c[k], b, ch.C[k]);
                    accB[r] = lanesAdded(accB[r], q, j0, uB, last, 8, xa0, falling, ch.c[k], b, ch.C[k]);
                }
            }
        }
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r) {
            const __m256 low = falling ? reversed(accB[r]) : accA[r];
            const __m256 high = falling ? reversed(accA[r]) : accB[r];
            float *p = rows[r] + x;
            if (lo[r] <= x && x + group <= hi[r]) {
                _mm256_storeu_ps(p, low);
                _mm256_storeu_ps(p + 8, high);
            } else { // pixels outside the row's span keep what they had
                _mm256_storeu_ps(p, _mm256_blendv_ps(_mm256_loadu_ps(p), low, spanMask(x, lo[r], hi[r])));
                _mm256_storeu_ps(
                    p + 8, _mm256_blendv_ps(_mm256_loadu_ps(p + 8), high, spanMask(x + 8, lo[r], hi[r])));
            }
        }
    }
};

} // namespace

void runAvx2(const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int last)
{
    run<Avx2Kernel>(rows, lines, last);
}

} // namespace backprojectsingle
