#pragma once

// Qt
#include <QString>
#include <QStringList>

// Local
#include "ct/ctimagefile.h"
#include "ct/savenaming.h"
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
    std::optional<int> sliceFrom; // none: the middle slice
    int sliceTo = 0;
    int sliceStep = 1;
    double angleOriginDeg = 0.0;
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
    std::optional<std::pair<double, double>> colorRange; // none: each slice's own range
    int threads = 1;
};

/// Reads the command line (arguments without the program name); false with a message for
/// anything that is not understood.
bool parseReconOptions(const QStringList &arguments, ReconOptions &options, QString &error);

/// The usage text.
QString reconUsage();

/// The slices FROM … TO with the step's magnitude, towards TO (a step of 0 counts as 1).
QList<int> sliceList(int from, int to, int step);
