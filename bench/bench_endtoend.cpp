// The headless command end to end on a scan of the demo phantom with the rotation axis horizontal
// (slices are image columns): reading the projections, sinograms, filtering, back-projection,
// images and text, writing. Prints slices per second, where the time went and the peak memory.
//
//   bench_endtoend [--dir DIR] [--width W] [--height H] [--projections P] [--slices A:B]
//                  [--threads N] [--outputs data,png,tiff] [--single] [--block N] [--keep]
//                  [--generate-only]
//
// The default is the full set: 1800 projections of 2048 × 2050 pixels (lines of 2050 with the axis at
// 1024.5 give slices of N = 2046; 15 GB of pixels, in memory while the run lasts) and all 2048 slices
// on 2 threads, writing data files and PNGs. That takes tens of minutes on 2 cores; a narrower set
// (--width 64) or a shorter range (--slices 0:31) measures the same per-slice costs in less. The
// projections are written into DIR once, by one writer per processor, and read from there by later
// runs (default: a temporary folder, removed at the end). Written files are removed as soon as they
// are complete unless --keep is given (a full run's data files would fill 170 GB).

// Qt
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

// Local
#include "recon/reconoptions.h"
#include "recon/reconrun.h"
#include "bench/benchutil.h"
#include "ct/backprojectkernel.h"
#include "tools/phantom/phantom.h"
#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>
#include <sys/resource.h>

namespace {

// The command's output: every "wrote PATH" line has its file removed, on a thread of its own, and
// every 64 slices' files a line on standard error tells how far the run is.
class Remover : public QObject
{
public:
    void remove(const QString &path) { QFile::remove(path); }
};

class OutputSink : public QIODevice
{
public:
    OutputSink(Remover *remover, bool keep, int filesPerSlice, int slices)
        : remover_(remover)
        , keep_(keep)
        , filesPerSlice_(std::max(filesPerSlice, 1))
        , slices_(slices)
    {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        pending_.append(data, size);
        qsizetype end;
        while ((end = pending_.indexOf('\n')) >= 0) {
            const QByteArray line = pending_.left(end);
            pending_.remove(0, end + 1);
            const bool wrote = line.startsWith("wrote ");
            if (wrote && ++files_ % (64 * filesPerSlice_) == 0)
                std::fprintf(stderr, "slices written: %d of %d\n", files_ / filesPerSlice_, slices_);
            if (wrote && !keep_) {
                const QString path = QString::fromLocal8Bit(line.mid(6));
                QMetaObject::invokeMethod(
                    remover_, [r = remover_, path] { r->remove(path); }, Qt::QueuedConnection);
            } else if (line.startsWith("time: ") || line.startsWith("centre")) {
                std::fprintf(stderr, "%s\n", line.constData());
            }
        }
        return size;
    }

private:
    Remover *remover_;
    bool keep_;
    int filesPerSlice_;
    int slices_;
    int files_ = 0;
    QByteArray pending_;
};

// The processor time of the process so far, all threads, in seconds.
double processSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec
        + usage.ru_stime.tv_usec * 1e-6;
}

// The highest resident memory of the process so far, in bytes (Linux; 0 elsewhere).
double peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0.0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() * 1024.0;
    return 0.0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_endtoend [--dir DIR] [--width W] [--height H] [--projections P] [--slices A:B]
                      [--threads N] [--outputs data,png,tiff] [--single] [--block N] [--keep]
                      [--generate-only]
