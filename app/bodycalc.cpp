// The main window's calculation runs: one slice or a range of slices on the pool of calculation
// workers (CT2), or the current slice on the main thread (CT1), with times, progress and saving.

// Qt
#include <QDir>
#include <QThread>

// Local
#include "app/body.h"
#include "ct/atomicfile.h"
#include "ct/corline.h"
#include "ct/datasaver.h"
#include "ct/savenaming.h"
#include "ct/sgmgeometry.h"
#include "ct/sinogramcache.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/ctdisp.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "imagedata/ui/selectaimgfile.h"
#include "recon/reconoptions.h"
#include "recon/runplan.h"
#include "recon/slicefiles.h"
#include "recon/workerpool.h"
#include "view3d/ui/ctview.h"
#include "widgets/colorbar.h"
#include "widgets/progressline.h"
#include "widgets/statestyles.h"
#include "app/windowlog.h"
#include <algorithm>
#include <cmath>
#include <cstdlib>

int Body::slicesInProgress() const
{
    return pool_->inWork();
}

void Body::toggleCalcCt()
{
    if (pendingStart_) { // a run that waits is called off
        pendingStart_ = false;
        ui_.CalcCT->setStyleSheet(ButtonStyle::idle);
        ui_.ProgPerCent->setText(tr("stopped"));
        seqCalcCalledOff();
        if (batchCalc_) { // a batch line waiting for this run goes on, failed: nothing was calculated
            batchCalc_ = false;
            qCCritical(lcWindow).noquote() << "calc_exec: the waiting run was called off";
            reportBatchLine(false);
            emit batchCalcFinished();
        }
        return;
    }
    if (imgDatas_->count() == 0 && !loading_) // during a load the run waits for the images
        return;
    if (!calculating_) {
        startCalcCt();
        return;
    }
    // The operator stops the run: no further slice is handed out, and the single-thread
    // calculator stops after its current projection.
    stopping_ = true;
    if (ctCalc_->isRunning())
        ctCalc_->stopCt(); // ends the run through its calcFinished
    stopCalcCt();
}

