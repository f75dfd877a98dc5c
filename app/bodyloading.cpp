// The main window's loading of raw projection files, one file per pass of the event loop,
// and the geometry defaults taken from a newly loaded set.

// Qt
#include <QDebug>
#include <QFileInfo>
#include <QSignalBlocker>

// Local
#include "app/body.h"
#include "automation/ui/selectdatadir.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/ui/selectdatafiles.h"
#include "widgets/progressline.h"
#include "widgets/rawdisp.h"
#include "app/windowlog.h"
#include <algorithm>

void Body::dataFilesSelected(const QStringList &files, bool newSeries)
{
    // One loading chain at a time: a second would take files in turns with the first.
    if (loading_) {
        qCCritical(lcWindow).noquote() << QStringLiteral(
            "A load is in progress: the %1 files selected now are not loaded")
                                     .arg(files.size());
        return;
    }
    if (!setLoad_) // the images are no longer those of a data set of the selector
        setEntry_.reset();
    // The image set never changes while a calculation reads it: a new load waits for the workers.
    if (slicesInProgress() > 0 || ctCalc_->isRunning()) {
        loadWaiting_ = true;
        waitingFiles_ = files;
        waitingNewSeries_ = newSeries;
        ui_.CTFiles->ui().Count->setText(tr("waits"));
        return;
    }
    loading_ = true;
    setLoadControlsEnabled(false);
    scan_.reset();
    loadNewSeries_ = newSeries;
    loadAdded_ = 0;
    if (newSeries) {
        // The new series sets its own size; the set loaded before stays until the new one has an
        // image, so that a selection of which nothing can be used loses nothing.
        previousFiles_ = ui_.CTFiles->files();
        previousSeek_ = ui_.seekCtrl->value();
        {
            const QSignalBlocker notAClear(ui_.CTFiles);
            ui_.CTFiles->clearFiles();
        }
        imgDatas_->startSeries();
        ui_.seekCtrl->setMaximum(0);
        ui_.seekCtrl->setValue(0);
    }
    pendingFiles_ = files;
    loadAsked_ = files.size();
    notLoaded_.clear();
    loadCountAtStart_ = ui_.CTFiles->count();
    loadTotal_ = loadCountAtStart_ + static_cast<int>(files.size());
    if (!files.isEmpty()) { // the folder's files have their own folder for the I0 and BG dialogs
        const QString folder = QFileInfo(files.constFirst()).absolutePath();
        ui_.I0ImgSel->setStartDir(folder);
        ui_.BGImgSel->setStartDir(folder);
    }
    progressLine_->begin(tr("Loading files"), static_cast<int>(files.size()));
    showLoadProgress();
    emit askLoadNextDataFile();
}

void Body::loadNextDataFile()
{
    if (loadScanFrame()) { // a scan file's frames, one per pass too
        showLoadProgress();
        emit askLoadNextDataFile();
        return;
    }
    if (pendingFiles_.isEmpty()) {
        emit noticeFinishedLoadDataFiles();
        return;
    }
    const QString name = pendingFiles_.takeFirst();
    if (isHdf5File(name) ? beginScan(name) : imgDatas_->add(name)) {
        if (!scan_) {
            ui_.CTFiles->addFile(name);
            ++loadAdded_;
        }
    } else {
        notLoaded_ << name; // the set or the scan has said why
    }
    showLoadProgress();
    emit askLoadNextDataFile();
}

void Body::showLoadProgress()
{
    // "loaded / expected": refused files leave the count short of the total.
    ui_.CTFiles->ui().Count->setText(QStringLiteral("%1 / %2").arg(ui_.CTFiles->count()).arg(loadTotal_));
    progressLine_->advance(
        loadTotal_ - loadCountAtStart_ - static_cast<int>(pendingFiles_.size()) - scanFramesLeft());
}

