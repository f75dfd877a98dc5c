// The window's wiring: how its controllers meet (what a load, a run, a scan or a continuous run
// ending sets off), and the CT panels kept alike (regions, fixed colour scale, CT1 or CT2).

// Qt
#include <QDebug>

// Local
#include "app/body.h"
#include "app/windowlog.h"
#include "automation/batch.h"
#include "config/saidtext.h"
#include "ct/corscanfiles.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/ctdisp.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "imagedata/ui/selectdatafiles.h"
#include "recon/corchoice.h"
#include "recon/workerpool.h"
#include "widgets/numberfield.h"
#include "xafs/ui/xanespanel.h"
#include <utility>

void Body::connectControllers()
{
    // Loading.
    connect(ui_.CTFiles, &SelectDataFiles::filesSelected, load_, &LoadController::dataFilesSelected);
    connect(ui_.CTFiles, &SelectDataFiles::filesCleared, load_, &LoadController::rawFilesCleared);
    connect(load_, &LoadController::askLoadNextDataFile, this, &Body::askLoadNextDataFile);
    connect(load_, &LoadController::noticeFinishedLoadDataFiles, this, &Body::noticeFinishedLoadDataFiles);
    connect(load_, &LoadController::imagesChanged, this, &Body::imagesChanged);
    connect(load_, &LoadController::i0OrBgChanged, this, &Body::i0OrBgSelected);
    connect(load_, &LoadController::loaded, this, &Body::loadEnded);
    connect(ui_.procCtrl, &ProcCtrl::rotAxUpdated, load_, &LoadController::axisChanged);
    // Runs.
    connect(ui_.CalcCT, &QPushButton::clicked, runs_, &RunController::toggleCalcCt);
    connect(ctCalc_, &CtCalc::askToStartCalc, runs_, &RunController::toggleCalcCt);
    connect(this, &Body::batchCalcStart, runs_, &RunController::startCalcCt);
    connect(runs_, &RunController::startCt, this, &Body::startCt);
    connect(runs_, &RunController::starting, seq_, &SequenceController::runStarted);
    connect(runs_, &RunController::ended, this, &Body::runEnded);
    connect(runs_, &RunController::calledOff, this, &Body::runCalledOff);
    connect(runs_, &RunController::workersRested, this, &Body::resumeWaitingWork);
    // The scan of centres: after each trial, what waited for the workers may go on.
    connect(&runs_->pool(), &WorkerPool::trialDone, this, &Body::resumeWaitingWork);
    connect(scan_, &CorScanController::centreTaken, this, &Body::takeCorFromScan);
    // Guess CoR: when the searches disagree, the slice at both centres decides, as in the command.
    // The slice task is taken when the guess starts; the decision runs with the guess.
    sinogram_->setCorChooser([this]() -> CorDecision {
        const RunParams run = ui_.procCtrl->runParams();
        const ProjectionSet set = imgDatas_->projectionSet();
        return [task = runs_->panelTask(0, run, set, run.sliceNo, run.cor), count = set.count(),
                   single = run.singlePrecision](
                   const CorGuesses &guesses, CorMethod asked, const std::atomic<bool> *cancel) {
            return chooseCor(guesses, asked, task, count, single, cancel);
        };
    });
    connect(sinogram_, &Sinogram::corGuessTaken, this, [this] { load_->defaults().cor = false; });
    connect(sinogram_, &Sinogram::guessFinished, batch_, &BatchController::corGuessEnded);
    connect(scan_, &CorScanController::guessLineFinished, this,
        [this](bool ok) { batch_->finishWait(BatchController::LineWait::Guess, ok); });
    connect(scan_, &CorScanController::finished, this, [this](const JobOutcome &out, bool fromBatch) {
        emit corScanFinished(out);
        if (fromBatch)
            batch_->finishWait(BatchController::LineWait::Scan, out.ok());
        resumeWaitingWork(); // a run that waited for the workers
    });
    // The sequence.
    connect(seq_, &SequenceController::setFirstSet, this, &Body::setFirstSet);
    connect(seq_, &SequenceController::setNextSet, this, &Body::setNextSet);
    connect(seq_, &SequenceController::stage, this, &Body::stage);
    connect(this, &Body::stage, seq_, &SequenceController::noticedStage);
    connect(seq_, &SequenceController::setLoaded, this, &Body::seqSetLoaded);
    connect(seq_, &SequenceController::setFailed, this, &Body::seqSetFailed);
    connect(seq_, &SequenceController::calcFinished, this, &Body::seqCalcFinished);
    connect(this, &Body::seqSetLoaded, this,
        [this] { batch_->finishWait(BatchController::LineWait::SetLoading, true); });
    connect(this, &Body::seqSetFailed, this,
        [this] { batch_->finishWait(BatchController::LineWait::SetLoading, false); });
    connect(seq_, &SequenceController::sequenceEnded, this, [this](const JobOutcome &outcome) {
        if (!seq_->alignedSeries().isEmpty())
            xanesPanel_->setSequenceSeries(seq_->alignedSeries());
        batch_->finishWait(BatchController::LineWait::Sequence, outcome.ok());
        emit seqFinished(outcome);
    });
    connect(this, &Body::seqFinished, batch_, &BatchController::tryQuit, Qt::QueuedConnection);
    // The XANES tab: a batch line waits for its analysis or its files.
    for (auto signal : {&XanesPanel::analysisEnded, &XanesPanel::mapsSaved}) {
        connect(xanesPanel_, signal, this, [this](const JobOutcome &outcome) {
            batch_->finishWait(BatchController::LineWait::Xanes, outcome.ok());
        });
        connect(xanesPanel_, signal, batch_, &BatchController::tryQuit, Qt::QueuedConnection);
    }
    // The viewer link.
    connect(link_, &LinkController::zmlLoadFilesOfPattern, this, &Body::zmlLoadFilesOfPattern);
    connect(link_, &LinkController::zmlLoadFiles, this, &Body::zmlLoadFiles);
    connect(link_, &LinkController::zmlStatChanged, this, &Body::zmlStatChanged);
    connect(link_, &LinkController::exec2dA, this, &Body::exec2dA);
    connect(link_, &LinkController::contEnded, this, [this](const JobOutcome &out) {
        batch_->finishWait(BatchController::LineWait::ContinuousRun, out.ok());
    });
    // Batch runs.
    connect(this, &Body::callBatchLoad, batch_, &BatchController::callBatchLoad);
    connect(batch_, &BatchController::callBatchExec, this, &Body::callBatchExec);
    connect(batch_, &BatchController::callBatchCheckEnd, this, &Body::callBatchCheckEnd);
    connect(batch_, &BatchController::callBatchLastOk, this, &Body::callBatchLastOk);
    connect(batch_, &BatchController::calcStart, this, &Body::batchCalcStart);
    connect(batch_, &BatchController::waitTimedOut, this, &Body::waitTimedOut);
    connect(batch_, &BatchController::calcRegionSet, this, &Body::cRUpdated);
    connect(batch_, &BatchController::dispRegionSet, this, &Body::dRUpdated);
    connect(batch_, &BatchController::i0OrBgChanged, this, &Body::i0OrBgSelected);
    connect(batch_, &BatchController::showPage, ui_.ImgsTab, &QTabWidget::setCurrentWidget);
    connect(batch_, &BatchController::showWorkerPage, this, [this](int index) {
        if (QWidget *page = workerPage(index))
            ui_.ImgsTab->setCurrentWidget(page);
    });
    connect(batch_, &BatchController::quitNow, this, &QWidget::close);
    // A line that starts loading is done when the loading is; "app_quit" waits for every end, the
    // last slice of a stopped run included.
    connect(this, &Body::finishedLoadingCTFiles, batch_, &BatchController::loadFinished);
    connect(this, &Body::finishedLoadingCTFiles, batch_, &BatchController::tryQuit, Qt::QueuedConnection);
    connect(this, &Body::calcFinished, batch_, &BatchController::tryQuit, Qt::QueuedConnection);
    connect(this, &Body::corScanFinished, batch_, &BatchController::tryQuit, Qt::QueuedConnection);
    connect(scan_, &CorScanController::guessLineFinished, batch_, &BatchController::tryQuit,
        Qt::QueuedConnection);
    connect(sinogram_, &Sinogram::guessFinished, batch_, &BatchController::tryQuit, Qt::QueuedConnection);
    connect(ctCalc_, &CtCalc::calcFinished, batch_, &BatchController::tryQuit, Qt::QueuedConnection);
    connect(&runs_->pool(), &WorkerPool::sliceDone, batch_, &BatchController::tryQuit, Qt::QueuedConnection);
    connect(&runs_->pool(), &WorkerPool::trialDone, batch_, &BatchController::tryQuit, Qt::QueuedConnection);
}

