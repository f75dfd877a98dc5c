#pragma once

// Qt
#include <QObject>

// Local
#include "ct/corscan.h"
#include "ct/ctfbp.h"
#include "ct/sinogramcache.h"
#include "ct/slicerecon.h"

/// A reconstruction worker without a window: lives on a thread of its own, owns its engine and
/// sinogram, takes one task at a time and hands the result back by value.
class SliceWorker : public QObject
{
    Q_OBJECT
public:
    explicit SliceWorker(QObject *parent = nullptr);

    /// The engine and the trial scorer: set up from the main thread only while the worker is idle.
    CtFbp &engine() { return engine_; }
    CorScorer &scorer() { return scorer_; }

signals:
    void done(const SliceResult &result);
    void trialDone(const CorTrial &trial);

public slots:
    /// Runs on the worker's thread.
    void run(const SliceTask &task);
    /// The values of a slice handed over, given back for the engine's next image (worker's thread).
    void recycle(std::shared_ptr<std::vector<double>> values);
    /// A trial of a scan of centres (`runCorTrial`); runs on the worker's thread.
    void trial(const SliceTask &task, const CorScoreSetup &score);

private:
    CtFbp engine_;
    CorScorer scorer_;
    SinogramCache sinograms_;
    std::shared_ptr<std::vector<double>> spare_; // values given back
};
