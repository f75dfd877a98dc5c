#include "app/loadcontroller.h"

// Qt
#include <QDebug>
#include <QFileInfo>
#include <QSignalBlocker>

// Local
#include "app/windowlog.h"
#include "app/windowparts.h"
#include "automation/ui/selectdatadir.h"
#include "config/saidtext.h"
#include "ct/ui/ctpanel.h"
#include "ct/ui/procctrl.h"
#include "imagedata/hdf5scan.h"
#include "imagedata/imgdatas.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/ui/selectdatafiles.h"
#include "ui_body.h"
#include "widgets/filedialogs.h"
#include "widgets/progressline.h"
#include <algorithm>
#include <utility>

LoadController::LoadController(WindowParts &parts, QObject *parent)
    : QObject(parent)
    , parts_(parts)
{
    // One file per pass of the event loop, even when the sender and the receiver are this object.
    connect(this, &LoadController::askLoadNextDataFile, this, &LoadController::loadNextDataFile,
        Qt::QueuedConnection);
    connect(this, &LoadController::noticeFinishedLoadDataFiles, this, &LoadController::finishedLoadDataFiles,
        Qt::QueuedConnection);
}

LoadController::~LoadController() = default;

void LoadController::dataFilesSelected(const QStringList &files, bool newSeries)
{
    // One loading chain at a time: a second would take files in turns with the first.
    if (isLoading()) {
        qCCritical(lcWindow).noquote()
            << QV_SAID("A load is in progress: the %1 files selected now are not loaded").arg(files.size());
        return;
    }
    emit selectionTaken();
    // The image set never changes while a calculation reads it: a new load waits for the workers.
    if (workersBusy_()) {
        waiting_.files = std::pair {files, newSeries};
        parts_.ui.CTFiles->ui().Count->setText(tr("waits"));
        return;
    }
    phase_ = Phase::Loading;
    setLoadControlsEnabled(false);
    load_ = Load();
    load_.newSeries = newSeries;
    if (newSeries) {
        // The new series sets its own size; the set loaded before stays until the new one has an
        // image, so that a selection of which nothing can be used loses nothing.
        load_.previousFiles = parts_.ui.CTFiles->files();
        load_.previousSeek = parts_.ui.seekCtrl->value();
        {
            const QSignalBlocker notAClear(parts_.ui.CTFiles);
            parts_.ui.CTFiles->clearFiles();
        }
        parts_.images->startSeries();
        parts_.ui.seekCtrl->setMaximum(0);
        parts_.ui.seekCtrl->setValue(0);
    }
    load_.pending = files;
    load_.asked = files.size();
    load_.countAtStart = parts_.ui.CTFiles->count();
    load_.total = load_.countAtStart + static_cast<int>(files.size());
    if (!files.isEmpty()) { // the folder's files have their own folder for the I0 and BG dialogs
        const QString folder = QFileInfo(files.constFirst()).absolutePath();
        parts_.ui.I0ImgSel->setStartDir(folder);
        parts_.ui.BGImgSel->setStartDir(folder);
        setDataFolder(folder); // where the dialogs open until they are used
    }
    parts_.progress->begin(tr("Loading files"), static_cast<int>(files.size()));
    showLoadProgress();
    emit askLoadNextDataFile();
}

void LoadController::loadNextDataFile()
{
    if (loadScanFrame()) { // a scan file's frames, one per pass too
        showLoadProgress();
        emit askLoadNextDataFile();
        return;
    }
    if (load_.pending.isEmpty()) {
        emit noticeFinishedLoadDataFiles();
        return;
    }
    const QString name = load_.pending.takeFirst();
    if (isHdf5File(name) ? beginScan(name) : parts_.images->add(name)) {
        if (!load_.scan) {
            parts_.ui.CTFiles->addFile(name);
            ++load_.added;
        }
    } else {
        load_.refused << name; // the set or the scan has said why
    }
    showLoadProgress();
    emit askLoadNextDataFile();
}

void LoadController::showLoadProgress()
{
    // "loaded / expected": refused files leave the count short of the total.
    parts_.ui.CTFiles->ui().Count->setText(
        QStringLiteral("%1 / %2").arg(parts_.ui.CTFiles->count()).arg(load_.total));
    parts_.progress->advance(
        load_.total - load_.countAtStart - static_cast<int>(load_.pending.size()) - scanFramesLeft());
}

