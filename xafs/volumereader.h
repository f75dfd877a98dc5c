#pragma once

// Qt
#include <QString>

// Local
#include "xafs/alignseries.h"
#include "xafs/volume.h"
#include <cstdint>
#include <vector>

/// One energy's slices read as a volume.
struct VolumeRead
{
    Volume volume;
    /// Voxels whose value was not finite (NaN or infinite), read as 0: the registration and the
    /// spline need numbers; the aligned volume marks what they touch.
    std::vector<std::uint64_t> nonFinite;
    QString problem; // why the energy cannot be used, else empty

    bool ok() const { return problem.isEmpty(); }
};

/// Reads one slice of a series into `out` (width × height floats, values as stored: NaN stays NaN);
/// the reason, naming the file, when it cannot be read or is of another size. `row` is scratch.
QString readSeriesSlice(
    const QString &file, SliceFileKind kind, int width, int height, float *out, std::vector<double> &row);

/// Reads energy `index` of the series, slice after slice (float TIFF through the program's TIFF
/// reader, data files through the volume view's reader). Refused, with the file named: a slice that
/// cannot be read or whose size differs from the series' (data files: from the first slice read, when
/// the series' size is not known), a volume beyond `maxBytes` (by default an eighth of the machine's memory),
/// or one more than half of whose values are not finite. \test tst_seriesalign.cpp
VolumeRead readEnergyVolume(const AlignSeries &series, int index, std::uint64_t maxBytes = 0);
