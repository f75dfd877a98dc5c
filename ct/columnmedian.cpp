#include "ct/columnmedian.h"

// Local
#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace {

// One lane of rows; GCC lowers the vector to the widest registers the clone has.
typedef float Lanes __attribute__((vector_size(medianLanes * sizeof(float))));

// Through references, so that no function passes a vector by value (whose calling convention
// differs between instruction sets).
inline void load(Lanes &v, const float *p)
{
    __builtin_memcpy(&v, p, sizeof v);
}
inline void store(float *p, const Lanes &v)
{
    __builtin_memcpy(p, &v, sizeof v);
}

// Clang (the fuzzing build) does not clone function templates: it builds the default variant alone.
#if defined(QV_TSAN) || defined(__clang__)
#define QV_MEDIAN_CLONES
#else
#define QV_MEDIAN_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#endif

// One pass over a sorted window of n lanes: the first value equal to `outgoing` drops out (what lies
// above it moves down one place), and `incoming` goes in where it belongs (what lies above moves up
// one place): u[i] = min(r[i], max(incoming, r[i − 1])) with r the window without `outgoing`,
// r[−1] = −∞ and r[n − 1] = +∞. No branch depends on the values.
inline void replaceSorted(
    Lanes *sorted, int n, const Lanes &outgoing, const Lanes &incoming, const Lanes &minusInf)
{
    Lanes prev = minusInf;
    Lanes cur = sorted[0];
    for (int i = 0; i < n - 1; ++i) {
        const Lanes next = sorted[i + 1];
        const Lanes r = cur < outgoing ? cur : next;
        const Lanes m = incoming > prev ? incoming : prev;
        sorted[i] = r < m ? r : m;
        prev = r;
        cur = next;
    }
    sorted[n - 1] = incoming > prev ? incoming : prev;
}

// One lane of rows at offset k through columns first … last − 1. `source[t]` is the column at step t
// of the mirrored sequence (t = j + half for column j). The window holds the column and its
// neighbours, 2·half + 1 values, sorted: with S its sorted values and c the column's own value, the
// neighbours' two middle values are S[half], S[half + 1] when c lies below S[half], S[half − 1],
// S[half] when above, and S[half − 1], S[half + 1] when c is S[half] (the median, which is kept).
QV_MEDIAN_CLONES void slideLane(const float *in, float *out, int first, int last, std::size_t stride,
    int half, std::size_t k, const int *source, Lanes *sorted, OwnValue own_)
{
    const bool keepOwn = own_ == OwnValue::Kept;
    Lanes inf, minusInf, halfOf;
    for (std::size_t l = 0; l < medianLanes; ++l) {
        inf[l] = INFINITY;
        minusInf[l] = -INFINITY;
        halfOf[l] = 0.5f;
    }
    const int n = 2 * half + 1;
    const auto at = [&](int t, Lanes &v) { load(v, in + static_cast<std::size_t>(source[t]) * stride + k); };
    for (int i = 0; i < n; ++i)
        sorted[i] = inf;
    Lanes a, b;
    for (int t = first; t < first + n; ++t) { // the window of the first column replaces the infinities
        at(t, a);
        replaceSorted(sorted, n, inf, a, minusInf);
    }
    for (int j = first;; ++j) {
        Lanes own;
        at(j + half, own);
        const Lanes below = sorted[half - 1], middle = sorted[half], above = sorted[half + 1];
        const auto isBelow = own < middle;
        const auto isAbove = own > middle;
        const Lanes lo = isBelow ? middle : below;
        const Lanes hi = isAbove ? middle : above;
        const Lanes mid = (lo + hi) * halfOf;
        store(out + static_cast<std::size_t>(j) * stride + k, keepOwn ? ((own >= lo) & (own <= hi) ? own : mid) : mid);
        if (j + 1 >= last)
            break;
        at(j, a); // leaves on the left
        at(j + n, b); // comes in on the right
        replaceSorted(sorted, n, a, b, minusInf);
    }
}

// Batcher's bitonic sorting network over P lanes, unrolled at compile time so that the lanes stay in
// registers: no branch and no index depends on the values.
template<bool Up> __attribute__((always_inline)) inline void exchange(Lanes &a, Lanes &b)
{
    const auto less = a < b;
    const Lanes lo = less ? a : b, hi = less ? b : a;
    if constexpr (Up) {
        a = lo;
        b = hi;
    } else {
        a = hi;
        b = lo;
    }
}

template<int K, int J, std::size_t M> __attribute__((always_inline)) inline void exchangeAt(Lanes *v)
{
    if constexpr ((M & J) == 0) // M and M + J compared, ascending where M's block of K is
        exchange<(M & K) == 0>(v[M], v[M + J]);
}

template<int K, int J, std::size_t... M>
__attribute__((always_inline)) inline void bitonicStage(Lanes *v, std::index_sequence<M...>)
{
    (exchangeAt<K, J, M>(v), ...);
}

template<int P, int K, int J> __attribute__((always_inline)) inline void bitonicSteps(Lanes *v)
{
    bitonicStage<K, J>(v, std::make_index_sequence<P> {});
    if constexpr (J > 1)
        bitonicSteps<P, K, J / 2>(v);
}

// Sorts the P lanes of v in place, ascending.
template<int P, int K = 2> __attribute__((always_inline)) inline void bitonicSort(Lanes *v)
{
    bitonicSteps<P, K, K / 2>(v);
    if constexpr (K < P)
        bitonicSort<P, K * 2>(v);
}

