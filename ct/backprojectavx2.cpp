// The AVX2 variant of the back-projection's inner loop: blocks of 2 rows × 8 pixels held in four
// registers while a chunk of lines is added into them.

// Local
#include "ct/backprojecttiling.h"
#include <cstdint>
#include <cstring>
#include <immintrin.h>

#define QV_AVX2 __attribute__((target("avx2")))

namespace backprojection {

namespace {

QV_AVX2 inline __m256d reversed(__m256d v)
{
    return _mm256_permute4x64_pd(v, 0x1b);
}

// Where a vector's four pixels all have their sample pairs (lanes follow the detector, so lanes 0 and
// 3 tell), the pairs are fetched with four 16-byte loads and rearranged within the 128-bit halves:
// no lane-crossing permute and no gather, which are slow on many AVX2 processors. The detector
// positions of a whole chunk of lines are worked out first, the samples fetched and added after: the
// two halves are independent, so a processor with a small scheduling window overlaps them too.
template<int R, int V> struct Positions
{
    alignas(32) double frac[chunkLines][R][V][4]; // t − ⌊t⌋
    alignas(16) std::int32_t j[chunkLines][R][V][4]; // ⌊t⌋ (INT_MIN for NaN and the huge)
};

QV_AVX2 inline __m256d pairsAdded(__m256d acc, const double *q, std::uint32_t j0, std::uint32_t j1,
    std::uint32_t j2, std::uint32_t j3, __m256d frac)
{
    // Lanes 0 and 1 need only the low half: plain loads; lanes 2 and 3 are loaded into both halves.
    const __m256d p0 = _mm256_castpd128_pd256(_mm_loadu_pd(q + j0));
    const __m256d p1 = _mm256_castpd128_pd256(_mm_loadu_pd(q + j1));
    const __m256d p2 = _mm256_broadcast_pd(reinterpret_cast<const __m128d *>(q + j2));
    const __m256d p3 = _mm256_broadcast_pd(reinterpret_cast<const __m128d *>(q + j3));
    const __m256d a = _mm256_blend_pd(p0, p2, 0xc); // q[j0], q[j0 + 1] | q[j2], q[j2 + 1]
    const __m256d b = _mm256_blend_pd(p1, p3, 0xc);
    const __m256d q0 = _mm256_unpacklo_pd(a, b);
    const __m256d q1 = _mm256_unpackhi_pd(a, b);
    return _mm256_add_pd(acc, _mm256_add_pd(q0, _mm256_mul_pd(_mm256_sub_pd(q1, q0), frac)));
}

// The lanes of a vector that have their pair, one by one (near the ends of the detector).
QV_AVX2 __attribute__((noinline)) __m256d lanesAdded(
    __m256d acc, const double *q, const std::int32_t *j, const double *frac, int last)
{
    alignas(32) double a[4];
    _mm256_store_pd(a, acc);
    for (int i = 0; i < 4; ++i)
        if (static_cast<std::uint32_t>(j[i]) < static_cast<std::uint32_t>(last))
            a[i] += q[j[i]] + (q[j[i] + 1] - q[j[i]]) * frac[i];
    return _mm256_load_pd(a);
}

template<int R, int V, bool Falling>
QV_AVX2 void addBlocks(double *const *rows, const int *z, int x, int count, const BackProjectionLine *lines,
    int lineCount, int last)
{
    const __m256d order = Falling ? _mm256_setr_pd(3, 2, 1, 0) : _mm256_setr_pd(0, 1, 2, 3);
    const std::uint32_t lastU = static_cast<std::uint32_t>(last);
    double zd[R];
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r)
        zd[r] = z[r];
    Positions<R, V> pos;
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
                for (int v = 0; v < V; ++v) {
                    const __m256d t = _mm256_add_pd(_mm256_add_pd(xc[v], b), C);
                    const __m256d f = _mm256_floor_pd(t);
                    _mm256_store_pd(pos.frac[k][r][v], _mm256_sub_pd(t, f));
                    _mm_store_si128(reinterpret_cast<__m128i *>(pos.j[k][r][v]), _mm256_cvttpd_epi32(f));
                }
            }
        }
        for (int k = 0; k < lineCount; ++k) {
            const double *q = lines[k].q;
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r)
#pragma GCC unroll 8
                for (int v = 0; v < V; ++v) {
                    const std::int32_t *j = pos.j[k][r][v];
                    std::uint64_t j01, j23;
                    std::memcpy(&j01, j, 8);
                    std::memcpy(&j23, j + 2, 8);
                    const std::uint32_t j0 = static_cast<std::uint32_t>(j01), j3 = j23 >> 32;
                    const __m256d frac = _mm256_load_pd(pos.frac[k][r][v]);
                    if (__builtin_expect(j0 < lastU && j3 < lastU, 1))
                        acc[r][v] = pairsAdded(acc[r][v], q, j0, static_cast<std::uint32_t>(j01 >> 32),
                            static_cast<std::uint32_t>(j23), j3, frac);
                    else
                        acc[r][v] = lanesAdded(acc[r][v], q, j, pos.frac[k][r][v], last);
                }
        }
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v)
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r)
                _mm256_storeu_pd(rows[r] + x + 4 * v, Falling ? reversed(acc[r][v]) : acc[r][v]);
    }
}

// The last 1 … 3 pixels of a row, one by one with the same operations as a vector's lanes.
void addTail(double *row, int z, int x, int n, const BackProjectionLine *lines, int lineCount, int last)
{
    const double zd = z;
    for (int i = 0; i < n; ++i) {
        const double xd = x + i;
        double acc = row[x + i];
        for (int k = 0; k < lineCount; ++k) {
            const BackProjectionLine &l = lines[k];
            const double t = (xd * l.c + l.ms * zd) + l.C;
            if (t >= 0.0 && t < last) { // ⌊t⌋ in [0, last) exactly then; NaN fails
                const int j = static_cast<int>(t);
                acc += l.q[j] + (l.q[j + 1] - l.q[j]) * (t - j);
            }
        }
        row[x + i] = acc;
    }
}

struct Avx2Ops
{
    static constexpr int lanes = 4;
    template<int R, int V, bool Falling>
    static void add(double *const *rows, const int *z, int x, int count, const BackProjectionLine *lines,
        int lineCount, int last)
    {
        addBlocks<R, V, Falling>(rows, z, x, count, lines, lineCount, last);
    }
    static void tail(double *row, int z, int x, int n, const BackProjectionLine *lines, int lineCount, int last,
        [[maybe_unused]] bool falling)
    {
        addTail(row, z, x, n, lines, lineCount, last);
    }
};

using Avx2Kernel = VectorKernel<Avx2Ops, 2, 2, 64, 256>;

} // namespace

void runAvx2(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last)
{
    run<Avx2Kernel>(rows, lines, last);
}

} // namespace backprojection
