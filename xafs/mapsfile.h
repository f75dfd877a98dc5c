#pragma once

// Qt
#include <QString>

// Local
#include "xafs/xanesanalysis.h"
#include <cstdint>
#include <memory>
#include <vector>

/// What `maps.h5` records besides the maps.
struct MapsRecord
{
    QString source; // what was analysed
    QString version; // of the program
    double minJump = 0.0; // the mask's threshold, in the jump's unit
    double noiseMedian = 0.0; // the median pre-edge noise in the slices' unit (default threshold)
    std::uint64_t analysed = 0; // voxels not masked
};

/// Writes `maps.h5` (NeXus), a run of slices at a time: `/entry/maps` (NXdata) holds every map as
/// 32-bit floats (z, y, x) with its `units` and `long_name`, `edge_jump` the signal and the others
/// auxiliary signals, and `slice` (the slice numbers) as the axis of z; `/entry/xanes` (NXprocess)
/// the energies, the settings (edge, ranges, window, sum, threshold, pixel size), the standards as
/// read (energy and normalised absorption, the file) and on the fit's energies, the program and its
/// version. Written under a temporary name and renamed when complete; every call into the HDF5
/// library holds its lock.
/// \test tst_xanesfiles.cpp
class MapsFileWriter
{
public:
    MapsFileWriter();
    ~MapsFileWriter();
    MapsFileWriter(const MapsFileWriter &) = delete;
    MapsFileWriter &operator=(const MapsFileWriter &) = delete;

    bool create(const QString &path, std::shared_ptr<const XanesPlan> plan, const VolumeShape &shape,
        const std::vector<int> &slices, QString &error);
    bool write(const XanesMapSlab &slab, QString &error);
    bool finish(const MapsRecord &record, QString &error);
    void abandon();

private:
    struct Handles;
    std::unique_ptr<Handles> h_;
    std::shared_ptr<const XanesPlan> plan_;
    QString path_;
    QString temporary_;
    VolumeShape shape_;
    int written_ = 0; // slices
};
