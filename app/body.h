#pragma once

// Qt
#include <QFileInfoList>
#include <QFrame>
#include <QImage>
#include <QPen>
#include <QPointer>
#include <QStringList>

// Local
#include "app/batchcontroller.h"
#include "app/corscancontroller.h"
#include "app/gesturehistory.h"
#include "app/linkcontroller.h"
#include "app/loadcontroller.h"
#include "app/runcontroller.h"
#include "app/seqcontroller.h"
#include "app/windowparts.h"
#include "automation/batchcmd.h"
#include "automation/setupfile.h"
#include "config/joboutcome.h"
#include "config/messagelog.h"
#include "ct/slicerecon.h"
#include "ct/sliceworker.h"
#include "ui_body.h"
#include "widgets/mousec.h"
#include <functional>
#include <vector>

class CorScanPanel;
class CtCalc;
class CtCalc2Ui;
class CtDisp;
class CtPanel;
class CtView;
class ImgDatas;
class PopDockBase;
class ProgressLine;
class QFileDialog;
class QLabel;
class QMessageBox;
class QPainter;
class RawDisp;
class Sinogram;
class XanesPanel;

/// The main window: lays out every panel, owns the controllers that do the work and wires them
/// together. Loading (image and scan files), runs (CT1, CT2 on the run library), the scan of
/// centres, batch execution, the viewer link and the sequence each have a controller of their own;
/// the window keeps the layout, the raw image with its overlays and gestures, the setup dialog, and
/// the signals and slots that are its public face, whose bodies delegate.
/// runs on: the main thread.
/// \test tst_bodyloading.cpp, tst_bodycalc.cpp, tst_bodylink.cpp, tst_bodybatch.cpp, tst_bodywindow.cpp
class Body : public QFrame
{
    Q_OBJECT
public:
    using Tally = ::Tally;

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
    const std::vector<SliceWorker *> &workers() const;
    const std::vector<CtCalc2Ui *> &workerPanels() const { return runs_->panels(); }
    /// The container of a tab page (by the page's object name).
    PopDockBase *tabContainer(const QString &pageName) const;
    /// The progress bar of the status line: the job the window is busy with and its time left.
    ProgressLine *progressLine() const { return progressLine_; }
    /// The status line's text: the newest problem of the message log.
    QLabel *statusText() const { return statusText_; }
    bool isLoading() const { return load_->isLoading(); }
    bool isCalculating() const { return runs_->isCalculating(); }
    /// A run waits for the loading or for the workers of a stopped run.
    bool isWaitingToStart() const { return runs_->isWaitingToStart(); }
    /// Slices handed to workers and not yet reported back.
    int slicesInProgress() const { return runs_->slicesInProgress(); }
    class DataSaver *saver() const { return runs_->saver(); }
    /// Records handed to the saver and not yet written (or reported failed).
    int savingRecords() const { return runs_->savingRecords(); }
    /// While more than this many bytes wait for the saver, no further slice is handed out.
    void setSavingLimit(qint64 bytes) { runs_->setSavingLimit(bytes); }
    ZelmapLink &zelmapLink() { return link_->link(); }
    /// 0 idle; 1 a load request is out; 2 a 2DA request is out.
    int linkStage() const { return link_->stage(); }
    bool isCont2dARunning() const { return link_->isContRunning(); }
    bool isSeqCalcRunning() const { return seq_->isRunning(); }
    /// Energy of each file of the I0 file set, in its order.
    const QList<double> &i0Energies() const { return seq_->i0Energies(); }
    /// Applies the current data set of the data-set selector (the batch command "seq_exec_set"):
    /// true when its loading has started (`seqSetLoaded` or `seqSetFailed` follows when it has
    /// finished), false when there is no current set.
    bool seqExecSet() { return seq_->applyCurrentSet(); }
    class Batch *batch() const { return batch_->batch(); }
    QFileDialog *setupDialog() const { return setupDialog_; }
    CorScanPanel *corScanPanel() const { return corScanPanel_; }
    /// The "XANES" tab's panel.
    XanesPanel *xanesPanel() const { return xanesPanel_; }
    /// The outcome of the last sequential run (the one going, while it goes).
    const JobOutcome &seqOutcome() const { return seq_->outcome(); }
    bool isScanningCor() const { return scan_->isScanning(); }
    /// Starts a scan of the current slice at the centres from … to by step (see CorScanController).
    bool startCorScan(double from, double to, double step, bool fromBatch = false)
    {
        return scan_->start(from, to, step, fromBatch);
    }
    /// Executes one command line at once, as a configuration or setup-file line: its completion is
    /// reported to no batch run. False when the command failed (the debug log says why).
    bool execCommand(const BatchCmd &cmd) { return batch_->execCommand(cmd); }
    bool knowsCommand(const QString &word) const { return batch_->knowsCommand(word); }
    /// With no window (-nw) a batch run that ends also ends the program, as "app_quit" does.
    void setQuitWhenBatchEnds(bool quit) { batch_->setQuitWhenBatchEnds(quit); }
    const Tally &tally() const { return tally_; }
    /// The outcome of the last calculation run (the one going, while it goes).
    const JobOutcome &runOutcome() const { return runs_->outcome(); }
    /// What loading a setup does with the data set it names while one is loaded: asks (the
    /// window's "Load Setup"), loads it in its place, or keeps the set loaded.
    enum class SetupData { Ask, Load, Keep };
    /// How a close during a run is confirmed (a question to the operator; a test answers itself).
    void setCloseQuestion(std::function<bool()> question) { closeQuestion_ = std::move(question); }
    /// The program's exit status after "app_quit": the status it named, else 1 when anything asked
    /// for failed (see `tally`), else 0. 0 when the window was closed otherwise.
    int exitStatus() const { return batch_->exitStatus(); }

signals:
    void batchCalcStart();
    void batchCalcFinished();
    void askLoadNextDataFile();
    void noticeFinishedLoadDataFiles();
    /// A slice is handed to a calculation worker (after its engine is sized for it).
    void startCt(SliceWorker *target, const SliceTask &task);
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
    /// A scan of centres has ended (all its trials back and its files written): trials asked, done
    /// and failed, whether it was stopped and the files that could not be written.
    void corScanFinished(const JobOutcome &outcome);
    /// A sequential run has ended: its sets and, with "Align energies", the alignment.
    void seqFinished(const JobOutcome &outcome);

public slots:
    // Loading (LoadController).
    void dataFilesSelected(const QStringList &files, bool newSeries)
    {
        load_->dataFilesSelected(files, newSeries);
    }
    void loadNextDataFile() { load_->loadNextDataFile(); }
    void finishedLoadDataFiles() { load_->finishedLoadDataFiles(); }
    // The raw image (bodyrawimage.cpp).
    void newPosOnRawImg(double x, double y);
    void updateRawImage();
    void draw(QPainter *p);
    void selectedAPointInRawImg(double x, double y, MouseC::MStat code);
    /// Sets the centre of rotation as a pick on a picture does: Ctrl+Z puts the one before back.
    void setCorAsPicked(double cor);
    /// Opens the "About" box: the version and where the manual is (F1).
    void showAbout();
    /// Puts back what the last recorded gesture changed (Ctrl+Z); false when none is left.
    bool undoGesture();
    // Calculation runs (RunController).
    void toggleCalcCt() { runs_->toggleCalcCt(); }
    void startCalcCt() { runs_->startCalcCt(); }
    void stopCalcCt() { runs_->stopCalcCt(); }
    void setupFFT() { runs_->setupFFT(); }
    void setupSaveConds() { runs_->setupSaveConds(); }
    void execSingleCtCalc() { runs_->execSingleCtCalc(); }
    void execMultiCtCalc() { runs_->execMultiCtCalc(); }
    void ctCalcFinished() { runs_->ctCalcFinished(); }
    // The panels.
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
    void batchLoad(const QString &fileName) { emit callBatchLoad(fileName); }
    /// Starts the loaded batch.
    void batchExec() { batch_->batchExec(); }
    void setFixColorScale(bool fixed);
    void setColorMin(double v);
    void setColorMax(double v);
    void setAutoSaveImage(bool on);
    void setAutoSaveData(bool on);
    // The viewer link (LinkController).
    void exec2dA0() { link_->exec2dA0(); }
    void setupZelmapLink() { link_->setupZelmapLink(); }
    void zmlInitFlags() { link_->zmlInitFlags(); }
    void zmlChangedIsBusy(bool f) { link_->zmlChangedIsBusy(f); }
    void zmlStageCtrl() { link_->zmlStageCtrl(); }
    void zmlStartCont2dA() { link_->zmlStartCont2dA(); }
    void zmlSetSendMsg(bool on) { link_->zmlSetSendMsg(on); }
    void zmlConnect() { link_->zmlConnect(); }
    /// Starts (or adopts) a continuous run and reports its end to the batch (at once when it cannot
    /// start): done only when every slice of the range was analysed.
    void zmlBatchCont2dA() { batch_->waitForContinuousRun(); }
    // Sequential CT-XAFS runs (SequenceController).
    void selectedDir(const QString &dir, const QStringList &patterns) { seq_->selectedDir(dir, patterns); }
    void selectedFileInfoList(const QFileInfoList &list) { seq_->selectedFileInfoList(list); }
    void newSets(int count) { seq_->newSets(count); }
    void setFirstImageSet() { seq_->setFirstImageSet(); }
    void setNextImageSet() { seq_->setNextImageSet(); }
    void startingSeqCalc() { seq_->startingSeqCalc(); }
    void finishedSeqCalc() { seq_->finishedSeqCalc(); }
    void i0FilesSelected(const QStringList &files, bool clear) { seq_->i0FilesSelected(files, clear); }
    void noticedStage(const QString &msg, qlonglong dEt) { seq_->noticedStage(msg, dEt); }
    void setI0FileFromList() { seq_->setI0FileFromList(); }
    /// Executes a line handed out by the batch run and reports its completion: at once, when the
    /// loading it started has finished, or when the work it started has ended.
    void batchExCmd(const BatchCmd &cmd) { batch_->batchExCmd(cmd); }
    // Setup files (bodysetup.cpp).
    void showSaveSetupD();
    void showLoadSetupD();
    void saveLoadFileSelected(const QString &fileName);
    bool saveSetup(const QString &fileName);
    /// Loads a setup file. True when it was read; its data set loads after the call, its other
    /// settings then apply, and the log says what was restored. A question, when asked, is the
    /// window's child "SetupDataQuestion" and not modal to the application.
    bool loadSetup(const QString &fileName, SetupData data = SetupData::Ask);
    /// Ends the program once nothing is loading or calculating and every result is on disk.
    void appQuit() { batch_->appQuit(); }

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    /// The columns' widths once the window's own is known: the left column as much room for paths
    /// as leaves every page tab in sight.
    void placeColumns();
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildTabs();
    void buildStatusLine();
    std::vector<CtCalc2Ui *> buildWorkerPanels(int count);
    void buildCorScanPage();
    void addLastPage(QWidget *panel, const char *pageName, const char *baseName, const QString &popTitle,
        const QString &tabTitle);
    void buildControllers(const std::vector<CtCalc2Ui *> &panels);
    void connectAll();
    void connectControllers();
    bool askToStopAndClose();
    void showProblem(const LogMessage &message);
    void clearProblemOnSuccess(const LogMessage &message);
    /// The strip under the pictures (raw files, CT-XAFS panels) as tall as it needs, at most two
    /// fifths of the column; it scrolls beyond that.
    void fitLowerStrip();
    /// Draws the shown projection: through the generator rule for a new image, else through the
    /// colour bar as the operator set it. An empty set shows nothing.
    void drawRawImage(bool newImage);
    void applySelection(const QRectF &selection);
    void i0OrBgSelected();
    void checkI0BgSizes();
    void imagesChanged();
    /// The window's wiring of what ends: a load, a run, a run called off, a scan, a continuous run.
    void loadEnded();
    void runEnded(const JobOutcome &outcome);
    void runCalledOff();
    void waitTimedOut(BatchController::LineWait kind);
    /// The workers came to rest: a clear, a load or a run that waited for them goes on.
    void resumeWaitingWork();
    void takeCorFromScan(double cor);
    bool isIdle() const;
    /// The window's keys, named in the tooltips of what they do (bodykeys.cpp).
    void setUpShortcuts();
    void stepSlice(int by);
    std::vector<CtPanel *> ctPanels() const;
    QWidget *workerPage(int index) const;
    void setUpSetupDialog();
    void pointSetupDialog();

