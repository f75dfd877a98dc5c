// The command's reckoning of memory: a run or a scan that cannot fit is refused before anything
// is allocated for it, and one that fits with fewer workers runs on fewer.

#include "recon/reconrun.h"

// Local
#include "config/availablememory.h"
#include "ct/sgmgeometry.h"
#include "recon/corscanschedule.h"
#include "recon/runmemory.h"
#include "recon/runplan.h"
#include <algorithm>

MemoryNeed ReconRun::runMemoryNeed() const
{
    // The largest transform of the run: on a line of centres each slice has its own.
    int n = engineLength_;
    int widest = slices_.isEmpty() ? 0 : slices_.first();
    if (line_) {
        for (int slice : slices_) {
            SinogramRequest r = request_;
            r.cor = line_->at(slice);
            if (const int length = requiredLength(geometry_, r); length > n) {
                n = length;
                widest = slice;
            }
        }
    }
    const int rows = std::max(1, sinogramRows(request_, static_cast<int>(sources_.size())));
    // Two blocks of lines at most (one read while one is in work), at least two bytes a sample.
    const qint64 lineLength = options_.axisVertical ? width_ : height_;
    const qint64 blockLines = std::min<qint64>(options_.block, slices_.size());
    const qint64 blocks = memoryProduct(blockCount() > 1 ? 2 : 1,
        memoryProduct(memoryProduct(blockLines, qint64(sources_.size()) + 2), memoryProduct(lineLength, 2)));
    const qint64 files = sliceFileBytes(regionPixels(options_.region ? &*options_.region : nullptr, n),
        options_.data, options_.tiff, options_.png);
    const qint64 worker = engineBytes(n, rows, options_.single) + sinogramBytes(n, rows);
    MemoryNeed need;
    need.what = QStringLiteral("slice %1").arg(widest);
    need.first = std::min(std::numeric_limits<qint64>::max() / 4, blocks + files + worker);
    // Each further worker makes its image while the one before is handed out for its files.
    need.further = worker + imageBytes(n);
    return need;
}

int ReconRun::fitWorkers(const MemoryNeed &need, int workers)
{
    QString why;
    const int fit = workersInMemory(need, workers, availableMemory(), why);
    if (fit == 0) {
        fail(why);
        return 0;
    }
    if (fit < workers)
        warn(QStringLiteral("memory for %1 of %2 workers: the job goes on %1").arg(fit).arg(workers));
    return fit;
}