The headless command end to end on a scan of the demo phantom (slices are image columns): slices per
second, where the time went and the peak memory. The default is the full 2048-slice set of 1800
projections of 2048 x 2050 (tens of minutes on 2 cores); --width 64 or --slices 0:31 measure the
same per-slice costs in less.
)"))
        return 0;
    QCoreApplication app(argc, argv);
    printProcessor(backProjectionKernelName());
    QStringList args = app.arguments().mid(1);
    auto take = [&](const QString &name, const QString &fallback) {
        const qsizetype i = args.indexOf(name);
        if (i < 0 || i + 1 >= args.size())
            return fallback;
        return args[i + 1];
    };
    QTemporaryDir temporary;
    const QString dir = take(QStringLiteral("--dir"), temporary.path());
    const int width = take(QStringLiteral("--width"), QStringLiteral("2048")).toInt();
    const int height = take(QStringLiteral("--height"), QStringLiteral("2050")).toInt();
    const int projections = take(QStringLiteral("--projections"), QStringLiteral("1800")).toInt();
    const QString slices = take(QStringLiteral("--slices"), QStringLiteral("0:%1").arg(width - 1));
    const int threads = take(QStringLiteral("--threads"), QStringLiteral("2")).toInt();
    const QStringList outputs = take(QStringLiteral("--outputs"), QStringLiteral("data,png")).split(u',');
    const bool keep = args.contains(QStringLiteral("--keep"));
    if (width < 1 || height < 4 || projections < 1 || threads < 1) {
        std::fprintf(stderr, "bench_endtoend: bad sizes\n");
        return 2;
    }

    const QString projDir = QDir(dir).filePath(QStringLiteral("p"));
    const QString i0 = QDir(dir).filePath(QStringLiteral("i0.img")),
                  bg = QDir(dir).filePath(QStringLiteral("bg.img"));
    // A set is taken as written when its marker names its sizes; a generation cut short has none.
    const QString marker = QDir(dir).filePath(QStringLiteral("written"));
    const QByteArray sizes = QStringLiteral("%1 %2 %3").arg(width).arg(height).arg(projections).toLatin1();
    QFile markerFile(marker);
    if (!markerFile.open(QIODevice::ReadOnly) || markerFile.readAll() != sizes) {
        markerFile.close();
        QFile::remove(marker);
        QDir(projDir).removeRecursively();
        ScanSetup setup;
        setup.axisVertical = false;
        setup.width = width;
        setup.height = height;
        setup.cor = (height - 1) / 2.0;
        setup.projections = projections;
        QElapsedTimer writing;
        writing.start();
        // One writer per processor, each a run of the projections; the first also writes I0 and BG.
        const Phantom phantom = demoPhantom(height);
        const int writers = std::clamp(QThread::idealThreadCount(), 1, projections);
        std::vector<QString> errors(writers);
        std::vector<std::thread> running;
        for (int i = 0; i < writers; ++i) {
            ScanSetup part = setup;
            part.firstProjection = static_cast<int>(static_cast<long long>(projections) * i / writers);
            part.projectionCount
                = static_cast<int>(static_cast<long long>(projections) * (i + 1) / writers) - part.firstProjection;
            running.emplace_back([&, part, i] {
                if (!writeScan(phantom, part, projDir, QStringLiteral("p"), i == 0 ? i0 : QString(),
                        i == 0 ? bg : QString(), &errors[i]))
                    errors[i] = errors[i].isEmpty() ? QStringLiteral("cannot write the scan") : errors[i];
            });
        }
        for (std::thread &t : running)
            t.join();
        for (const QString &error : errors)
            if (!error.isEmpty()) {
                std::fprintf(stderr, "bench_endtoend: %s\n", qPrintable(error));
                return 1;
            }
        printFigure(
            QStringLiteral("writing the projections"), writing.nsecsElapsed() * 1e-9, QStringLiteral("s"));
        if (!markerFile.open(QIODevice::WriteOnly) || markerFile.write(sizes) != sizes.size()) {
            std::fprintf(stderr, "bench_endtoend: cannot write %s\n", qPrintable(marker));
            return 1;
        }
    }
    if (args.contains(QStringLiteral("--generate-only")))
        return 0;

    QTemporaryDir out(QDir(dir).filePath(QStringLiteral("out-XXXXXX")));
    QStringList command {projDir, QStringLiteral("--axis"), QStringLiteral("h"), QStringLiteral("--cor"),
        QString::number((height - 1) / 2.0), QStringLiteral("--i0"), i0, QStringLiteral("--bg"), bg,
        QStringLiteral("--slices"), slices, QStringLiteral("--threads"), QString::number(threads),
        QStringLiteral("--out"), out.path()};
    if (!outputs.contains(QStringLiteral("png")))
        command << QStringLiteral("--no-png");
    if (!outputs.contains(QStringLiteral("data")))
        command << QStringLiteral("--no-data");
    if (outputs.contains(QStringLiteral("tiff")))
        command << QStringLiteral("--tiff");
    if (args.contains(QStringLiteral("--single")))
        command << QStringLiteral("--single");
    command << QStringLiteral("--block") << take(QStringLiteral("--block"), QStringLiteral("64"));
    ReconOptions options;
    QString error;
    if (!parseReconOptions(command, options, error)) {
        std::fprintf(stderr, "bench_endtoend: %s\n", qPrintable(error));
        return 2;
    }
    const int count = static_cast<int>(
        sliceList(options.sliceFrom.value_or(0), options.sliceTo, options.sliceStep).size());

    QThread removing;
    Remover remover;
    remover.moveToThread(&removing);
    removing.start();
    const int filesPerSlice = static_cast<int>(outputs.contains(QStringLiteral("data")))
        + outputs.contains(QStringLiteral("png")) + outputs.contains(QStringLiteral("tiff"));
    OutputSink sink(&remover, keep, filesPerSlice, count);
    QTextStream text(&sink);
    QElapsedTimer clock;
    clock.start();
    const double cpu0 = processSeconds();
    ReconRun run(options, text, text);
    const int status = run.exec();
    const double seconds = clock.nsecsElapsed() * 1e-9;
    text.flush();
    removing.quit();
    removing.wait();
    if (status != 0) {
        std::fprintf(stderr, "bench_endtoend: the command failed (%d)\n", status);
        return 1;
    }

    const ReconTimes &t = run.times();
    printFigure(
        QStringLiteral("set"), projections, QStringLiteral("projections of %1 x %2").arg(width).arg(height));
    printFigure(QStringLiteral("slices"), count,
        QStringLiteral("on %1 threads, writing %2%3")
            .arg(threads)
            .arg(outputs.join(u'+'))
            .arg(args.contains(QStringLiteral("--single")) ? QStringLiteral(", single precision")
                                                           : QString()));
    printFigure(QStringLiteral("end to end"), seconds, QStringLiteral("s"));
    printFigure(QStringLiteral("slices per second"), count / seconds, QStringLiteral("slices/s"));
    // The reading overlaps the reconstruction: what start-up and the first block cost shows as the
    // difference between these two.
    if (t.slicesWall > 0)
        printFigure(QStringLiteral("slices per second from the first slice handed out"), count / t.slicesWall,
            QStringLiteral("slices/s"));
    printFigure(
        QStringLiteral("read (reader thread, during the reconstruction)"), t.read, QStringLiteral("s"));
    printFigure(
        QStringLiteral("waiting for projections (no slice to hand out)"), t.readWait, QStringLiteral("s"));
    printFigure(QStringLiteral("sinograms (all workers)"), t.slices.sinogram, QStringLiteral("s"));
    printFigure(QStringLiteral("filter (all workers)"), t.slices.filter, QStringLiteral("s"));
    printFigure(
        QStringLiteral("back-projection (all workers)"), t.slices.backProjection, QStringLiteral("s"));
    printFigure(QStringLiteral("images and text (main thread)"), t.slices.output, QStringLiteral("s"));
    printFigure(QStringLiteral("write (main thread)"), t.write, QStringLiteral("s"));
    // Of the workers' time from the first slice handed out to the last one written.
    const double workerSeconds = t.slicesWall * threads;
    if (workerSeconds > 0) {
        printFigure(QStringLiteral("workers back-projecting"),
            100.0 * t.slices.backProjection / workerSeconds, QStringLiteral("% of their time"));
        printFigure(QStringLiteral("workers busy (sinograms, filter, back-projection)"),
            100.0 * (t.slices.sinogram + t.slices.filter + t.slices.backProjection) / workerSeconds,
            QStringLiteral("% of their time"));
    }
    // On a machine shared with other work the wall times stretch; the processor time does not.
    const double cpu = processSeconds() - cpu0;
    printFigure(QStringLiteral("processor time of the run (all threads)"), cpu, QStringLiteral("s"));
    printFigure(QStringLiteral("slices per processor-second"), count / cpu, QStringLiteral("slices/s"));
    printFigure(QStringLiteral("peak memory"), peakResidentBytes() / 1e9, QStringLiteral("GB"));
    return 0;
}
