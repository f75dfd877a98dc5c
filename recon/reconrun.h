#pragma once

// Qt
#include <QElapsedTimer>
#include <QObject>
#include <QTextStream>

// Local
#include "config/joboutcome.h"
#include "config/timeleft.h"
#include "ct/corline.h"
#include "ct/corscan.h"
#include "ct/runparams.h"
#include "ct/slicerecon.h"
#include "imagedata/imagesource.h"
#include "recon/reconoptions.h"
#include "recon/slicescheduler.h"
#include <memory>
#include <optional>
#include <vector>

class CorScanSchedule;
class DecodedBands;
struct MemoryNeed;
class QThread;
class VolumeFileWriter;
class WorkerPool;
struct WriteReport;

/// Where the time of a run went, in seconds: reading the images on the reader's thread (while the
/// workers reconstruct the block before), the stages of the slices summed over the workers'
/// threads, the images and text of the files and their writing on the main thread. `slicesWall` is
/// the time from the first slice handed out to the last one written, `readWait` the part of it in
/// which no slice could be handed out for want of a block.
struct ReconTimes
{
    double read = 0.0;
    SliceTimes slices; // `output` on the main thread
    double write = 0.0;
    double slicesWall = 0.0;
    double readWait = 0.0;
};

/// The headless reconstruction of one data set: checks the projections (and I0/BG) with the
/// window's readers, then reads them a block of slices at a time (only those lines, never whole
/// images), reconstructs each block on the run library's workers with the window's engine and
/// writes the window's files through the one slice writer, each appearing under its name only when
/// complete. The slices go out through the scheduler the window uses; a scan of centres through the
/// window's scan schedule and writer.
///
/// The stages overlap: a reader thread reads the next block while the workers reconstruct this one
/// (never more than two blocks in memory), each worker has its next slice queued before it finishes
/// one, and the images and text of the files are made on the main thread, which writes them.
/// runs on: the thread that calls `exec` (its reader and workers on threads of their own).
/// \test tst_recon.cpp, tst_series.cpp, tst_headless.cpp
class ReconRun : public QObject
{
    Q_OBJECT
public:
    ReconRun(const ReconOptions &options, QTextStream &out, QTextStream &err);
    ~ReconRun() override;

    /// Does the whole job, or block `onlyBlock` of it; 0 on success, 1 when an input could not be
    /// used or a file not written, 2 when the options do not fit the data (an offset axis on a data
    /// set not over 360 degrees, or outside its lines).
    int exec(std::optional<int> onlyBlock = {});

    /// Lists the projections, checks their sizes and those of I0 and BG, and divides the slices
    /// into blocks; false (with a message) when the inputs cannot be used. `exec` plans first.
    bool plan();
    int blockCount() const;
    /// The slices of block `index`, in the order they are reconstructed.
    QList<int> blockSlices(int index) const;
    /// The centre of rotation used (after `exec`): of the first slice when a line gives each slice its own.
    double cor() const { return request_.cor; }
    /// The line of centres the slices were reconstructed on (--cor-line, --cor guess-line).
    const std::optional<CorLine> &corLine() const { return line_; }
    /// After `plan`: the projections, and every slice in the order reconstructed.
    int imageCount() const { return static_cast<int>(sources_.size()); }
    const QList<int> &slices() const { return slices_; }
    /// The files that `exec(onlyBlock)` writes, by their paths (after `plan`).
    QStringList outputFiles(std::optional<int> onlyBlock = {}) const;
    /// The volume file that `exec(onlyBlock)` writes (--hdf5; a block's own file for one block), or
    /// empty.
    QString volumeFile(std::optional<int> onlyBlock = {}) const;
    /// Files written by `exec`.
    int filesWritten() const { return filesWritten_; }
    /// How the job ended: slices (or trials) asked, done and failed, and the first reason anything
    /// failed.
    const JobOutcome &outcome() const { return outcome_; }
    const ReconTimes &times() const { return times_; }

private:
    struct LoadedBlock;
    bool listFiles();
    // The range and image count from a scan's angles, and I0 and BG from its flats and darks.
    bool planScan(const std::vector<std::shared_ptr<const Hdf5Scan>> &scans);
    void shareDecodedBands(std::optional<int> onlyBlock);
    /// The run's settings as the window's run parameters hold them.
    RunParams runParams() const;
    // Centres of rotation (reconcor.cpp).
    bool findCor();
    bool guessBoth(double start);
    bool guessLine(double start);
    /// The axis of a stitched run (--offset-axis), searched or given, and said.
    bool placeOffsetAxis();
    /// A mistake of the command line found only with the data (exit status 2).
    bool usageFail(const QString &message);
    /// The lines `slices` of the images the searches compare (the first 180 degrees used and the
    /// image facing the first) and of I0 and BG, in a set where every other image is left out.
    bool readSearchLines(const std::vector<int> &slices, ProjectionSet &set);
    int execScan();
    void trialDone(const CorTrial &trial);
    void writeScan();

