#pragma once

// Qt
#include <QElapsedTimer>
#include <QFileInfoList>
#include <QObject>
#include <QStringList>

// Local
#include "config/joboutcome.h"
#include "recon/seriesmanifest.h"
#include "recon/volumejoin.h"
#include "xafs/alignrunner.h"
#include <optional>

class AlignRunner;
class LoadController;
class QThread;
class RunController;
class XafsBatch;
struct WindowParts;

/// The window's sequential CT-XAFS runs: the data-set selector hands over a set, which is checked
/// (missing projections, its I0 chosen by energy and read), tagged with its energy and loaded; the
/// driver on its own thread asks for its calculation and goes on to the next set; each set's run is
/// recorded in the manifest of its output folder, with its outcome. With "Align energies" the run
/// ends, once every set is done, by aligning the series in the data files' folder (AlignRunner on
/// the alignment thread, as quorvel-xanes does it); the run's outcome counts the sets and the
/// alignment.
/// runs on: the main thread (the driver `XafsBatch` on the sequence thread, the alignment on its own).
/// \test tst_bodyloading.cpp, tst_headless.cpp
class SequenceController : public QObject
{
    Q_OBJECT
public:
    SequenceController(
        WindowParts &parts, LoadController &load, RunController &runs, QObject *parent = nullptr);
    ~SequenceController() override;

    XafsBatch *driver() const { return driver_; }
    /// The sets are being done, or the series aligned after them.
    bool isRunning() const { return state_.running || state_.aligning; }
    /// The outcome of the last run (the one going, while it goes): its sets and the alignment.
    const JobOutcome &outcome() const { return state_.outcome; }
    /// The series folder the last run aligned (empty when none was).
    const QString &alignedSeries() const { return state_.alignedSeries; }
    /// Energy of each file of the I0 file set, in its order.
    const QList<double> &i0Energies() const { return i0Energies_; }
    /// Applies the current data set of the selector ("seq_exec_set"): true when its loading has
    /// started (`setLoaded` or `setFailed` follows), false when there is no current set.
    bool applyCurrentSet();
    /// The load under way is a data set of the selector.
    bool isLoadingSet() const { return state_.setLoad; }

    /// The window's hooks: a load has ended; a run started, ended (recorded first), or was called
    /// off while it waited.
    void loadEnded();
    void runStarted();
    /// Records the run that ended on a data set of the selector in its output folder's manifest.
    void recordRun();
    void runEnded();
    void calcCalledOff();

public slots:
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

signals:
    void setFirstSet(int firstIdx);
    void setNextSet(int lastIdx);
    void stage(const QString &msg, qlonglong dEt);
    /// A data set applied from the selector has loaded whole.
    void setLoaded();
    /// A data set applied from the selector loaded no image or not all of them, or was refused.
    void setFailed(const QString &why);
    /// The calculation run that the driver asked for has ended, its files written.
    void calcFinished();
    /// A run has ended (its sets and, when asked, the alignment): what was asked, done and failed.
    void sequenceEnded(const JobOutcome &outcome);
    /// To the alignment thread.
    void alignSeries(const AlignOptions &options);

private:
    // Where the sequence stands: one token per run of the driver, so that a run's calculation never
    // answers another's; the data set loaded and its manifest line, until another load.
    struct State
    {
        bool running = false;
        int token = 0;
        int calcRequested = 0; // the driver asked for a calculation that has not started yet
        int runToken = 0; // the running calculation is the driver's (its token), or 0
        bool setLoad = false; // the load in progress is a data set of the selector
        bool setApplied = false; // the selector handed a data set over (loaded or refused)
        QString setTitle;
        std::optional<ManifestEntry> entry;
        std::vector<EnergyVolume> volumes; // the sets' volume files (HDF5) since the sets were listed
        bool aligning = false; // the series is being aligned after its sets
        int setsAsked = 0;
        JobOutcome outcome; // the sets (and the alignment) of the last run
        QString alignedSeries;
    };
    /// The master file over the sets' volumes (series.h5 in the data files' folder).
    void writeSeriesVolume();
    void loadDataSet(const QStringList &files);
    void refuseDataSet(const QString &why);
    QString chosenI0File() const;
    void execCalculation();
    /// Why "Align energies" cannot work with the saving as it is set; empty when it can.
    QString alignProblem() const;
    void setFailedInRun(const QString &why);
    void startAlignment();
    void alignLine(const QString &text, AlignRunner::Level level);
    void alignStep(int done, int total);
    void alignFinished(const JobOutcome &outcome, int status);
    void endRun();

    WindowParts &parts_;
    LoadController &load_;
    RunController &runs_;
    XafsBatch *driver_ = nullptr;
    QThread *thread_ = nullptr;
    AlignRunner *aligner_ = nullptr;
    QThread *alignThread_ = nullptr;
    QList<double> i0Energies_;
    QElapsedTimer clock_; // total time of the sequential run, on this thread
    State state_;
};
