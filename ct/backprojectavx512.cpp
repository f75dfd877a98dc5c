// The AVX-512 variant of the back-projection's inner loop: blocks of 2 rows × 32 pixels held in
// eight registers while a chunk of lines is added into them.

// Local
#include "ct/backprojecttiling.h"
#include <immintrin.h>

#define QV_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl")))

namespace backprojection {

namespace {

// Eight pixels of a vector are ordered so that their detector positions rise from lane 0 (by rising
// x when c ≥ 0, by falling x when c < 0). Eight neighbouring pixels fall on at most nine
// neighbouring samples (|c| ≤ 1, plus rounding), so the two aligned groups of eight samples from
// lane 0's on hold the first sample of every lane: a two-table permute picks by the low four bits
// of j, bit 3 choosing the even or the odd group, so j itself is the index. The same groups read
// one sample further on hold the second samples. Four loads and two permutes instead of two
// gathers; where a lane has no sample pair, masked gathers leave it out.
QV_AVX512 inline __m512d addLine(
    __m512d acc, __m512d xc, __m512d b, __m512d C, const double *q, __m512i last, __mmask8 valid)
{
    const __m512d t = _mm512_add_pd(_mm512_add_pd(xc, b), C);
    // j = ⌊t⌋ in one conversion (2^63 for NaN and the huge: outside [0, last)); t − ⌊t⌋ in one
    // reduction, exact for t ≥ 0 just as the subtraction it stands for.
    const __m512i j = _mm512_cvt_roundpd_epi64(t, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m512d frac = _mm512_reduce_pd(t, _MM_FROUND_TO_NEG_INF);
    const __mmask8 in = _mm512_mask_cmplt_epu64_mask(valid, j, last);
    if (__builtin_expect(_kortestc_mask8_u8(in, in), 1)) { // every lane has its pair
        // Lane 0's group g and the next lie in [8g, 8g + 16), which holds j0 … j0 + 8; the reads end
        // at 8g + 16 ≤ j0 + 16, within the row's padding.
        const long long g = _mm_cvtsi128_si64(_mm512_castsi512_si128(j)) >> 3;
        const double *even = q + (((g + 1) & ~1LL) << 3);
        const double *odd = q + ((g | 1) << 3);
        const __m512d q0 = _mm512_permutex2var_pd(_mm512_loadu_pd(even), j, _mm512_loadu_pd(odd));
        const __m512d q1 = _mm512_permutex2var_pd(_mm512_loadu_pd(even + 1), j, _mm512_loadu_pd(odd + 1));
        return _mm512_add_pd(acc, _mm512_add_pd(q0, _mm512_mul_pd(_mm512_sub_pd(q1, q0), frac)));
    }
    const __m512d zero = _mm512_setzero_pd();
    const __m512d q0 = _mm512_mask_i64gather_pd(zero, in, j, q, 8);
    const __m512d q1 = _mm512_mask_i64gather_pd(zero, in, j, q + 1, 8);
    return _mm512_mask_add_pd(acc, in, acc, _mm512_add_pd(q0, _mm512_mul_pd(_mm512_sub_pd(q1, q0), frac)));
}

QV_AVX512 inline __m512i reversal()
{
    return _mm512_setr_epi64(7, 6, 5, 4, 3, 2, 1, 0);
}

// `count` blocks of R rows × V vectors from column x on.
template<int R, int V, bool Falling>
QV_AVX512 void addBlocks(double *const *rows, const int *z, int x, int count, const BackProjectionLine *lines,
    int lineCount, int last)
{
    const __m512i lastV = _mm512_set1_epi64(last);
    const __m512d order
        = Falling ? _mm512_setr_pd(7, 6, 5, 4, 3, 2, 1, 0) : _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7);
    double zd[R];
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r)
        zd[r] = z[r];
    for (int blk = 0; blk < count; ++blk, x += 8 * V) {
        __m512d acc[R][V], xd[V];
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v) {
            xd[v] = _mm512_add_pd(_mm512_set1_pd(x + 8 * v), order);
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r) {
                const __m512d o = _mm512_loadu_pd(rows[r] + x + 8 * v);
                acc[r][v] = Falling ? _mm512_permutexvar_pd(reversal(), o) : o;
            }
        }
        for (int k = 0; k < lineCount; ++k) {
            const BackProjectionLine &l = lines[k];
            const __m512d c = _mm512_set1_pd(l.c), C = _mm512_set1_pd(l.C);
            __m512d xc[V];
#pragma GCC unroll 8
            for (int v = 0; v < V; ++v)
                xc[v] = _mm512_mul_pd(xd[v], c);
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r) {
                const __m512d b = _mm512_set1_pd(l.ms * zd[r]);
#pragma GCC unroll 8
                for (int v = 0; v < V; ++v)
                    acc[r][v] = addLine(acc[r][v], xc[v], b, C, l.q, lastV, 0xff);
            }
        }
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v)
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r)
                _mm512_storeu_pd(
                    rows[r] + x + 8 * v, Falling ? _mm512_permutexvar_pd(reversal(), acc[r][v]) : acc[r][v]);
    }
}