    Ui_Body ui_;
    Tally tally_;
    GestureHistory gestures_; // what the mouse changed, for Ctrl+Z
    QPointer<QMessageBox> aboutBox_;
    RawDisp *rawDisp_ = nullptr;
    Sinogram *sinogram_ = nullptr;
    CtCalc *ctCalc_ = nullptr;
    CtDisp *ctDisp_ = nullptr;
    CtView *ctView_ = nullptr;
    ImgDatas *imgDatas_ = nullptr;
    PopDockBase *imgsPopDocBase_ = nullptr;
    ProgressLine *progressLine_ = nullptr;
    QLabel *statusText_ = nullptr;
    CorScanPanel *corScanPanel_ = nullptr;
    XanesPanel *xanesPanel_ = nullptr;
    QImage rawImage_;
    QPen cursorPen_, slicePen_, rangePen_, corPen_, drawingPen_, selectionPen_;
    std::unique_ptr<WindowParts> parts_;
    QString setupDialogDir_; // the folder of the setup saved or loaded last
    QString problemJob_; // the job whose problem the status line shows
    bool autoExecBeforeCt1_ = false; // Auto Exec was on when CT1 was chosen: CT2 brings it back
    LoadController *load_ = nullptr;
    RunController *runs_ = nullptr;
    CorScanController *scan_ = nullptr;
    SequenceController *seq_ = nullptr;
    LinkController *link_ = nullptr;
    BatchController *batch_ = nullptr;
    std::function<bool()> closeQuestion_ = [this] { return askToStopAndClose(); };
    QFileDialog *setupDialog_ = nullptr;
    bool setupSaving_ = false;
    bool columnsMoved_ = false; // the operator moved the splitter: the columns keep their widths
};
