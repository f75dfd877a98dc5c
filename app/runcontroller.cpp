#include "app/runcontroller.h"

// Qt
#include <QDir>
#include <QThread>

// Local
#include "app/loadcontroller.h"
#include "app/windowlog.h"
#include "app/windowparts.h"
#include "config/availablememory.h"
#include "config/saidtext.h"
#include "ct/atomicfile.h"
#include "ct/corline.h"
#include "ct/datasaver.h"
#include "ct/offsetaxisplan.h"
#include "ct/savenaming.h"
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
#include "recon/runmemory.h"
#include "recon/runplan.h"
#include "recon/volumesaver.h"
#include "recon/workerpool.h"
#include "ui_body.h"
#include "view3d/ui/ctview.h"
#include "widgets/colorbar.h"
#include "widgets/numberfield.h"
#include "widgets/progressline.h"
#include "widgets/statestyles.h"
#include <algorithm>
#include <cmath>
#include <cstdlib>

RunController::RunController(WindowParts &parts, const std::vector<CtCalc2Ui *> &panels, QObject *parent)
    : QObject(parent)
    , parts_(parts)
    , panels_(panels)
    , handed_(panels.size())
{
    saverThread_ = new QThread(this);
    saverThread_->setObjectName(QStringLiteral("saver"));
    saver_ = new DataSaver;
    saver_->moveToThread(saverThread_);
    saverThread_->start();
    connect(saver_, &DataSaver::writeFailed, this, &RunController::saveFailed);
    connect(saver_, &DataSaver::recordDone, this, &RunController::saverDone);
    connect(saver_, &DataSaver::wrote, this, [this] {
        if (isCalculating()) // every file of a run is written before it ends
            ++run_.filesWritten;
    });
    volumeSaver_ = new VolumeSaver;
    volumeSaver_->moveToThread(saverThread_);
    connect(volumeSaver_, &VolumeSaver::writeFailed, this,
        [this](const QString &path) { saveFailed(false, path); });
    connect(volumeSaver_, &VolumeSaver::recordDone, this, &RunController::saverDone);
    connect(volumeSaver_, &VolumeSaver::wrote, this, [this](const QString &path) {
        if (!isCalculating())
            return;
        ++run_.filesWritten;
        run_.volumeWritten = path;
    });

    pool_ = new WorkerPool(this);
    pool_->start(static_cast<int>(panels.size()), QStringLiteral("CT2 worker"));
    pool_->setSliceTaker([this](int worker, SliceResult &&result) { sliceDone(worker, std::move(result)); });
    connect(pool_, &WorkerPool::began, this, [this](int worker, int slice, const QDateTime &start) {
        panels_[static_cast<size_t>(worker)]->showStartTime(slice, start);
    });
    CtCalc *ct1 = parts_.ctCalc;
    connect(ct1, &CtCalc::calcFinished, this, &RunController::ctCalcFinished);
    connect(ct1, &CtCalc::progressed, this, &RunController::ct1Progressed);
    connect(ct1, &CtCalc::sliceFailed, this, &RunController::sliceFailed);
}

RunController::~RunController()
{
    close();
}

void RunController::close()
{
    if (!saverThread_)
        return;
    state_ = State::Idle;
    // The workers' last results still reach the saver (on this thread, as the pool takes them in);
    // quitting a thread drops what is queued for it, so the saver is asked to stop behind them.
    pool_->finish();
    QMetaObject::invokeMethod(
        saver_, [thread = saverThread_] { thread->quit(); }, Qt::QueuedConnection);
    saverThread_->wait();
    delete saver_;
    saver_ = nullptr;
    delete volumeSaver_; // an unfinished volume file stays under its temporary name
    volumeSaver_ = nullptr;
    saverThread_ = nullptr;
}

int RunController::slicesInProgress() const
{
    return pool_->inWork();
}

bool RunController::workersResting() const
{
    return slicesInProgress() == 0 && !parts_.ctCalc->isRunning();
}

