#pragma once

// Qt
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfoList>
#include <QFrame>
#include <QHash>
#include <QImage>
#include <QPen>
#include <QPointer>
#include <QStringList>
#include <QTimer>

// Local
#include "config/joboutcome.h"
#include "config/messagelog.h"
#include "app/gesturehistory.h"
#include "automation/batchcmd.h"
#include "recon/seriesmanifest.h"
#include "automation/setupfile.h"
#include "ct/corscan.h"
#include "ct/runparams.h"
#include "ct/ui/ct2job.h"
#include "imagedata/projectionset.h"
#include "imagedata/scanangles.h"
#include "link/ui/zelmaplink.h"
#include "ui_body.h"
#include "widgets/mousec.h"
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Batch;
class CorScanPanel;
struct CorScanRun;
class CtCalc;
class CtCalc2;
class CtCalc2Ui;
class QMessageBox;
class CtDisp;
class CtView;
class DataSaver;
class Hdf5Scan;
class ImgDatas;
class PopDockBase;
class ProgressLine;
class QAbstractButton;
class QLabel;
class QFileDialog;
class QPainter;
class QThread;
class RawDisp;
class Sinogram;
class XafsBatch;

/// The main window: owns every panel, worker and thread, wires them together and carries the
/// operator's road from raw files to reconstructed and saved slices.
/// \test tst_bodyloading.cpp, tst_bodycalc.cpp, tst_bodylink.cpp, tst_bodybatch.cpp
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
    CtView *ctView() const { return ctView_; }
    ImgDatas *imageSet() const { return imgDatas_; }
    const std::vector<CtCalc2 *> &workers() const { return workers_; }
    const std::vector<CtCalc2Ui *> &workerPanels() const { return panels_; }
    /// The container of a tab page (by the page's object name).
    PopDockBase *tabContainer(const QString &pageName) const;
    PopDockBase *imagesContainer() const { return imgsPopDocBase_; }
    /// The progress bar of the status line: the job the window is busy with and its time left.
    ProgressLine *progressLine() const { return progressLine_; }
    /// The status line's text: the newest problem of the message log.
    QLabel *statusText() const { return statusText_; }
    bool isLoading() const { return loading_; }
    bool isCalculating() const { return calculating_; }
    /// A run waits for the loading or for the workers of a stopped run.
    bool isWaitingToStart() const { return pendingStart_; }
    /// Slices handed to workers and not yet reported back.
    int slicesInProgress() const;
    DataSaver *saver() const { return saver_; }
    /// Records handed to the saver and not yet written (or reported failed), and their bytes.
    int savingRecords() const { return savingRecords_; }
    qint64 savingBytes() const { return savingBytes_; }
    /// While more than this many bytes wait for the saver, no further slice is handed out.
    void setSavingLimit(qint64 bytes) { savingLimit_ = bytes; }
    ZelmapLink &zelmapLink() { return zelmapLink_; }
    /// 0 idle; 1 a load request is out; 2 a 2DA request is out.
    int linkStage() const { return linkStage_; }
    bool isCont2dARunning() const { return contRunning_; }
    /// The driver of sequential CT-XAFS runs (on its own thread: reach it by queued calls only).
    XafsBatch *xafsBatch() const { return xafsBatch_; }
    /// Energy of each file of the I0 file set, in its order.
    const QList<double> &i0Energies() const { return i0Energies_; }
    bool isSeqCalcRunning() const { return seqRunning_; }
    /// Applies the current data set of the data-set selector (the batch command "seq_exec_set"):
    /// true when its loading has started (`seqSetLoaded` or `seqSetFailed` follows when it has
    /// finished), false when there is no current set.
    bool seqExecSet();
    Batch *batch() const { return batch_; }
    QFileDialog *setupDialog() const { return setupDialog_; }
    // Centres of rotation (bodycorscan.cpp).
    CorScanPanel *corScanPanel() const { return corScanPanel_; }
    bool isScanningCor() const { return corScan_ != nullptr; }
    /// Starts a scan of the current slice at the centres from … to by step on the calculation
    /// workers, exactly as a run reconstructs it; false (the log says why) when it cannot start:
    /// nothing loaded, a run, a load or another scan under way, or a range without usable centres.
    /// With `fromBatch` its end reports the batch line.
    bool startCorScan(double from, double to, double step, bool fromBatch = false);
    /// "Guess along range": the chosen search at `count` slices spread over From … To, the two
    /// records set from the line fitted through them; false (the log says why) when no line came out.
    bool guessCorLine(int count);
    /// Takes a centre of rotation picked on the CoR Scan page into the field, undoable as a pick.
    void takeCorFromScan(double cor);

    /// Executes one command line at once, as a configuration or setup-file line: its completion is
    /// reported to no batch run. False when the command failed (the debug log says why).
    bool execCommand(const BatchCmd &cmd);
    /// Whether the executor has an action for the command word (compared without regard to case).
    bool knowsCommand(const QString &word) const { return batchActions_.contains(word.toUpper()); }
    /// With no window (-nw) a batch run that ends also ends the program, as "app_quit" does.
    void setQuitWhenBatchEnds(bool quit) { quitWhenBatchEnds_ = quit; }
    /// What failed since the window was made: batch lines, slices, files not written and other
    /// results asked for and missing (a refused save folder, an unreadable batch file).
    struct Tally
    {
        int linesFailed = 0;
        int slicesFailed = 0;
        int filesNotWritten = 0;
        int otherFailures = 0;
        bool clean() const { return linesFailed + slicesFailed + filesNotWritten + otherFailures == 0; }
        /// "2 lines failed, 3 slices failed, 1 file not written".
        QString text() const;
    };
    const Tally &tally() const { return tally_; }
    /// The outcome of the last calculation run (the one going, while it goes).
    const JobOutcome &runOutcome() const { return runOutcome_; }
    /// How a close during a run is confirmed (a question to the operator; a test answers itself).
    void setCloseQuestion(std::function<bool()> question) { closeQuestion_ = std::move(question); }
    /// The program's exit status after "app_quit": the status it named, else 1 when anything asked
    /// for failed (see `tally`), else 0. 0 when the window was closed otherwise.
    int exitStatus() const;

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
    // The viewer link.
    void zmlLoadFilesOfPattern(const QString &path);
    void zmlLoadFiles(const QStringList &fileList);
    void zmlStatChanged();
    void exec2dA(const QString &sliceNoS);
    // Sequential CT-XAFS runs.
    void setFirstSet(int firstIdx);
    void setNextSet(int lastIdx);
    void stage(const QString &msg, qlonglong dEt);
    /// A data set applied from the data-set selector has loaded whole.
    void seqSetLoaded();
    /// A data set applied from the data-set selector loaded no image or not all of them.
    void seqSetFailed(const QString &why);
    /// The calculation run that the sequential driver asked for has ended, its files written.
    void seqCalcFinished();
    /// The result of the batch line handed out, sent before its completion report.
    void callBatchLastOk(bool ok);
    /// A scan of centres has ended (all its trials back and its files written): `ok` when every
    /// trial was reconstructed and every file written.
    void corScanFinished(bool ok);

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
    /// Sets the centre of rotation as a pick on a picture does: Ctrl+Z puts the one before back.
    /// For every control that picks a centre with the mouse.
    void setCorAsPicked(double cor);
    /// Opens the "About" box: the version and where the manual is (F1).
    void showAbout();
    /// Puts back what the last recorded gesture changed (Ctrl+Z); false when none is left.
    bool undoGesture();
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
    // The viewer link.
    /// Asks the viewer for 2DA on the current slice.
    void exec2dA0();
    void setupZelmapLink();
    void zmlInitFlags();
    void zmlChangedIsBusy(bool f);
    /// Takes the next step of the link control when the viewer reports a request finished.
    void zmlStageCtrl();
    /// Starts or stops the continuous run over the slice range.
    void zmlStartCont2dA();
    /// Checks "Send Msg.": picking a slice asks the viewer to load its files.
    void zmlSetSendMsg(bool on);
    /// Connects the link, as a click on "Link 2dZelmap" does.
    void zmlConnect();
    /// Starts (or adopts) a continuous run and reports its end to the batch (at once when it cannot
    /// start): done only when every slice of the range was analysed.
    void zmlBatchCont2dA();
    // Sequential CT-XAFS runs (bodyseq.cpp).
    void selectedDir(const QString &dir, const QStringList &patterns);
    void selectedFileInfoList(const QFileInfoList &fileInfoList);
    void newSets(int count);
    void setFirstImageSet();
    void setNextImageSet();
    void startingSeqCalc();
    void finishedSeqCalc();
    void i0FilesSelected(const QStringList &files, bool clear);
    void noticedStage(const QString &msg, qlonglong dEt);
    void setI0FileFromList();
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
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void i0OrBgSelected();
    void workerFinished();
    void workerSliceFailed(int slice, const QString &why);
    void saveFailed(bool image, const QString &path);
    void handedToSaver(qint64 bytes);
    void saverDone(qint64 bytes);
    /// The single-thread calculator has done `done` of `total` projections.
    void ct1Progressed(int done, int total);
    void showProblem(const LogMessage &message);
    void execSeqCalculation();
    void loadFinishedForBatch();
    void tryQuit();
    void quitWhenSaved();

