#include "recon/workerpool.h"

// Qt
#include <QCoreApplication>
#include <QThread>

// Local
#include "ct/sliceworker.h"
#include "recon/reconlog.h"
#include <numeric>

// A worker's report is posted to this object's thread as the capture of a call: copied on the
// worker's thread, then carried by one event (the hand-over ThreadSanitizer follows).
template<typename... Args, typename Take>
void WorkerPool::postBack(SliceWorker *worker, void (SliceWorker::*signal)(Args...), Take take)
{
    connect(
        worker, signal, this,
        [this, take](Args... args) {
            QMetaObject::invokeMethod(
                this, [take, args...] { take(args...); }, Qt::QueuedConnection);
        },
        Qt::DirectConnection);
}

WorkerPool::WorkerPool(QObject *parent)
    : QObject(parent)
{
}

WorkerPool::~WorkerPool()
{
    finish();
}

void WorkerPool::start(int count, const QString &name)
{
    for (int i = 0; i < count; ++i) {
        auto *worker = new SliceWorker;
        auto *thread = new QThread(this);
        if (!name.isEmpty())
            thread->setObjectName(QStringLiteral("%1 %2").arg(name).arg(i + 1));
        worker->moveToThread(thread);
        postBack(worker, &SliceWorker::began,
            [this, i](int slice, const QDateTime &start) { emit began(i, slice, start); });
        // A result is moved on: whoever takes it holds its data alone.
        connect(
            worker, &SliceWorker::done, this,
            [this, i](const SliceResult &result) {
                QMetaObject::invokeMethod(
                    this,
                    [this, i, result = SliceResult(result)]() mutable {
                        --inWork_[static_cast<size_t>(i)];
                        if (taker_)
                            taker_(i, std::move(result));
                        emit sliceDone(i);
                    },
                    Qt::QueuedConnection);
            },
            Qt::DirectConnection);
        postBack(worker, &SliceWorker::trialDone, [this, i](const CorTrial &trial) {
            --inWork_[static_cast<size_t>(i)];
            emit trialDone(i, trial);
        });
        thread->start();
        threads_.push_back(thread);
        workers_.push_back(worker);
        inWork_.push_back(0);
    }
}

int WorkerPool::inWork() const
{
    return std::accumulate(inWork_.begin(), inWork_.end(), 0);
}

bool WorkerPool::sizeEngine(int i, const EngineSize &size)
{
    if (inWork(i) > 0)
        return false;
    try {
        ::sizeEngine(worker(i)->engine(), size);
    } catch (const std::bad_alloc &) {
        // The engine is left without a size: the slices handed to it fail, and say so.
        qCCritical(lcRecon).noquote()
            << QStringLiteral("not enough memory for an engine of %1 for %2 projections")
                   .arg(size.n)
                   .arg(size.projections);
        return false;
    }
    return true;
}

void WorkerPool::run(int i, const SliceTask &task)
{
    ++inWork_[static_cast<size_t>(i)];
    SliceWorker *w = worker(i);
    QMetaObject::invokeMethod(
        w, [w, task] { w->run(task); }, Qt::QueuedConnection);
}

void WorkerPool::trial(int i, const SliceTask &task, const CorScoreSetup &score)
{
    ++inWork_[static_cast<size_t>(i)];
    SliceWorker *w = worker(i);
    QMetaObject::invokeMethod(
        w, [w, task, score] { w->trial(task, score); }, Qt::QueuedConnection);
}

void WorkerPool::recycle(int i, std::shared_ptr<std::vector<double>> values)
{
    SliceWorker *w = worker(i);
    QMetaObject::invokeMethod(
        w, [w, values = std::move(values)] { w->recycle(values); }, Qt::QueuedConnection);
}

void WorkerPool::releaseSinograms()
{
    for (SliceWorker *w : workers_)
        QMetaObject::invokeMethod(
            w, [w] { w->releaseSinograms(); }, Qt::QueuedConnection);
}

void WorkerPool::finish()
{
    if (threads_.empty())
        return;
    // Quitting a thread drops what is still queued for it: each is asked to stop by a request queued
    // behind its work.
    for (size_t i = 0; i < workers_.size(); ++i) {
        QThread *thread = threads_[i];
        QMetaObject::invokeMethod(
            workers_[i], [thread] { thread->quit(); }, Qt::QueuedConnection);
    }
    for (QThread *t : threads_)
        t->wait();
    // The results posted meanwhile reach whoever waits for them.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    for (SliceWorker *w : workers_)
        delete w;
    workers_.clear();
    threads_.clear();
    inWork_.clear();
}

void sizeEngine(CtFbp &engine, const EngineSize &size)
{
    if (size.n < 2)
        return;
    if (engine.n() != size.n || engine.projections() != size.projections || engine.single() != size.single)
        engine.setup(size.n, size.projections, size.single);
}