void Body::startCalcCt()
{
    if (calculating_)
        return;
    // The image set must not change under a run, and engines are set up only while their workers
    // rest: a run waits for a load in progress and for the slices of a stopped run.
    if (loading_ || slicesInProgress() > 0 || ctCalc_->isRunning()) {
        pendingStart_ = true;
        ui_.CalcCT->setStyleSheet(ButtonStyle::running);
        ui_.ProgPerCent->setText(loading_ ? tr("waits for loading") : tr("waits for the last run"));
        return;
    }
    pendingStart_ = false;
    calculating_ = true;
    stopping_ = false;
    runOutcome_ = JobOutcome();
    runReturned_ = 0;
    runFailedSlices_.clear();
    runFailure_.clear();
    filesFailedBeforeRun_ = tally_.filesNotWritten;
    runFilesWritten_ = 0;
    ui_.ProgPerCent->setStyleSheet(QString());
    seqRunStarted();
    runStart_ = QDateTime::currentDateTime();
    ui_.CalcStartT->setText(CtPanel::timeText(runStart_));
    ui_.CalcEndT->setText(QStringLiteral("--"));
    ui_.CalcSpentT->setText(QStringLiteral("--")); // not the last run's
    ui_.CalcCT->setStyleSheet(ButtonStyle::running);
    ctDisp_->clear();

    // A failure of the last run is shown until this one.
    ui_.SelectImageSaveDir->setFailed(false);
    ui_.SelectDataSaveDir->setFailed(false);
    saveImages_ = checkSaveTarget(ui_.AutoSaveImage->isChecked(), ui_.SelectImageSaveDir, "images");
    // Float TIFF slices go with the data files.
    saveData_ = checkSaveTarget(
        ui_.AutoSaveData->isChecked() || ui_.AutoSaveTiff->isChecked(), ui_.SelectDataSaveDir, "data files");
    // The 3D View's dialogs open where these slices go.
    if (saveData_)
        ctView_->setSlicesFolder(ui_.SelectDataSaveDir->dir());
    else if (saveImages_)
        ctView_->setSlicesFolder(ui_.SelectImageSaveDir->dir());
    const SubFolderRule rule {
        ui_.SaveInSubFolders->isChecked(), ui_.SubOfEnergy->isChecked(), ui_.SubOfSlice->isChecked()};
    QMetaObject::invokeMethod(
        saver_, [s = saver_, rule] { s->setSubFolderRule(rule); }, Qt::QueuedConnection);

    run_ = ui_.procCtrl->runParams();
    run_.useCt1 = ui_.SelectCt1->isChecked();
    run_.useCt2 = ui_.SelectCt2->isChecked();
    run_.dataUpperLimit = fieldDouble(ui_.DataUpperLimit->text());
    run_.dataLowerLimit = fieldDouble(ui_.DataLowerLimit->text());
    run_.dataOffset = fieldDouble(ui_.DataOffset->text());
    if (run_.sliceStep == 0) { // a range never ends with a step of 0: read it as 1, and show that
        run_.sliceStep = run_.sliceTo >= run_.sliceFrom ? 1 : -1;
        ui_.procCtrl->setSliceStep(1);
    }
    run_.threads = std::clamp(run_.threads, 1, pool_->count());
    if (run_.multiSlice && !run_.useCt2) { // a range is for the workers only; CT1 does its one slice
        qCWarning(lcWindow).noquote() << "Auto Exec runs on CT2 only: CT1 calculates the current slice";
        run_.multiSlice = false;
    }
    runSet_ = imgDatas_->projectionSet();
    reportUnusedI0Bg();
    // The field shows this run's progress, whichever calculator runs it.
    ui_.ProgPerCent->setText(QStringLiteral("0 %"));
    runOutcome_.asked = 1;
    if (!run_.useCt2) // CT1's projections take the bar over once its slice has a sinogram
        progressLine_->begin(tr("CT1 slice"), 1);
    if (run_.useCt2) {
        const int step = std::max(1, std::abs(run_.sliceStep));
        const int slices = run_.multiSlice ? std::abs(run_.sliceTo - run_.sliceFrom) / step + 1 : 1;
        runOutcome_.asked = slices;
        progressLine_->begin(run_.multiSlice ? tr("CT2 slices") : tr("CT2 slice"), slices);
    }
    if (run_.useRecordedCor) {
        const CorLine line {run_.recSlice1, run_.recCor1, run_.recSlice2, run_.recCor2};
        if (line.isValid()) {
            qCInfo(lcWindow).noquote() << QStringLiteral(
                "Use Recorded CoRs: each slice at its centre on the line through %1 "
                "at slice %2 and %3 at slice %4")
                                     .arg(line.cor1)
                                     .arg(line.slice1)
                                     .arg(line.cor2)
                                     .arg(line.slice2);
        } else {
            qCWarning(lcWindow).noquote() << "Use Recorded CoRs: the two records are not two different slices; every "
                                    "slice takes the centre-of-rotation field";
            run_.useRecordedCor = false;
        }
    }
    scheduler_.reset(run_.threads);
    if (run_.multiSlice) {
        // A block's sinograms share one centre: on a line of centres each slice makes its own.
        int blockSlices = 1;
        if (!run_.useRecordedCor) {
            const SinogramRequest request {
                run_.rotAxIsV, run_.cor, run_.sliceFrom, run_.partial, run_.partialStart, run_.partialImages};
            blockSlices = sinogramBlockSlices(runSet_, request, run_.threads);
        }
        scheduler_.addPart(0, sliceList(run_.sliceFrom, run_.sliceTo, run_.sliceStep), blockSlices);
    }
    setupFFT();
    setupSaveConds();
    if (run_.multiSlice)
        execMultiCtCalc();
    else
        execSingleCtCalc();
}

