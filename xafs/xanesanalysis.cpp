#include "xafs/xanesanalysis.h"

// Qt
#include <QScopeGuard>

// Local
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <new>
#include <thread>

namespace {

constexpr int histogramShift = 11; // 32 − 21 bits kept: sign, 8 of exponent, 11 of mantissa, …
constexpr std::size_t histogramBins = std::size_t(1) << (32 - histogramShift - 1); // … the sign always 0
constexpr std::size_t tileVoxels = 4096;

} // namespace

MedianHistogram::MedianHistogram()
    : bins_(histogramBins, 0)
{
}

void MedianHistogram::add(std::span<const float> values)
{
    for (const float v : values)
        if (v > 0.0f && v < std::numeric_limits<float>::infinity()) {
            ++bins_[std::bit_cast<std::uint32_t>(v) >> histogramShift];
            ++count_;
        }
}

double MedianHistogram::median() const
{
    if (count_ == 0)
        return std::nan("");
    const std::uint64_t middle = (count_ - 1) / 2; // the lower median's rank
    std::uint64_t seen = 0;
    std::size_t bin = 0;
    for (; bin < bins_.size(); ++bin) {
        seen += bins_[bin];
        if (seen > middle)
            break;
    }
    const double lo = std::bit_cast<float>(std::uint32_t(bin << histogramShift));
    const double hi = std::bit_cast<float>(std::uint32_t((bin + 1) << histogramShift));
    return 0.5 * (lo + hi);
}

XanesAnalysis::XanesAnalysis(
    std::shared_ptr<const XanesPlan> plan, SlabSource &source, int threads, std::size_t blockBytes)
    : plan_(std::move(plan))
    , source_(source)
    , threads_(std::max(1, threads))
    , blockBytes_(std::max<std::size_t>(blockBytes, 1))
{
}

XanesAnalysis::~XanesAnalysis() = default;

std::vector<VolumeBox> XanesAnalysis::blocks(
    const VolumeShape &s, const VolumeShape &grain, int energies, std::size_t blockBytes, int maps)
{
    std::vector<VolumeBox> boxes;
    const std::size_t rowBytes = std::size_t(s.nx) * std::size_t(std::max(energies, 1)) * sizeof(float);
    const std::size_t fit = std::max<std::size_t>(1, blockBytes / rowBytes); // rows of every energy
    // Slices whose maps fit in twice the block (one at least).
    const std::size_t mapSlices = std::max<std::size_t>(
        1, 2 * blockBytes / std::max<std::size_t>(1, s.plane() * std::size_t(maps) * sizeof(float)));
    int band = std::clamp(grain.nz, 1, s.nz);
    const int rows = std::clamp(grain.ny, 1, s.ny);
    if (std::size_t(band) > mapSlices)
        band = 1; // the file's chunks are read in parts
    if (std::size_t(band) * std::size_t(s.ny) <= fit) {
        const std::size_t slices
            = std::min(fit / std::size_t(s.ny), mapSlices) / std::size_t(band) * std::size_t(band);
        const int depth = int(std::min<std::size_t>(slices, std::size_t(s.nz)));
        for (int z = 0; z < s.nz; z += depth)
            boxes.push_back({{z, 0, 0}, {std::min(s.nz, z + depth), s.ny, s.nx}});
    } else if (std::size_t(band) * std::size_t(rows) <= fit) {
        const int height = int(fit / std::size_t(band) / std::size_t(rows)) * rows;
        for (int z = 0; z < s.nz; z += band)
            for (int y = 0; y < s.ny; y += height)
                boxes.push_back({{z, y, 0}, {std::min(s.nz, z + band), std::min(s.ny, y + height), s.nx}});
    } else {
        for (int z = 0; z < s.nz; ++z)
            for (int y = 0; y < s.ny; y += int(fit))
                boxes.push_back({{z, y, 0}, {z + 1, std::min(s.ny, y + int(fit)), s.nx}});
    }
    return boxes;
}

