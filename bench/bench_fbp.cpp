// The back-projection engine on one slice of N = 2046 with 1800 projections over the full region:
// filtering (one FFT pair per row) and back-projection (pixel updates per second on one core).

// Qt
#include <QCoreApplication>

// Local
#include "bench/benchutil.h"
#include "ct/ctfbp.h"
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
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
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x)
            inside += std::sqrt((x - h) * (x - h) + (z - h) * (z - h)) < h;
    const double dTheta = std::numbers::pi / p;
    const double bpSeconds = bestSeconds(2, [&] {
        engine.resetImage(n);
        engine.backProjectRows(p, 0, n, 0, n, 0.0, dTheta);
    });
    printFigure(QStringLiteral("back-projection, one slice"), bpSeconds, QStringLiteral("s"));
    printFigure(
        QStringLiteral("back-projection"), inside * p / bpSeconds, QStringLiteral("updates/s per core"));
    return 0;
}
