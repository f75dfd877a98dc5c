#include "ct/sinogramline.h"

// Local
#include <algorithm>
#include <cmath>

namespace {

// Everything but the logarithm, which has to be the library's own for the same bits: this part runs
// in vectors, compiled for the widest the processor has (IEEE arithmetic gives the same bits in any
// width; no fused multiply-add).
template<bool KeepRaw>
inline void resampleAndDivide(const double *__restrict px, const double *__restrict weight,
    const double *__restrict reference, const double *__restrict dark, int width, double *__restrict raw,
    double *__restrict ratio)
{
    for (int i = 0; i < width; ++i) {
        const double y0 = px[i], y1 = px[i + 1];
        const double r = weight[i] * (y1 - y0) + y0;
        if (KeepRaw)
            raw[i] = r;
        double b = r - dark[i];
        b = b <= 0.0 ? 1.0 : b;
        ratio[i] = reference[i] / b;
    }
}

// One clone per instruction set, chosen when the program is loaded. ThreadSanitizer's runtime is not
// ready that early (the chooser would run instrumented), so the checking builds keep one version.
#if defined(QV_TSAN)
#define QV_RATIO_CLONES
#else
#define QV_RATIO_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#endif

QV_RATIO_CLONES void ratios(const double *px,
    const double *weight, const double *reference, const double *dark, int width, double *raw, double *ratio)
{
    if (raw)
        resampleAndDivide<true>(px, weight, reference, dark, width, raw, ratio);
    else
        resampleAndDivide<false>(px, weight, reference, dark, width, nullptr, ratio);
}

} // namespace

std::shared_ptr<const std::vector<double>> lineWeights(const SgmGeometry &g)
{
    auto weights = std::make_shared<std::vector<double>>(static_cast<size_t>(std::max(g.width, 0)));
    const long first = long(g.base) + 1 - g.half;
    for (int i = 0; i < g.width; ++i) {
        const double x0 = double(first + i);
        (*weights)[i] = (x0 + g.frac) - x0;
    }
    return weights;
}

LineCorrection makeLineCorrection(const SgmGeometry &g, std::shared_ptr<const std::vector<double>> weights,
    const std::vector<double> &i0, const std::vector<double> &bg)
{
    LineCorrection lc;
    lc.g = g;
    lc.weight = std::move(weights);
    const int width = std::max(g.width, 0);
    lc.reference.resize(static_cast<size_t>(width));
    lc.dark.resize(lc.reference.size());
    for (int i = 0; i < width; ++i) {
        double a = i0[i] - bg[i];
        if (a <= 0.0)
            a = 1.0;
        lc.reference[i] = a;
        lc.dark[i] = bg[i];
    }
    return lc;
}

void correctLine(const double *line, const LineCorrection &lc, double *raw, double *att)
{
    // In pieces that keep the ratios in the first-level cache between the two loops.
    constexpr int piece = 256;
    double ratio[piece];
    const double *px = line + (long(lc.g.base) + 1 - lc.g.half);
    for (int i0 = 0; i0 < lc.g.width; i0 += piece) {
        const int n = std::min(piece, lc.g.width - i0);
        ratios(px + i0, lc.weight->data() + i0, lc.reference.data() + i0, lc.dark.data() + i0, n,
            raw ? raw + i0 : nullptr, ratio);
        for (int i = 0; i < n; ++i)
            att[i0 + i] = std::log(ratio[i]);
    }
}