void XanesAnalysis::forTiles(std::size_t voxels, const std::function<void(std::size_t, std::size_t)> &tile)
{
    const std::size_t tiles = (voxels + tileVoxels - 1) / tileVoxels;
    const int workers = int(std::min<std::size_t>(std::size_t(threads_), tiles));
    if (workers <= 1) {
        for (std::size_t t = 0; t < tiles; ++t)
            tile(t * tileVoxels, std::min(tileVoxels, voxels - t * tileVoxels));
        return;
    }
    // Tiles handed out one at a time from a counter: each worker writes its own tiles' maps only.
    // Plain threads, joined: their start and end order the tiles' work for a race checker too (a
    // pool's tasks change threads inside Qt, where ThreadSanitizer does not look).
    std::atomic<std::size_t> next {0};
    std::vector<std::thread> running;
    for (int w = 0; w < workers; ++w)
        running.emplace_back([&] {
            for (std::size_t t = next++; t < tiles; t = next++)
                tile(t * tileVoxels, std::min(tileVoxels, voxels - t * tileVoxels));
        });
    for (std::thread &t : running)
        t.join();
}

bool XanesAnalysis::stream(const std::vector<int> &energies, int maps, const BlockWork &work,
    XanesProgress::Pass pass, const Progress &progress, const std::atomic<bool> *cancel)
{
    const std::vector<VolumeBox> boxes
        = blocks(source_.shape(), source_.grain(), int(energies.size()), blockBytes_, maps);
    std::size_t largest = 0;
    for (const VolumeBox &b : boxes)
        largest = std::max(largest, b.shape().voxels() * energies.size());
    std::vector<float> buffers[2];
    try {
        buffers[0].resize(largest);
        buffers[1].resize(boxes.size() > 1 ? largest : 0);
    } catch (const std::bad_alloc &) {
        problem_ = QStringLiteral("no memory for two blocks of %1 values").arg(largest);
        return false;
    }
    // The next block is read on a thread of its own while this one is analysed, joined before its
    // buffer is used and before the call returns (a stop or a failure leaves it writing into the
    // other buffer until then).
    QString readError;
    std::thread reader;
    const auto startReading = [&](std::size_t b) {
        reader = std::thread([&, b] {
            QString error;
            try {
                if (source_.read(energies, boxes[b], buffers[b % 2].data(), error))
                    return;
            } catch (const std::bad_alloc &) {
                error = QStringLiteral("no memory to read the series");
            }
            readError = error.isEmpty() ? QStringLiteral("the series cannot be read") : error;
        });
    };
    const auto joinReader = qScopeGuard([&] {
        if (reader.joinable())
            reader.join();
    });
    XanesProgress state {pass, 0, source_.shape().voxels()};
    startReading(0);
    for (std::size_t b = 0; b < boxes.size(); ++b) {
        reader.join();
        if (!readError.isEmpty()) {
            problem_ = readError;
            return false;
        }
        if (b + 1 < boxes.size())
            startReading(b + 1);
        const bool ok = work(boxes[b], buffers[b % 2].data());
        const bool stop = cancel && cancel->load();
        if (!ok || stop) {
            stopped_ = ok && stop;
            if (stopped_)
                problem_ = QStringLiteral("stopped");
            return false;
        }
        state.done += boxes[b].shape().voxels();
        if (progress)
            progress(state);
    }
    return true;
}

bool XanesAnalysis::findMinJump(const Progress &progress, const std::atomic<bool> *cancel)
{
    if (minJumpKnown_)
        return true;
    if (plan_->settings().minJump) {
        minJump_ = *plan_->settings().minJump;
        minJumpKnown_ = true;
        return true;
    }
    const XanesKernelPlan &kp = plan_->kernel();
    const XanesKernels &kernels = xanesKernels();
    std::vector<int> energies;
    for (int i = kp.preBegin; i < kp.preEnd; ++i)
        energies.push_back(i);
    MedianHistogram histogram;
    std::vector<float> noise;
    const auto work = [&](const VolumeBox &box, const float *values) {
        const std::size_t n = box.shape().voxels();
        noise.resize(n);
        forTiles(n, [&](std::size_t v0, std::size_t count) {
            kernels.noise(kp, values + v0, n, count, noise.data() + v0);
        });
        histogram.add(noise);
        return true;
    };
    if (!stream(energies, 0, work, XanesProgress::Pass::Noise, progress, cancel))
        return false;
    noiseMedian_ = histogram.median();
    minJump_ = std::isfinite(noiseMedian_) ? 5.0 * noiseMedian_ * plan_->jumpScale()
                                           : std::numeric_limits<double>::infinity();
    minJumpKnown_ = true;
    return true;
}

