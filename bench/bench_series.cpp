// The command on CT-XAFS series: throughput of a series of three data sets in slices per second with
// one thread and with two, and the peak resident memory of one block of a 1800-projection
// 2048 × 2048 data set (15 GB of 16-bit pixels; written to the folder given, or skipped without one).
//
//   bench_series [BIG-FOLDER]

// Qt
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

// Local
#include "recon/reconoptions.h"
#include "recon/seriesrun.h"
#include "bench/benchutil.h"
#include "ct/backprojectkernel.h"
#include <sys/resource.h>

namespace {

double loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0).toDouble() : -1.0;
}

// Three data sets in the Ormel standard naming, 720 projections of 1024 × 64 each (slices are rows).
QString writeSeries(const QString &dir)
{
    const QString series = QDir(dir).filePath(QStringLiteral("series"));
    QDir().mkpath(series);
    int set = 0;
    for (const char *energy : {"7100eV", "7112_5eV", "7130eV"}) {
        const QString raw = QDir(dir).filePath(QStringLiteral("raw%1").arg(set++));
        const QStringList files = writeRandomProjections(raw, 1024, 64, 720);
        for (int k = 0; k < files.size(); ++k)
            QFile::rename(files[k],
                QDir(series).filePath(QStringLiteral("s-%1-%2.img")
                                          .arg(QLatin1String(energy))
                                          .arg(k, 4, 10, QLatin1Char('0'))));
    }
    return series;
}

double seriesSeconds(const QString &series, const QString &out, int threads)
{
    ReconOptions options;
    QString error;
    parseReconOptions({QStringLiteral("--series"), series, QStringLiteral("--axis"), QStringLiteral("v"),
                          QStringLiteral("--cor"), QStringLiteral("511.5"), QStringLiteral("--slices"),
                          QStringLiteral("0:15"), QStringLiteral("--threads"), QString::number(threads),
                          QStringLiteral("--out"), out},
        options, error);
    QString text;
    QTextStream sink(&text);
    return bestSeconds(1, [&] { SeriesRun(options, sink, sink).exec(); });
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_series [BIG-FOLDER]
The command on CT-XAFS series: slices per second of a three-set series with one and two threads,
and (with a folder for its 15 GB) the peak memory of one block of a 2048 x 2048 data set.
)"))
        return 0;
    QCoreApplication app(argc, argv);
    printProcessor(backProjectionKernelName());
    printFigure(QStringLiteral("hardware threads"), QThread::idealThreadCount(), QString());
    printFigure(QStringLiteral("load average at start"), loadAverage(), QString());
    {
        QTemporaryDir dir;
        const QString series = writeSeries(dir.path());
        const int slices = 3 * 16;
        for (int threads : {1, 2}) {
            const double s = seriesSeconds(series, dir.filePath(QStringLiteral("o%1").arg(threads)), threads);
            printFigure(
                QStringLiteral("series of 3 sets, 720 projections, N = 1022, %1 thread(s)").arg(threads),
                slices / s, QStringLiteral("slices/s"));
        }
    }
    if (argc < 2)
        return 0;

    // One block (64 slices, the default) of a 1800-projection 2048 × 2048 set, slices as image
    // columns: every file is read whole, only the block's columns are kept.
    const QString big = QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("bench_series_big"));
    QElapsedTimer t;
    t.start();
    writeRandomProjections(big, 2048, 2048, 1800);
    printFigure(
        QStringLiteral("writing 1800 projections of 2048 x 2048"), t.elapsed() / 1000.0, QStringLiteral("s"));
    printFigure(QStringLiteral("load average before the block"), loadAverage(), QString());
    QProcess recon;
    recon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    t.restart();
    recon.start(QStringLiteral(QUORVEL_RECON),
        {big, QStringLiteral("--cor"), QStringLiteral("1024"), QStringLiteral("--slices"),
            QStringLiteral("992:1055"), QStringLiteral("--threads"), QStringLiteral("2"),
            QStringLiteral("--out"), QDir(big).filePath(QStringLiteral("out"))});
    recon.waitForFinished(-1);
    const double seconds = t.elapsed() / 1000.0;
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    printFigure(QStringLiteral("exit status of the block run"), recon.exitCode(), QString());
    printFigure(QStringLiteral("one block of 64 slices, 2 threads"), seconds, QStringLiteral("s"));
    printFigure(QStringLiteral("peak resident memory, block of 64 slices of a 15 GB set"),
        usage.ru_maxrss / 1024.0, QStringLiteral("MB"));
    QDir(big).removeRecursively();
    return 0;
}
