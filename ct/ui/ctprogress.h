#pragma once

// Qt
#include <QObject>

/// Paces the single-thread calculator from its own thread: one projection per turn of the main
/// thread's event loop, so that the picture is refreshed after every projection. Every step carries
/// the number of the run it belongs to; a step of an earlier run is dropped, so that a run started
/// while the last one's steps are still queued never receives them.
/// runs on: the CT1 sequencer thread (all slots).
class CtProgress : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void calcAll(int run);
    void calcOne(int run, int index);
    void finishedCalcOneByOne(int run);

public slots:
    void startCalcAll(int run);
    /// Starts a one-by-one run over `total` projections.
    void startCalcOneByOne(int run, int total);
    /// The projection before was done: the next one, or the end of the run.
    void calcNext(int run);

private:
    int run_ = -1;
    int total_ = 0;
    int current_ = 0;
};