void RunController::toggleCalcCt()
{
    Ui_Body &ui = parts_.ui;
    if (state_ == State::Waiting) { // a run that waits is called off
        state_ = State::Idle;
        ui.CalcCT->setStyleSheet(ButtonStyle::idle);
        ui.ProgPerCent->setText(tr("stopped"));
        emit calledOff();
        return;
    }
    const bool loading = load_ && load_->isLoading();
    if (parts_.images->count() == 0 && !loading) // during a load the run waits for the images
        return;
    if (state_ == State::Idle) {
        startCalcCt();
        return;
    }
    // The operator stops the run: no further slice is handed out, and the single-thread
    // calculator stops after its current projection.
    run_.stopping = true;
    if (parts_.ctCalc->isRunning())
        parts_.ctCalc->stopCt(); // ends the run through its calcFinished
    stopCalcCt();
}

void RunController::startCalcCt()
{
    if (state_ == State::Running)
        return;
    Ui_Body &ui = parts_.ui;
    // The image set must not change under a run, and engines are set up only while their workers
    // rest: a run waits for a load in progress and for the slices of a stopped run.
    const bool loading = load_ && load_->isLoading();
    if (loading || !workersResting()) {
        state_ = State::Waiting;
        ui.CalcCT->setStyleSheet(ButtonStyle::running);
        ui.ProgPerCent->setText(loading ? tr("waits for loading") : tr("waits for the last run"));
        return;
    }
    state_ = State::Running;
    run_ = Run();
    run_.filesFailedBefore = parts_.tally.filesNotWritten;
    ui.ProgPerCent->setStyleSheet(QString());
    emit starting();
    run_.start = QDateTime::currentDateTime();
    ui.CalcStartT->setText(CtPanel::timeText(run_.start));
    ui.CalcEndT->setText(QStringLiteral("--"));
    ui.CalcSpentT->setText(QStringLiteral("--")); // not the last run's
    ui.CalcCT->setStyleSheet(ButtonStyle::running);
    parts_.ctDisp->clear();

    // A failure of the last run is shown until this one.
    ui.SelectImageSaveDir->setFailed(false);
    ui.SelectDataSaveDir->setFailed(false);
    const bool images = checkSaveTarget(ui.AutoSaveImage->isChecked(), ui.SelectImageSaveDir, "images");
    // Float TIFF slices go with the data files.
    const bool data = checkSaveTarget(
        ui.AutoSaveData->isChecked() || ui.AutoSaveTiff->isChecked() || ui.AutoSaveHdf5->isChecked(),
        ui.SelectDataSaveDir, "data files");
    run_.saveTo.image.on = images;
    run_.saveTo.data.on = data && ui.AutoSaveData->isChecked();
    run_.saveTo.tiff = data && ui.AutoSaveTiff->isChecked();
    // The 3D View's dialogs open where these slices go.
    if (data)
        parts_.ctView->setSlicesFolder(ui.SelectDataSaveDir->dir());
    else if (images)
        parts_.ctView->setSlicesFolder(ui.SelectImageSaveDir->dir());
    const SubFolderRule rule {
        ui.SaveInSubFolders->isChecked(), ui.SubOfEnergy->isChecked(), ui.SubOfSlice->isChecked()};
    QMetaObject::invokeMethod(
        saver_, [s = saver_, rule] { s->setSubFolderRule(rule); }, Qt::QueuedConnection);

    RunParams &run = run_.params;
    run = ui.procCtrl->runParams();
    run.useCt1 = ui.SelectCt1->isChecked();
    run.useCt2 = ui.SelectCt2->isChecked();
    run.dataUpperLimit = fieldDouble(ui.DataUpperLimit->text());
    run.dataLowerLimit = fieldDouble(ui.DataLowerLimit->text());
    run.dataOffset = fieldDouble(ui.DataOffset->text());
    if (run.sliceStep == 0) { // a range never ends with a step of 0: read it as 1, and show that
        run.sliceStep = run.sliceTo >= run.sliceFrom ? 1 : -1;
        ui.procCtrl->setSliceStep(1);
    }
    run.threads = std::clamp(run.threads, 1, pool_->count());
    if (run.multiSlice && !run.useCt2) { // a range is for the workers only; CT1 does its one slice
        qCWarning(lcWindow).noquote()
            << QV_SAID("Auto Exec runs on CT2 only: CT1 calculates the current slice");
        run.multiSlice = false;
    }
    run_.set = parts_.images->projectionSet();
    reportUnusedI0Bg();
    // The field shows this run's progress, whichever calculator runs it.
    ui.ProgPerCent->setText(QStringLiteral("0 %"));
    run_.outcome.asked = 1;
    // CT1 builds its slice to be watched and saves nothing: files asked for are said missing here,
    // in the words of the batch's refusal, rather than after a run that looked finished.
    if (!run.useCt2
        && (ui.AutoSaveImage->isChecked() || ui.AutoSaveData->isChecked() || ui.AutoSaveTiff->isChecked())) {
        qCWarning(lcWindow).noquote() << QV_SAID("CT1 saves no files: select CT2");
        run_.outcome.problems << tr("CT1 saves no files: select CT2");
    }
    if (!run.useCt2) // CT1's projections take the bar over once its slice has a sinogram
        parts_.progress->begin(tr("CT1 slice"), 1);
    if (run.useCt2) {
        const int step = std::max(1, std::abs(run.sliceStep));
        const int slices = run.multiSlice ? std::abs(run.sliceTo - run.sliceFrom) / step + 1 : 1;
        run_.outcome.asked = slices;
        parts_.progress->begin(run.multiSlice ? tr("CT2 slices") : tr("CT2 slice"), slices);
    }
    if (run.useRecordedCor) {
        const CorLine line {run.recSlice1, run.recCor1, run.recSlice2, run.recCor2};
        if (line.isValid()) {
            qCInfo(lcWindow).noquote()
                << QV_SAID("Use Recorded CoRs: each slice at its centre on the line through %1 at slice %2 "
                           "and %3 at slice %4")
                       .arg(line.cor1)
                       .arg(line.slice1)
                       .arg(line.cor2)
                       .arg(line.slice2);
        } else {
            qCWarning(lcWindow).noquote()
                << QV_SAID("Use Recorded CoRs: the two records are not two different slices; every slice "
                           "takes the centre-of-rotation field");
            run.useRecordedCor = false;
        }
    }
    if (run.offsetAxis && !placeOffsetAxis(run))
        return;
    if (run.useCt2 && !fitInMemory())
        return;
    scheduler_.reset(run.threads);
    if (run.multiSlice) {
        // A block's sinograms share one centre: on a line of centres each slice makes its own.
        int blockSlices = 1;
        if (!run.useRecordedCor) {
            const SinogramRequest request
                = runSliceTask(run, run_.set.count(), run.sliceFrom, run.cor).sinogram;
            blockSlices = sinogramBlockSlices(run_.set, request, run.threads);
        }
        scheduler_.addPart(0, sliceList(run.sliceFrom, run.sliceTo, run.sliceStep), blockSlices);
    }
    setupFFT();
    setupSaveConds();
    if (data && ui.AutoSaveHdf5->isChecked() && run.useCt2)
        startVolume();
    if (run.multiSlice)
        execMultiCtCalc();
    else
        execSingleCtCalc();
}