void Body::finishedLoadDataFiles()
{
    loading_ = false;
    setLoadControlsEnabled(true);
    fitScanAngles();
    // A new series of which nothing could be used leaves the set loaded before as it was.
    const bool kept = loadNewSeries_ && !imgDatas_->endSeries() && imgDatas_->count() > 0;
    if (kept) {
        for (const QString &name : std::as_const(previousFiles_))
            ui_.CTFiles->addFile(name);
    }
    previousFiles_.clear();
    const QString before
        = kept ? QStringLiteral("; the %1 images loaded before stay").arg(imgDatas_->count()) : QString();
    // A file that could not be used is never dropped silently: the projections after it would take
    // its angle. The count says so, the log names the files and the status line shows the problem.
    ui_.CTFiles->showCount(int(notLoaded_.size()));
    // After an addition the images loaded are all there are; after a new series, those of the load.
    if (!notLoaded_.isEmpty()) {
        qCCritical(lcWindow).noquote() << QStringLiteral("Loading failed: %1 of %2 files could not be used, %3 images "
                                                "are loaded%4:")
                                     .arg(notLoaded_.size())
                                     .arg(loadAsked_)
                                     .arg(loadNewSeries_ ? loadAdded_ : imgDatas_->count())
                                     .arg(before)
                              << notLoaded_.mid(0, 10).join(QStringLiteral(", "))
                + (notLoaded_.size() > 10 ? QStringLiteral(", ...") : QString());
        progressLine_->fail(tr("%1 refused").arg(notLoaded_.size()));
    } else if (loadAsked_ == 0) {
        qCWarning(lcWindow).noquote()
            << QStringLiteral("Loading: no file was selected; nothing is loaded%1").arg(before);
        progressLine_->fail(tr("no files"));
    } else {
        qCInfo(lcWindow).noquote() << QStringLiteral("%1 images of %2 x %3 loaded :")
                                 .arg(imgDatas_->count())
                                 .arg(imgDatas_->width())
                                 .arg(imgDatas_->height())
                          << QFileInfo(ui_.CTFiles->files().value(ui_.CTFiles->count() - 1)).absolutePath();
        progressLine_->finish();
    }
    if (!kept) // a set kept keeps its slice, centre of rotation and regions
        applyGeometryDefaults();
    const int count = imgDatas_->count();
    ui_.procCtrl->setDataSetImages(count);
    applyScanAngles();
    ui_.seekCtrl->setMaximum(std::max(0, count - 1));
    if (kept)
        ui_.seekCtrl->setValue(std::clamp(previousSeek_, 0, count - 1));
    checkI0BgSizes();
    updateRawImage();
    sinogram_->genSgmImage();
    emit finishedLoadingCTFiles();
    dataSetLoadFinished();
    if (pendingStart_)
        startCalcCt();
}

void Body::rawFilesCleared()
{
    // "Clear" lets the images go and forgets their size: the next load sets it. A run holds its
    // own references to the images, but the set changes only while nothing reads it.
    if (loading_)
        return;
    if (slicesInProgress() > 0 || ctCalc_->isRunning()) {
        clearWaiting_ = true;
        return;
    }
    clearImageSet();
}

void Body::clearImageSet()
{
    clearWaiting_ = false;
    if (imgDatas_->count() == 0 && imgDatas_->width() == 0)
        return;
    imgDatas_->clear();
    ui_.seekCtrl->setMaximum(0);
    ui_.seekCtrl->setValue(0);
    ui_.procCtrl->setDataSetImages(0);
    checkI0BgSizes();
    updateRawImage();
    sinogram_->genSgmImage();
    qCInfo(lcWindow).noquote() << "Raw images cleared: the next load sets the image size";
}

void Body::applyGeometryDefaults()
{
    const bool keep = ui_.CTFiles->keepConditions();
    const int w = imgDatas_->width();
    const int h = imgDatas_->height();
    if (w < 1 || h < 1)
        return;
    ProcCtrl *p = ui_.procCtrl;
    // Across the rotation axis lies the slice line (length L), along it the slices (extent L').
    const bool vertical = p->rotAxV();
    const int across = vertical ? w : h;
    const int along = vertical ? h : w;
    if (!keep || applyDefaultSliceTo_) {
        applyDefaultSliceTo_ = false;
        p->setSliceTo(along - 1);
    }
    if (!keep || applyDefaultSliceNo_) {
        applyDefaultSliceNo_ = false;
        p->setSliceNo(vertical ? static_cast<int>(0.5 * h) : w / 2);
    }
    if (!keep || applyDefaultCor_) {
        applyDefaultCor_ = false;
        p->setCor(vertical ? 0.5 * w : double(h / 2));
    }
    if (!keep || applyDefaultRegions_) {
        applyDefaultRegions_ = false;
        const double last = across - 1;
        for (CtPanel *panel : ctPanels()) {
            panel->setDR(0, 0, last, last);
            panel->setCR(0, 0, last, last);
        }
    }
}

void Body::setLoadControlsEnabled(bool enabled)
{
    ui_.CTFiles->ui().Select->setEnabled(enabled);
    ui_.CTFiles->ui().Clear->setEnabled(enabled);
    ui_.SelDDir->ui().Set->setEnabled(enabled);
}
