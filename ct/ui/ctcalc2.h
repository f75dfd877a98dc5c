#pragma once

// Qt
#include <QDateTime>
#include <QImage>
#include <QObject>

// Local
#include "ct/corscan.h"
#include "ct/ctfbp.h"
#include "ct/savingrecords.h"
#include "ct/sinogramcache.h"
#include "ct/ui/ct2job.h"
#include <atomic>

class CtCalc2Ui;

/// A calculation worker (CT2): lives on a thread of its own with its own engine and sinogram and
/// reconstructs one slice at a time from the snapshot it is given. It never touches a widget: its
/// panel gets times, texts and a copy of the result by queued signals, the saver gets heap records.
/// Slots run on the worker's thread.
class CtCalc2 : public QObject
{
    Q_OBJECT
public:
    explicit CtCalc2(QObject *parent = nullptr);

    /// Ties the worker to its panel (on the main thread, before the worker is moved to its thread).
    void setPanel(CtCalc2Ui *panel);
    CtCalc2Ui *panel() const { return panel_; }
    /// The engine and the scorer of trials: set up from the main thread only while the worker is not busy.
    CtFbp &engine() { return engine_; }
    CorScorer &scorer() { return scorer_; }
    /// Busy from the dispatch of a slice (set by the main thread) until just before `calcFinished`.
    bool isBusy() const { return busy_.load(); }
    void markBusy() { busy_.store(true); }

signals:
    void askToStartCalc();
    void calcFinished();
    void saveDataWDiscard(SavingData *data);
    void saveImgWDiscard(SavingImg *img);
    void ctImage(int slice, const QImage &image);
    /// A record of `bytes` is about to go to the saver (emitted before the record and before
    /// `calcFinished`, so the main thread counts it before it hears of the slice's end).
    void handedToSaver(qint64 bytes);
    /// A file could not be made (a data file whose region is too large to hold in memory).
    void writeFailed(bool image, const QString &path);
    /// The slice could not be reconstructed (emitted before `calcFinished`).
    void sliceFailed(int slice, const QString &why);
    // To the panel:
    void beganSlice(int slice, const QDateTime &start);
    void endedSlice(const QDateTime &start, const QDateTime &end);
    void resultReady(const QImage &image, const SliceValues &values, int n, const GreyScale &scale);
    void regionInitialised(double x0, double z0, double x1, double z1);
    /// A trial of a scan of centres is done (emitted before `calcFinished`).
    void trialFinished(const CorTrial &trial);

public slots:
    void beginingCt();
    void endingCt();
    /// (Re)makes the 8-bit image of the last slice through `scale` (its range taken from the slice
    /// unless fixed) and shows it when showing is on.
    void genResImage(const GreyScale &scale);
    void startCt(CtCalc2 *target, const Ct2Job &job);
    void saveImage();
    void saveTiff();
    void saveData();
    void setSaveImage(bool save, const QString &path, const QString &name, const QString &tag);
    void setSaveData(bool save, const QString &path, const QString &name, const QString &tag);
    /// Also hand each slice's values to the saver as a float TIFF, named and placed like the data file.
    void setSaveTiff(bool save);
    /// Reconstructs and scores one trial of a scan of centres exactly as `startCt` reconstructs a
    /// slice (engine and scorer set up for it by the main thread), then `trialFinished` and
    /// `calcFinished`. Nothing is shown or saved.
    void runTrial(const SliceTask &task, const CorScoreSetup &score);
    /// Gives back the memory of sinograms kept for slices of a block (a run ended or was stopped).
    void releaseSinograms() { sinograms_.release(); }

private:
    struct SaveTarget
    {
        bool save = false;
        QString dir, name, tag;
    };

    CtCalc2Ui *panel_ = nullptr; // identity only: never dereferenced on the worker's thread
    std::atomic<bool> busy_ {false};
    CtFbp engine_;
    CorScorer scorer_;
    SinogramCache sinograms_;
    Ct2Job job_;
    SliceResult result_;
    bool imageMade_ = false;
    SaveTarget saveImage_;
    SaveTarget saveData_;
    bool saveTiff_ = false;
    QDateTime start_;
};
