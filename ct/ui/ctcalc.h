#pragma once

// Local
#include "ct/ctfbp.h"
#include "ct/runparams.h"
#include "ct/sinogramdata.h"
#include "ct/ui/ctpanel.h"

class CtProgress;
class QThread;
class Sinogram;

/// The single-thread calculator (CT1): reconstructs the processing panel's current slice on the
/// main thread for viewing, all at once or one projection per turn of the event loop so that the
/// slice can be watched building up. Saves nothing. Its sequencer thread lives as long as the panel,
/// so that a run can start at once after the last one ended; every step names its run, and steps of
/// a stopped run are dropped.
/// runs on: the main thread (its pacing `CtProgress` on the CT1 sequencer thread).
/// \test tst_bodycalc.cpp
class CtCalc : public CtPanel
{
    Q_OBJECT
public:
    explicit CtCalc(QWidget *parent = nullptr);
    ~CtCalc() override;

    void setSinogram(Sinogram *sinogram) { sinogram_ = sinogram; }
    /// The run parameters of the current run (angles, slice, centre of rotation).
    void setRunParams(const RunParams &params) { params_ = params; }
    /// The number of images the angles refer to when the parameters name none.
    void setImageCount(int count) { imageCount_ = count; }
    /// A run has started and not finished yet, all at once (its step still queued) or one by one.
    bool isRunning() const { return mode_ != Mode::Idle; }
    const CtFbp &engine() const { return engine_; }

signals:
    void askToStartCalc();
    void startCalcAll(int run);
    void calcFinished();
    void startCalcOneByOne(int run, int total);
    void finishedCalcOne(int run);
    /// `done` of the run's `total` projections are back-projected (0 when the run begins).
    void progressed(int done, int total);
    /// The slice could not be reconstructed (emitted before `calcFinished`).
    void sliceFailed(int slice, const QString &why);

public slots:
    void startCt();
    void stopCt();
    void endCt();
    void calcAll(int run);
    void calcOne(int run, int index);
    void calcCt();
    void genResImage();
    void setSaveImage(bool save, const QString &path, const QString &name, const QString &tag);
    void setSaveData(bool save, const QString &path, const QString &name, const QString &tag);

protected:
    bool valueAt(long i, long j, double &value) const override;

private slots:
    void sequenceEnded(int run);

private:
    enum class Mode { Idle, AtOnce, OneByOne };
    void finish();
    /// The slice's picture again through the bar as the operator set it (its `newBar`).
    void redrawResImage();

    Sinogram *sinogram_ = nullptr;
    RunParams params_;
    int imageCount_ = 0;
    CtProgress *progress_ = nullptr;
    QThread *sequencer_ = nullptr;
    Mode mode_ = Mode::Idle;
    int run_ = 0; // number of the current (or last) run
    int p_ = 0;
    QDateTime start_;
    QDateTime end_;
    SinogramData sinogramCopy_; // the run's own copy: the panel's sinogram may change meanwhile
    CtFbp engine_;
    ProjectionAngles angles_;
    Region region_;
};
