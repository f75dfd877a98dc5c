#pragma once

// Qt
#include <QDateTime>
#include <QObject>

// Local
#include "ct/corscan.h"
#include "ct/slicerecon.h"
#include <functional>
#include <memory>
#include <vector>

class QThread;
class SliceWorker;

/// The size an engine needs for a task: its transform length, the projections it holds and the
/// precision it computes in.
struct EngineSize
{
    int n = 0; // < 2: the task has no sinogram, nothing to size
    int projections = 0;
    bool single = false;
};

/// The calculation workers of the window or of the command: one `SliceWorker` per thread, each
/// with its own engine. Tasks go to a named worker; results come back to this object's thread by
/// value, as the capture of a call posted from the worker's thread (one event carries it, the
/// hand-over ThreadSanitizer follows). Counts the tasks of each worker not yet back, so that an
/// engine is sized only while its worker rests.
/// runs on: the main thread; its workers on threads of their own.
class WorkerPool : public QObject
{
    Q_OBJECT
public:
    explicit WorkerPool(QObject *parent = nullptr);
    /// Waits for the tasks handed out: each worker's thread ends behind its queue.
    ~WorkerPool() override;

    /// Starts `count` workers (threads named `name` and their number).
    void start(int count, const QString &name = QString());
    int count() const { return static_cast<int>(workers_.size()); }
    const std::vector<SliceWorker *> &workers() const { return workers_; }
    SliceWorker *worker(int i) const { return workers_[static_cast<size_t>(i)]; }
    /// Tasks handed to worker `i` (all workers) and not yet back.
    int inWork(int i) const { return inWork_[static_cast<size_t>(i)]; }
    int inWork() const;

    /// Sets worker `i`'s engine up for `size` when it has another size; only while the worker rests.
    /// False when it works, or when memory ran out (the engine has no size then; a critical message
    /// says so).
    bool sizeEngine(int i, const EngineSize &size);
    /// Hands a slice (a trial of a scan of centres) to worker `i`.
    void run(int i, const SliceTask &task);
    void trial(int i, const SliceTask &task, const CorScoreSetup &score);
    /// Gives values handed over back to worker `i` for its next image.
    void recycle(int i, std::shared_ptr<std::vector<double>> values);
    /// Every worker lets go of the sinograms it keeps for a block, behind the tasks it has.
    void releaseSinograms();
    /// Waits until every worker has ended, each behind the tasks it was given, and takes their
    /// results in (the window's last slices at close are still handed on).
    void finish();
    /// Who takes each slice's result: it is handed over whole (moved), so that the pool keeps no
    /// share of its data, which may go on to another thread (the saver).
    void setSliceTaker(std::function<void(int worker, SliceResult &&result)> taker)
    {
        taker_ = std::move(taker);
    }

signals:
    void began(int worker, int slice, const QDateTime &start);
    /// A slice of worker `worker` is back (after its result was taken).
    void sliceDone(int worker);
    void trialDone(int worker, const CorTrial &trial);

private:
    template<typename... Args, typename Take>
    void postBack(SliceWorker *worker, void (SliceWorker::*signal)(Args...), Take take);

    std::vector<QThread *> threads_;
    std::vector<SliceWorker *> workers_;
    std::vector<int> inWork_;
    std::function<void(int, SliceResult &&)> taker_;
};

/// Sizes `engine` for `size` unless it has that size already (length, projections, precision).
/// From one thread at a time, never while the engine computes.
void sizeEngine(class CtFbp &engine, const EngineSize &size);
