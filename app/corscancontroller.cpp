#include "app/corscancontroller.h"

// Qt
#include <QDebug>

// Local
#include "app/corscanrun.h"
#include "app/loadcontroller.h"
#include "app/runcontroller.h"
#include "app/windowlog.h"
#include "app/windowparts.h"
#include "config/availablememory.h"
#include "config/saidtext.h"
#include "config/threadedjob.h"
#include "ct/corscanfiles.h"
#include "ct/corsearch.h"
#include "ct/offsetaxisplan.h"
#include "ct/sgmgeometry.h"
#include "ct/sinogramgen.h"
#include "ct/sliceworker.h"
#include "ct/ui/corscanpanel.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "recon/workerpool.h"
#include "ui_body.h"
#include "widgets/numberfield.h"
#include "widgets/progressline.h"
#include <algorithm>

// What a guess along a range of slices reads, taken on the main thread; its images are shared,
// read-only, so that a thread of its own may read them.
struct CorScanController::GuessLineJob
{
    ProjectionSet set;
    SinogramRequest request;
    double rangeDeg = 180.0;
    CorMethod method = CorMethod::Mirror;
    double start = 0.0;
    double guessParam = 0.0;
    int from = 0;
    int to = 0;
    int count = 0;

    CorLineGuess run(const std::atomic<bool> *cancel = nullptr) const
    {
        return ::guessCorLine(set, request, rangeDeg, method, start, guessParam, from, to, count, cancel);
    }
};

// A guess along a range on a thread of its own, for a batch line that waits for it.
struct CorScanController::GuessLineRun : ThreadedJob<GuessLineJob, CorLineGuess>
{
    using ThreadedJob::ThreadedJob;
};

CorScanController::CorScanController(
    WindowParts &parts, CorScanPanel *panel, RunController &runs, const LoadController &load, QObject *parent)
    : QObject(parent)
    , parts_(parts)
    , panel_(panel)
    , runs_(runs)
    , load_(load)
{
    connect(panel_, &CorScanPanel::scanClicked, this, &CorScanController::clicked);
    connect(panel_, &CorScanPanel::centreTaken, this, &CorScanController::centreTaken);
    connect(&runs_.pool(), &WorkerPool::trialDone, this, [this](int, const CorTrial &trial) {
        trialDone(trial);
        goOn();
    });
    connect(parts_.ui.procCtrl, &ProcCtrl::guessCorLineRequested, this,
        [this] { guessCorLine(parts_.ui.procCtrl->guessLineSlices()); });
}

CorScanController::~CorScanController()
{
    guess_.reset(); // a guess under way is called off and waited for: its thread reads the images
}

void CorScanController::clicked()
{
    if (scan_) { // a second click stops handing out trials; those under way come back
        stop();
        return;
    }
    // An empty field stands for the current centre of rotation ± 5 pixels.
    const double cor = parts_.ui.procCtrl->cor();
    const double from = panel_->typedFrom().value_or(cor - 5.0);
    const double to = panel_->typedTo().value_or(cor + 5.0);
    start(from, to, panel_->typedStep());
}

void CorScanController::stop()
{
    if (!scan_ || scan_->schedule.stopped())
        return;
    scan_->schedule.stop();
    panel_->setState(tr("stopping"));
    goOn(); // with no trial under way it ends here
}