bool RunController::placeOffsetAxis(RunParams &run)
{
    // A stitched run pairs every projection over 360° with the one facing it, at one axis for
    // every slice: searched in the data ("Auto", at the slices the command searches too) or the
    // centre-of-rotation field.
    ProcCtrl *p = parts_.ui.procCtrl;
    const int L = lineLength(run_.set, run.rotAxIsV);
    QString why = offsetAxisRunProblem(run.dataSetRangeDeg, run.partial);
    if (why.isEmpty() && run.offsetAxisAuto) {
        const std::vector<int> slices = run.multiSlice ? offsetAxisSearchSlices(run.sliceFrom, run.sliceTo)
                                                       : std::vector<int> {run.sliceNo};
        if (const std::optional<OffsetAxisGuess> g = searchOffsetAxis(run_.set, run.rotAxIsV, slices, &why)) {
            run.cor = g->cor;
            p->setCor(g->cor); // the sinogram view and the next run follow it
        }
    } else if (why.isEmpty()) {
        why = offsetAxisCorProblem(run.cor, L);
    }
    if (!why.isEmpty()) {
        qCCritical(lcWindow).noquote() << "Offset axis:" << why;
        p->showOffsetAxisInfo(tr("no axis"));
        JobOutcome &out = run_.outcome;
        out.failed = out.asked;
        out.why = why;
        run_.returned = out.asked; // every slice counts as back, failed
        stopCalcCt();
        return false;
    }
    if (run.useRecordedCor) {
        qCWarning(lcWindow).noquote() << QV_SAID(
            "Use Recorded CoRs: an offset axis is one axis for every slice; the records are not used");
        run.useRecordedCor = false;
    }
    qCInfo(lcWindow).noquote() << offsetAxisText(run.cor, L);
    const OffsetAxisGeometry g = makeOffsetAxisGeometry(L, run.cor);
    p->showOffsetAxisInfo(tr("axis %1, overlap %2 px, %3 edge")
                              .arg(run.cor, 0, 'f', 2)
                              .arg(g.overlap())
                              .arg(g.axisRight() ? tr("right") : tr("left")));
    return true;
}

