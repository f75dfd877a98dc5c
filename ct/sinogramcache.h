#pragma once

// Local
#include "ct/sinogramdata.h"
#include "ct/sinogramgen.h"
#include "ct/stripeparams.h"
#include <cstdint>
#include <span>
#include <vector>

struct ProjectionSet;

/// A worker's sinograms: the one it reconstructs, and the rest of the block of slices it built in
/// the same pass over the images, kept for the tasks of that block that follow. A task names its
/// block by a number that the dispatcher never gives to another block, so sinograms of another run
/// or data set are never taken for this one's.
class SinogramCache
{
public:
    /// The sinogram of `request.slice`: from the cache when block `blockId` built it already, else
    /// generated with the rest of `block` (which holds the slice; empty or blockId 0: the slice alone).
    /// Only `att` is filled, with `stripes` taken out of each sinogram once, when it is built. Any
    /// sinograms of another block are dropped first.
    SinogramStatus take(const ProjectionSet &set, const SinogramRequest &request, std::span<const int> block,
        std::uint64_t blockId, const StripeParams &stripes = {});
    /// The sinogram `take` returned last.
    const SinogramData &current() const { return current_; }
    /// Sinograms kept for later tasks (tests).
    int kept() const { return static_cast<int>(slices_.size()); }
    /// Gives all memory back (when the worker will rest), the stripe removal's working memory of
    /// the calling thread too.
    void release();

private:
    SinogramData current_;
    std::uint64_t blockId_ = 0;
    std::vector<int> slices_;
    std::vector<SinogramData> data_;
    std::vector<SinogramStatus> status_;
    // Sinograms already handed over: their memory is used again for the next block instead of being
    // given back and faulted in anew (tens of megabytes each).
    std::vector<SinogramData> spare_;
    size_t blockSize_ = 0;
};

/// A number for a new block of slices, unique in the process.
std::uint64_t newSinogramBlockId();

/// How many slices a worker's block should hold: one when the slice lines are image rows (they are
/// read alike one by one), else as many as fit in a share of 1 GiB of sinograms among `workers`,
/// from 1 to 32.
int sinogramBlockSlices(const ProjectionSet &set, const SinogramRequest &request, int workers);