void Body::reportUnusedI0Bg()
{
    // A chosen image that the correction leaves out would make every slice quietly wrong.
    const std::pair<const SelectAImgFile *, bool> chosen[]
        = {{ui_.I0ImgSel, runSet_.i0 != nullptr}, {ui_.BGImgSel, runSet_.bg != nullptr}};
    for (const auto &[selector, used] : chosen) {
        const ImgData *img = selector->img().get();
        if (!img || used)
            continue;
        qCWarning(lcWindow).noquote() << QStringLiteral("%1 image not used for this run: its size (%2, %3) differs "
                                               "from the raw images (%4, %5) :")
                                    .arg(selector == ui_.I0ImgSel ? QStringLiteral("I0")
                                                                  : QStringLiteral("BG"))
                                    .arg(img->width())
                                    .arg(img->height())
                                    .arg(runSet_.width)
                                    .arg(runSet_.height)
                             << img->fileName();
    }
    // Without I0 the slices are −ln of the raw counts: a run may mean that, but never unsaid.
    const bool noI0 = !ui_.I0ImgSel->img();
    const bool noBg = !ui_.BGImgSel->img();
    if (noI0 && noBg)
        qCWarning(lcWindow).noquote() << "No I0 and no BG image is selected: the slices are -ln of the raw counts";
    else if (noI0 || noBg)
        qCWarning(lcWindow).noquote() << QStringLiteral("No %1 image is selected: the slices are not corrected for it")
                                    .arg(noI0 ? u"I0" : u"BG");
}

void Body::setupFFT()
{
    // Engines are sized for the centre of rotation of the first slice: between two recorded
    // centres of rotation it is interpolated, else the field's.
    double c = run_.cor;
    if (run_.recSlice1 >= 0 && run_.recSlice2 >= 0 && run_.recSlice1 != run_.recSlice2)
        c = run_.recCor1
            + (run_.recCor2 - run_.recCor1) * ((run_.multiSlice ? run_.sliceFrom : run_.sliceNo) - run_.recSlice1)
                / double(run_.recSlice2 - run_.recSlice1);
    SinogramRequest first;
    first.rowLines = run_.rotAxIsV;
    first.cor = c;
    first.slice = run_.multiSlice ? run_.sliceFrom : run_.sliceNo;
    const int n = requiredLength(runSet_, first);
    if (n < 2) // no sinogram at this centre of rotation: each slice's own length is set up at dispatch
        return;
    for (int i = 0; i < pool_->count(); ++i) // never under a working worker (a stopped run's are waited for)
        pool_->sizeEngine(i, {n, imgDatas_->count(), run_.singlePrecision});
}

bool Body::checkSaveTarget(bool on, SelectSaveDir *selector, const char *what)
{
    if (!on)
        return false;
    // Checked once here, so that a run never computes slices only to fail on every file, never
    // writes into the working directory and never outside its folder.
    QString why;
    const QString dir = selector->dir();
    if (dir.trimmed().isEmpty()) {
        why = QStringLiteral("no directory is given");
    } else if (!QDir().mkpath(dir)) {
        qCWarning(lcWindow).noquote() << "Can't make the directory to save in :" << dir;
        why = QStringLiteral("the directory %1 cannot be made").arg(dir);
    } else {
        why = directoryWriteProblem(dir);
        if (why.isEmpty())
            why = saveNameProblem(selector->name(), selector->tag());
    }
    if (why.isEmpty())
        return true;
    qCCritical(lcWindow).noquote() << QStringLiteral("No %1 are saved in this run: %2").arg(QLatin1String(what), why);
    selector->setFailed(true);
    // Results asked for and not written: the run fails, an unattended run ends with a failure status.
    runOutcome_.problems << QStringLiteral("no %1 saved").arg(QLatin1String(what));
    ++tally_.otherFailures;
    return false;
}

void Body::setupSaveConds()
{
    // The run's targets, taken once: the workers never read the selectors, and each result is
    // handed to the saver with them.
    const SelectSaveDir *im = ui_.SelectImageSaveDir;
    const SelectSaveDir *da = ui_.SelectDataSaveDir;
    saveTo_ = SaveTargets();
    saveTo_.image = {saveImages_, im->dir(), im->name(), im->tag()};
    saveTo_.data = {saveData_ && ui_.AutoSaveData->isChecked(), da->dir(), da->name(), da->tag()};
    saveTo_.tiff = saveData_ && ui_.AutoSaveTiff->isChecked();
    ctCalc_->setSaveImage(saveTo_.image.on, im->dir(), im->name(), im->tag());
    ctCalc_->setSaveData(saveTo_.data.on, da->dir(), da->name(), da->tag());
}

