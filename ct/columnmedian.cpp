#include "ct/columnmedian.h"

// Local
#include <algorithm>
#include <cmath>
#include <memory>
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

#if defined(__SANITIZE_THREAD__)
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
    int half, std::size_t k, const int *source, Lanes *sorted)
{
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
        const auto isMedian = (own >= lo) & (own <= hi);
        store(out + static_cast<std::size_t>(j) * stride + k, isMedian ? own : (lo + hi) * halfOf);
        if (j + 1 >= last)
            break;
        at(j, a); // leaves on the left
        at(j + n, b); // comes in on the right
        replaceSorted(sorted, n, a, b, minusInf);
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

void medianAcrossColumns(
    const float *in, float *out, int columns, std::size_t stride, int window, int first, int last)
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
        slideLane(in, out, first, last, stride, half, k, source.data(), sorted.get());
}
