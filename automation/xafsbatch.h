#pragma once

// Qt
#include <QElapsedTimer>
#include <QObject>

/// The driver of a sequential CT-XAFS run: load a data set, reconstruct it, go on to the next one,
/// reporting each stage with the time it took.
/// runs on: the sequence thread (every slot); every signal reaches the window queued.
///
/// A run answers only the completion it is waiting for: a finished load while it loads, a finished
/// calculation while it calculates; anything else (the operator's own loads and runs, the late end
/// of a stopped run's work) leaves it where it is.
/// \test tst_batch.cpp, tst_bodyloading.cpp
class XafsBatch : public QObject
{
    Q_OBJECT
public:
    enum class Phase { Idle, Loading, Calculating };

    explicit XafsBatch(QObject *parent = nullptr);

    bool isRunning() const { return running_; }
    Phase phase() const { return phase_; }

signals:
    /// A stage message and the milliseconds since the previous one.
    void stage(const QString &msg, qlonglong dEt);
    void starting();
    void setFirstImageSet();
    void setNextImageSet();
    void execCalculation();
    void finished();

public slots:
    /// Starts a run, or ends the running one.
    void start();
    /// The data set asked for is loaded.
    void loadedDataSet();
    /// The run cannot go on (a data set that did not load, a calculation called off): it ends
    /// with `why` as its stage message.
    void abort(const QString &why);
    /// The calculation asked for has ended and its files are written.
    void calcFinished();
    /// No data set is left: the run ends.
    void noMoreSets();
    /// Ends the run; reports "Finished" even when none runs.
    void finish();

private:
    void emitStage(const QString &msg);

    bool running_ = false;
    Phase phase_ = Phase::Idle;
    QElapsedTimer timer_;
    qint64 lastMark_ = 0;
};
