#pragma once

// Qt
#include <QObject>
#include <QString>
#include <QThread>

// C++
#include <atomic>
#include <memory>

/// A job run once on a thread of its own, for work that must not hold up the window and that a
/// time limit may call off: `Job::run(const std::atomic<bool> *cancel)` returns a `Result`. The job
/// is a copy taken when it starts; what the thread shares with its owner (the flag, the result) is
/// held by shared pointers. Destroying it calls the job off and waits for its thread.
/// runs on: the thread that made it (the job on a thread of its own).
template<class Job, class Result> class ThreadedJob
{
public:
    explicit ThreadedJob(Job job)
        : job_(std::move(job))
    {
    }
    ~ThreadedJob()
    {
        stop();
        if (thread_)
            thread_->wait();
        delete thread_;
    }
    ThreadedJob(const ThreadedJob &) = delete;
    ThreadedJob &operator=(const ThreadedJob &) = delete;

    /// Starts the job on a thread named `name`; `ended` of `receiver` is called (queued) when it ends.
    template<class Receiver, class Slot> void start(const QString &name, Receiver *receiver, Slot ended)
    {
        thread_ = QThread::create(
            [job = job_, cancel = cancel_, result = result_] { *result = job.run(cancel.get()); });
        thread_->setObjectName(name);
        QObject::connect(thread_, &QThread::finished, receiver, ended, Qt::QueuedConnection);
        thread_->start();
    }
    /// Calls the job off: it stops after the step in hand.
    void stop() { cancel_->store(true); }
    bool calledOff() const { return cancel_->load(); }
    const Job &job() const { return job_; }
    /// What the job returned; read once its thread has finished.
    const Result &result() const { return *result_; }

private:
    Job job_;
    QThread *thread_ = nullptr;
    std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<Result> result_ = std::make_shared<Result>();
};
