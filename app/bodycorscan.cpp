// The main window's scans of centres of rotation: one slice reconstructed at a range of centres on
// the calculation workers, shown side by side on the "CoR Scan" page; and the guess along a range
// of slices that records the line of a tilted axis.

// Qt
#include <QDebug>
#include <QDir>
#include <QGridLayout>

// Local
#include "app/body.h"
#include "app/corscanrun.h"
#include "ct/corscanfiles.h"
#include "ct/corsearch.h"
#include "ct/savenaming.h"
#include "ct/sgmgeometry.h"
#include "ct/ui/corscanpanel.h"
#include "ct/ui/ctcalc.h"
#include "ct/sliceworker.h"
#include "recon/workerpool.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "widgets/popdockbase.h"
#include "widgets/progressline.h"
#include "app/windowlog.h"
#include <algorithm>

void Body::setUpCorScan()
{
    corScanPanel_ = new CorScanPanel;
    corScanPanel_->setObjectName(QStringLiteral("CorScanPanel"));
    // A page of its own at the end, so that the pages the batch selects by number stay where they were.
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("CorScanTab"));
    auto *layout = new QGridLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    auto *container = new PopDockBase(page);
    container->setObjectName(QStringLiteral("CorScanBase"));
    container->setPopTitle(tr("Centre of Rotation Scan"));
    container->setPanel(corScanPanel_);
    layout->addWidget(container, 0, 0);
    ui_.ImgsTab->addTab(page, tr("CoR Scan"));
    connect(corScanPanel_, &CorScanPanel::scanClicked, this, &Body::corScanClicked);
    connect(corScanPanel_, &CorScanPanel::centreTaken, this, &Body::takeCorFromScan);
    connect(pool_, &WorkerPool::trialDone, this, [this](int, const CorTrial &trial) {
        corTrialFinished(trial);
        continueCorScan();
        resumeWaitingWork();
    });
    connect(ui_.procCtrl, &ProcCtrl::guessCorLineRequested, this,
        [this] { guessCorLine(ui_.procCtrl->guessLineSlices()); });
    connect(this, &Body::corScanFinished, this, &Body::tryQuit, Qt::QueuedConnection);
}

void Body::takeCorFromScan(double cor)
{
    setCorAsPicked(cor); // Ctrl+Z puts the centre before back
    applyDefaultCor_ = false;
    qCInfo(lcWindow).noquote() << "CoR Scan: centre of rotation" << corText(cor) << "taken";
}

void Body::corScanClicked()
{
    if (corScan_) { // a second click stops handing out trials; those under way come back
        corScan_->schedule.stop();
        corScanPanel_->setState(tr("stopping"));
        return;
    }
    // An empty field stands for the current centre of rotation ± 5 pixels.
    const double cor = ui_.procCtrl->cor();
    const double from = corScanPanel_->typedFrom().value_or(cor - 5.0);
    const double to = corScanPanel_->typedTo().value_or(cor + 5.0);
    startCorScan(from, to, corScanPanel_->typedStep());
}

bool Body::startCorScan(double from, double to, double step, bool fromBatch)
{
    const auto refuse = [](const QString &why) {
        qCWarning(lcWindow).noquote() << "CoR Scan:" << why;
        return false;
    };
    if (corScan_)
        return refuse(QStringLiteral("a scan is under way"));
    if (imgDatas_->count() == 0)
        return refuse(QStringLiteral("no raw images are loaded"));
    if (calculating_ || pendingStart_ || loading_ || loadWaiting_ || slicesInProgress() > 0
        || ctCalc_->isRunning())
        return refuse(QStringLiteral("a calculation or a load is under way"));
    const RunParams run = ui_.procCtrl->runParams();
    const ProjectionSet set = imgDatas_->projectionSet();
    const int L = run.rotAxIsV ? set.width : set.height;
    if (const QString why = corScanProblem(from, to, step, L); !why.isEmpty())
        return refuse(why);
    const SliceTask task = sliceTask(0, run, set, run.sliceNo, from);
    if (task.sinogram.slice < 0 || task.sinogram.slice >= sliceCount(set, run.rotAxIsV))
        return refuse(sinogramProblem(SinogramStatus::SliceOutOfRange, set, task.sinogram));
    // Each trial is the slice a run makes at its centre: with the run's engine, correction and precision.
    auto scan = std::make_unique<CorScanRun>(CorScanRun {
        CorScanSchedule(task, corScanCentres(from, to, step), set.count(), run.singlePrecision),
        std::clamp(run.threads, 1, pool_->count()), fromBatch, std::nullopt});
    // Its files go where the slices' data files would, its contact sheet through the fixed colour
    // scale when there is one.
    if (ui_.AutoSaveData->isChecked()) {
        const SelectSaveDir *da = ui_.SelectDataSaveDir;
        scan->save = CorScanTarget {da->dir(), da->name(), da->tag(), std::nullopt};
        if (ui_.FixColorScale->isChecked())
            scan->save->scale = fixedColourRange(colorMin(), colorMax());
    }
    const std::vector<double> &centres = scan->schedule.centres();
    qCInfo(lcWindow).noquote() << QStringLiteral("CoR Scan: slice %1 at %2 centres from %3 to %4")
                                      .arg(run.sliceNo)
                                      .arg(centres.size())
                                      .arg(corText(centres.front()), corText(centres.back()));
    corScanPanel_->setRange(from, to, std::abs(step));
    corScanPanel_->begin(centres, scan->schedule.score());
    corScanPanel_->setRunning(true);
    corScanPanel_->setState(tr("0 of %1 trials").arg(centres.size()));
    progressLine_->begin(tr("CoR scan trials"), static_cast<int>(centres.size()));
    corScan_ = std::move(scan);
    continueCorScan();
    return true;
}

