#pragma once

// Qt
#include <QString>
#include <QStringList>

// Local
#include "ct/corline.h"
#include "ct/corsearch.h"
#include "ct/ctimagefile.h"
#include "ct/savenaming.h"
#include "ct/stripeparams.h"
#include "recon/dataseries.h"
#include "recon/volumefile.h"
#include <optional>

/// What the headless reconstruction command is asked to do.
struct ReconOptions
{
    QString dir;
    QStringList patterns {QStringLiteral("*.img")};
    QString i0File;
    QString bgFile;
    bool axisVertical = false; // --axis v: slices are image rows
    std::optional<double> cor; // none: the middle of the line
    bool guessCor = false;
    CorMethod corMethod = CorMethod::Mirror; // the search whose centre is used (--cor-method)
    std::optional<int> guessLine; // --cor guess-line N: guesses at N slices, the line fitted through them
    std::optional<CorLine> corLine; // --cor-line: each slice at the centre interpolated between two records
    /// --cor-scan FROM:TO:STEP: one slice reconstructed at every centre of the range, instead of a run.
    struct CorScan
    {
        double from = 0.0;
        double to = 0.0;
        double step = 0.0;
    };
    std::optional<CorScan> corScan;
    /// --offset-axis auto|VALUE: a 360° scan with the axis near one edge, each slice stitched from
    /// the projections facing each other, at the axis searched in the data or given (recorded columns).
    struct OffsetAxis
    {
        bool automatic = true;
        double cor = 0.0;
    };
    std::optional<OffsetAxis> offsetAxis;
    std::optional<int> sliceFrom; // none: the middle slice
    int sliceTo = 0;
    int sliceStep = 1;
    double angleOriginDeg = 0.0;
    bool angleOriginGiven = false; // else a scan's first recorded angle is the origin
    double rangeDeg = 180.0;
    bool partial = false;
    int partialStart = 0;
    int partialImages = 0;
    std::optional<Region> region; // none: (0, 0)–(N, N)
    DataWindow window;
    QString outDir = QStringLiteral(".");
    QString name;
    QString tag = QStringLiteral("ct");
    SubFolderRule subFolders {false, false, true};
    bool png = true;
    bool data = true;
    bool tiff = false; // float TIFF slices
    QString hdf5; // --hdf5 FILE: the slices in one NeXus file (a series: its master file); empty: none
    VolumeCompression hdf5Compress = VolumeCompression::None;
    bool single = false; // filter and back-project in single precision
    std::optional<std::pair<double, double>> colorRange; // none: each slice's own range
    int threads = 1;
    int block = 64; // slices read and reconstructed together: their lines are all that is in memory
    QString scratchDir; // where a compressed scan's decoded lines wait for their block (empty: outDir)
    StripeParams rings; // stripe removal in the sinograms (--rings; off by default)
    bool guessOnly
        = false; // --cor guess (or guess-line) with nothing to write: print the centre of rotation only
    QStringList files; // the projections themselves (one data set of a series), instead of dir

    // A series of data sets (--series DIR), one per energy.
    bool series = false;
    SeriesLayout layout = SeriesLayout::OrmelStd;
    QString setPattern = QStringLiteral("*.img");
    QString i0FilesDir; // I0 images of all energies: each set takes the nearest in energy
    QString i0Pattern = QStringLiteral("*.img");
    int setsFrom = 1; // 1-based, like From and To of the window
    std::optional<int> setsTo; // none: to the last set
    bool listSets = false;
    SetTagRule tagRule = SetTagRule::Energy; // --tag name-energy in a series
    bool allowUnevenSets = false; // sets may differ in their image count and numbering
    bool allowFarI0 = false; // run sets whose I0 lies far from their energy (or without an energy)
    bool resume = false; // skip what the output folder's manifests show done
    bool align = false; // --align: the series' energies aligned when every set is done (quorvel-xanes)

    // One share of the work for a job array: task K of the (data set, block of slices) pairs.
    std::optional<int> task;
    std::optional<int> tasksOf; // the number of tasks the array was made for, checked
    QString fingerprint; // of the set list the array was made for, checked
    bool listTasks = false;

    /// Whether the run is planned as tasks over data sets rather than one plain run.
    bool inTasks() const { return series || task || listTasks; }
};

/// The options that decide which files a run writes and their bytes, one "name=value" item each:
/// everything of `ReconOptions` but where the files go, the tag and the I0 (which a series manifest
/// records apart), the projections themselves and how the work is divided (threads, blocks, tasks).
QStringList outputSettingItems(const ReconOptions &options);
/// A digest of `outputSettingItems`: runs with the same digest write the same files from the same
/// inputs.
QString outputSettingsDigest(const ReconOptions &options);

/// Reads the command line (arguments without the program name); false with a message for
/// anything that is not understood.
bool parseReconOptions(const QStringList &arguments, ReconOptions &options, QString &error);

/// The usage text.
QString reconUsage();

/// The slices FROM … TO with the step's magnitude, towards TO (a step of 0 counts as 1).
QList<int> sliceList(int from, int to, int step);

/// `sliceList` once FROM and TO are known to be slices of images with `extent` slices (checked
/// before the list is built); false with a message otherwise.
bool checkedSliceList(int from, int to, int step, int extent, QList<int> &slices, QString &error);

/// Whether the partial data set of `options` (if any) fits a set of `images` projections: START
/// one of them and no more than `images` used.
bool checkPartial(const ReconOptions &options, int images, QString &error);