void RunController::reportUnusedI0Bg()
{
    Ui_Body &ui = parts_.ui;
    // A chosen image that the correction leaves out would make every slice quietly wrong.
    const std::pair<const SelectAImgFile *, bool> chosen[]
        = {{ui.I0ImgSel, run_.set.i0 != nullptr}, {ui.BGImgSel, run_.set.bg != nullptr}};
    for (const auto &[selector, used] : chosen) {
        const ImgData *img = selector->img().get();
        if (!img || used)
            continue;
        qCWarning(lcWindow).noquote()
            << QV_SAID("%1 image not used for this run: its size (%2, %3) differs from the raw images "
                       "(%4, %5) : %6")
                   .arg(selector == ui.I0ImgSel ? QStringLiteral("I0") : QStringLiteral("BG"))
                   .arg(img->width())
                   .arg(img->height())
                   .arg(run_.set.width)
                   .arg(run_.set.height)
                   .arg(img->fileName());
    }
    // Without I0 the slices are −ln of the raw counts: a run may mean that, but never unsaid.
    const bool noI0 = !ui.I0ImgSel->img();
    const bool noBg = !ui.BGImgSel->img();
    if (noI0 && noBg)
        qCWarning(lcWindow).noquote()
            << QV_SAID("No I0 and no BG image is selected: the slices are -ln of the raw counts");
    else if (noI0 || noBg)
        qCWarning(lcWindow).noquote()
            << QV_SAID("No %1 image is selected: the slices are not corrected for it")
                   .arg(noI0 ? u"I0" : u"BG");
}

bool RunController::fitInMemory()
{
    // The engines of the workers and one slice's files, reckoned before any is set up: a run beyond
    // the memory there is fails at once, one that fits on fewer workers runs on fewer.
    RunParams &run = run_.params;
    const int first = run.multiSlice ? run.sliceFrom : run.sliceNo;
    const SliceTask task = panelTask(0, run, run_.set, first, sliceCor(first));
    const EngineSize size = runEngineSize(run_.set, task.sinogram, run_.set.count(), run.singlePrecision);
    const bool show = parts_.ui.ShowCalcRes->isChecked();
    const qint64 worker = engineBytes(size.n, size.projections, size.single)
        + sinogramBytes(size.n, size.projections) + (show ? imageBytes(size.n) : 0);
    const MemoryNeed need {QStringLiteral("slice %1").arg(first),
        worker
            + sliceFileBytes(regionPixels(task.regionIsSet ? &task.region : nullptr, size.n),
                run_.saveTo.data.on, run_.saveTo.tiff, run_.saveTo.image.on || show),
        worker};
    QString why;
    const int fit = workersInMemory(need, run.multiSlice ? run.threads : 1, availableMemory(), why);
    if (fit > 0) {
        if (run.multiSlice && fit < run.threads) {
            qCWarning(lcWindow).noquote()
                << QV_SAID("CT2 run: memory for %1 of %2 threads").arg(fit).arg(run.threads);
            run.threads = fit;
        }
        return true;
    }
    qCCritical(lcWindow).noquote() << "CT2 run:" << why;
    run_.outcome.problems << why;
    if (run_.outcome.why.isEmpty())
        run_.outcome.why = why;
    stopCalcCt();
    return false;
}

