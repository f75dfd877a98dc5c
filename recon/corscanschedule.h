#pragma once

// Local
#include "config/joboutcome.h"
#include "ct/corscan.h"
#include "recon/runmemory.h"
#include "recon/workerpool.h"
#include <vector>

/// A scan of centres of one slice, the window's and the command's alike: which trial goes next to
/// which worker, with the engine it needs, and what has come back. A worker keeps the trials of the
/// length its engine has (`nextCorTrial`), so that engines are sized anew only when the length
/// changes. Each trial is the slice a run makes at its centre, in the run's precision.
/// runs on: the thread of the scan's client (a plain object).
/// \test tst_bodycalc.cpp, tst_recon.cpp, tst_headless.cpp
class CorScanSchedule
{
public:
    /// The trials of `task` (its centre set per trial) at `centres`, on `imageCount` images, in single
    /// precision or not.
    CorScanSchedule(const SliceTask &task, const std::vector<double> &centres, int imageCount, bool single);

    const SliceTask &task() const { return task_; }
    int slice() const { return task_.sinogram.slice; }
    const std::vector<double> &centres() const { return centres_; }
    const CorScoreSetup &score() const { return score_; }
    /// The trials by centre; those not back (yet) are not reconstructed.
    const std::vector<CorTrial> &trials() const { return trials_; }

    /// The trial a worker whose engine has length `n` should take next; −1 when none is left to
    /// hand out (or the scan is stopped).
    int next(int n) const;
    /// Hands trial `index` out: its task, and the engine it needs in `size`.
    SliceTask take(int index, EngineSize &size);
    /// A trial has come back: its index, −1 when it is not one of this scan's.
    int put(const CorTrial &trial);
    /// Nothing more is handed out; the trials under way still come back.
    void stop() { stopped_ = true; }
    bool stopped() const { return stopped_; }
    /// Every trial handed out is back, and none is left to hand out.
    bool finished() const;
    int handedOut() const { return handedOut_; }
    int done() const { return done_; }
    /// The region every page of the scan's TIFF file holds: the task's region when it is set, else
    /// the whole image of the middle centre (the lower of the two middle ones for an even count).
    Region pageRegion() const;
    /// What the scan holds: every trial's values and the pages of its TIFF file once, and an engine
    /// and a sinogram per worker.
    MemoryNeed memoryNeed() const;
    /// The trial with the lowest score among those reconstructed; −1 when none was.
    int best() const { return bestCorTrial(trials_); }
    /// Trials asked, reconstructed and failed, and whether it was stopped (files are the client's).
    JobOutcome outcome() const;

private:
    SliceTask task_;
    std::vector<double> centres_;
    std::vector<EngineSize> sizes_; // the engine of each trial
    std::vector<int> lengths_; // their transform lengths
    std::vector<bool> taken_;
    std::vector<CorTrial> trials_;
    CorScoreSetup score_;
    int commonN_ = 0; // stitched trials: the size of every page (0: each its own)
    int handedOut_ = 0;
    int done_ = 0;
    bool stopped_ = false;
};

/// Gives each resting worker among the first `workers` of `pool` the next trial of `scan`, its engine
/// and scorer sized for it on this thread.
void giveCorTrials(CorScanSchedule &scan, WorkerPool &pool, int workers);
