// The AVX2 variant of the back-projection's inner loop: blocks of 2 rows × 8 pixels held in four
// registers while a chunk of lines is added into them; the two samples of every pixel are gathered.

// Local
#include "ct/backprojecttiling.h"
#include <immintrin.h>

#define QV_AVX2 __attribute__((target("avx2")))

namespace backprojection {

namespace {

// Gathers are slow: where the four pixels of a vector have their sample pairs, and these lie within
// the five samples from lane 0's on (lane order follows the detector, as in the AVX-512 variant),
// two loads and two permutes fetch them instead. The range test runs on lanes 0 and 3 only: the
// detector positions are monotonic across the lanes.
QV_AVX2 inline __m256d addLine(__m256d acc, __m256d xc, __m256d b, __m256d C, const double *q, __m256d last,
    __m256d valid, int lastSample)
{
    const __m256d t = _mm256_add_pd(_mm256_add_pd(xc, b), C);
    const __m256d f = _mm256_floor_pd(t);
    const __m128i j = _mm256_cvttpd_epi32(f); // INT_MIN for NaN and the huge
    const int j0 = _mm_cvtsi128_si32(j);
    const int j3 = _mm_extract_epi32(j, 3);
    if (__builtin_expect(_mm256_movemask_pd(valid) == 0xf && unsigned(j0) < unsigned(lastSample)
                && unsigned(j3) < unsigned(lastSample) && j3 - j0 <= 3,
            1)) {
        // Lane i takes doubles k_i of the windows at q + j0 and q + j0 + 1: 32-bit elements 2k_i, 2k_i + 1.
        const __m128i k2 = _mm_slli_epi32(_mm_sub_epi32(j, _mm_set1_epi32(j0)), 1);
        const __m256i idx = _mm256_add_epi32(_mm256_permutevar8x32_epi32(_mm256_castsi128_si256(k2),
                                                 _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3)),
            _mm256_setr_epi32(0, 1, 0, 1, 0, 1, 0, 1));
        const __m256d q0
            = _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(_mm256_loadu_pd(q + j0)), idx));
        const __m256d q1
            = _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(_mm256_loadu_pd(q + j0 + 1)), idx));
        return _mm256_add_pd(
            acc, _mm256_add_pd(q0, _mm256_mul_pd(_mm256_sub_pd(q1, q0), _mm256_sub_pd(t, f))));
    }
    const __m256d zero = _mm256_setzero_pd();
    const __m256d in = _mm256_and_pd(
        valid, _mm256_and_pd(_mm256_cmp_pd(f, zero, _CMP_GE_OQ), _mm256_cmp_pd(f, last, _CMP_LT_OQ)));
    const __m128i jIn = _mm256_cvttpd_epi32(_mm256_and_pd(f, in)); // 0 where the pair does not exist
    const __m256d q0 = _mm256_mask_i32gather_pd(zero, q, jIn, in, 8);
    const __m256d q1 = _mm256_mask_i32gather_pd(zero, q + 1, jIn, in, 8);
    const __m256d v = _mm256_add_pd(q0, _mm256_mul_pd(_mm256_sub_pd(q1, q0), _mm256_sub_pd(t, f)));
    return _mm256_blendv_pd(acc, _mm256_add_pd(acc, v), in);
}

QV_AVX2 inline __m256d reversed(__m256d v)
{
    return _mm256_permute4x64_pd(v, 0x1b);
}

template<int R, int V, bool Falling>
QV_AVX2 void addBlocks(double *const *rows, const int *z, int x, int count, const BackProjectionLine *lines,
    int lineCount, int last)
{
    const __m256d lastV = _mm256_set1_pd(last);
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    const __m256d order = Falling ? _mm256_setr_pd(3, 2, 1, 0) : _mm256_setr_pd(0, 1, 2, 3);
    double zd[R];
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r)
        zd[r] = z[r];
    for (int blk = 0; blk < count; ++blk, x += 4 * V) {
        __m256d acc[R][V], xd[V];
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v) {
            xd[v] = _mm256_add_pd(_mm256_set1_pd(x + 4 * v), order);
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r) {
                const __m256d o = _mm256_loadu_pd(rows[r] + x + 4 * v);
                acc[r][v] = Falling ? reversed(o) : o;
            }
        }
        for (int k = 0; k < lineCount; ++k) {
            const BackProjectionLine &l = lines[k];
            const __m256d c = _mm256_set1_pd(l.c), C = _mm256_set1_pd(l.C);
            __m256d xc[V];
#pragma GCC unroll 8
            for (int v = 0; v < V; ++v)
                xc[v] = _mm256_mul_pd(xd[v], c);
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r) {
                const __m256d b = _mm256_set1_pd(l.ms * zd[r]);
#pragma GCC unroll 8
                for (int v = 0; v < V; ++v)
                    acc[r][v] = addLine(acc[r][v], xc[v], b, C, l.q, lastV, all, last);
            }
        }
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v)
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r)
                _mm256_storeu_pd(rows[r] + x + 4 * v, Falling ? reversed(acc[r][v]) : acc[r][v]);
    }
}

QV_AVX2 void addTail(
    double *row, int z, int x, int n, const BackProjectionLine *lines, int lineCount, int last)
{
    const __m256i lane = _mm256_setr_epi64x(0, 1, 2, 3);
    const __m256i validI = _mm256_cmpgt_epi64(_mm256_set1_epi64x(n), lane);
    const __m256d valid = _mm256_castsi256_pd(validI);
    const __m256d lastV = _mm256_set1_pd(last);
    const __m256d xd = _mm256_add_pd(_mm256_set1_pd(x), _mm256_setr_pd(0, 1, 2, 3));
    const double zd = z;
    __m256d acc = _mm256_maskload_pd(row + x, validI);
    for (int k = 0; k < lineCount; ++k) {
        const BackProjectionLine &l = lines[k];
        const __m256d xc = _mm256_mul_pd(xd, _mm256_set1_pd(l.c));
        acc = addLine(acc, xc, _mm256_set1_pd(l.ms * zd), _mm256_set1_pd(l.C), l.q, lastV, valid, last);
    }
    _mm256_maskstore_pd(row + x, validI, acc);
}

struct Avx2Kernel
{
    static constexpr int groupRows = 2;
    static constexpr int blockWidth = 8;

    static void blocks(double *const *rows, const int *z, int x, int count, const BackProjectionLine *lines,
        int lineCount, int last, bool falling)
    {
        if (falling)
            addBlocks<groupRows, 2, true>(rows, z, x, count, lines, lineCount, last);
        else
            addBlocks<groupRows, 2, false>(rows, z, x, count, lines, lineCount, last);
    }

    static void row(double *row, int z, int xa, int xb, const BackProjectionLine *lines, int lineCount,
        int last, bool falling)
    {
        if (xb <= xa)
            return;
        const int full = (xb - xa) / 4;
        if (full > 0 && falling)
            addBlocks<1, 1, true>(&row, &z, xa, full, lines, lineCount, last);
        else if (full > 0)
            addBlocks<1, 1, false>(&row, &z, xa, full, lines, lineCount, last);
        const int done = xa + 4 * full;
        if (done < xb)
            addTail(row, z, done, xb - done, lines, lineCount, last);
    }
};

} // namespace

void runAvx2(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last)
{
    run<Avx2Kernel>(rows, lines, last);
}

} // namespace backprojection