void RunController::setupFFT()
{
    // Engines are sized for the centre of rotation of the first slice: between two recorded
    // centres of rotation it is interpolated, else the field's.
    const RunParams &run = run_.params;
    const int first = run.multiSlice ? run.sliceFrom : run.sliceNo;
    double c = run.cor;
    if (run.recSlice1 >= 0 && run.recSlice2 >= 0 && run.recSlice1 != run.recSlice2)
        c = run.recCor1
            + (run.recCor2 - run.recCor1) * (first - run.recSlice1) / double(run.recSlice2 - run.recSlice1);
    const SinogramRequest request = runSliceTask(run, run_.set.count(), first, c).sinogram;
    const EngineSize size = runEngineSize(run_.set, request, parts_.images->count(), run.singlePrecision);
    if (size.n < 2) // no sinogram at this centre of rotation: each slice's own length is set up at dispatch
        return;
    // Only the workers the run uses: never under a working worker (a stopped run's are waited for).
    for (int i = 0; i < std::min(pool_->count(), std::max(1, run.threads)); ++i)
        pool_->sizeEngine(i, size);
}

bool RunController::checkSaveTarget(bool on, SelectSaveDir *selector, const char *what)
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
        qCWarning(lcWindow).noquote() << QV_SAID("Can't make the directory to save in : %1").arg(dir);
        why = QStringLiteral("the directory %1 cannot be made").arg(dir);
    } else {
        why = directoryWriteProblem(dir);
        if (why.isEmpty())
            why = saveNameProblem(selector->name(), selector->tag());
    }
    if (why.isEmpty())
        return true;
    qCCritical(lcWindow).noquote()
        << QStringLiteral("No %1 are saved in this run: %2").arg(QLatin1String(what), why);
    selector->setFailed(true);
    // Results asked for and not written: the run fails, an unattended run ends with a failure status.
    run_.outcome.problems << QStringLiteral("no %1 saved").arg(QLatin1String(what));
    ++parts_.tally.otherFailures;
    return false;
}

void RunController::setupSaveConds()
{
    // The run's targets, taken once: the workers never read the selectors, and each result is
    // handed to the saver with them.
    const SelectSaveDir *im = parts_.ui.SelectImageSaveDir;
    const SelectSaveDir *da = parts_.ui.SelectDataSaveDir;
    SaveTargets &to = run_.saveTo;
    to.image = {to.image.on, im->dir(), im->name(), im->tag()};
    to.data = {to.data.on, da->dir(), da->name(), da->tag()};
    parts_.ctCalc->setSaveImage(to.image.on, im->dir(), im->name(), im->tag());
    parts_.ctCalc->setSaveData(to.data.on, da->dir(), da->name(), da->tag());
}

SliceTask RunController::panelTask(
    size_t index, const RunParams &run, const ProjectionSet &set, int slice, double cor) const
{
    const CtCalc2Ui *panel = panels_[index];
    SliceTask task = runSliceTask(run, set.count(), slice, cor);
    task.set = set;
    task.region = panel->calcRegion();
    task.regionIsSet = panel->regionSet()
        && !(run.offsetAxis && stitchedSliceWhole(task.region, lineLength(set, run.rotAxIsV)));
    task.scale = panel->colorBar()->greyScale();
    return task;
}

double RunController::sliceCor(int slice) const
{
    const RunParams &run = run_.params;
    const CorLine line {run.recSlice1, run.recCor1, run.recSlice2, run.recCor2};
    return run.useRecordedCor && line.isValid() ? line.at(slice) : run.cor;
}

void RunController::dispatch(size_t index, const SliceHandout &handout)
{
    SliceTask task = panelTask(index, run_.params, run_.set, handout.slice, sliceCor(handout.slice));
    task.sinogramBlock = handout.sinogramBlock;
    task.blockId = handout.blockId;
    const bool show = parts_.ui.ShowCalcRes->isChecked();
    const SaveTargets &to = run_.saveTo;
    task.makeImage = show || to.image.on;
    task.makeData = to.data.on;
    task.makeTiff = to.tiff;
    task.makeVolume = run_.volumeOpen;
    task.values = show ? ValuesHandOver::Copy : ValuesHandOver::None;
    handed_[index] = {show, task.regionIsSet};
    // The sinogram of this slice may need another length than the run was set up for (recorded
    // centres of rotation): the engine is set up for it here, on the main thread, while the worker rests.
    const int i = static_cast<int>(index);
    pool_->sizeEngine(
        i, runEngineSize(run_.set, task.sinogram, run_.set.count(), run_.params.singlePrecision));
    emit startCt(pool_->worker(i), task);
    pool_->run(i, task);
}