// The curved reference of columns first … last − 1, one lane of rows at a time: the 2·half neighbours
// (2·half ≤ P) lowered by the parabola, padded with as many −∞ as +∞ and sorted; the column's own
// value when it lies between the two middle ones (if kept), else their mean.
template<int P>
QV_MEDIAN_CLONES void curvedLanes(const float *in, float *out, int first, int last, std::size_t stride,
    int half, const int *source, const double *curvature, OwnValue own_)
{
    const bool keepOwn = own_ == OwnValue::Kept;
    Lanes v[P], inf, minusInf, halfOf;
    for (std::size_t l = 0; l < medianLanes; ++l) {
        inf[l] = INFINITY;
        minusInf[l] = -INFINITY;
        halfOf[l] = 0.5f;
    }
    const int pad = (P - 2 * half) / 2;
    for (int j = first; j < last; ++j) {
        float drop[2 * 256 + 1];
        for (int d = -half; d <= half; ++d)
            drop[d + half] = static_cast<float>(0.5 * curvature[j] * d * d);
        for (std::size_t k = 0; k + medianLanes <= stride; k += medianLanes) {
            int n = 0;
            for (int i = 0; i < pad; ++i) {
                v[n++] = minusInf;
                v[n++] = inf;
            }
            for (int d = -half; d <= half; ++d) {
                if (d == 0)
                    continue;
                Lanes a, c;
                load(a, in + static_cast<std::size_t>(source[j + half + d]) * stride + k);
                for (std::size_t l = 0; l < medianLanes; ++l)
                    c[l] = drop[d + half];
                v[n++] = a - c;
            }
            bitonicSort<P>(v);
            Lanes own;
            load(own, in + static_cast<std::size_t>(source[j + half]) * stride + k);
            const Lanes lo = v[P / 2 - 1], hi = v[P / 2];
            const Lanes mid = (lo + hi) * halfOf;
            store(out + static_cast<std::size_t>(j) * stride + k,
                keepOwn ? ((own >= lo) & (own <= hi) ? own : mid) : mid);
        }
    }
}

} // namespace

int reflectedColumn(long e, int columns)
{
    const long period = 2L * columns;
    long m = e % period;
    if (m < 0)
        m += period;
    return static_cast<int>(m < columns ? m : period - 1 - m);
}

void medianAcrossColumns(const float *in, float *out, int columns, std::size_t stride, int window, int first,
    int last, OwnValue own)
{
    if (last < 0)
        last = columns;
    first = std::max(first, 0);
    last = std::min(last, columns);
    if (columns < 1 || stride < medianLanes || window < 1 || first >= last)
        return;
    const int half = std::max(1, window / 2);
    window = 2 * half + 1;
    std::vector<int> source(static_cast<std::size_t>(columns + window - 1));
    for (std::size_t t = 0; t < source.size(); ++t)
        source[t] = reflectedColumn(static_cast<long>(t) - half, columns);
    // Over-aligned: a std::vector<Lanes> would lose the vector type's alignment.
    const std::unique_ptr<Lanes[]> sorted(new Lanes[static_cast<std::size_t>(2 * half + 1)]);
    for (std::size_t k = 0; k + medianLanes <= stride; k += medianLanes)
        slideLane(in, out, first, last, stride, half, k, source.data(), sorted.get(), own);
}

void medianAcrossColumnsCurved(const float *in, float *out, int columns, std::size_t stride, int window,
    std::span<const double> curvature, int first, int last, OwnValue own)
{
    if (last < 0)
        last = columns;
    first = std::max(first, 0);
    last = std::min(last, columns);
    if (columns < 1 || stride < medianLanes || window < 1 || first >= last
        || static_cast<int>(curvature.size()) < columns)
        return;
    const int half = std::clamp(window / 2, 1, 255);
    std::vector<int> source(static_cast<std::size_t>(columns + 2 * half));
    for (std::size_t t = 0; t < source.size(); ++t)
        source[t] = reflectedColumn(static_cast<long>(t) - half, columns);
    const double *c = curvature.data();
    if (half <= 2)
        curvedLanes<4>(in, out, first, last, stride, half, source.data(), c, own);
    else if (half <= 4)
        curvedLanes<8>(in, out, first, last, stride, half, source.data(), c, own);
    else if (half <= 8)
        curvedLanes<16>(in, out, first, last, stride, half, source.data(), c, own);
    else if (half <= 16)
        curvedLanes<32>(in, out, first, last, stride, half, source.data(), c, own);
    else if (half <= 32)
        curvedLanes<64>(in, out, first, last, stride, half, source.data(), c, own);
    else {
        // A row at a time: the two middle values of the lowered neighbours by selection.
        std::vector<float> v(static_cast<std::size_t>(2 * half));
        for (int j = first; j < last; ++j) {
            for (std::size_t k = 0; k < stride; ++k) {
                int n = 0;
                for (int d = -half; d <= half; ++d)
                    if (d != 0)
                        v[n++] = in[static_cast<std::size_t>(source[j + half + d]) * stride + k]
                            - static_cast<float>(0.5 * c[j] * d * d);
                std::nth_element(v.begin(), v.begin() + half, v.end());
                const float hi = v[half];
                const float lo = *std::max_element(v.begin(), v.begin() + half);
                const float self = in[static_cast<std::size_t>(source[j + half]) * stride + k];
                out[static_cast<std::size_t>(j) * stride + k]
                    = own == OwnValue::Kept && self >= lo && self <= hi ? self : 0.5f * (lo + hi);
            }
        }
    }
}