SliceTask Body::sliceTask(
    size_t index, const RunParams &run, const ProjectionSet &set, int slice, double cor) const
{
    const CtCalc2Ui *panel = panels_[index];
    SliceTask task = runSliceTask(run, set.count(), slice, cor);
    task.set = set;
    task.region = panel->calcRegion();
    task.regionIsSet = panel->regionSet();
    task.scale = panel->colorBar()->greyScale();
    return task;
}

double Body::sliceCor(int slice) const
{
    const CorLine line {run_.recSlice1, run_.recCor1, run_.recSlice2, run_.recCor2};
    return run_.useRecordedCor && line.isValid() ? line.at(slice) : run_.cor;
}

void Body::dispatch(size_t index, const SliceHandout &handout)
{
    SliceTask task = sliceTask(index, run_, runSet_, handout.slice, sliceCor(handout.slice));
    task.sinogramBlock = handout.sinogramBlock;
    task.blockId = handout.blockId;
    const bool show = ui_.ShowCalcRes->isChecked();
    task.makeImage = show || saveTo_.image.on;
    task.makeData = saveTo_.data.on;
    task.makeTiff = saveTo_.tiff;
    task.values = show ? ValuesHandOver::Copy : ValuesHandOver::None;
    handed_[index] = {show, task.regionIsSet};
    // The sinogram of this slice may need another length than the run was set up for (recorded
    // centres of rotation): the engine is set up for it here, on the main thread, while the worker rests.
    const int i = static_cast<int>(index);
    pool_->sizeEngine(i, {requiredLength(runSet_, task.sinogram), runSet_.count(), run_.singlePrecision});
    emit startCt(pool_->worker(i), task);
    pool_->run(i, task);
}

void Body::workerSliceDone(int index, const SliceResult &r)
{
    CtCalc2Ui *panel = panels_[static_cast<size_t>(index)];
    if (!r.reconstructed) {
        qCWarning(lcWindow).noquote() << "CT2:" << r.problem;
        panel->showFailure(r.slice, r.problem);
        workerSliceFailed(r.slice, r.problem);
    } else {
        const Handed &handed = handed_[static_cast<size_t>(index)];
        if (!handed.regionIsSet) // the first slice's whole image becomes every panel's region
            panel->setCR(r.region.x0, r.region.z0, r.region.x1, r.region.z1);
        if (handed.show)
            panel->newImage(r.image, r.values, r.n, r.scale);
        const SliceRecords records = sliceRecords(r, saveTo_);
        if (records.image)
            handToSaver(*records.image);
        for (const SavingData &d : records.data)
            handToSaver(d);
        for (const auto &[path, why] : records.missing) {
            qCCritical(lcWindow).noquote() << (path.endsWith(QLatin1String(".tif")) ? "Can't save TIFF file :"
                                                                                    : "Can't save data file :")
                                           << path << QStringLiteral("(%1)").arg(why);
            saveFailed(false, path);
        }
        if (!r.image.isNull())
            ctImage(r.slice, r.image);
    }
    panel->showEndTime(r.started, r.ended);
    workerFinished();
}

void Body::execSingleCtCalc()
{
    if (run_.useCt1) {
        RunParams params = run_;
        params.cor = sliceCor(run_.sliceNo);
        ctCalc_->setRunParams(params);
        ctCalc_->setImageCount(imgDatas_->count());
        ctCalc_->calcCt();
    }
    if (run_.useCt2 && pool_->count() > 0)
        dispatch(0, SliceHandout {run_.sliceNo, {}, 0, 0});
}

