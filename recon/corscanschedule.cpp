#include "recon/corscanschedule.h"

// Local
#include "ct/corscanfiles.h"
#include "ct/sliceworker.h"
#include "recon/runplan.h"
#include <algorithm>

CorScanSchedule::CorScanSchedule(
    const SliceTask &task, const std::vector<double> &centres, int imageCount, bool single)
    : task_(task)
    , centres_(centres)
    , taken_(centres.size(), false)
    , trials_(centres.size())
    , score_(corScanScoreSetup(task, centres))
{
    // The trial keeps its values; its pictures and files are made from them.
    task_.makeImage = task_.makeData = task_.makeTiff = task_.makeVolume = false;
    task_.values = ValuesHandOver::None;
    for (double c : centres) {
        SinogramRequest r = task.sinogram;
        r.cor = c;
        sizes_.push_back(runEngineSize(task.set, r, imageCount, single));
        lengths_.push_back(sizes_.back().n);
    }
    // Stitched trials differ in size by two pixels for each pixel the axis moves: without a region
    // each computes the square of the smallest about its axis, so that every page is one size.
    if (task.sinogram.offsetAxis && !task.regionIsSet)
        for (int n : lengths_)
            if (n >= 2 && (commonN_ == 0 || n < commonN_))
                commonN_ = n;
}

int CorScanSchedule::next(int n) const
{
    return stopped_ ? -1 : nextCorTrial(lengths_, taken_, n);
}

SliceTask CorScanSchedule::take(int index, EngineSize &size)
{
    const size_t i = static_cast<size_t>(index);
    taken_[i] = true;
    ++handedOut_;
    SliceTask task = task_;
    task.sinogram.cor = centres_[i];
    size = sizes_[i];
    if (commonN_ > 0 && lengths_[i] >= commonN_) {
        const double o = (lengths_[i] - commonN_) / 2;
        task.region = Region {o, o, o + commonN_, o + commonN_};
        task.regionIsSet = true;
    }
    return task;
}

int CorScanSchedule::put(const CorTrial &trial)
{
    const auto at = std::find(centres_.begin(), centres_.end(), trial.cor);
    if (at == centres_.end())
        return -1;
    const size_t i = static_cast<size_t>(at - centres_.begin());
    if (!taken_[i] || trials_[i].reconstructed || !trials_[i].problem.isEmpty())
        return -1; // never handed out, or back already
    trials_[i] = trial;
    if (!trial.reconstructed && trial.problem.isEmpty())
        trials_[i].problem = QStringLiteral("not reconstructed");
    ++done_;
    return static_cast<int>(i);
}

bool CorScanSchedule::finished() const
{
    return done_ == handedOut_ && (stopped_ || handedOut_ == static_cast<int>(centres_.size()));
}

JobOutcome CorScanSchedule::outcome() const
{
    JobOutcome out;
    out.asked = static_cast<int>(centres_.size());
    for (const CorTrial &t : trials_) {
        if (t.reconstructed)
            ++out.done;
        else if (!t.problem.isEmpty())
            ++out.failed;
    }
    out.stopped = stopped_;
    for (const CorTrial &t : trials_) {
        if (!t.reconstructed && !t.problem.isEmpty()) {
            out.why = QStringLiteral("trial at %1: %2").arg(corText(t.cor), t.problem);
            break; // the first says why; the count says how many
        }
    }
    return out;
}

void giveCorTrials(CorScanSchedule &scan, WorkerPool &pool, int workers)
{
    const int n = std::min(workers, pool.count());
    for (int i = 0; i < n; ++i) {
        if (pool.inWork(i) != 0)
            continue;
        SliceWorker *w = pool.worker(i);
        const int next = scan.next(w->engine().n());
        if (next < 0)
            return;
        EngineSize size;
        const SliceTask task = scan.take(next, size);
        // Engine and scorer are sized here, on the client's thread, while the worker rests.
        pool.sizeEngine(i, size);
        w->scorer().setup(size.n);
        pool.trial(i, task, scan.score());
    }
}
