#pragma once

// Qt
#include <QDateTime>
#include <QFrame>
#include <QHash>
#include <QImage>
#include <QPen>
#include <QStringList>

// Local
#include "automation/batchcmd.h"
#include "automation/setupfile.h"
#include "ct/runparams.h"
#include "ct/ui/ct2job.h"
#include "imagedata/projectionset.h"
#include "ui_body.h"
#include "widgets/mousec.h"
#include <functional>
#include <vector>

class Batch;
class CtCalc;
class CtCalc2;
class CtCalc2Ui;
class CtDisp;
class DataSaver;
class ImgDatas;
class PopDockBase;
class QAbstractButton;
class QFileDialog;
class QPainter;
class QThread;
class RawDisp;
class Sinogram;

/// The main window: owns every panel, worker and thread, wires them together and carries the
/// operator's road from raw files to reconstructed and saved slices.
/// \test tst_bodyloading.cpp, tst_bodycalc.cpp, tst_bodybatch.cpp, tst_bodysetup.cpp
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
    Batch *batch() const { return batch_; }
    QFileDialog *setupDialog() const { return setupDialog_; }

    /// Executes one command line at once, as a configuration or setup-file line: its completion is
    /// reported to no batch run. False when the command failed (the debug log says why).
    bool execCommand(const BatchCmd &cmd);
    /// Whether the executor has an action for the command word (compared without regard to case).
    bool knowsCommand(const QString &word) const { return batchActions_.contains(word.toUpper()); }
    /// With no window (-nw) a batch run that ends also ends the program, as "app_quit" does.
    void setQuitWhenBatchEnds(bool quit) { quitWhenBatchEnds_ = quit; }
    /// The program's exit status after "app_quit": 1 when a result file could not be written (or
    /// the batch file could not be read), else 0. 0 when the window was closed otherwise.
    int exitStatus() const { return quitByCommand_ && problems_ > 0 ? 1 : 0; }

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
    /// The result of the batch line handed out, sent before its completion report.
    void callBatchLastOk(bool ok);

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
    /// Executes a line handed out by the batch run and reports its completion: at once, when the
    /// loading it started has finished, or when the calculation run it started has ended.
    void batchExCmd(const BatchCmd &cmd);
    // Setup files.
    void showSaveSetupD();
    void showLoadSetupD();
    void saveLoadFileSelected(const QString &fileName);
    bool saveSetup(const QString &fileName);
    bool loadSetup(const QString &fileName);
    /// Ends the program once nothing is loading or calculating and every result is on disk.
    void appQuit();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void i0OrBgSelected();
    void workerFinished();
    void saveFailed(bool image, const QString &path);
    void loadFinishedForBatch();
    void tryQuit();
    void quitWhenSaved();

private:
    void buildTabs();
    void setUpWorkers(int count);
    void connectAll();
    void disableWhatComesLater();
    void applyGeometryDefaults();
    void checkI0BgSizes();
    void applySelection(const QRectF &selection);
    void dispatch(size_t worker, int slice);
    bool sliceInRange(int slice) const;
    void showProgress();
    void resumeWaitingWork();
    std::vector<class CtPanel *> ctPanels() const;

    // Batch commands (bodybatch.cpp). How a command's completion is reported.
    enum class Completion { Now, AfterLoading, AfterRun, AtExit };
    struct Outcome
    {
        Completion completion = Completion::Now;
        bool ok = true;
    };
    using Action = std::function<Outcome(const BatchCmd &cmd, bool fromBatch)>;
    void setUpBatch();
    void buildBatchActions();
    void buildValueActions();
    void buildOtherActions();
    void addAction(const char *word, Action action);
    Outcome runCommand(const BatchCmd &cmd, bool fromBatch);
    void reportBatchLine(bool ok);
    void runConfigurationLines();
    QWidget *workerPage(int index) const;
    bool isIdle() const;
    QList<SetupSection> setupSections();
    void setUpSetupDialog();

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
    QDateTime runStart_, runEnd_;

    Batch *batch_ = nullptr;
    QThread *batchThread_ = nullptr;
    QHash<QString, Action> batchActions_; // by upper-cased command word
    bool batchWaitsForLoading_ = false;
    int batchFilesBefore_ = 0; // raw files listed before the batch's load
    QString batchLoadDir_;
    bool quitRequested_ = false;
    bool quitByCommand_ = false;
    bool quitWhenBatchEnds_ = false;
    int problems_ = 0; // files that failed to write, batch files that could not be read
    QFileDialog *setupDialog_ = nullptr;
    bool setupSaving_ = false;
};
