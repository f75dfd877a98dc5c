#pragma once

// Qt
#include <QMetaType>
#include <QString>

// Local
#include "xafs/xanesanalysis.h"
#include "xafs/xanessettings.h"
#include <memory>
#include <vector>

/// The settings of an analysis as the window's fields and the batch words hold them: texts as typed
/// ("-30:-10", "30:" up to the last energy, an empty minimum jump or pixel size: none).
struct XanesFields
{
    QString edge;
    QString pre = QStringLiteral("-30:-10");
    QString post = QStringLiteral("30:");
    QString edgeWindow = QStringLiteral("20");
    QString fit = QStringLiteral("-20:40");
    QString standards; // NAME=FILE[,NAME=FILE…]
    bool sumToOne = false;
    QString minJump;
    QString pixelSize;
};

/// Reads the fields by the rules of quorvel-xanes' options (--edge, --pre, …), so that the window,
/// a batch and the command take and refuse the same settings. False, with the reason, for a field
/// that does not fit.
/// \test tst_xanestab.cpp
bool xanesSettingsFromFields(const XanesFields &fields, XanesSettings &settings, QString &error);

/// What an analysis of the window reads: an aligned file given; the aligned.h5 of a folder that
/// holds one (a sequence's save folder after "Align energies"); else the folder taken as it is, its
/// volumes unaligned.
struct XanesInput
{
    QString path; // the file or folder read
    bool alignedFile = false;
};
XanesInput xanesInputOf(const QString &path);

/// One analysis of the series and everything it made, kept for the window: the maps of every slice
/// in runs of slices as the analysis handed them on, the plan, the threshold of the mask.
struct XanesMaps
{
    QString source; // the file or folder analysed
    QString sourceName; // "aligned.h5 (37 energies of 64 x 128 x 128)"
    std::shared_ptr<const XanesPlan> plan;
    VolumeShape shape;
    std::vector<int> slices;
    std::vector<XanesMapSlab> slabs; // in slice order, covering every slice
    double minJump = 0.0;
    double noiseMedian = 0.0;
    std::uint64_t analysed = 0;

    /// Map `map` (the plan's order) of slice z (counted from the first), nx × ny values row by row.
    const float *slice(int map, int z) const;
};
using XanesMapsPtr = std::shared_ptr<const XanesMaps>;
Q_DECLARE_METATYPE(XanesMapsPtr)
Q_DECLARE_METATYPE(XanesProgress)

/// The most bytes of maps the window keeps for one analysis: a larger series is for quorvel-xanes,
/// which writes its maps a run of slices at a time.
constexpr std::size_t maxWindowMapBytes = std::size_t(4) << 30;