    void warn(const QString &message);
    // Memory (reconmemory.cpp): what the run needs, and how many of `workers` fit; 0 (failed,
    // with the shortage said) when not one does.
    MemoryNeed runMemoryNeed() const;
    int fitWorkers(const MemoryNeed &need, int workers);
    void startWorkers(int count, int length);
    bool prepare();
    void startReading();
    void blockRead(int index, const ProjectionSet &set, double seconds, const QString &error);
    void dispatchAll();
    void dispatch(int worker);
    void sliceDone(int worker, SliceResult &&result);
    void writeResult(SliceResult &result);
    void reportWrites(const WriteReport &report);
    bool startVolume(std::optional<int> onlyBlock);
    void finishVolume();
    bool fail(const QString &message);
    bool failed() const { return !outcome_.problems.isEmpty() || outcome_.failed > 0; }

    ReconOptions options_;
    QTextStream &out_;
    QTextStream &err_;
    bool planned_ = false;
    bool usage_ = false; // the run failed for a mistake of the command line
    QStringList files_;
    std::vector<ImageSource> sources_; // the projections: image files, or frames of scan files
    ImageSource i0_;
    ImageSource bg_;
    std::shared_ptr<DecodedBands> bands_; // the compressed frames, decoded once
    int dataSetImages_ = 0; // images spanning the range
    double rangeDeg_ = 180.0;
    int width_ = 0;
    int height_ = 0;
    ProjectionSet geometry_; // the images' size, for the plan
    SinogramRequest request_;
    std::optional<CorLine> line_; // each slice at its own centre
    SliceTask task_;
    QList<int> slices_;
    // Blocks read and not yet finished (at most two, with the one being read).
    struct LoadedBlock
    {
        int index = 0;
        QList<int> slices;
        ProjectionSet set;
    };
    std::vector<std::unique_ptr<LoadedBlock>> loaded_;
    SliceScheduler scheduler_;
    std::unique_ptr<CorScanSchedule> scan_; // a scan of centres (--cor-scan)
    int nextToRead_ = 0;
    int lastBlock_ = -1;
    bool reading_ = false;
    qsizetype total_ = 0; // slices this exec reconstructs
    int engineLength_ = 0;
    bool stopped_ = false; // a block could not be read: nothing more is handed out
    JobOutcome outcome_;
    int filesWritten_ = 0;
    std::unique_ptr<VolumeFileWriter> volume_; // --hdf5
    QByteArray dataText_; // each slice's data-file text in turn, in the room of the last
    WorkerPool *pool_ = nullptr;
    QThread *readerThread_ = nullptr;
    QObject *reader_ = nullptr; // lives on readerThread_
    QElapsedTimer clock_;
    QElapsedTimer slicesClock_; // from the first slice handed out
    QElapsedTimer waitClock_; // while no slice can be handed out for want of a block
    bool waiting_ = false;
    TimeLeft timeLeft_; // of the slices, from the first dispatch
    ReconTimes times_;
};
