#pragma once

// Qt
#include <QDateTime>
#include <QFrame>
#include <QImage>
#include <QPen>
#include <QStringList>

// Local
#include "ct/runparams.h"
#include "ct/ui/ct2job.h"
#include "imagedata/projectionset.h"
#include "ui_body.h"
#include "widgets/mousec.h"
#include <vector>

class CtCalc;
class CtCalc2;
class CtCalc2Ui;
class CtDisp;
class DataSaver;
class ImgDatas;
class PopDockBase;
class QAbstractButton;
class QPainter;
class QThread;
class RawDisp;
class Sinogram;

/// The main window: owns every panel, worker and thread, wires them together and carries the
/// operator's road from raw files to reconstructed and saved slices.
/// \test tst_bodyloading.cpp, tst_bodycalc.cpp
class Body : public QFrame
{
    Q_OBJECT
public:
    /// `workers` calculation workers, each on a thread of its own; 0: one per hardware thread.
    explicit Body(QWidget *parent = nullptr, int workers = 0);
    ~Body() override;

    Ui_Body &ui() { return ui_; }
    RawDisp *rawDisp() const { return rawDisp_; }
    Sinogram *sinogram() const { return sinogram_; }
    CtCalc *ctCalc() const { return ctCalc_; }
    CtDisp *ctDisp() const { return ctDisp_; }
    ImgDatas *imageSet() const { return imgDatas_; }
    const std::vector<CtCalc2 *> &workers() const { return workers_; }
    const std::vector<CtCalc2Ui *> &workerPanels() const { return panels_; }
    /// The container of a tab page (by the page's object name).
    PopDockBase *tabContainer(const QString &pageName) const;
    PopDockBase *imagesContainer() const { return imgsPopDocBase_; }
    bool isLoading() const { return loading_; }
    bool isCalculating() const { return calculating_; }
    /// A run waits for the loading or for the workers of a stopped run.
    bool isWaitingToStart() const { return pendingStart_; }
    /// Slices handed to workers and not yet reported back.
    int slicesInProgress() const;

signals:
    void batchCalcStart();
    void batchCalcFinished();
    void askAddAnImg(const QString &fileName);
    void askLoadNextDataFile();
    void noticeFinishedLoadDataFiles();
    void startCt(CtCalc2 *target, const Ct2Job &job);
    void finishing();
    void finishedLoadingCTFiles();
    void calcFinished();
    void callBatchLoad(const QString &fileName);
    void callBatchExec();
    void callBatchCheckEnd();

public slots:
    // The queued loading loop: one file per pass of the event loop.
    void dataFilesSelected(const QStringList &files, bool newSeries);
    void loadNextDataFile();
    void finishedLoadDataFiles();
    // The raw image.
    void newPosOnRawImg(double x, double y);
    void updateRawImage();
    void draw(QPainter *p);
    void selectedAPointInRawImg(double x, double y, MouseC::MStat code);
    // Calculation runs.
    void toggleCalcCt();
    void startCalcCt();
    void stopCalcCt();
    void setupFFT();
    void setupSaveConds();
    void execSingleCtCalc();
    void execMultiCtCalc();
    void ctCalcFinished();
    void setShowAdditionalInfo(bool show);
    void setShowAdditionalAdditionalInfo(bool show);
    void changedCtSel();
    void changedAutoExec();
    void dRUpdated(double x0, double z0, double x1, double z1);
    void cRUpdated(double x0, double z0, double x1, double z1);
    void fixColorScaleChanged();
    double colorMin() const;
    double colorMax() const;
    void ctImage(int slice, const QImage &image);
    /// Hands a batch file to the batch interpreter.
    void batchLoad(const QString &fileName);
    /// Starts the loaded batch.
    void batchExec();
    void setFixColorScale(bool fixed);
    void setColorMin(double v);
    void setColorMax(double v);
    void setAutoSaveImage(bool on);
    void setAutoSaveData(bool on);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void i0OrBgSelected();
    void workerFinished();
    void saveFailed(bool image, const QString &path);

private:
    void buildTabs();
    void setUpWorkers(int count);
    void connectAll();
    void disableWhatComesLater();
    void applyGeometryDefaults();
    void checkI0BgSizes();
    void applySelection(const QRectF &selection);
    void dispatch(size_t worker, int slice);
    void takeBlock(size_t worker, size_t threads);
    bool sliceInRange(int slice) const;
    void showProgress();
    void resumeWaitingWork();
    std::vector<class CtPanel *> ctPanels() const;

    Ui_Body ui_;
    RawDisp *rawDisp_ = nullptr;
    Sinogram *sinogram_ = nullptr;
    CtCalc *ctCalc_ = nullptr;
    CtDisp *ctDisp_ = nullptr;
    ImgDatas *imgDatas_ = nullptr;
    PopDockBase *imgsPopDocBase_ = nullptr;
    QThread *imageSetThread_ = nullptr;
    QThread *saverThread_ = nullptr;
    DataSaver *saver_ = nullptr;
    std::vector<QThread *> workerThreads_;
    std::vector<CtCalc2 *> workers_;
    std::vector<CtCalc2Ui *> panels_;
    std::vector<int> outstanding_; // per worker: slices dispatched and not yet reported back
    QImage rawImage_;

    QPen cursorPen_, slicePen_, rangePen_, corPen_, drawingPen_, selectionPen_;

    bool calculating_ = false;
    bool batchCalc_ = false;
    bool pendingStart_ = false;
    // Take the default from the next loaded set: slice range end, slice number, centre of rotation,
    // regions.
    bool applyDefaultSliceTo_ = true;
    bool applyDefaultSliceNo_ = true;
    bool applyDefaultCor_ = true;
    bool applyDefaultRegions_ = true;

    QStringList pendingFiles_;
    bool loading_ = false;
    bool loadWaiting_ = false; // a selection waits for the workers to finish
    QStringList waitingFiles_;
    bool waitingNewSeries_ = false;

    RunParams run_;
    ProjectionSet runSet_;
    int nextSlice_ = 0;
    // Per worker in a range run: the slices of its block, whose sinograms it builds in one pass over
    // the images, and how many of them it has been handed.
    struct WorkerBlock
    {
        std::vector<int> slices;
        std::uint64_t id = 0;
        size_t next = 0;
        size_t queued() const { return slices.size() - next; }
    };
    std::vector<WorkerBlock> workerBlocks_;
    int blockSlices_ = 1;
    QDateTime runStart_, runEnd_;
};
