#pragma once

// Qt
#include <QElapsedTimer>
#include <QObject>
#include <QString>

// Local
#include "config/joboutcome.h"
#include "config/timeleft.h"
#include "xafs/alignedfile.h"
#include "xafs/alignmentpicture.h"
#include "xafs/alignoptions.h"
#include "xafs/alignworker.h"
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QEventLoop;
class QThread;

/// Where an alignment says what it does: a line per energy with the time left and a summary
/// (progress), what is degraded (warning), what failed (failure).
struct AlignReporter
{
    std::function<void(const QString &)> progress;
    std::function<void(const QString &)> warning;
    std::function<void(const QString &)> failure;
};

/// How one energy ended.
struct EnergyOutcome
{
    double energy = 0.0;
    QString tag;
    std::optional<Shift3> shift;
    std::optional<double> peak;
    ResampleCounts counts;
    QString problem; // why it failed (unreadable, not registered, peak below the limit), else empty
    bool written = false;
};

/// The alignment of a CT-XAFS series: reads the series folder, registers every energy to the
/// reference (directly, or along a chain of neighbours), moves each volume by its shift and writes
/// `shifts.tsv`, `aligned.h5` and `alignment.png` into the output folder. Energies are read, registered
/// and moved on worker threads, a few at a time, and written in energy order as they come back: the
/// reference and at most threads + 1 other volumes are in memory, never the series. A chain needs two
/// passes over the files (its links first, then the moves).
///
/// The outcome: 0 when every energy is aligned and every file written; 1 when the series is refused
/// (its layout), an energy cannot be read or registered or correlates with the reference less than
/// the limit (each named; the others are still aligned and written), or a file cannot be written;
/// 2 when the options do not fit the series (a reference energy that is not one of it, a box
/// outside the volume).
/// runs on: the thread that calls exec(), with an event loop of its own while the workers run
/// \test tst_seriesalign.cpp
class SeriesAligner : public QObject
{
    Q_OBJECT
public:
    SeriesAligner(const AlignOptions &options, const AlignReporter &reporter, QObject *parent = nullptr);
    ~SeriesAligner() override;

    int exec();

    const std::vector<EnergyOutcome> &energies() const { return outcomes_; }
    const JobOutcome &outcome() const { return job_; }
    /// The files written, by their paths.
    const QStringList &files() const { return files_; }
    /// Chain closing checks: the chain's end minus its direct registration, per end checked.
    const std::vector<Shift3> &closingGaps() const { return closing_; }

private:
    int prepare();
    void startWorkers();
    void stopWorkers();
    void queueMoves(const std::vector<std::optional<Shift3>> &shifts);
    void dispatch();
    void taken(const AlignResultPtr &result);
    void pairTaken(const AlignResult &r);
    void moveTaken(const AlignResult &r);
    void chainDone();
    void writeReady();
    void finishFiles();
    int fail(const QString &message, int status);
    void reportEnergy(const AlignResult &r, const QString &what);
    QString title(int index) const;

    AlignOptions options_;
    AlignReporter reporter_;
    std::shared_ptr<AlignContext> context_;
    std::vector<QThread *> threads_;
    std::vector<AlignWorker *> workers_;
    std::vector<bool> busy_;
    std::deque<AlignTask> pending_;
    int running_ = 0;
    QEventLoop *loop_ = nullptr;

    // The chain's links (energy → its shift relative to the neighbour), its closing checks.
    std::map<int, AlignResultPtr> links_;
    std::map<int, AlignResultPtr> direct_;
    std::vector<Shift3> closing_;

    // Moved volumes waiting for their turn to be written, in energy order.
    std::map<int, AlignResultPtr> ready_;
    int nextToWrite_ = 0;
    AlignedFileWriter writer_;
    AlignedMetadata metadata_;
    bool writerFailed_ = false;
    std::vector<AlignmentPanel> panels_;
    std::vector<int> panelEnergies_;

    std::vector<EnergyOutcome> outcomes_;
    JobOutcome job_;
    QStringList files_;
    QElapsedTimer clock_;
    TimeLeft timeLeft_;
    int tasksDone_ = 0;
};

class QTextStream;
/// Runs the alignment of `options` with its lines on `out` (progress) and `err` (warnings and
/// failures, each after "PROGRAM: "); the exit status of SeriesAligner::exec.
int alignSeries(const AlignOptions &options, QTextStream &out, QTextStream &err, const QString &program);
