#pragma once

// Qt
#include <QString>

// Local
#include "imagedata/hdf5scan.h"
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

class ScratchFile;
struct ImageSource;

/// The lines a run reads of compressed scan frames, each frame decoded once per run on every core.
///
/// A run reads its slices a block at a time, and a compressed chunk is decoded whole whichever of its
/// lines are asked for: read block by block, each frame would be decoded once per block (32 times
/// over 2048 slices in blocks of 64). Here the first block asked for starts one decoding pass over
/// every frame the run uses: the raw chunks are read under the library's lock, decoded outside it
/// (deflate with or without shuffle, LZ4; other filters by the library) on `threads` threads, and
/// the lines of every block are cut out of each decoded frame at once. The lines of the blocks not
/// yet needed wait in a scratch file (uncompressed, ordered block by block, so that a block is then
/// one stretch of the file): its size is the lines the run reads of every frame, at most the
/// uncompressed frames, and it is removed at the end (or by the system, after a kill). With one block
/// the lines stay in memory and no file is made; when the scratch folder cannot hold the file, each
/// block is decoded anew in memory, still on every core, with a warning.
///
/// Memory: one block of lines in memory mode (as much as the run's own block), and per thread a
/// chunk raw and decoded, the frames of one chunk and one block of one frame's lines.
///
/// Runs on: the thread that reads, which takes part in the pass with `threads` − 1 threads of its own;
/// any thread may read, one at a time.
/// \test tst_decodedbands.cpp
class DecodedBands
{
public:
    struct Plan
    {
        bool rowLines = true;
        /// The lines of each block, in the order the blocks are read: sorted, without repeats, no line
        /// in two blocks.
        std::vector<std::vector<int>> blocks;
        int threads = 1;
        QString scratchFolder; // empty: no scratch file, every block decodes anew
    };
    enum class Outcome { Read, NotCovered, Failed };

    /// Hands a store to every source among `sources` that is a frame, or the mean of frames, of a
    /// compressed scan; none when there is no such source. All sources are of one size.
    static std::shared_ptr<DecodedBands> attach(const Plan &plan, std::span<ImageSource *const> sources);

    DecodedBands(const Plan &plan, int width, int height);
    ~DecodedBands();
    DecodedBands(const DecodedBands &) = delete;
    DecodedBands &operator=(const DecodedBands &) = delete;

    /// Takes in frame `index` of `kind` of `scan` (no effect for frames stored unfiltered or in
    /// chunks of many frames larger than a decoding thread may hold).
    void add(const std::shared_ptr<const Hdf5Scan> &scan, Hdf5Scan::Kind kind, int index);
    bool empty() const { return entries_.empty(); }

    /// `Hdf5Scan::readLines` for lines of one block, or of several when the scratch file holds every
    /// block, decoding the frames first when the lines are not at hand. NotCovered: another frame,
    /// direction, sample type or lines than the plan's (the caller reads from the scan).
    Outcome readLines(const Hdf5Scan &scan, Hdf5Scan::Kind kind, int index, bool rowLines,
        std::span<const int> lines, Hdf5Scan::Samples memory, void *out, QString &error);

    /// Chunks decoded so far, and chunks that hold the frames taken in: equal after a run, when each
    /// was decoded once.
    std::uint64_t chunksDecoded() const { return decoded_; }
    std::uint64_t chunksHeld() const;
    int passes() const { return passes_; }
    double decodeSeconds() const { return seconds_; }
    /// Time spent reading raw chunks under the library's lock (its wait included), summed over the
    /// threads: the part of a pass that does not run in parallel.
    double rawReadSeconds() const { return rawNs_ * 1e-9; }
    qint64 scratchBytes() const;
    /// "900 compressed chunks decoded once, on 2 threads in 12.3 s (6400 MB of lines in a scratch file
    /// in DIR)".
    QString summary() const;

private:
    struct Entry
    {
        const Hdf5Scan *scan = nullptr;
        int dataset = 0;
        std::uint32_t frame = 0;
        Hdf5Scan::Samples samples = Hdf5Scan::Samples::UInt16;
        int sampleBytes = 2;
        std::uint64_t prefix = 0; // sample bytes of the entries before it
    };
    struct Unit; // the frames of one chunk row, decoded together
    struct Worker;
    bool ensure(int block, QString &error);
    bool decodePass(const std::vector<int> &blocks, QString &error);
    bool decodeUnit(const Unit &u, const std::vector<int> &blocks, Worker &room, QString &error);
    void prepareUnits();
    std::uint64_t regionBytes(int block) const;
    std::uint64_t offsetOf(int block, const Entry &e) const;
    int entryOf(const Hdf5Scan &scan, int dataset, std::uint32_t frame) const;

    Plan plan_;
    int width_ = 0;
    int height_ = 0;
    int length_ = 0; // samples of a line
    std::vector<int> lineBlock_; // the block of each line, −1 for none
    std::vector<int> linePos_; // its place in the block
    std::vector<std::shared_ptr<const Hdf5Scan>> scans_;
    std::vector<Entry> entries_;
    std::map<std::pair<const Hdf5Scan *, int>, std::vector<int>> index_; // dataset frame → entry
    std::vector<Unit> units_;
    std::uint64_t entryBytes_ = 0; // sample bytes summed over the entries
    std::vector<std::uint64_t> blockBase_; // where each block's region begins in the scratch file
    std::mutex mutex_;
    std::unique_ptr<ScratchFile> scratch_;
    bool scratchTried_ = false;
    bool allDecoded_ = false; // in the scratch file
    std::vector<unsigned char> memory_; // memory mode: the region of `memoryBlock_`
    int memoryBlock_ = -1;
    QString fallback_; // why no scratch file holds the blocks
    QString failure_; // why a pass failed: every later read fails with it
    std::atomic<std::uint64_t> decoded_ {0};
    std::atomic<std::int64_t> rawNs_ {0};
    int passes_ = 0;
    double seconds_ = 0.0;
    int threadsUsed_ = 1;
};
