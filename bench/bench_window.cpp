// The window's calculation run on the worker pool (CT2) over a range of slices of N = 2046 from 1800
// projections, with data files and PNGs saved: slices per second with one thread and with all, the
// speed-up, and the longest stall of the window's event loop during the run. Then a scan of 21
// centres on the pool against one slice of a run.

// Qt
#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

// Local
#include "app/body.h"
#include "bench/benchutil.h"
#include "ct/backprojectkernel.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "imagedata/itexwriter.h"
#include <random>
#include <vector>

namespace {

struct RunFigures
{
    double seconds = 0.0;
    double longestStallMs = 0.0;
};

RunFigures runRange(Body &body, const QString &out, int threads, int slices)
{
    ProcCtrl *p = body.ui().procCtrl;
    p->setAutoExec(true);
    p->setSliceFrom(0);
    p->setSliceTo(slices - 1);
    p->setSliceStep(1);
    p->setThreads(threads);
    for (SelectSaveDir *s : {body.ui().SelectImageSaveDir, body.ui().SelectDataSaveDir})
        s->setDir(out);
    body.ui().AutoSaveImage->setChecked(true);
    body.ui().AutoSaveData->setChecked(true);

    // A timer that should fire every 5 ms measures how long the event loop was kept from it.
    RunFigures f;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        f.longestStallMs = std::max(f.longestStallMs, sinceTick.nsecsElapsed() * 1e-6);
        sinceTick.restart();
    });
    QSignalSpy finished(&body, &Body::calcFinished);
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start();
    body.ui().CalcCT->click();
    finished.wait(600000);
    f.seconds = clock.nsecsElapsed() * 1e-9;
    ticker.stop();
    return f;
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_window
The window's calculation run on the worker pool (CT2) over slices of N = 2046 from 1800 projections
with files saved: slices per second with one thread and with all, the speed-up and the longest stall
of the window's event loop; then a scan of 21 centres against one slice of a run.
)"))
        return 0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    printProcessor(backProjectionKernelName());
    QTemporaryDir dir;
    const QStringList files = writeRandomProjections(dir.path(), 2050, 8, 1800);
    const int cores = std::max(1, QThread::idealThreadCount());
    Body body(nullptr, cores);
    body.ui().procCtrl->setRotAxV(true);
    QSignalSpy loaded(&body, &Body::finishedLoadingCTFiles);
    body.ui().CTFiles->filesChosen(files);
    loaded.wait(600000);
    body.ui().procCtrl->setCor(1024.5); // sinograms of 2047 samples, N = 2046
    body.ui().SelectCt2->setChecked(true);

    const int slices = 2 * cores;
    const RunFigures one = runRange(body, dir.filePath(QStringLiteral("o1")), 1, slices);
    const RunFigures all = runRange(body, dir.filePath(QStringLiteral("o2")), cores, slices);
    printFigure(QStringLiteral("hardware threads"), cores, QString());
    printFigure(QStringLiteral("window run, 1 thread"), slices / one.seconds, QStringLiteral("slices/s"));
    printFigure(QStringLiteral("window run, %1 threads").arg(cores), slices / all.seconds,
        QStringLiteral("slices/s"));
    printFigure(QStringLiteral("speed-up"), one.seconds / all.seconds, QStringLiteral("x"));
    printFigure(QStringLiteral("longest event-loop stall"), std::max(one.longestStallMs, all.longestStallMs),
        QStringLiteral("ms"));

    // One slice of a run (nothing saved), the best of two, and a scan of 21 centres round it.
    ProcCtrl *p = body.ui().procCtrl;
    body.ui().AutoSaveImage->setChecked(false);
    body.ui().AutoSaveData->setChecked(false);
    p->setAutoExec(false);
    p->setSliceNo(3);
    p->setThreads(1);
    double slice = 1e30;
    for (int k = 0; k < 2; ++k) {
        QSignalSpy finished(&body, &Body::calcFinished);
        QElapsedTimer clock;
        clock.start();
        body.ui().CalcCT->click();
        finished.wait(600000);
        slice = std::min(slice, clock.nsecsElapsed() * 1e-9);
    }
    // As many slices as workers, one each: the baseline on a machine that other work shares.
    p->setThreads(cores);
    p->setAutoExec(true);
    p->setSliceFrom(0);
    p->setSliceTo(cores - 1);
    double each = 1e30;
    for (int k = 0; k < 2; ++k) {
        QSignalSpy finished(&body, &Body::calcFinished);
        QElapsedTimer clock;
        clock.start();
        body.ui().CalcCT->click();
        finished.wait(600000);
        each = std::min(each, clock.nsecsElapsed() * 1e-9);
    }
    p->setAutoExec(false);
    QSignalSpy scanned(&body, &Body::corScanFinished);
    QElapsedTimer clock;
    clock.start();
    body.startCorScan(1019.5, 1029.5, 0.5);
    scanned.wait(3600000);
    const double scan = clock.nsecsElapsed() * 1e-9;
    printFigure(QStringLiteral("window, one slice of a run"), slice, QStringLiteral("s"));
    printFigure(QStringLiteral("window, %1 slices on %1 workers").arg(cores), each, QStringLiteral("s"));
    printFigure(QStringLiteral("window, 21-trial scan on %1 workers").arg(cores), scan, QStringLiteral("s"));
    printFigure(
        QStringLiteral("scan / (21 x one slice / workers)"), scan / (21.0 * slice / cores), QString());
    printFigure(QStringLiteral("scan / (21 / workers x the time of one slice per worker)"),
        scan / (21.0 / cores * each), QString());
    return 0;
}
