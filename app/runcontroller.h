#pragma once

// Qt
#include <QDateTime>
#include <QObject>

// Local
#include "config/joboutcome.h"
#include "ct/runparams.h"
#include "ct/savingrecords.h"
#include "ct/slicerecon.h"
#include "ct/sliceworker.h"
#include "recon/slicefiles.h"
#include "recon/slicescheduler.h"
#include <vector>

class CtCalc2Ui;
class CtPanel;
class DataSaver;
class LoadController;
class QThread;
class SelectSaveDir;
class VolumeSaver;
class WorkerPool;
struct VolumeSlice;
struct WindowParts;

/// The window's calculation runs, a client of the run library like the command: a slice or a range
/// of slices on the workers (CT2), planned, scheduled and reconstructed as the command does it, each
/// result shown on its worker's panel and handed to the saver by value; or the current slice on the
/// main thread to watch (CT1, `CtCalc`). A run never starts under a load nor under the slices of a
/// stopped run: it waits. It ends when every slice is back and every file written, with a
/// `JobOutcome`.
/// runs on: the main thread (its workers and saver on threads of their own).
/// \test tst_bodycalc.cpp, tst_headless.cpp
class RunController : public QObject
{
    Q_OBJECT
public:
    RunController(WindowParts &parts, const std::vector<CtCalc2Ui *> &panels, QObject *parent = nullptr);
    ~RunController() override;

    void setLoad(const LoadController *load) { load_ = load; }
    WorkerPool &pool() const { return *pool_; }
    DataSaver *saver() const { return saver_; }
    const std::vector<CtCalc2Ui *> &panels() const { return panels_; }

    bool isCalculating() const { return state_ == State::Running; }
    bool isWaitingToStart() const { return state_ == State::Waiting; }
    /// Slices (and trials) handed to workers and not yet back.
    int slicesInProgress() const;
    /// No slice in progress and CT1 at rest: the image set may change, engines may be sized.
    bool workersResting() const;
    /// No run going or waiting, and the workers at rest.
    bool isIdle() const { return state_ == State::Idle && workersResting(); }
    /// Records handed to the saver and not yet written (or reported failed).
    int savingRecords() const { return saving_.records; }
    /// While more than this many bytes wait for the saver, no further slice is handed out.
    void setSavingLimit(qint64 bytes) { saving_.limit = bytes; }
    /// Of the run going, or of the last one.
    const JobOutcome &outcome() const { return run_.outcome; }
    const RunParams &params() const { return run_.params; }
    const SaveTargets &saveTargets() const { return run_.saveTo; }
    int filesWritten() const { return run_.filesWritten; }
    /// The volume file (HDF5) the last run wrote whole, or empty.
    const QString &volumeWritten() const { return run_.volumeWritten; }
    /// The task of `slice` at `cor` with the settings `run` on `set`, its region and grey scale those of
    /// worker `panel`'s panel: everything a run's slice is made of.
    SliceTask panelTask(
        size_t panel, const RunParams &run, const ProjectionSet &set, int slice, double cor) const;
    /// The window closes: a run going is reported stopped, nothing more is handed out, the last
    /// results are handed on and the saver writes them all before its thread ends.
    void close();
    /// What a close during a run leaves (empty when no run goes).
    QString closeReport() const;

public slots:
    void toggleCalcCt();
    void startCalcCt();
    void stopCalcCt();
    void setupFFT();
    void setupSaveConds();
    void execSingleCtCalc();
    void execMultiCtCalc();
    void ctCalcFinished();

signals:
    /// A slice is handed to a worker (after its engine is sized for it).
    void startCt(SliceWorker *target, const SliceTask &task);
    void starting();
    /// The run has ended: every slice back, every file written.
    void ended(const JobOutcome &outcome);
    /// A run that waited to start was called off.
    void calledOff();
    /// A slice, a trial or CT1 has come back: what waited for the workers may go on.
    void workersRested();

private:
    enum class State { Idle, Waiting, Running };
    // The run going, or the last one.
    struct Run
    {
        RunParams params;
        ProjectionSet set;
        SaveTargets saveTo;
        JobOutcome outcome;
        int returned = 0; // slices back from the workers, failed ones included
        QList<int> failedSlices; // the first few, for the end message
        int filesFailedBefore = 0;
        int filesWritten = 0;
        bool stopping = false; // the operator stops it
        QString volumePath; // its HDF5 file, when one is asked for
        bool volumeOpen = false; // started and not yet finished
        QString volumeWritten; // written whole
        QDateTime start, end;
    };
    // Per worker, of the slice handed to it: whether it is shown, whether its panel's region was set.
    struct Handed
    {
        bool show = false;
        bool regionIsSet = true;
    };
    struct Saving
    {
        int records = 0; // handed to the saver, not yet written
        qint64 bytes = 0;
        qint64 limit = qint64(512) << 20;
    };
    /// Whether the run's workers and files fit into the memory there is, the threads lowered to
    /// those that fit; when not even one does, the run ends failed at once.
    bool fitInMemory();
    bool checkSaveTarget(bool on, SelectSaveDir *selector, const char *what);
    void reportUnusedI0Bg();
    /// The axis of a stitched run (searched or the field's) into `run.cor`; false when the run
    /// cannot be stitched, and then it has ended failed.
    bool placeOffsetAxis(RunParams &run);
    double sliceCor(int slice) const;
    void dispatch(size_t worker, const SliceHandout &handout);
    void showProgress();
    void showPercent(double fraction);
    void reportRunEnd();
    // Results (runresults.cpp).
    void sliceDone(int worker, SliceResult &&result);
    void sliceFailed(int slice, const QString &why);
    void ct1Progressed(int done, int total);
    void handToSaver(SavingData &&record);
    void handToSaver(SavingImg &&record);
    void startVolume();
    void handToVolume(VolumeSlice &&slice);
    void finishVolume();
    void saveFailed(bool image, const QString &path);
    void saverDone(qint64 bytes);

    WindowParts &parts_;
    const LoadController *load_ = nullptr;
    std::vector<CtCalc2Ui *> panels_;
    std::vector<Handed> handed_;
    WorkerPool *pool_ = nullptr;
    QThread *saverThread_ = nullptr;
    DataSaver *saver_ = nullptr;
    VolumeSaver *volumeSaver_ = nullptr; // on the saver thread
    State state_ = State::Idle;
    Run run_;
    SliceScheduler scheduler_; // of a range run
    Saving saving_;
};