void Body::continueCorScan()
{
    if (!corScan_)
        return;
    giveCorTrials(corScan_->schedule, *pool_, corScan_->threads);
    if (corScan_->schedule.finished())
        finishCorScan();
}

void Body::corTrialFinished(const CorTrial &trial)
{
    if (!corScan_)
        return;
    CorScanSchedule &scan = corScan_->schedule;
    const int index = scan.put(trial);
    if (index < 0)
        return;
    if (!trial.reconstructed)
        qCWarning(lcWindow).noquote() << "CoR Scan: trial at" << corText(trial.cor)
                                      << "not reconstructed:" << trial.problem;
    corScanPanel_->addTrial(index, trial);
    corScanPanel_->setState(tr("%1 of %2 trials").arg(scan.done()).arg(scan.centres().size()));
    progressLine_->advance(scan.done());
}

void Body::finishCorScan()
{
    std::unique_ptr<CorScanRun> run = std::move(corScan_);
    const CorScanSchedule &scan = run->schedule;
    const int best = scan.best();
    for (size_t i = 0; i < scan.trials().size(); ++i) {
        const CorTrial &t = scan.trials()[i];
        if (t.reconstructed)
            qCInfo(lcWindow).noquote() << QStringLiteral("CoR Scan: centre %1, score %2%3")
                                              .arg(corText(t.cor))
                                              .arg(t.score, 0, 'f', 6)
                                              .arg(static_cast<int>(i) == best ? QStringLiteral(", best")
                                                                               : QString());
    }
    corScanPanel_->finish(best);
    corScanPanel_->setRunning(false);
    if (best >= 0) {
        const QString bestText = corText(scan.trials()[static_cast<size_t>(best)].cor);
        qCInfo(lcWindow).noquote() << "CoR Scan: best centre of rotation" << bestText;
        corScanPanel_->setState(
            scan.stopped() ? tr("stopped, best so far %1").arg(bestText) : tr("best %1").arg(bestText));
    } else {
        qCWarning(lcWindow).noquote() << "CoR Scan: no trial was reconstructed";
        corScanPanel_->setState(tr("no trial"));
    }
    JobOutcome out = scan.outcome();
    if (scan.stopped()) {
        qCWarning(lcWindow).noquote()
            << QStringLiteral("CoR Scan stopped after %1 of %2 trials").arg(scan.done()).arg(scan.centres().size());
        progressLine_->end(tr("stopped"));
    } else {
        progressLine_->finish();
    }
    if (run->save && !scan.stopped() && best >= 0) {
        const CorScanWritten written = writeCorScan(scan, *run->save);
        for (const QString &path : written.paths)
            qCInfo(lcWindow).noquote() << "CoR Scan: wrote" << path;
        for (const QString &problem : written.problems)
            qCCritical(lcWindow).noquote() << "CoR Scan: can't save" << problem;
        out.problems << written.problems;
    }
    emit corScanFinished(out);
    if (run->fromBatch)
        reportBatchLine(out.ok());
    resumeWaitingWork(); // a run that waited for the workers
}

bool Body::guessCorLine(int count)
{
    ProcCtrl *p = ui_.procCtrl;
    if (imgDatas_->count() == 0) {
        qCWarning(lcWindow).noquote() << "Guess along range: no raw images are loaded";
        return false;
    }
    const int from = p->sliceFrom(), to = p->sliceTo();
    if (from == to) {
        qCWarning(lcWindow).noquote() << "Guess along range: From and To are one slice; give a range of slices";
        return false;
    }
    const CorMethod method = sinogram_->corMethod();
    const CorLineGuess g
        = ::guessCorLine(imgDatas_->projectionSet(), p->sinogramRequest(), p->dataSetRangeDeg(), method,
            p->cor(), fieldDouble(sinogram_->ui().GuessParam->text()), from, to, count);
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
    const CorLine line = g.fit->records(from, to);
    p->setRecordedCoR(1, line.slice1, line.cor1);
    p->setRecordedCoR(2, line.slice2, line.cor2);
    qCInfo(lcWindow).noquote() << QStringLiteral(
        "Guess along range (%1): %2; recorded %3 at slice %4 and %5 at slice %6, "
        "residual %7 pixel rms")
                             .arg(corMethodName(method), found.join(QStringLiteral(", ")))
                             .arg(line.cor1)
                             .arg(line.slice1)
                             .arg(line.cor2)
                             .arg(line.slice2)
                             .arg(g.fit->rms, 0, 'f', 3);
    if (g.fit->rms > corLineResidualLimit)
        qCWarning(lcWindow).noquote() << QStringLiteral(
            "Guess along range: the guesses lie %1 pixel (rms) off their line: "
            "the axis may not be straight, or some guesses failed")
                                    .arg(g.fit->rms, 0, 'f', 2);
    return true;
}
