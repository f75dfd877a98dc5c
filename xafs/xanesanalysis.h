#pragma once

// Qt
#include <QString>

// Local
#include "xafs/slabsource.h"
#include "xafs/xanesplan.h"
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>


/// The maps of a run of whole slices z0 … z0 + nz − 1 of the series: map m (in the plan's order) of
/// voxel (z, y, x) at map(m)[((z − z0)·ny + y)·nx + x].
struct XanesMapSlab
{
    int z0 = 0;
    int nz = 0;
    VolumeShape shape; // the series'
    std::size_t mapStride = 0; // floats from one map to the next
    std::vector<float> values;

    float *map(int m) { return values.data() + std::size_t(m) * mapStride; }
    const float *map(int m) const { return values.data() + std::size_t(m) * mapStride; }
    std::size_t voxels() const { return std::size_t(nz) * shape.plane(); }
};

/// The median of many positive numbers to a 4000th of its value, in constant memory: a histogram
/// over the leading 20 bits of their floats (sign, exponent and 11 bits of mantissa), which sort as
/// the numbers do. Zero, negative and non-finite numbers are left out.
/// \test tst_xanesanalysis.cpp
class MedianHistogram
{
public:
    MedianHistogram();
    void add(std::span<const float> values);
    std::uint64_t count() const { return count_; }
    /// The middle of the bin holding the median; NaN when nothing was added.
    double median() const;

private:
    std::vector<std::uint32_t> bins_;
    std::uint64_t count_ = 0;
};

/// How far an analysis is: voxels done of the voxels of its pass (the noise, then the maps).
struct XanesProgress
{
    enum class Pass { Noise, Maps };
    Pass pass = Pass::Maps;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

/// The per-voxel XANES analysis of a series, streamed block by block: each block (whole slices, or
/// rows of a few slices when a slice of every energy is larger than the block; cut at the borders
/// of the file's chunks) is read while the one before is analysed, its voxels in tiles on up to
/// `threads` threads (XanesKernels), and the maps handed on a run of whole slices at a time. Memory: two
/// blocks of input and one run of maps (at most twice a block, or one slice's), whatever the
/// series' size. When the mask's threshold is the default (5 × the median over all voxels of the
/// standard deviation of their pre-edge residual), a first pass reads the pre-edge energies alone to
/// find it; voxels whose pre-edge values lie exactly on a line (outside the reconstructed circle
/// every value is 0) are left out of that median.
/// runs on: the thread that calls run(); its tiles on up to `threads` threads of its own, the next
/// block read on one more thread
/// \test tst_xanesanalysis.cpp
class XanesAnalysis
{
public:
    /// Whole maps of a run of slices, in slice order; false, with the reason, stops the analysis.
    using Sink = std::function<bool(const XanesMapSlab &, QString &error)>;
    using Progress = std::function<void(const XanesProgress &)>;

    static constexpr std::size_t defaultBlockBytes = std::size_t(128) << 20;

    XanesAnalysis(std::shared_ptr<const XanesPlan> plan, SlabSource &source, int threads,
        std::size_t blockBytes = defaultBlockBytes);
    ~XanesAnalysis();
    XanesAnalysis(const XanesAnalysis &) = delete;
    XanesAnalysis &operator=(const XanesAnalysis &) = delete;

    /// Finds the mask's threshold (the default's pass over the pre-edge energies, or the one given);
    /// false, with problem(), when the series cannot be read or `cancel` was set.
    bool findMinJump(const Progress &progress = {}, const std::atomic<bool> *cancel = nullptr);
    /// The whole analysis: the threshold, then every slice's maps to `sink`. False, with problem(),
    /// when the series cannot be read, the sink refuses or `cancel` was set (then stopped()).
    bool run(const Sink &sink, const Progress &progress = {}, const std::atomic<bool> *cancel = nullptr);

    /// The threshold of the jump in the map's unit (+∞ when no voxel had noise to measure).
    double minJump() const { return minJump_; }
    /// The median pre-edge noise in the slices' unit, when the default threshold was found.
    double noiseMedian() const { return noiseMedian_; }
    std::uint64_t analysedVoxels() const { return analysed_; }
    std::uint64_t voxels() const { return source_.shape().voxels(); }
    const QString &problem() const { return problem_; }
    bool stopped() const { return stopped_; }

    /// The boxes read one after another for `energies` energies per voxel within `blockBytes`, their
    /// slices' `maps` maps within twice that: runs of whole slices, as many as fit (in steps of the
    /// source's grain); else boxes of the grain's depth cut at its rows; else single slices cut into
    /// rows.
    static std::vector<VolumeBox> blocks(const VolumeShape &shape, const VolumeShape &grain, int energies,
        std::size_t blockBytes, int maps = 0);

private:
    using BlockWork = std::function<bool(const VolumeBox &box, const float *values)>;
    bool stream(const std::vector<int> &energies, int maps, const BlockWork &work, XanesProgress::Pass pass,
        const Progress &progress, const std::atomic<bool> *cancel);
    void forTiles(std::size_t voxels, const std::function<void(std::size_t, std::size_t)> &tile);

    std::shared_ptr<const XanesPlan> plan_;
    SlabSource &source_;
    int threads_;
    std::size_t blockBytes_;
    double minJump_ = 0.0;
    double noiseMedian_ = 0.0;
    bool minJumpKnown_ = false;
    std::uint64_t analysed_ = 0;
    QString problem_;
    bool stopped_ = false;
};