void Body::loadEnded()
{
    emit finishedLoadingCTFiles();
    seq_->loadEnded();
    if (runs_->isWaitingToStart())
        runs_->startCalcCt();
}

void Body::runEnded(const JobOutcome &outcome)
{
    seq_->recordRun();
    if (batch_->finishWait(BatchController::LineWait::Run, outcome.ok()))
        emit batchCalcFinished();
    emit calcFinished();
    seq_->runEnded();
}

void Body::runCalledOff()
{
    seq_->calcCalledOff();
    if (batch_->lineWait() == BatchController::LineWait::Run) {
        // A batch line waiting for this run goes on, failed: nothing was calculated.
        qCCritical(lcWindow).noquote() << "calc_exec: the waiting run was called off";
        batch_->finishWait(BatchController::LineWait::Run, false);
        emit batchCalcFinished();
    }
}

void Body::waitTimedOut(BatchController::LineWait kind)
{
    // What the line waited for is called off (a load goes on: the set must stay whole).
    if (kind == BatchController::LineWait::ContinuousRun)
        link_->endCont(QStringLiteral("the batch line timed out"));
    if (kind == BatchController::LineWait::Run && (runs_->isCalculating() || runs_->isWaitingToStart()))
        runs_->toggleCalcCt();
    if (kind == BatchController::LineWait::Scan)
        scan_->stop();
    if (kind == BatchController::LineWait::Guess)
        scan_->stopGuessCorLine();
    if (kind == BatchController::LineWait::CorGuess)
        sinogram_->stopGuessCor();
    if (kind == BatchController::LineWait::Xanes)
        xanesPanel_->stop(); // a save goes on: its files stay whole
    if (kind == BatchController::LineWait::Sequence && seq_->isRunning() && ui_.SeqCalc->isEnabled())
        ui_.SeqCalc->click(); // the sets stop; an alignment under way ends whole
}

