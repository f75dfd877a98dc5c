#pragma once

// Qt
#include <QString>
#include <QStringList>

// Local
#include "xafs/mapsfile.h"
#include "xafs/mapstack.h"
#include "xafs/xanesanalysis.h"
#include <memory>
#include <vector>

/// The files of the maps in one folder, written as the analysis hands the slices on: a multi-page
/// float TIFF per map (`edge_jump.tif`, …, one page per slice in slice order), `maps.h5` with all of
/// them, and at the end a picture per map of the middle slice with its colour bar (`edge_jump.png`,
/// …; fractions and the mask over 0 … 1, the others over their 1st to 99th percentile). Each file
/// appears under its name only when complete; abandon() removes what is unfinished.
/// \test tst_xanesfiles.cpp
class XanesMapWriter
{
public:
    XanesMapWriter(std::shared_ptr<const XanesPlan> plan, const QString &dir);
    ~XanesMapWriter();

    bool begin(const VolumeShape &shape, const std::vector<int> &slices, QString &error);
    /// The sink of an analysis.
    bool write(const XanesMapSlab &slab, QString &error);
    /// Completes every file; false, naming those that could not be written, when any failed.
    bool finish(const MapsRecord &record, QString &error);
    void abandon();
    /// The files written, by their paths.
    const QStringList &files() const { return files_; }

private:
    std::shared_ptr<const XanesPlan> plan_;
    QString dir_;
    VolumeShape shape_;
    std::vector<int> slices_;
    std::vector<std::unique_ptr<MapStackWriter>> stacks_;
    MapsFileWriter file_;
    std::vector<std::vector<float>> middle_; // each map's middle slice
    QStringList files_;
};
