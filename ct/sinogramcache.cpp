#include "ct/sinogramcache.h"

// Local
#include "ct/offsetaxis.h"
#include "ct/sgmgeometry.h"
#include "ct/stripefilter.h"
#include "imagedata/projectionset.h"
#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace {

void removeStripesOf(
    std::span<SinogramData> sinograms, std::span<const SinogramStatus> status, const StripeParams &stripes)
{
    if (!stripes.isOn())
        return;
    for (size_t i = 0; i < sinograms.size() && i < status.size(); ++i) {
        SinogramData &s = sinograms[i];
        if (status[i] == SinogramStatus::Generated && s.hasData())
            removeStripes(s.att, s.width, s.height, stripes);
    }
}

} // namespace

SinogramStatus SinogramCache::take(const ProjectionSet &set, const SinogramRequest &request,
    std::span<const int> block, std::uint64_t blockId, const StripeParams &stripes)
{
    const int slice = request.slice;
    const bool inBlock = blockId != 0 && std::find(block.begin(), block.end(), slice) != block.end();
    auto kept = std::find(slices_.begin(), slices_.end(), slice);
    if (!inBlock || blockId != blockId_ || kept == slices_.end()) { // nothing kept is of use
        for (SinogramData &d : data_)
            spare_.push_back(std::move(d));
        slices_.clear();
        data_.clear();
        status_.clear();
        blockId_ = 0;
        if (inBlock) {
            slices_.assign(block.begin(), block.end());
            while (data_.size() < slices_.size()) {
                if (spare_.empty()) {
                    data_.emplace_back();
                } else {
                    data_.push_back(std::move(spare_.back()));
                    spare_.pop_back();
                }
            }
            status_ = genSinograms(data_, set, request, slices_, false);
            removeStripesOf(data_, status_, stripes);
            blockSize_ = data_.size();
            blockId_ = blockId;
            kept = std::find(slices_.begin(), slices_.end(), slice);
        } else {
            const auto status = genSinograms(
                std::span<SinogramData>(&current_, 1), set, request, std::span<const int>(&slice, 1), false);
            removeStripesOf(std::span<SinogramData>(&current_, 1), status, stripes);
            return status.front();
        }
    }
    // Handed over and forgotten: every slice of a block is asked for once.
    const size_t i = static_cast<size_t>(kept - slices_.begin());
    std::swap(current_, data_[i]);
    const SinogramStatus status = status_[i];
    spare_.push_back(std::move(data_[i]));
    slices_.erase(slices_.begin() + i);
    data_.erase(data_.begin() + i);
    status_.erase(status_.begin() + i);
    // Spares for the next block: together with those still to come, no more than this block had.
    spare_.resize(std::min(spare_.size(), blockSize_ - data_.size()));
    return status;
}

void SinogramCache::release()
{
    *this = SinogramCache();
    releaseStripeWorkspace();
}

std::uint64_t newSinogramBlockId()
{
    static std::atomic<std::uint64_t> next {1};
    return next++;
}

int sinogramBlockSlices(const ProjectionSet &set, const SinogramRequest &request, int workers)
{
    if (request.rowLines)
        return 1;
    const int width = sinogramWidth(request, lineLength(set, request.rowLines));
    if (width < 1)
        return 1;
    const int rows = request.offsetAxis ? stitchedRows(set.count())
                                        : std::abs(request.partial ? request.usingImages : set.count());
    const double bytes = double(width) * std::max(rows, 1) * 8.0;
    const double share = double(1 << 30) / std::max(workers, 1);
    return std::clamp(static_cast<int>(share / bytes), 1, 32);
}