bool CorScanController::start(double from, double to, double step, bool fromBatch)
{
    const auto refuse = [](const QString &why) {
        qCWarning(lcWindow).noquote() << "CoR Scan:" << why;
        return false;
    };
    if (scan_)
        return refuse(QStringLiteral("a scan is under way"));
    if (parts_.images->count() == 0)
        return refuse(QStringLiteral("no raw images are loaded"));
    if (!runs_.isIdle() || load_.isBusy())
        return refuse(QStringLiteral("a calculation or a load is under way"));
    const RunParams run = parts_.ui.procCtrl->runParams();
    const ProjectionSet set = parts_.images->projectionSet();
    const int L = run.rotAxIsV ? set.width : set.height;
    if (const QString why = corScanProblem(from, to, step, L); !why.isEmpty())
        return refuse(why);
    if (run.offsetAxis)
        if (const QString why = offsetAxisRunProblem(run.dataSetRangeDeg, run.partial); !why.isEmpty())
            return refuse(why);
    const SliceTask task = runs_.panelTask(0, run, set, run.sliceNo, from);
    if (task.sinogram.slice < 0 || task.sinogram.slice >= sliceCount(set, run.rotAxIsV))
        return refuse(sinogramProblem(SinogramStatus::SliceOutOfRange, set, task.sinogram));
    // Each trial is the slice a run makes at its centre: with the run's engine, correction and precision.
    auto scan = std::make_unique<CorScanRun>(
        CorScanRun {CorScanSchedule(task, corScanCentres(from, to, step), set.count(), run.singlePrecision),
            std::clamp(run.threads, 1, runs_.pool().count()), fromBatch, std::nullopt});
    // Its trials' values and engines are reckoned before any is allocated.
    QString why;
    const int threads = workersInMemory(scan->schedule.memoryNeed(), scan->threads, availableMemory(), why);
    if (threads == 0)
        return refuse(why);
    if (threads < scan->threads)
        qCWarning(lcWindow).noquote()
            << QStringLiteral("CoR Scan: memory for %1 of %2 threads").arg(threads).arg(scan->threads);
    scan->threads = threads;
    // Its files go where the slices' data files would, its contact sheet through the fixed colour
    // scale when there is one.
    Ui_Body &ui = parts_.ui;
    if (ui.AutoSaveData->isChecked()) {
        const SelectSaveDir *da = ui.SelectDataSaveDir;
        scan->save = CorScanTarget {da->dir(), da->name(), da->tag(), std::nullopt};
        if (ui.FixColorScale->isChecked())
            scan->save->scale
                = fixedColourRange(fieldDouble(ui.ColorMin->text()), fieldDouble(ui.ColorMax->text()));
    }
    const std::vector<double> &centres = scan->schedule.centres();
    qCInfo(lcWindow).noquote() << QV_SAID("CoR Scan: slice %1 at %2 centres from %3 to %4")
                                      .arg(run.sliceNo)
                                      .arg(centres.size())
                                      .arg(corText(centres.front()), corText(centres.back()));
    panel_->setRange(from, to, std::abs(step));
    panel_->begin(centres, scan->schedule.score());
    panel_->setRunning(true);
    panel_->setState(tr("0 of %1 trials").arg(centres.size()));
    parts_.progress->begin(tr("CoR scan trials"), static_cast<int>(centres.size()));
    scan_ = std::move(scan);
    goOn();
    return true;
}

void CorScanController::goOn()
{
    if (!scan_)
        return;
    giveCorTrials(scan_->schedule, runs_.pool(), scan_->threads);
    if (scan_->schedule.finished())
        finish();
}

void CorScanController::trialDone(const CorTrial &trial)
{
    if (!scan_)
        return;
    CorScanSchedule &scan = scan_->schedule;
    const int index = scan.put(trial);
    if (index < 0)
        return;
    if (!trial.reconstructed)
        qCWarning(lcWindow).noquote()
            << QV_SAID("CoR Scan: trial at %1 not reconstructed: %2").arg(corText(trial.cor), trial.problem);
    panel_->addTrial(index, trial);
    panel_->setState(tr("%1 of %2 trials").arg(scan.done()).arg(scan.centres().size()));
    parts_.progress->advance(scan.done());
}

void CorScanController::finish()
{
    std::unique_ptr<CorScanRun> run = std::move(scan_);
    const CorScanSchedule &scan = run->schedule;
    const int best = scan.best();
    for (size_t i = 0; i < scan.trials().size(); ++i) {
        const CorTrial &t = scan.trials()[i];
        if (t.reconstructed)
            qCInfo(lcWindow).noquote()
                << (static_cast<int>(i) == best ? QV_SAID("CoR Scan: centre %1, score %2, best")
                                                : QV_SAID("CoR Scan: centre %1, score %2"))
                       .arg(corText(t.cor))
                       .arg(t.score, 0, 'f', 6);
    }
    panel_->finish(best);
    panel_->setRunning(false);
    if (best >= 0) {
        const QString bestText = corText(scan.trials()[static_cast<size_t>(best)].cor);
        qCInfo(lcWindow).noquote() << QV_SAID("CoR Scan: best centre of rotation %1").arg(bestText);
        panel_->setState(
            scan.stopped() ? tr("stopped, best so far %1").arg(bestText) : tr("best %1").arg(bestText));
    } else {
        qCWarning(lcWindow).noquote() << QV_SAID("CoR Scan: no trial was reconstructed");
        panel_->setState(tr("no trial"));
    }
    JobOutcome out = scan.outcome();
    if (scan.stopped()) {
        qCWarning(lcWindow).noquote()
            << QV_SAID("CoR Scan stopped after %1 of %2 trials").arg(scan.done()).arg(scan.centres().size());
        parts_.progress->end(tr("stopped"));
    } else {
        parts_.progress->finish();
    }
    if (run->save && !scan.stopped() && best >= 0) {
        CorScanWritten written;
        try {
            written = writeCorScan(scan, *run->save);
        } catch (const std::bad_alloc &) {
            written.problems << QStringLiteral("not enough memory to write the files of the scan");
        }
        for (const QString &path : written.paths)
            qCInfo(lcWindow).noquote() << QV_SAID("CoR Scan: wrote %1").arg(path);
        for (const QString &problem : written.problems)
            qCCritical(lcWindow).noquote() << QV_SAID("CoR Scan: can't save %1").arg(problem);
        out.problems << written.problems;
    }
    emit finished(out, run->fromBatch);
}

