#pragma once

// Qt
#include <QObject>
#include <QStringList>

// Local
#include "imagedata/scanangles.h"
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CtPanel;
class Hdf5Scan;
struct WindowParts;

/// The window's loading of projections: image files and the frames of scan files join the image
/// set one per pass of the event loop (the window stays responsive and shows the count), the scan's
/// flats and darks become I0 and BG, its angles the data set's range; a new set takes the geometry
/// defaults; "Clear" lets the set go. The set never changes while a calculation reads it: a load or
/// a clear waits until the workers rest.
/// runs on: the main thread.
/// \test tst_bodyloading.cpp
class LoadController : public QObject
{
    Q_OBJECT
public:
    /// The defaults a newly loaded set gives, until a command has set the value.
    struct Defaults
    {
        bool sliceTo = true;
        bool sliceNo = true;
        bool cor = true;
        bool regions = true;
    };

    LoadController(WindowParts &parts, QObject *parent = nullptr);
    ~LoadController() override;

    /// Whether the workers (or CT1) are at work; the CT panels whose regions a new set resets.
    void setWorkersBusy(std::function<bool()> busy) { workersBusy_ = std::move(busy); }
    void setPanels(std::function<std::vector<CtPanel *>()> panels) { panels_ = std::move(panels); }

    bool isLoading() const { return phase_ == Phase::Loading; }
    /// A load under way, or one waiting for the workers.
    bool isBusy() const { return phase_ != Phase::Idle || waiting_.files.has_value(); }
    /// Of the last load: the images loaded and the files refused.
    int added() const { return load_.added; }
    const QStringList &refused() const { return load_.refused; }
    Defaults &defaults() { return defaults_; }
    /// The workers rest: a clear and a load that waited for them go on. True when a load started.
    bool resumeWaiting();
    /// Nothing that waits is started any more (the window closes).
    void dropWaiting() { waiting_ = Waiting(); }

public slots:
    void dataFilesSelected(const QStringList &files, bool newSeries);
    /// The rotation axis turned: slices, range and centre run the other way through the images, so
    /// those still at the defaults take the new orientation's and those that no longer fit are reset.
    void axisChanged() { applyGeometryDefaults(true); }
    void loadNextDataFile();
    void finishedLoadDataFiles();
    /// "Clear" of the raw files: the images go and their size is forgotten.
    void rawFilesCleared();

signals:
    void askLoadNextDataFile();
    void noticeFinishedLoadDataFiles();
    /// A selection is taken (loaded now or when the workers rest).
    void selectionTaken();
    /// The images changed (a load ended, a clear): the window redraws what shows them.
    void imagesChanged();
    /// I0 or BG was taken from a scan's flats or darks.
    void i0OrBgChanged();
    /// A load has ended, whole or not.
    void loaded();

private:
    enum class Phase { Idle, Loading };
    // The load under way, or the last one.
    struct Load
    {
        QStringList pending;
        qsizetype asked = 0;
        int added = 0;
        bool newSeries = false;
        QStringList previousFiles; // listed before a new series, until it has an image
        int previousSeek = 0;
        QStringList refused;
        int total = 0; // files the window holds when this loading ends, if none is refused
        int countAtStart = 0;
        std::shared_ptr<const Hdf5Scan> scan; // the scan file whose frames are being loaded
        int scanNext = 0;
        std::optional<AngleFit> scanFit;
        std::optional<QString> originBefore; // the angle origin's text when a scan began to load
    };
    // What waits for the workers to rest.
    struct Waiting
    {
        bool clear = false;
        std::optional<std::pair<QStringList, bool>> files; // and whether a new series
    };
    void showLoadProgress();
    void clearImageSet();
    /// The geometry defaults of the set loaded; with `keepChosen`, whatever "keep Conds." says, the
    /// conditions chosen are kept where they fit.
    void applyGeometryDefaults(bool keepChosen = false);
    void setLoadControlsEnabled(bool enabled);
    // Scan files (loadscan.cpp).
    bool beginScan(const QString &fileName);
    bool loadScanFrame();
    int scanFramesLeft() const;
    void takeScanI0Bg(const std::shared_ptr<const Hdf5Scan> &scan);
    void fitScanAngles();
    void applyScanAngles();

    WindowParts &parts_;
    /// The geometry defaults the last set gave: a kept condition still at them follows the next set.
    struct Applied
    {
        int sliceTo = 0;
        int sliceNo = 0;
        double cor = 0.0;
        double last = 0.0; // the regions' far corner
    };
    std::optional<Applied> applied_;
    std::function<bool()> workersBusy_ = [] { return false; };
    std::function<std::vector<CtPanel *>()> panels_ = [] { return std::vector<CtPanel *>(); };
    Phase phase_ = Phase::Idle;
    Load load_;
    Waiting waiting_;
    Defaults defaults_;
};