bool XanesAnalysis::run(const Sink &sink, const Progress &progress, const std::atomic<bool> *cancel)
{
    analysed_ = 0;
    if (!findMinJump(progress, cancel))
        return false;
    const XanesKernelPlan &kp = plan_->kernel();
    const XanesKernels &kernels = xanesKernels();
    const VolumeShape shape = source_.shape();
    const int n = int(plan_->energies().size());
    std::vector<int> energies(plan_->energies().size());
    for (int i = 0; i < n; ++i)
        energies[std::size_t(i)] = i;
    int depth = 1;
    const int maps = int(plan_->maps().size());
    const std::vector<VolumeBox> boxes = blocks(shape, source_.grain(), n, blockBytes_, maps);
    for (const VolumeBox &b : boxes)
        depth = std::max(depth, b.size(0));
    XanesMapSlab slab;
    slab.shape = shape;
    slab.mapStride = std::size_t(depth) * shape.plane();
    try {
        slab.values.resize(slab.mapStride * std::size_t(maps));
    } catch (const std::bad_alloc &) {
        problem_ = QStringLiteral("no memory for the maps of %1 slices").arg(depth);
        return false;
    }
    const float minJump = float(std::min<double>(minJump_, std::numeric_limits<float>::max()));
    const int rFactor = kp.standards > 0 ? FirstFractionMap + kp.standards : -1;
    const auto work = [&](const VolumeBox &box, const float *values) {
        if (box.begin[1] == 0) {
            slab.z0 = box.begin[0];
            slab.nz = box.size(0);
        }
        // The block's planes go to their rows of the slab's slices, tile by tile.
        const std::size_t count = box.shape().voxels(),
                          plane = std::size_t(box.size(1)) * std::size_t(shape.nx);
        const std::size_t tiles = (plane + tileVoxels - 1) / tileVoxels;
        forTiles(std::size_t(box.size(0)) * tiles * tileVoxels, [&](std::size_t t0, std::size_t) {
            const std::size_t z = t0 / tileVoxels / tiles, v0 = t0 / tileVoxels % tiles * tileVoxels;
            const std::size_t tile = std::min(tileVoxels, plane - v0);
            const std::size_t in = z * plane + v0;
            const std::size_t at = ((z + std::size_t(box.begin[0] - slab.z0)) * std::size_t(shape.ny)
                                       + std::size_t(box.begin[1]))
                    * std::size_t(shape.nx)
                + v0;
            XanesKernelMaps out;
            out.jump = slab.map(EdgeJumpMap) + at;
            out.edgeEnergy = slab.map(EdgeEnergyMap) + at;
            out.whiteLineEnergy = slab.map(WhiteLineEnergyMap) + at;
            out.whiteLineHeight = slab.map(WhiteLineHeightMap) + at;
            out.fractions = kp.standards > 0 ? slab.map(FirstFractionMap) + at : nullptr;
            out.fractionStride = slab.mapStride;
            out.rFactor = rFactor >= 0 ? slab.map(rFactor) + at : nullptr;
            out.mask = slab.map(maps - 1) + at;
            kernels.analyse(kp, values + in, count, tile, minJump, out);
        });
        if (box.end[1] < shape.ny)
            return true; // the rest of the slice comes with the next blocks
        const float *mask = slab.map(maps - 1);
        analysed_ += std::uint64_t(std::count(mask, mask + slab.voxels(), 1.0f));
        QString error;
        if (!sink(slab, error)) {
            problem_ = error;
            return false;
        }
        return true;
    };
    return stream(energies, maps, work, XanesProgress::Pass::Maps, progress, cancel);
}