void LoadController::finishedLoadDataFiles()
{
    phase_ = Phase::Idle;
    setLoadControlsEnabled(true);
    fitScanAngles();
    // A new series of which nothing could be used leaves the set loaded before as it was.
    const bool kept = load_.newSeries && !parts_.images->endSeries() && parts_.images->count() > 0;
    if (kept) {
        for (const QString &name : std::as_const(load_.previousFiles))
            parts_.ui.CTFiles->addFile(name);
    }
    load_.previousFiles.clear();
    const SaidText before = kept ? QV_SAID("; the %1 images loaded before stay").arg(parts_.images->count())
                                 : SaidText::plain(QString());
    // A file that could not be used is never dropped silently: the projections after it would take
    // its angle. The count says so, the log names the files and the status line shows the problem.
    parts_.ui.CTFiles->showCount(int(load_.refused.size()));
    // After an addition the images loaded are all there are; after a new series, those of the load.
    if (!load_.refused.isEmpty()) {
        qCCritical(lcWindow).noquote()
            << QV_SAID("Loading failed: %1 of %2 files could not be used, %3 images are loaded%4: %5")
                   .arg(load_.refused.size())
                   .arg(load_.asked)
                   .arg(load_.newSeries ? load_.added : parts_.images->count())
                   .arg(before)
                   .arg(load_.refused.mid(0, 10).join(QStringLiteral(", "))
                       + (load_.refused.size() > 10 ? QStringLiteral(", ...") : QString()));
        parts_.progress->fail(tr("%1 refused").arg(load_.refused.size()));
    } else if (load_.asked == 0) {
        qCWarning(lcWindow).noquote()
            << QV_SAID("Loading: no file was selected; nothing is loaded%1").arg(before);
        parts_.progress->fail(tr("no files"));
    } else {
        qCInfo(lcWindow).noquote() << QV_SAID("%1 images of %2 x %3 loaded : %4")
                                          .arg(parts_.images->count())
                                          .arg(parts_.images->width())
                                          .arg(parts_.images->height())
                                          .arg(QFileInfo(parts_.ui.CTFiles->files().value(
                                                             parts_.ui.CTFiles->count() - 1))
                                                   .absolutePath());
        parts_.progress->finish();
    }
    if (!kept) // a set kept keeps its slice, centre of rotation and regions
        applyGeometryDefaults();
    const int count = parts_.images->count();
    parts_.ui.procCtrl->setDataSetImages(count);
    applyScanAngles();
    parts_.ui.seekCtrl->setMaximum(std::max(0, count - 1));
    if (kept)
        parts_.ui.seekCtrl->setValue(std::clamp(load_.previousSeek, 0, count - 1));
    emit imagesChanged();
    emit loaded();
}

void LoadController::rawFilesCleared()
{
    // "Clear" lets the images go and forgets their size: the next load sets it. A run holds its
    // own references to the images, but the set changes only while nothing reads it.
    if (isLoading())
        return;
    if (workersBusy_()) {
        waiting_.clear = true;
        return;
    }
    clearImageSet();
}

bool LoadController::resumeWaiting()
{
    if (workersBusy_())
        return false;
    if (waiting_.clear)
        clearImageSet();
    if (!waiting_.files)
        return false;
    const auto [files, newSeries] = *waiting_.files;
    waiting_.files.reset();
    dataFilesSelected(files, newSeries);
    return true;
}

void LoadController::clearImageSet()
{
    waiting_.clear = false;
    if (parts_.images->count() == 0 && parts_.images->width() == 0)
        return;
    parts_.images->clear();
    parts_.ui.seekCtrl->setMaximum(0);
    parts_.ui.seekCtrl->setValue(0);
    parts_.ui.procCtrl->setDataSetImages(0);
    emit imagesChanged();
    qCInfo(lcWindow).noquote() << QV_SAID("Raw images cleared: the next load sets the image size");
}

