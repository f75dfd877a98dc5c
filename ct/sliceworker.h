#pragma once

// Qt
#include <QDateTime>
#include <QObject>

// Local
#include "ct/corscan.h"
#include "ct/ctfbp.h"
#include "ct/sinogramcache.h"
#include "ct/slicerecon.h"

/// A reconstruction worker, the one of the window and of the command: owns its engine, its trial
/// scorer and the sinograms of its block, takes one task at a time and hands the result back by
/// value. It never touches a widget or a file.
/// runs on: a worker thread of its own (its slots); the engine is set up from the main thread only
/// while the worker rests.
class SliceWorker : public QObject
{
    Q_OBJECT
public:
    explicit SliceWorker(QObject *parent = nullptr);

    /// The engine and the trial scorer: set up from the main thread only while the worker is idle.
    CtFbp &engine() { return engine_; }
    CorScorer &scorer() { return scorer_; }

signals:
    /// A slice is begun (before `done`).
    void began(int slice, const QDateTime &start);
    void done(const SliceResult &result);
    void trialDone(const CorTrial &trial);

public slots:
    void run(const SliceTask &task);
    /// The values of a slice handed over, given back for the engine's next image.
    void recycle(std::shared_ptr<std::vector<double>> values);
    /// A trial of a scan of centres (`runCorTrial`).
    void trial(const SliceTask &task, const CorScoreSetup &score);
    /// Gives back the memory of sinograms kept for slices of a block (a run ended or was stopped).
    void releaseSinograms() { sinograms_.release(); }

private:
    CtFbp engine_;
    CorScorer scorer_;
    SinogramCache sinograms_;
    std::shared_ptr<std::vector<double>> spare_; // values given back
};
