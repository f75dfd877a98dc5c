#include "recon/corscanschedule.h"

// Local
#include "ct/corscanfiles.h"
#include "ct/sliceworker.h"
#include "recon/runplan.h"
#include <algorithm>
#include <limits>

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

Region CorScanSchedule::pageRegion() const
{
    if (task_.regionIsSet || centres_.empty())
        return task_.region;
    // By value, so that a scan downwards has the pages of the same scan upwards.
    std::vector<size_t> order(centres_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [this](size_t a, size_t b) { return centres_[a] < centres_[b]; });
    const double n = lengths_[order[(order.size() - 1) / 2]];
    return Region {0.0, 0.0, n, n};
}

MemoryNeed CorScanSchedule::memoryNeed() const
{
    MemoryNeed need;
    need.what = QStringLiteral("the scan of %1 trials").arg(centres_.size());
    int n = 0;
    EngineSize largest;
    for (const EngineSize &size : sizes_) {
        if (size.n > n) {
            n = size.n;
            largest = size;
        }
    }
    const qint64 count = static_cast<qint64>(centres_.size());
    const Region page = pageRegion();
    // A trial keeps its values in floats; the TIFF is made of all pages at once.
    const qint64 kept = memoryProduct(count, memoryProduct(memoryProduct(n, n), sizeof(float)));
    const qint64 tiff = memoryProduct(count, sliceFileBytes(regionPixels(&page, n), false, true, false));
    need.further
        = engineBytes(n, largest.projections, largest.single) + sinogramBytes(n, largest.projections);
    need.first = std::min(std::numeric_limits<qint64>::max() / 4, kept + tiff + need.further);
    return need;
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