void RunController::execSingleCtCalc()
{
    const RunParams &run = run_.params;
    if (run.useCt1) {
        RunParams params = run;
        params.cor = sliceCor(run.sliceNo);
        parts_.ctCalc->setRunParams(params);
        parts_.ctCalc->setImageCount(parts_.images->count());
        parts_.ctCalc->calcCt();
    }
    if (run.useCt2 && pool_->count() > 0)
        dispatch(0, SliceHandout {run.sliceNo, {}, 0, 0});
}

void RunController::execMultiCtCalc()
{
    if (state_ != State::Running)
        return;
    const RunParams &run = run_.params;
    if (run.multiSlice && run.useCt2) {
        // An idle worker gets the next slice of its block, or a new block of the range. While too
        // much waits for the saver, the workers wait rather than memory growing.
        const int threads = std::min(pool_->count(), run.threads);
        for (int i = 0; i < threads; ++i) {
            if (pool_->inWork(i) != 0 || saving_.bytes > saving_.limit)
                continue;
            if (const std::optional<SliceHandout> h = scheduler_.take(i))
                dispatch(static_cast<size_t>(i), *h);
        }
        showProgress();
        if (scheduler_.hasSlicesLeft())
            return;
    }
    // The run ends when every slice is back and every file it handed to the saver is written (or
    // reported failed): whoever acts on its end finds the files on disk.
    if (!workersResting() || saving_.records > 0)
        return;
    if (run_.volumeOpen) { // the volume file is finished last, and the run ends when it is
        finishVolume();
        return;
    }
    stopCalcCt();
}

void RunController::showProgress()
{
    // Counted in steps from the first slice (in either direction): slices handed out (taken into
    // blocks and not waiting there), less those still in work, over all slices of the range.
    const RunParams &run = run_.params;
    const int step = std::abs(run.sliceStep);
    const int d = step >= 2 ? step : 1;
    const int threads = std::min(pool_->count(), run.threads);
    int busy = 0; // workers with a slice in work
    for (int i = 0; i < threads; ++i)
        busy += pool_->inWork(i) > 0 ? 1 : 0;
    showPercent(double(scheduler_.taken() - scheduler_.queued() - busy + 1)
        / double(std::abs(run.sliceTo - run.sliceFrom) / d + 1));
}

void RunController::showPercent(double fraction)
{
    const double percent = std::clamp(std::trunc(fraction * 1000.0) / 10.0, 0.0, 100.0);
    parts_.ui.ProgPerCent->setText(QStringLiteral("%1 %").arg(percent, 0, 'f', 1));
}

void RunController::stopCalcCt()
{
    if (state_ != State::Running)
        return;
    state_ = State::Idle;
    scheduler_.stop(); // the rest of the blocks is not handed out
    if (run_.volumeOpen) // stopped: it stays unfinished, under its temporary name
        finishVolume();
    pool_->releaseSinograms(); // behind the slices still queued for the workers
    Ui_Body &ui = parts_.ui;
    run_.end = QDateTime::currentDateTime();
    ui.CalcEndT->setText(CtPanel::timeText(run_.end));
    ui.CalcSpentT->setText(CtPanel::spentText(run_.start, run_.end));
    ui.CalcCT->setStyleSheet(ButtonStyle::idle);

    JobOutcome &out = run_.outcome;
    out.stopped = run_.stopping;
    run_.stopping = false;
    if (run_.params.useCt2)
        out.done = run_.returned - out.failed;
    else
        out.done = out.failed == 0 && !out.stopped ? 1 : 0;
    reportRunEnd();
    emit ended(out);
}

void RunController::ctCalcFinished()
{
    execMultiCtCalc();
    emit workersRested();
}
