#pragma once

// Qt
#include <QFrame>

// Local
#include "config/joboutcome.h"
#include "xafs/xanesjob.h"

class ImgDispWCBar;
class ProgressLine;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QThread;
class SpectrumPlot;
class XanesWorker;
struct VoxelSpectrum;

/// The "XANES" tab: the chemical-state maps of a CT-XAFS series. Reads the series (an aligned.h5,
/// a folder holding one, or a folder of energies taken as it is), the edge, the ranges and the
/// standards from its fields and hands them to its worker on a thread of its own ("Analyse", with
/// progress and the time left, a second click stops); shows any map at any slice with its colour
/// bar and square pixels; a click on a voxel plots its spectrum; "Save Maps" writes the files
/// quorvel-xanes writes.
/// \test tst_xanestab.cpp
class XanesPanel : public QFrame
{
    Q_OBJECT
public:
    /// The fields the batch words and the setup file set.
    struct Controls
    {
        QLineEdit *source = nullptr;
        QLineEdit *edge = nullptr;
        QLineEdit *pre = nullptr;
        QLineEdit *post = nullptr;
        QLineEdit *edgeWindow = nullptr;
        QLineEdit *fit = nullptr;
        QLineEdit *standards = nullptr;
        QCheckBox *sumToOne = nullptr;
        QLineEdit *minJump = nullptr;
        QLineEdit *pixelSize = nullptr;
        QLineEdit *saveDir = nullptr;
        QPushButton *analyse = nullptr;
        QPushButton *save = nullptr;
        QComboBox *map = nullptr;
        QSlider *slice = nullptr;
    };

    explicit XanesPanel(QWidget *parent = nullptr);
    ~XanesPanel() override;

    const Controls &controls() const { return c_; }
    XanesFields fields() const;
    /// The series folder of the last sequence ("Last Sequence" takes it).
    void setSequenceSeries(const QString &dir);

    /// Starts the analysis of the fields' series; false, said in the log, when the fields are
    /// refused at once or an analysis or a save is under way.
    bool analyse();
    /// Stops the analysis under way at its next block.
    void stop();
    /// Writes the maps' files into `dir`; false when there are none or the worker is busy.
    bool saveMaps(const QString &dir);
    bool isBusy() const { return busy_ != Busy::No; }
    const XanesMapsPtr &maps() const { return maps_; }

    ImgDispWCBar *mapView() const { return view_; }
    SpectrumPlot *spectrumPlot() const { return plot_; }
    /// Asks for the spectrum of voxel (z, y, x); `spectrumShown` follows.
    void pickVoxel(int z, int y, int x);
    /// The map shown (the plan's order) and its slice (counted from the first).
    int currentMap() const;
    int currentSlice() const;
    /// A map's title with its unit, in the interface's language.
    static QString mapTitle(const MapInfo &map);

signals:
    void analysisEnded(const JobOutcome &outcome);
    void mapsSaved(const JobOutcome &outcome);
    void spectrumShown(const QString &error);
    /// Internal: to the worker.
    void startAnalysis(const QString &input, const XanesSettings &settings, int threads);
    void askSpectrum(int z, int y, int x);
    void askSave(const QString &dir);

private:
    enum class Busy { No, Analysing, Saving };
    void buildLayout();
    void analyseClicked();
    void saveClicked();
    void analysed(const JobOutcome &outcome, const XanesMapsPtr &maps);
    void progressed(const XanesProgress &progress);
    void saved(const JobOutcome &outcome, const QStringList &files);
    void spectrumReady(const VoxelSpectrum &spectrum, const QString &error);
    void redraw();
    /// Shows the map and slice chosen: a new image takes its range, else the bar as the operator set it.
    void draw(bool newImage);
    void showValueAt(int x, int y);
    void setBusy(Busy busy);

    Controls c_;
    QPushButton *selectSource_ = nullptr;
    QPushButton *lastSequence_ = nullptr;
    QPushButton *addStandard_ = nullptr;
    QPushButton *selectSaveDir_ = nullptr;
    QLabel *sliceLabel_ = nullptr;
    QLabel *valueLabel_ = nullptr;
    QLabel *status_ = nullptr;
    ProgressLine *progress_ = nullptr;
    ImgDispWCBar *view_ = nullptr;
    SpectrumPlot *plot_ = nullptr;
    XanesWorker *worker_ = nullptr;
    QThread *thread_ = nullptr;
    Busy busy_ = Busy::No;
    XanesProgress::Pass pass_ = XanesProgress::Pass::Noise;
    XanesMapsPtr maps_;
    QString sequenceSeries_;
    std::vector<double> shown_; // the slice shown, as the colour bar maps it
};