void Body::resumeWaitingWork()
{
    if (!runs_->workersResting())
        return;
    if (!load_->resumeWaiting() && runs_->isWaitingToStart() && !load_->isLoading())
        runs_->startCalcCt();
}

void Body::takeCorFromScan(double cor)
{
    setCorAsPicked(cor); // Ctrl+Z puts the centre before back
    load_->defaults().cor = false;
    qCInfo(lcWindow).noquote() << QV_SAID("CoR Scan: centre of rotation %1 taken").arg(corText(cor));
}

bool Body::isIdle() const
{
    return !load_->isBusy() && runs_->isIdle() && !scan_->isScanning() && !scan_->isGuessingLine()
        && !sinogram_->isGuessing()
        && !seq_->isRunning() && !xanesPanel_->isBusy();
}

void Body::changedCtSel()
{
    // CT1 calculates one slice: Auto Exec goes off with it and comes back with CT2.
    if (ui_.SelectCt1->isChecked()) {
        autoExecBeforeCt1_ = autoExecBeforeCt1_ || ui_.procCtrl->autoExec();
        ui_.procCtrl->setAutoExec(false);
    } else if (std::exchange(autoExecBeforeCt1_, false)) {
        ui_.procCtrl->setAutoExec(true);
    }
}

void Body::changedAutoExec()
{
    if (ui_.procCtrl->autoExec())
        ui_.SelectCt2->setChecked(true);
}

std::vector<CtPanel *> Body::ctPanels() const
{
    std::vector<CtPanel *> all {ctCalc_};
    all.insert(all.end(), runs_->panels().begin(), runs_->panels().end());
    return all;
}

void Body::cRUpdated(double x0, double z0, double x1, double z1)
{
    for (CtPanel *p : ctPanels()) {
        if (p != sender())
            p->setCR(x0, z0, x1, z1);
    }
}

void Body::dRUpdated(double x0, double z0, double x1, double z1)
{
    for (CtPanel *p : ctPanels()) {
        if (p != sender())
            p->setDR(x0, z0, x1, z1);
    }
}

void Body::fixColorScaleChanged()
{
    const bool fixed = ui_.FixColorScale->isChecked();
    for (CtPanel *p : ctPanels()) {
        p->setFixColorScale(fixed);
        if (fixed)
            p->setCBarMinMaxForced(colorMin(), colorMax());
    }
}

double Body::colorMin() const
{
    return fieldDouble(ui_.ColorMin->text());
}

double Body::colorMax() const
{
    return fieldDouble(ui_.ColorMax->text());
}

void Body::setFixColorScale(bool fixed)
{
    ui_.FixColorScale->setChecked(fixed);
}

void Body::setColorMin(double v)
{
    ui_.ColorMin->setText(fieldText(v));
}

void Body::setColorMax(double v)
{
    ui_.ColorMax->setText(fieldText(v));
}

void Body::setAutoSaveImage(bool on)
{
    ui_.AutoSaveImage->setChecked(on);
}

void Body::setAutoSaveData(bool on)
{
    ui_.AutoSaveData->setChecked(on);
}

void Body::ctImage(int slice, const QImage &image)
{
    ctDisp_->addImg(slice, image);
}
