#pragma once

// Qt
#include <QElapsedTimer>
#include <QObject>
#include <QTextStream>

// Local
#include "app/recon/reconoptions.h"
#include "ct/slicerecon.h"
#include <vector>

class QThread;
class SliceWorker;

/// Where the time of a run went, in seconds: reading the images and writing the files on the main
/// thread, the stages of the slices summed over the workers' threads.
struct ReconTimes
{
    double read = 0.0;
    SliceTimes slices;
    double write = 0.0;
};

/// The headless reconstruction: loads the projections (and I0/BG) with the window's readers,
/// reconstructs the slices on a pool of worker threads with the window's engine and writes the
/// window's files, each appearing under its name only when complete. A worker takes its slices in
/// blocks whose sinograms it builds in one pass over the images.
class ReconRun : public QObject
{
    Q_OBJECT
public:
    ReconRun(const ReconOptions &options, QTextStream &out, QTextStream &err);
    ~ReconRun() override;

    /// Does the whole job; 0 on success, 1 when an input could not be used or a file not written.
    int exec();
    const ReconTimes &times() const { return times_; }

private slots:
    void sliceDone(const SliceResult &result);

private:
    bool load();
    bool prepare();
    void dispatch(size_t worker);
    void writeResult(const SliceResult &result);
    bool fail(const QString &message);

    ReconOptions options_;
    QTextStream &out_;
    QTextStream &err_;
    ProjectionSet set_;
    SinogramRequest request_;
    SliceTask task_;
    QList<int> slices_;
    qsizetype next_ = 0;
    int blockSlices_ = 1;
    struct Block
    {
        std::vector<int> slices;
        std::uint64_t id = 0;
        size_t next = 0; // slices handed out
    };
    std::vector<Block> blocks_; // per worker
    qsizetype done_ = 0;
    int engineLength_ = 0;
    bool failed_ = false;
    std::vector<QThread *> threads_;
    std::vector<SliceWorker *> workers_;
    QElapsedTimer clock_;
    ReconTimes times_;
};