private:
    void buildTabs();
    bool askToStopAndClose();
    void buildStatusLine();
    /// The strip under the pictures (raw files, CT-XAFS panels) as tall as it needs, at most two
    /// fifths of the column; it scrolls beyond that.
    void fitLowerStrip();
    /// Draws the shown projection: through the generator rule for a new image, else through the
    /// colour bar as the operator set it. An empty set shows nothing.
    void drawRawImage(bool newImage);
    /// Says in the log when the run is not corrected for I0 or BG: none chosen, or one left out.
    void reportUnusedI0Bg();
    /// Shows the loading's count against its total, with the progress line.
    void showLoadProgress();
    /// `ProgPerCent` shows a figure of done / total.
    void showPercent(double fraction);
    void setUpWorkers(int count);
    void connectAll();
    void setUpSequence();
    void loadDataSet(const QStringList &files);
    /// A data set that is not to be loaded: says why and fails the set.
    void refuseDataSet(const QString &why);
    /// The I0 image that the current data set's energy chooses; empty without a list of them.
    QString chosenI0File() const;
    void dataSetLoadFinished();
    /// Records the run that ended on a data set of the selector in its output folder's manifest.
    void recordSeqSetRun();
    void seqRunStarted();
    void seqRunEnded();
    void seqCalcCalledOff();
    void applyGeometryDefaults();
    void rawFilesCleared();
    void clearImageSet();
    /// While a load runs, nothing can start another.
    void setLoadControlsEnabled(bool enabled);
    void checkI0BgSizes();
    // Scan files (bodyscan.cpp).
    /// Opens a scan file for loading; its frames follow through `loadScanFrame`. False (with a
    /// message) when it is refused.
    bool beginScan(const QString &fileName);
    /// Loads the next projection frame of the scan being loaded; false when it has none left.
    bool loadScanFrame();
    int scanFramesLeft() const;
    /// The scan's flats and darks as I0 and BG, unless the operator chose files for them.
    void takeScanI0Bg(const std::shared_ptr<const Hdf5Scan> &scan);
    /// When every loaded image records its angle: checks that they step evenly (else the load
    /// fails) and keeps the fit for `applyScanAngles`, which sets the range and image count.
    void fitScanAngles();
    void applyScanAngles();
    void applySelection(const QRectF &selection);
    /// The window's keys, named in the tooltips of what they do.
    void setUpShortcuts();
    void stepSlice(int by);
    void dispatch(size_t worker, int slice);
    /// What a worker needs to reconstruct `slice` at `cor` with the settings of `run` on `set`.
    SliceTask sliceTask(
        size_t worker, const RunParams &run, const ProjectionSet &set, int slice, double cor) const;
    /// The centre of rotation of `slice` in this run: on the line through the records when they are
    /// used, else the field's.
    double sliceCor(int slice) const;
    // Scans of centres (bodycorscan.cpp).
    void setUpCorScan();
    void corScanClicked();
    void continueCorScan();
    void corTrialFinished(const CorTrial &trial);
    void finishCorScan();
    bool writeCorScan(const CorScanRun &scan, int best);
    void takeBlock(size_t worker, size_t threads);
    bool sliceInRange(int slice) const;
    void showProgress();
    /// The end message, the progress bar and the progress field of the run that ended.
    void reportRunEnd();
    void resumeWaitingWork();
    bool checkSaveTarget(bool on, class SelectSaveDir *selector, const char *what);
    std::vector<class CtPanel *> ctPanels() const;
    /// Asks the viewer to load the saved data files of slice `sliceNo` and makes it current.
    void zmlLoadSlice(int sliceNo);
    void zmlSetContRunning(bool on);
    /// Ends a continuous run: finished when `why` is empty, else failed (or `stopped`) for that reason.
    void zmlEndCont2dA(const QString &why, bool stopped = false);
    void zmlLinkStateChanged();

    // Batch commands (bodybatch.cpp). How a command's completion is reported.
    enum class Completion { Now, AfterLoading, AfterSetLoading, AfterRun, AtExit };
    struct Outcome
    {
        Completion completion = Completion::Now;
        bool ok = true; // the result ":ifok" and ":ifng" test
        bool conditionOnly = false; // a false result answers a question and is no failure
    };
    using Action = std::function<Outcome(const BatchCmd &cmd, bool fromBatch)>;
    void setUpBatch();
    void buildBatchActions();
    void buildValueActions();
    void buildOtherActions();
    void buildSeqAndLinkActions();
    /// Reports a batch line "seq_exec_set" done when its data set has loaded (or failed to).
    void setLoadedForBatch(bool ok);
    void addAction(const char *word, Action action);
    Outcome runCommand(const BatchCmd &cmd, bool fromBatch);
    /// Reports the batch line handed out as done; a line that is not `ok` counts as failed unless
    /// it only answered a question (`failure` false).
    void reportBatchLine(bool ok, bool failure = true);
    bool isBatchLineWaiting() const;
    void batchLineTimedOut();
    void runConfigurationLines();
    QWidget *workerPage(int index) const;
    bool isIdle() const;
    QList<SetupSection> setupSections();
    void setUpSetupDialog();

    Ui_Body ui_;
    GestureHistory gestures_; // what the mouse changed, for Ctrl+Z
    QPointer<QMessageBox> aboutBox_;
    RawDisp *rawDisp_ = nullptr;
    Sinogram *sinogram_ = nullptr;
    CtCalc *ctCalc_ = nullptr;
    CtDisp *ctDisp_ = nullptr;
    CtView *ctView_ = nullptr;
    ImgDatas *imgDatas_ = nullptr;
    PopDockBase *imgsPopDocBase_ = nullptr;
    QThread *imageSetThread_ = nullptr;
    QThread *saverThread_ = nullptr;
    DataSaver *saver_ = nullptr;
    std::vector<QThread *> workerThreads_;
    std::vector<CtCalc2 *> workers_;
    std::vector<CtCalc2Ui *> panels_;
    std::vector<int> outstanding_; // per worker: slices dispatched and not yet reported back
    int savingRecords_ = 0; // handed to the saver, not yet written
    qint64 savingBytes_ = 0;
    qint64 savingLimit_ = qint64(512) << 20;
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
    qsizetype loadAsked_ = 0; // files of the load in progress
    int loadAdded_ = 0; // and those of them loaded
    bool loadNewSeries_ = false;
    QStringList previousFiles_; // listed before a new series, until it has an image
    int previousSeek_ = 0;
    bool clearWaiting_ = false; // "Clear" waits for the workers to finish
    QStringList notLoaded_; // its files that could not be used
    bool loading_ = false;
    bool loadWaiting_ = false; // a selection waits for the workers to finish
    QStringList waitingFiles_;
    bool waitingNewSeries_ = false;

    int loadTotal_ = 0; // files the window holds when this loading ends, if none is refused
    int loadCountAtStart_ = 0;
    std::shared_ptr<const Hdf5Scan> scan_; // the scan file whose frames are being loaded
    int scanNext_ = 0;
    std::optional<AngleFit> scanFit_;
    std::optional<QString> originBeforeScan_; // the angle origin's text when a scan began to load
    // Sequential CT-XAFS runs.
    XafsBatch *xafsBatch_ = nullptr;
    QThread *seqThread_ = nullptr;
    QList<double> i0Energies_;
    bool seqRunning_ = false;
    QElapsedTimer seqClock_; // total time of the sequential run, on this thread
    bool setLoad_ = false; // the load in progress is a data set of the data-set selector
    bool setApplied_ = false; // the selector handed a data set over (loaded or refused)
    QString setLoadTitle_;
    std::optional<ManifestEntry> setEntry_; // the data set loaded, until another load
    int runFilesWritten_ = 0;
    int seqToken_ = 0; // one per sequential run: a run's calculation never answers another's
    int seqCalcRequested_ = 0; // the driver asked for a calculation that has not started yet
    int runSeqToken_ = 0; // the running calculation is the driver's (its token), or 0

    RunParams run_;
    bool saveImages_ = false; // this run saves images / data files (the selector is usable)
    bool saveData_ = false;
    ProjectionSet runSet_;
    int nextSlice_ = 0;
    JobOutcome runOutcome_; // of the run going or last run
    int runReturned_ = 0; // slices of this run back from the workers, failed ones included
    QList<int> runFailedSlices_; // the first few, for the end message
    QString runFailure_; // why the first of them failed
    int filesFailedBeforeRun_ = 0;
    bool stopping_ = false; // the operator stops the run
    ProgressLine *progressLine_ = nullptr;
    QLabel *statusText_ = nullptr;
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

    ZelmapLink zelmapLink_;
    bool zmlBusy_ = false; // the link's busy state as last received
    int linkStage_ = 0;
    bool contRunning_ = false;
    bool batchCont_ = false; // the continuous run reports its end to the batch
    int contDone_ = 0; // slices of the continuous run analysed
    int runFrom_ = 0, runTo_ = 0, runCurrent_ = 0, runStep_ = 0;
    Batch *batch_ = nullptr;
    QThread *batchThread_ = nullptr;
    QHash<QString, Action> batchActions_; // by upper-cased command word
    bool batchWaitsForLoading_ = false;
    bool batchWaitsForSet_ = false; // a "seq_exec_set" line waits for its data set
    QTimer batchLineTimer_; // "batch_timeout": how long a line may wait for the work it started
    int batchTimeoutMs_ = 0; // 0: no limit
    QString waitingLine_; // the batch line handed out
    bool batchExecWaiting_ = false; // the batch starts when the loading under way has finished
    // Who asked for the load under way: a batch line waits for it; a configuration or setup line's
    // failed load still counts.
    enum class LoadAsker { None, Batch, Line };
    LoadAsker loadAsker_ = LoadAsker::None;
    QString batchLoadDir_;
    bool quitRequested_ = false;
    bool quitByCommand_ = false;
    bool quitWhenBatchEnds_ = false;
    std::function<bool()> closeQuestion_ = [this] { return askToStopAndClose(); };
    Tally tally_;
    int quitStatus_ = -1; // named by "app_quit N"
    QFileDialog *setupDialog_ = nullptr;
    bool setupSaving_ = false;
    CorScanPanel *corScanPanel_ = nullptr;
    std::unique_ptr<CorScanRun> corScan_; // the scan of centres under way
};