std::optional<CorScanController::GuessLineJob> CorScanController::guessLineJob(int count) const
{
    ProcCtrl *p = parts_.ui.procCtrl;
    if (parts_.images->count() == 0) {
        qCWarning(lcWindow).noquote() << "Guess along range: no raw images are loaded";
        return std::nullopt;
    }
    if (p->offsetAxis()) {
        qCWarning(lcWindow).noquote() << "Guess along range: an offset axis is one axis for every slice; "
                                         "Guess CoR finds it";
        return std::nullopt;
    }
    const int from = p->sliceFrom(), to = p->sliceTo();
    if (from == to) {
        qCWarning(lcWindow).noquote()
            << "Guess along range: From and To are one slice; give a range of slices";
        return std::nullopt;
    }
    return GuessLineJob {parts_.images->projectionSet(), p->sinogramRequest(), p->dataSetRangeDeg(),
        parts_.sinogram->corMethod(), p->cor(), fieldDouble(parts_.sinogram->ui().GuessParam->text()), from,
        to, count};
}

bool CorScanController::guessCorLine(int count)
{
    const std::optional<GuessLineJob> job = guessLineJob(count);
    return job && takeGuessLine(*job, job->run());
}

bool CorScanController::startGuessCorLine(int count)
{
    if (guess_) {
        qCWarning(lcWindow).noquote() << "Guess along range: a guess is under way";
        return false;
    }
    std::optional<GuessLineJob> job = guessLineJob(count);
    if (!job)
        return false;
    guess_ = std::make_unique<GuessLineRun>(std::move(*job));
    guess_->start(QStringLiteral("guess along range"), this, &CorScanController::guessLineEnded);
    return true;
}

void CorScanController::stopGuessCorLine()
{
    if (guess_)
        guess_->stop();
}

void CorScanController::guessLineEnded()
{
    if (!guess_)
        return;
    const std::unique_ptr<GuessLineRun> run = std::move(guess_);
    // A guess called off is not taken, whatever it found before it stopped.
    const bool ok = !run->calledOff() && takeGuessLine(run->job(), run->result());
    emit guessLineFinished(ok);
}

bool CorScanController::takeGuessLine(const GuessLineJob &job, const CorLineGuess &g)
{
    ProcCtrl *p = parts_.ui.procCtrl;
    for (const QString &problem : g.problems)
        qCWarning(lcWindow).noquote() << "Guess along range:" << problem;
    QStringList found;
    for (size_t i = 0; i < g.slices.size(); ++i)
        found << QStringLiteral("%1 at %2").arg(QString::number(g.cors[i], 'f', 2)).arg(g.slices[i]);
    if (!g.fit) {
        qCWarning(lcWindow).noquote()
            << "Guess along range: fewer than two slices gave a centre of rotation; the records "
               "are left as they were";
        return false;
    }
    const CorLine line = g.fit->records(job.from, job.to);
    p->setRecordedCoR(1, line.slice1, line.cor1);
    p->setRecordedCoR(2, line.slice2, line.cor2);
    qCInfo(lcWindow).noquote() << QStringLiteral(
        "Guess along range (%1): %2; recorded %3 at slice %4 and %5 at slice %6, "
        "residual %7 pixel rms")
                                      .arg(corMethodName(job.method), found.join(QStringLiteral(", ")))
                                      .arg(line.cor1)
                                      .arg(line.slice1)
                                      .arg(line.cor2)
                                      .arg(line.slice2)
                                      .arg(g.fit->rms, 0, 'f', 3);
    if (g.fit->rms > corLineResidualLimit)
        qCWarning(lcWindow).noquote()
            << QStringLiteral("Guess along range: the guesses lie %1 pixel (rms) off their line: "
                              "the axis may not be straight, or some guesses failed")
                   .arg(g.fit->rms, 0, 'f', 2);
    return true;
}
