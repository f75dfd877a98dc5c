#include "ct/backprojectsingle.h"

// Local
#include "ct/backprojectsingletiling.h"
#include <cmath>

// Every variant computes, for each pixel and line, exactly the operations written out in
// backprojectsingle.h in the same order (no fused multiply-add), so all of them give the same bits.

namespace backprojectsingle {

namespace {

struct GenericKernel
{
    static constexpr int groupRows = 2;
    static constexpr int blockGroups = 1;
    static constexpr int tileRows = 64;
    static constexpr int tileColumns = 256;

    template<int R, int B>
    static void block(
        float *const *rows, const int *z, int x, const int *lo, const int *hi, const Chunk &ch, int last)
    {
        const bool falling = ch.falling;
        for (int r = 0; r < R; ++r) {
            const double zd = z[r];
            for (int b = 0; b < B; ++b) {
                const int xg = x + group * b;
                const int from = std::max(lo[r], xg), to = std::min(hi[r], xg + group);
                if (from >= to)
                    continue;
                const int xa = anchorX(xg, falling);
                float acc[group];
                std::copy(rows[r] + from, rows[r] + to, acc);
                for (int k = 0; k < ch.count; ++k) {
                    const float *q = ch.q[k];
                    const double b = ch.ms[k] * zd;
                    const double ta = (xa * ch.c[k] + b) + ch.C[k];
                    const double fa = std::floor(ta);
                    if (!(fa >= -anchorReach && fa <= last + anchorReach)) // NaN too
                        continue;
                    const int j0 = static_cast<int>(fa);
                    const float f0 = static_cast<float>(ta - fa);
                    for (int px = from; px < to; ++px) {
                        const double t = (px * ch.c[k] + b) + ch.C[k];
                        if (!(t >= 0.0 && t < last))
                            continue;
                        const float u = f0 + static_cast<float>(falling ? xa - px : px - xa) * ch.slope[k];
                        const int jj = static_cast<int>(u);
                        float fr = u - static_cast<float>(jj);
                        int j = j0 + jj;
                        if (j < 0) {
                            j = 0;
                            fr = 0.0f;
                        } else if (j >= last) {
                            j = last - 1;
                            fr = 1.0f;
                        }
                        acc[px - from] += q[j] + (q[j + 1] - q[j]) * fr;
                    }
                }
                std::copy(acc, acc + (to - from), rows[r] + from);
            }
        }
    }
};

} // namespace

void runGeneric(
    const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int last)
{
    run<GenericKernel>(rows, lines, last);
}

} // namespace backprojectsingle

namespace {

using Runner = void (*)(const BackProjectionRowsSingle &, std::span<const BackProjectionLineSingle>, int);

Runner runnerFor(BackProjectionVariant variant)
{
    switch (variant) {
    case BackProjectionVariant::Avx512:
        return backprojectsingle::runAvx512;
    case BackProjectionVariant::Avx2:
        return backprojectsingle::runAvx2;
    case BackProjectionVariant::Generic:
        break;
    }
    return backprojectsingle::runGeneric;
}

} // namespace

void addBackProjectionsSingle(
    const BackProjectionRowsSingle &rows, std::span<const BackProjectionLineSingle> lines, int lastSample)
{
    // The double variant's choice, made when the program started (asked for on first use here, so
    // that the order in which the two are set up does not matter).
    static const Runner runner = runnerFor(backProjectionVariant());
    runner(rows, lines, lastSample);
}

bool addBackProjectionsSingleWith(BackProjectionVariant variant, const BackProjectionRowsSingle &rows,
    std::span<const BackProjectionLineSingle> lines, int lastSample)
{
    __builtin_cpu_init();
    const bool runs = variant == BackProjectionVariant::Generic
        || (variant == BackProjectionVariant::Avx2 && __builtin_cpu_supports("avx2"))
        || (variant == BackProjectionVariant::Avx512 && __builtin_cpu_supports("avx512f")
            && __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl"));
    if (runs)
        runnerFor(variant)(rows, lines, lastSample);
    return runs;
}