void Body::execMultiCtCalc()
{
    if (!calculating_)
        return;
    const bool range = run_.multiSlice && run_.useCt2;
    const size_t threads = static_cast<size_t>(std::min(pool_->count(), run_.threads));
    if (range) {
        // An idle worker gets the next slice of its block, or a new block of the range. While too
        // much waits for the saver, the workers wait rather than memory growing.
        for (size_t i = 0; i < threads; ++i) {
            if (pool_->inWork(static_cast<int>(i)) != 0 || savingBytes_ > savingLimit_)
                continue;
            if (const std::optional<SliceHandout> h = scheduler_.take(static_cast<int>(i)))
                dispatch(i, *h);
        }
        showProgress();
        if (scheduler_.hasSlicesLeft())
            return;
    }
    // The run ends when every slice is back and every file it handed to the saver is written (or
    // reported failed): whoever acts on its end finds the files on disk.
    if (slicesInProgress() > 0 || ctCalc_->isRunning() || savingRecords_ > 0)
        return;
    stopCalcCt();
}

void Body::showProgress()
{
    // Counted in steps from the first slice (in either direction): slices handed out (taken into
    // blocks and not waiting there), less those still in work, over all slices of the range.
    const int step = std::abs(run_.sliceStep);
    const int d = step >= 2 ? step : 1;
    const int threads = std::min(pool_->count(), run_.threads);
    int busy = 0; // workers with a slice in work
    for (int i = 0; i < threads; ++i)
        busy += pool_->inWork(i) > 0 ? 1 : 0;
    const double p = double(scheduler_.taken() - scheduler_.queued() - busy + 1)
        / double(std::abs(run_.sliceTo - run_.sliceFrom) / d + 1);
    showPercent(p);
}

void Body::showPercent(double fraction)
{
    const double percent = std::clamp(std::trunc(fraction * 1000.0) / 10.0, 0.0, 100.0);
    ui_.ProgPerCent->setText(QStringLiteral("%1 %").arg(percent, 0, 'f', 1));
}

void Body::ct1Progressed(int done, int total)
{
    if (!calculating_ || total <= 0)
        return;
    if (done == 0)
        progressLine_->begin(tr("CT1 projections"), total);
    else
        progressLine_->advance(done);
    showPercent(double(done) / total);
}

void Body::workerFinished()
{
    if (calculating_) // slices of a stopped run are not this run's
        progressLine_->advance(++runReturned_);
    execMultiCtCalc();
    continueCorScan();
    resumeWaitingWork();
}

void Body::workerSliceFailed(int slice, const QString &why)
{
    ++tally_.slicesFailed;
    if (!calculating_)
        return;
    ++runOutcome_.failed;
    if (runFailedSlices_.size() < 10)
        runFailedSlices_ << slice;
    if (runFailure_.isEmpty())
        runFailure_ = why;
}

void Body::resumeWaitingWork()
{
    if (slicesInProgress() > 0 || ctCalc_->isRunning())
        return;
    if (clearWaiting_)
        clearImageSet();
    if (loadWaiting_) {
        loadWaiting_ = false;
        dataFilesSelected(waitingFiles_, waitingNewSeries_);
    } else if (pendingStart_ && !loading_) {
        startCalcCt();
    }
}

void Body::stopCalcCt()
{
    if (!calculating_)
        return;
    calculating_ = false;
    scheduler_.stop(); // the rest of the blocks is not handed out
    pool_->releaseSinograms(); // behind the slices still queued for the workers
    runEnd_ = QDateTime::currentDateTime();
    ui_.CalcEndT->setText(CtPanel::timeText(runEnd_));
    ui_.CalcSpentT->setText(CtPanel::spentText(runStart_, runEnd_));
    ui_.CalcCT->setStyleSheet(ButtonStyle::idle);

    JobOutcome &out = runOutcome_;
    out.stopped = stopping_;
    stopping_ = false;
    if (run_.useCt2)
        out.done = runReturned_ - out.failed;
    else
        out.done = out.failed == 0 && !out.stopped ? 1 : 0;
    reportRunEnd();
    recordSeqSetRun();
    if (batchCalc_) {
        batchCalc_ = false;
        reportBatchLine(out.ok());
        emit batchCalcFinished();
    }
    emit calcFinished();
    seqRunEnded();
}

