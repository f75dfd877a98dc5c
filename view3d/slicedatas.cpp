#include "view3d/slicedatas.h"

// Qt
#include <QDebug>
#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>

// Local
#include "view3d/memorylimit.h"
#include "view3d/slicehistogram.h"
#include "view3d/slicereaders.h"
#include "view3d/slicespacing.h"
#include "view3d/view3dlog.h"
#include <deque>
#include <limits>

SliceDatas::SliceDatas(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<SliceStackPtr>();
}

SliceDatas::~SliceDatas()
{
    aborted_ = true;
    pool_.waitForDone();
}

void SliceDatas::finish(SliceStackPtr stack)
{
    stack_ = std::move(stack);
    emit stackLoaded(stack_);
    emit loadFilesFinished();
}

void SliceDatas::filesSelected(const QStringList &files)
{
    stack_ = std::make_shared<const SliceStack>();
    emit cleared();
    if (files.isEmpty() || aborted_) {
        finish(stack_);
        return;
    }

    const int64_t limit = memoryLimit_ > 0 ? memoryLimit_.load() : availableMemoryBytes();
    SliceReadLimits readLimits;
    readLimits.maxValues = std::max<int64_t>(1, limit / int64_t(sizeof(double)));
    auto stack = std::make_shared<SliceStack>();
    double valueMin = std::numeric_limits<double>::max();
    double valueMax = -std::numeric_limits<double>::max();

    // Files are read ahead on the pool, a few more than it has threads, and taken in order.
    std::deque<QFuture<std::optional<SliceData>>> reading;
    const qsizetype ahead = 2 * std::max(1, pool_.maxThreadCount());
    qsizetype next = 0;
    auto stopReading = [&reading] {
        for (auto &f : reading)
            f.waitForFinished();
    };
    for (qsizetype i = 0; i < files.size(); ++i) {
        while (next < files.size() && next - i < ahead) {
            reading.push_back(QtConcurrent::run(&pool_, [path = files[next], readLimits] {
                std::optional<SliceData> slice = readSliceFile(path, readLimits);
                if (slice)
                    slice->summarizeBlocks();
                return slice;
            }));
            ++next;
        }
        if (aborted_) {
            stopReading();
            return;
        }
        std::optional<SliceData> slice = reading.front().takeResult();
        reading.pop_front();
        if (!slice)
            continue;
        if (stack->nx == 0) {
            stack->nx = slice->nx;
            stack->ny = slice->ny;
            // A stack of this size from every selected file must fit into memory.
            // Each value takes a double, and each block's range two more.
            const double blocks
                = double(SliceData::blocksAcross(slice->nx)) * SliceData::blocksAcross(slice->ny);
            const double perSlice = (double(slice->nx) * slice->ny + 2 * blocks) * sizeof(double);
            const double needed = perSlice * double(files.size());
            if (needed > double(limit)) {
                qCWarning(lcView3d).noquote() << QStringLiteral(
                    "Refused the slice stack: %1 files of %2 x %3 need %4 MB, more than "
                    "the %5 MB this machine can give")
                                            .arg(files.size())
                                            .arg(slice->nx)
                                            .arg(slice->ny)
                                            .arg(needed / 1048576.0, 0, 'f', 0)
                                            .arg(double(limit) / 1048576.0, 0, 'f', 0);
                stopReading();
                finish(std::make_shared<const SliceStack>());
                return;
            }
        }
        if (slice->nx != stack->nx || slice->ny != stack->ny || !(slice->max > slice->min))
            continue;
        valueMax = std::max(valueMax, slice->max);
        valueMin = std::min(valueMin, slice->min);
        stack->slices.push_back(std::move(*slice));
        stack->numbers.push_back(sliceNumberOfName(files[i]));
        emit loadedNewFile(files[i]);
    }
    if (stack->slices.empty()) {
        finish(std::make_shared<const SliceStack>()); // range 0 … 1, as after clearing
        return;
    }
    stack->valueMin = valueMin;
    stack->valueMax = valueMax;
    stack->histogram = buildHistogram(stack->slices, valueMin, valueMax);
    finish(std::move(stack));
}
