#pragma once

// Qt
#include <QElapsedTimer>
#include <QObject>
#include <QTextStream>

// Local
#include "app/config/timeleft.h"
#include "app/recon/reconoptions.h"
#include "ct/slicerecon.h"
#include <optional>
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

/// The headless reconstruction of one data set: checks the projections (and I0/BG) with the
/// window's readers, then reads them a block of slices at a time (only those lines, never whole
/// images), reconstructs each block on a pool of worker threads with the window's engine and writes
/// the window's files, each appearing under its name only when complete. A worker takes the
/// slices of a block in smaller blocks whose sinograms it builds in one pass over the images.
/// \test tst_recon.cpp, tst_series.cpp
class ReconRun : public QObject
{
    Q_OBJECT
public:
    ReconRun(const ReconOptions &options, QTextStream &out, QTextStream &err);
    ~ReconRun() override;

    /// Does the whole job, or block `onlyBlock` of it; 0 on success, 1 when an input could not be
    /// used or a file not written.
    int exec(std::optional<int> onlyBlock = {});

    /// Lists the projections, checks their sizes and those of I0 and BG, and divides the slices
    /// into blocks; false (with a message) when the inputs cannot be used. `exec` plans first.
    bool plan();
    int blockCount() const;
    /// The slices of block `index`, in the order they are reconstructed.
    QList<int> blockSlices(int index) const;
    /// The centre of rotation used (after `exec`).
    double cor() const { return request_.cor; }
    /// After `plan`: the projections, and every slice in the order reconstructed.
    int imageCount() const { return static_cast<int>(files_.size()); }
    const QList<int> &slices() const { return slices_; }
    /// The files that `exec(onlyBlock)` writes, by their paths (after `plan`).
    QStringList outputFiles(std::optional<int> onlyBlock = {}) const;
    /// Files written by `exec`, and the first reason a part of it failed (empty when none did).
    int filesWritten() const { return filesWritten_; }
    const QString &failure() const { return failure_; }
    const ReconTimes &times() const { return times_; }

private slots:
    void sliceDone(const SliceResult &result);

private:
    bool listFiles();
    bool findCor();
    bool prepare();
    bool readBlock(const QList<int> &slices);
    void runBlock(const QList<int> &slices);
    void dispatch(size_t worker);
    void writeResult(const SliceResult &result);
    bool fail(const QString &message);

    ReconOptions options_;
    QTextStream &out_;
    QTextStream &err_;
    bool planned_ = false;
    QStringList files_;
    int width_ = 0;
    int height_ = 0;
    ProjectionSet set_; // the block being reconstructed
    SinogramRequest request_;
    SliceTask task_;
    QList<int> slices_;
    QList<int> block_; // slices of the block in work
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
    qsizetype doneBefore_ = 0; // slices of earlier blocks
    qsizetype total_ = 0; // slices this exec reconstructs
    int engineLength_ = 0;
    bool failed_ = false;
    QString failure_;
    int filesWritten_ = 0;
    std::vector<QThread *> threads_;
    std::vector<SliceWorker *> workers_;
    QElapsedTimer clock_;
    TimeLeft timeLeft_; // of the slices, from the first dispatch
    ReconTimes times_;
};