void Body::reportRunEnd()
{
    const JobOutcome &out = runOutcome_;
    // A line per run in the log: which calculator, how it ended, what was done and what failed.
    QString ended = QStringLiteral("%1 run %2 after %3 s")
                        .arg(run_.useCt2 ? QStringLiteral("CT2") : QStringLiteral("CT1"),
                            out.stopped    ? QStringLiteral("stopped")
                                : out.ok() ? QStringLiteral("finished")
                                           : QStringLiteral("failed"),
                            ui_.CalcSpentT->text());
    if (run_.useCt2)
        ended += QStringLiteral(": ") + out.counts(QStringLiteral("slices"));
    if (!runFailedSlices_.isEmpty()) {
        QStringList numbers;
        for (int slice : std::as_const(runFailedSlices_))
            numbers << QString::number(slice);
        if (out.failed > runFailedSlices_.size())
            numbers << QStringLiteral("...");
        ended += QStringLiteral(" (slice %1: %2)").arg(numbers.join(QStringLiteral(", ")), runFailure_);
    }
    if (!out.problems.isEmpty())
        ended += QStringLiteral("; ") + out.problems.join(QStringLiteral("; "));
    // Stopped by the operator with nothing failed is a warning: results asked for are missing.
    const bool failed = out.failed > 0 || !out.problems.isEmpty();
    if (out.ok())
        qCInfo(lcWindow).noquote() << ended;
    else if (!failed)
        qCWarning(lcWindow).noquote() << ended;
    else
        qCCritical(lcWindow).noquote() << ended;

    if (out.ok()) {
        progressLine_->finish();
        showPercent(1.0);
        ui_.ProgPerCent->setStyleSheet(QString());
        return;
    }
    // The figure so far stays on the bar; the field says how the run ended.
    ui_.ProgPerCent->setText(out.state());
    ui_.ProgPerCent->setStyleSheet(failed ? ButtonStyle::failed : QString());
    if (failed)
        progressLine_->fail(out.state());
    else
        progressLine_->end(out.state());
}

void Body::ctCalcFinished()
{
    execMultiCtCalc();
    resumeWaitingWork();
}

void Body::changedCtSel()
{
    if (ui_.SelectCt1->isChecked())
        ui_.procCtrl->setAutoExec(false);
}

void Body::changedAutoExec()
{
    if (ui_.procCtrl->autoExec())
        ui_.SelectCt2->setChecked(true);
}

std::vector<CtPanel *> Body::ctPanels() const
{
    std::vector<CtPanel *> all {ctCalc_};
    all.insert(all.end(), panels_.begin(), panels_.end());
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

void Body::saveFailed(bool image, const QString &)
{
    (image ? ui_.SelectImageSaveDir : ui_.SelectDataSaveDir)->setFailed(true);
    ++tally_.filesNotWritten;
    // Every record of a run is written (or has failed) before the run ends.
    if (calculating_) {
        const int n = tally_.filesNotWritten - filesFailedBeforeRun_;
        runOutcome_.problems.removeIf(
            [](const QString &p) { return p.endsWith(QLatin1String(" not written")); });
        runOutcome_.problems << (n == 1 ? QStringLiteral("1 file not written")
                                        : QStringLiteral("%1 files not written").arg(n));
    }
}

void Body::handToSaver(const SavingData &record)
{
    // Counted before it leaves, so that a run ends only when the saver has written it.
    ++savingRecords_;
    savingBytes_ += record.contents.size();
    QMetaObject::invokeMethod(saver_, [s = saver_, record] { s->saveData(record); }, Qt::QueuedConnection);
}

void Body::handToSaver(const SavingImg &record)
{
    ++savingRecords_;
    savingBytes_ += record.image.sizeInBytes();
    QMetaObject::invokeMethod(saver_, [s = saver_, record] { s->saveImg(record); }, Qt::QueuedConnection);
}

void Body::saverDone(qint64 bytes)
{
    // Records given to the saver by others than the workers were never counted.
    savingRecords_ = std::max(0, savingRecords_ - 1);
    savingBytes_ = std::max<qint64>(0, savingBytes_ - bytes);
    execMultiCtCalc(); // hand out more slices, or end a run that waited for its files
}
