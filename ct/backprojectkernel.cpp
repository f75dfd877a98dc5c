#include "ct/backprojectkernel.h"

// Local
#include "ct/backprojecttiling.h"
#include <cstdlib>
#include <string_view>

// Every variant computes, for each pixel and line, exactly the operations of the generic one in
// the same order — t = (x·c + ms·z) + C, f = ⌊t⌋, q[j] + (q[j+1] − q[j])·(t − f) added to the pixel —
// and leaves pixels without a sample pair untouched, so all of them give the same bits.

namespace backprojection {

namespace {

// For t ≥ 0, truncation is ⌊t⌋; and ⌊t⌋ lies in [0, last) exactly when t does (last is a whole
// number), so the test on t is the test on ⌊t⌋ and no rounding call is needed. NaN fails it.
inline double addLine(double acc, double xc, double b, double C, const double *q, int last)
{
    const double t = (xc + b) + C;
    if (t >= 0.0 && t < last) {
        const int j = static_cast<int>(t);
        const double f = j;
        acc += q[j] + (q[j + 1] - q[j]) * (t - f);
    }
    return acc;
}

struct GenericKernel
{
    static constexpr int groupRows = 2;
    static constexpr int blockWidth = 4;
    static constexpr int tileRows = 64;
    static constexpr int tileColumns = 256;

    static void blocks(double *const *rows, const int *z, int x, int count, const BackProjectionLine *lines,
        int lineCount, int last, bool)
    {
        const double z0 = z[0], z1 = z[1];
        for (int b = 0; b < count; ++b, x += blockWidth) {
            double a0[blockWidth], a1[blockWidth], xd[blockWidth];
            for (int w = 0; w < blockWidth; ++w) {
                a0[w] = rows[0][x + w];
                a1[w] = rows[1][x + w];
                xd[w] = x + w;
            }
            for (int k = 0; k < lineCount; ++k) {
                const BackProjectionLine &l = lines[k];
                const double b0 = l.ms * z0, b1 = l.ms * z1;
                for (int w = 0; w < blockWidth; ++w) {
                    const double xc = xd[w] * l.c;
                    a0[w] = addLine(a0[w], xc, b0, l.C, l.q, last);
                    a1[w] = addLine(a1[w], xc, b1, l.C, l.q, last);
                }
            }
            for (int w = 0; w < blockWidth; ++w) {
                rows[0][x + w] = a0[w];
                rows[1][x + w] = a1[w];
            }
        }
    }

    static void row(
        double *row, int z, int xa, int xb, const BackProjectionLine *lines, int lineCount, int last, bool)
    {
        const double zd = z;
        for (int x = xa; x < xb; ++x) {
            double acc = row[x];
            const double xd = x;
            for (int k = 0; k < lineCount; ++k) {
                const BackProjectionLine &l = lines[k];
                acc = addLine(acc, xd * l.c, l.ms * zd, l.C, l.q, last);
            }
            row[x] = acc;
        }
    }
};

} // namespace

void runGeneric(const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int last)
{
    run<GenericKernel>(rows, lines, last);
}

} // namespace backprojection

namespace {

using Runner = void (*)(const BackProjectionRows &, std::span<const BackProjectionLine>, int);

bool hasAvx512()
{
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")
        && __builtin_cpu_supports("avx512vl");
}

bool hasAvx2()
{
    return __builtin_cpu_supports("avx2");
}

// QV_KERNEL=generic or QV_KERNEL=avx2 in the environment asks for a narrower variant than the
// processor's widest (to measure another processor's path on this one).
Runner chooseRunner()
{
    __builtin_cpu_init();
    const char *asked = std::getenv("QV_KERNEL");
    const std::string_view wanted = asked ? asked : "";
    if (wanted == "generic")
        return backprojection::runGeneric;
    if (wanted == "avx2" && hasAvx2())
        return backprojection::runAvx2;
    if (hasAvx512())
        return backprojection::runAvx512;
    if (hasAvx2())
        return backprojection::runAvx2;
    return backprojection::runGeneric;
}

const Runner runner = chooseRunner();

} // namespace

void addBackProjections(
    const BackProjectionRows &rows, std::span<const BackProjectionLine> lines, int lastSample)
{
    runner(rows, lines, lastSample);
}

bool addBackProjectionsWith(BackProjectionVariant variant, const BackProjectionRows &rows,
    std::span<const BackProjectionLine> lines, int lastSample)
{
    __builtin_cpu_init();
    switch (variant) {
    case BackProjectionVariant::Generic:
        backprojection::runGeneric(rows, lines, lastSample);
        return true;
    case BackProjectionVariant::Avx2:
        if (!hasAvx2())
            return false;
        backprojection::runAvx2(rows, lines, lastSample);
        return true;
    case BackProjectionVariant::Avx512:
        if (!hasAvx512())
            return false;
        backprojection::runAvx512(rows, lines, lastSample);
        return true;
    }
    return false;
}

BackProjectionVariant backProjectionVariant()
{
    if (runner == backprojection::runAvx512)
        return BackProjectionVariant::Avx512;
    if (runner == backprojection::runAvx2)
        return BackProjectionVariant::Avx2;
    return BackProjectionVariant::Generic;
}

const char *backProjectionKernelName()
{
    if (runner == backprojection::runAvx512)
        return "AVX-512";
    if (runner == backprojection::runAvx2)
        return "AVX2";
    return "generic";
}
