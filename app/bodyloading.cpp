// The main window's loading of raw projection files, one file per pass of the event loop,
// and the geometry defaults taken from a newly loaded set.

// Local
#include "app/body.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "widgets/rawdisp.h"

void Body::dataFilesSelected(const QStringList &files, bool newSeries)
{
    // The image set never changes while a calculation reads it: a new load waits for the workers.
    if (slicesInProgress() > 0 || ctCalc_->isRunning()) {
        loadWaiting_ = true;
        waitingFiles_ = files;
        waitingNewSeries_ = newSeries;
        ui_.CTFiles->ui().Count->setText(tr("waits"));
        return;
    }
    loading_ = true;
    if (newSeries) {
        imgDatas_->clearImgs();
        ui_.seekCtrl->setMaximum(0);
        ui_.seekCtrl->setValue(0);
    }
    pendingFiles_ = files;
    emit askLoadNextDataFile();
}

void Body::loadNextDataFile()
{
    if (pendingFiles_.isEmpty()) {
        emit noticeFinishedLoadDataFiles();
        return;
    }
    const QString name = pendingFiles_.takeFirst();
    if (imgDatas_->add(name))
        ui_.CTFiles->addFile(name);
    emit askLoadNextDataFile();
}

void Body::finishedLoadDataFiles()
{
    loading_ = false;
    ui_.CTFiles->ui().Count->setText(QString::number(ui_.CTFiles->count()));
    applyGeometryDefaults();
    const int count = imgDatas_->count();
    ui_.procCtrl->setDataSetImages(count);
    ui_.seekCtrl->setMaximum(count - 1);
    checkI0BgSizes();
    updateRawImage();
    sinogram_->genSgmImage();
    emit finishedLoadingCTFiles();
    dataSetLoadFinished();
    if (pendingStart_)
        startCalcCt();
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
