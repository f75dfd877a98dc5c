// The text of a CT image data file for a 2048 × 2048 region (about 4.2 million lines), built in
// memory on one core.

// Qt
#include <QCoreApplication>

// Local
#include "bench/benchutil.h"
#include "ct/ctimagefile.h"
#include <random>
#include <vector>

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_datafile
The text of a CT image data file for a 2048 x 2048 region, built in memory on one core.
)"))
        return 0;
    QCoreApplication app(argc, argv);
    printProcessor();
    const int n = 2048;
    std::vector<double> image(static_cast<size_t>(n) * n);
    std::mt19937 rng(1);
    std::normal_distribution<double> values(0.02, 0.01);
    for (double &v : image)
        v = values(rng);
    qsizetype bytes = 0;
    const double seconds = bestSeconds(3, [&] {
        bytes = ctImageDataText(image, n, Region {0, 0, double(n), double(n)}, DataWindow {}).size();
    });
    printFigure(QStringLiteral("data file text, 2048 x 2048 region"), seconds, QStringLiteral("s"));
    printFigure(QStringLiteral("data file text"), bytes / seconds / 1e6, QStringLiteral("MB/s"));
    return 0;
}