// The last 1 … 7 pixels of a row, lanes beyond them masked off. Lanes follow rising x here: the
// detector positions rise from lane 0 when c ≥ 0 and from the last pixel when c < 0, and that lane's
// pair starts the sixteen samples.
QV_AVX512 void addTail(
    double *row, int z, int x, int n, const BackProjectionLine *lines, int lineCount, int last, bool falling)
{
    const __mmask8 valid = static_cast<__mmask8>((1u << n) - 1);
    const __m512i lastV = _mm512_set1_epi64(last);
    const __m512i lowest = _mm512_set1_epi64(falling ? n - 1 : 0);
    const __m512d xd = _mm512_add_pd(_mm512_set1_pd(x), _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7));
    const __m512d zero = _mm512_setzero_pd();
    const double zd = z;
    __m512d acc = _mm512_maskz_loadu_pd(valid, row + x);
    for (int k = 0; k < lineCount; ++k) {
        const BackProjectionLine &l = lines[k];
        const __m512d xc = _mm512_mul_pd(xd, _mm512_set1_pd(l.c));
        const __m512d t = _mm512_add_pd(_mm512_add_pd(xc, _mm512_set1_pd(l.ms * zd)), _mm512_set1_pd(l.C));
        const __m512i j = _mm512_cvt_roundpd_epi64(t, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
        const __m512d frac = _mm512_reduce_pd(t, _MM_FROUND_TO_NEG_INF);
        const __mmask8 in = _mm512_mask_cmplt_epu64_mask(valid, j, lastV);
        __m512d q0, q1;
        if (in == valid) { // lanes past the row take some value of the window, never stored
            const __m512i jBase = _mm512_permutexvar_epi64(lowest, j);
            const long long base = _mm_cvtsi128_si64(_mm512_castsi512_si128(jBase));
            const __m512i kk = _mm512_sub_epi64(j, jBase);
            const __m512d lo = _mm512_loadu_pd(l.q + base);
            const __m512d hi = _mm512_loadu_pd(l.q + base + 8);
            q0 = _mm512_permutex2var_pd(lo, kk, hi);
            q1 = _mm512_permutex2var_pd(lo, _mm512_add_epi64(kk, _mm512_set1_epi64(1)), hi);
        } else {
            q0 = _mm512_mask_i64gather_pd(zero, in, j, l.q, 8);
            q1 = _mm512_mask_i64gather_pd(zero, in, j, l.q + 1, 8);
        }
        acc = _mm512_mask_add_pd(acc, in, acc, _mm512_add_pd(q0, _mm512_mul_pd(_mm512_sub_pd(q1, q0), frac)));
    }
    _mm512_mask_storeu_pd(row + x, valid, acc);
}

struct Avx512Ops
{
    static constexpr int lanes = 8;
    template<int R, int V, bool Falling>
    static void add(double *const *rows, const int *z, int x, int count, const BackProjectionLine *lines,
        int lineCount, int last)
    {
        addBlocks<R, V, Falling>(rows, z, x, count, lines, lineCount, last);
    }
    static void tail(double *row, int z, int x, int n, const BackProjectionLine *lines, int lineCount, int last,
        [[maybe_unused]] bool falling)
    {
        addTail(row, z, x, n, lines, lineCount, last, falling);
    }
};

using Avx512Kernel = VectorKernel<Avx512Ops, 2, 4, 128, 256>;

} // namespace

void runAvx512(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last)
{
    run<Avx512Kernel>(rows, lines, last);
}

} // namespace backprojection