void LoadController::applyGeometryDefaults(bool keepChosen)
{
    const bool keep = keepChosen || parts_.ui.CTFiles->keepConditions();
    const int w = parts_.images->width();
    const int h = parts_.images->height();
    if (w < 1 || h < 1)
        return;
    ProcCtrl *p = parts_.ui.procCtrl;
    // Across the rotation axis lies the slice line (length L), along it the slices (extent L').
    const bool vertical = p->rotAxV();
    const int across = vertical ? w : h;
    const int along = vertical ? h : w;
    const Applied now {along - 1, vertical ? static_cast<int>(0.5 * h) : w / 2,
        vertical ? 0.5 * w : double(h / 2), double(across - 1)};
    const std::optional<Applied> before = std::exchange(applied_, now);
    // "keep Conds." keeps what was chosen for the set before, where it fits this one; a condition still
    // at the last set's default was never chosen and follows the new set.
    const auto follows = [&](bool &unset, bool atDefault) {
        const bool take = !keep || unset || atDefault;
        unset = false;
        return take;
    };
    QList<SaidText> reset;
    const auto outside = [&](const SaidText &what) { reset << what; };
    if (follows(defaults_.sliceTo, before && p->sliceTo() == before->sliceTo)) {
        p->setSliceTo(now.sliceTo);
    } else if (p->sliceTo() < 0 || p->sliceTo() > along - 1) {
        outside(QV_SAID("last slice %1").arg(p->sliceTo()));
        p->setSliceTo(now.sliceTo);
    }
    if (keep && (p->sliceFrom() < 0 || p->sliceFrom() > along - 1)) {
        outside(QV_SAID("first slice %1").arg(p->sliceFrom()));
        p->setSliceFrom(0);
    }
    if (follows(defaults_.sliceNo, before && p->sliceNo() == before->sliceNo)) {
        p->setSliceNo(now.sliceNo);
    } else if (p->sliceNo() < 0 || p->sliceNo() > along - 1) {
        outside(QV_SAID("slice %1").arg(p->sliceNo()));
        p->setSliceNo(now.sliceNo);
    }
    // A centre that leaves no sinogram on the new lines (outside 1 … L − 2) cannot be meant for them.
    if (follows(defaults_.cor, before && p->cor() == before->cor)) {
        p->setCor(now.cor);
    } else if (!(p->cor() >= 1.0 && p->cor() <= across - 2.0)) {
        outside(QV_SAID("centre of rotation %1").arg(p->cor()));
        p->setCor(now.cor);
    }
    const std::vector<CtPanel *> panels = panels_();
    const auto fits
        = [&](const Region &r) { return r.x0 >= 0.0 && r.z0 >= 0.0 && r.x1 <= now.last && r.z1 <= now.last; };
    const auto isDefault = [&](const Region &r) {
        return before && r.x0 == 0.0 && r.z0 == 0.0 && r.x1 == before->last && r.z1 == before->last;
    };
    bool regions = false;
    if (!panels.empty()) {
        const Region cr = panels.front()->calcRegion();
        const Region dr = panels.front()->dispRegion();
        regions = follows(defaults_.regions, isDefault(cr) && isDefault(dr));
        if (!regions && !(fits(cr) && fits(dr))) {
            outside(QV_SAID("region %1, %2 - %3, %4").arg(cr.x0).arg(cr.z0).arg(cr.x1).arg(cr.z1));
            regions = true;
        }
    }
    if (regions) {
        for (CtPanel *panel : panels) {
            panel->setDR(0, 0, now.last, now.last);
            panel->setCR(0, 0, now.last, now.last);
        }
    }
    if (!reset.isEmpty())
        qCWarning(lcWindow).noquote() << QV_SAID(
            "Kept conditions that do not fit the new images (%1 x %2) are reset to its defaults: %3")
                                             .arg(w)
                                             .arg(h)
                                             .arg(SaidText::joined(reset, QStringLiteral(", ")));
}

void LoadController::setLoadControlsEnabled(bool enabled)
{
    parts_.ui.CTFiles->ui().Select->setEnabled(enabled);
    parts_.ui.CTFiles->ui().Clear->setEnabled(enabled);
    parts_.ui.SelDDir->ui().Set->setEnabled(enabled);
}
