// The back-projection engine on one slice of N = 2046 with 1800 projections over the full region:
// filtering (one FFT pair per row) and back-projection (pixel updates per second on one core), with
// the variant the processor gets and, on 180 of the projections, every variant it can run.

// Qt
#include <QCoreApplication>

// Local
#include "bench/benchutil.h"
#include "ct/backprojectkernel.h"
#include "ct/backprojectsingle.h"
#include "ct/ctfbp.h"
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_fbp
The back-projection engine on one slice of N = 2046 from 1800 projections: filtering and
back-projection (pixel updates per second on one core), in double and single precision, with the
variant the processor gets and every variant it can run. QV_KERNEL=avx2|generic chooses a narrower
variant; QV_BENCH_CPU=1 reports thread processor time.
)"))
        return 0;
    QCoreApplication app(argc, argv);
    printProcessor(backProjectionKernelName());
    const int width = 2047; // a sinogram of 2·1024 − 1 samples gives N = 2046
    const int n = 2046;
    const int p = 1800;
    std::vector<double> sinogram(static_cast<size_t>(width) * p);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(0.0, 2.0);
    for (double &v : sinogram)
        v = u(rng);

    CtFbp engine;
    engine.setup(n, p);
    engine.resetImage(n);
    const double filterSeconds = bestSeconds(3, [&] {
        for (int i = 0; i < p; ++i)
            engine.forwardRow(sinogram.data() + static_cast<size_t>(i) * width, i);
        for (int i = 0; i < p; ++i)
            engine.filterRow(i);
    });
    printFigure(QStringLiteral("filtering, 1800 rows of 2046"), filterSeconds * 1e3, QStringLiteral("ms"));
    printFigure(QStringLiteral("filtering"), p / filterSeconds, QStringLiteral("rows/s"));

    // Pixels strictly inside the circle, each updated once per projection.
    const double h = n / 2.0;
    double inside = 0;
    std::vector<int> xs, xe;
    for (int z = 0; z < n; ++z) {
        int lo = n, hi = 0;
        for (int x = 0; x < n; ++x)
            if (std::sqrt((x - h) * (x - h) + (z - h) * (z - h)) < h) {
                ++inside;
                lo = std::min(lo, x);
                hi = x + 1;
            }
        xs.push_back(lo);
        xe.push_back(std::max(lo, hi));
    }
    const double dTheta = std::numbers::pi / p;
    const double bpSeconds = bestSeconds(2, [&] {
        engine.resetImage(n);
        engine.backProjectRows(p, 0, n, 0, n, 0.0, dTheta);
    });
    printFigure(QStringLiteral("back-projection, one slice"), bpSeconds, QStringLiteral("s"));
    printFigure(QStringLiteral("back-projection (%1)").arg(QLatin1String(backProjectionKernelName())),
        inside * p / bpSeconds, QStringLiteral("updates/s per core"));

    // The same slice in single precision.
    {
        CtFbp single;
        single.setup(n, p, true);
        single.resetImage(n);
        const double seconds = bestSeconds(3, [&] {
            for (int i = 0; i < p; ++i)
                single.forwardRow(sinogram.data() + static_cast<size_t>(i) * width, i);
            for (int i = 0; i < p; ++i)
                single.filterRow(i);
        });
        printFigure(QStringLiteral("filtering in single precision"), p / seconds, QStringLiteral("rows/s"));
        const double slice = bestSeconds(2, [&] {
            single.resetImage(n);
            single.backProjectRows(p, 0, n, 0, n, 0.0, dTheta);
        });
        printFigure(
            QStringLiteral("back-projection in single precision, one slice"), slice, QStringLiteral("s"));
        printFigure(QStringLiteral("back-projection in single precision (%1)")
                        .arg(QLatin1String(backProjectionKernelName())),
            inside * p / slice, QStringLiteral("updates/s per core"));
    }

    // Every variant on every tenth projection.
    std::vector<BackProjectionLine> lines;
    for (int i = 0; i < p; i += 10) {
        const double th = i * dTheta, c = std::cos(th), s = std::sin(th);
        lines.push_back({engine.filteredRow(i).data(), c, -s, h - (c * h - s * h)});
    }
    std::vector<double> image(static_cast<size_t>(n) * n);
    const BackProjectionRows rows {image.data(), static_cast<size_t>(n), 0, n, xs.data(), xe.data()};
    for (auto [variant, name] : {std::pair {BackProjectionVariant::Generic, "generic"},
             std::pair {BackProjectionVariant::Avx2, "AVX2"},
             std::pair {BackProjectionVariant::Avx512, "AVX-512"}}) {
        bool ran = true;
        const double seconds
            = bestSeconds(5, [&] { ran = addBackProjectionsWith(variant, rows, lines, n - 1); });
        if (ran)
            printFigure(QStringLiteral("back-projection, %1 variant").arg(QLatin1String(name)),
                inside * double(lines.size()) / seconds, QStringLiteral("updates/s per core"));
    }

    // The same in single precision: the rows as floats, an image of floats.
    const size_t strideF = n + backProjectRowPaddingSingle;
    std::vector<float> rowsF(strideF * lines.size() + backProjectRowPaddingSingle);
    std::vector<BackProjectionLineSingle> linesF;
    for (size_t k = 0; k < lines.size(); ++k) {
        for (int i = 0; i < n; ++i)
            rowsF[k * strideF + i] = static_cast<float>(lines[k].q[i]);
        linesF.push_back(
            {rowsF.data() + k * strideF, lines[k].c, lines[k].ms, lines[k].C, singleSlope(lines[k].c)});
    }
    const size_t imageStride = singleImageStride(n);
    std::vector<float> imageF(imageStride * n);
    const BackProjectionRowsSingle rowsS {imageF.data(), imageStride, 0, n, xs.data(), xe.data()};
    for (auto [variant, name] : {std::pair {BackProjectionVariant::Generic, "generic"},
             std::pair {BackProjectionVariant::Avx2, "AVX2"},
             std::pair {BackProjectionVariant::Avx512, "AVX-512"}}) {
        bool ran = true;
        const double seconds
            = bestSeconds(5, [&] { ran = addBackProjectionsSingleWith(variant, rowsS, linesF, n - 1); });
        if (ran)
            printFigure(
                QStringLiteral("back-projection in single precision, %1 variant").arg(QLatin1String(name)),
                inside * double(lines.size()) / seconds, QStringLiteral("updates/s per core"));
    }
    return 0;
}
