// The headless command on slices of N = 2046 from 1800 projections, with data files and PNGs
// written: slices per second with one thread and with all of them, and the speed-up.

// Qt
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

// Local
#include "recon/reconoptions.h"
#include "recon/reconrun.h"
#include "bench/benchutil.h"
#include "ct/backprojectkernel.h"
#include "imagedata/itexwriter.h"
#include <random>
#include <vector>

namespace {

double secondsFor(const QString &projections, const QString &out, int threads, int slices)
{
    ReconOptions options;
    QString error;
    parseReconOptions(
        {projections, QStringLiteral("--axis"), QStringLiteral("v"), QStringLiteral("--cor"),
            QStringLiteral("1024.5"), QStringLiteral("--slices"), QStringLiteral("0:%1").arg(slices - 1),
            QStringLiteral("--threads"), QString::number(threads), QStringLiteral("--out"), out},
        options, error);
    QString text;
    QTextStream sink(&text);
    return bestSeconds(1, [&] { ReconRun(options, sink, sink).exec(); });
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_recon
The headless command on slices of N = 2046 from 1800 projections with data files and PNGs written:
slices per second with one thread and with all of them, and the speed-up.
)"))
        return 0;
    QCoreApplication app(argc, argv);
    printProcessor(backProjectionKernelName());
    QTemporaryDir dir;
    const QString projDir = dir.filePath(QStringLiteral("p"));
    writeRandomProjections(projDir, 2050, 8, 1800);
    const int cores = std::max(1, QThread::idealThreadCount());
    const int slices = 2 * cores;
    const double one = secondsFor(projDir, dir.filePath(QStringLiteral("o1")), 1, slices);
    const double all = secondsFor(projDir, dir.filePath(QStringLiteral("o2")), cores, slices);
    printFigure(QStringLiteral("hardware threads"), cores, QString());
    printFigure(QStringLiteral("command, 1 thread"), slices / one, QStringLiteral("slices/s"));
    printFigure(QStringLiteral("command, %1 threads").arg(cores), slices / all, QStringLiteral("slices/s"));
    printFigure(QStringLiteral("speed-up"), one / all, QStringLiteral("x"));
    return 0;
}
