#pragma once

// Qt
#include <QString>

// Local
#include "xafs/alignseries.h"
#include "xafs/volume.h"
#include <memory>
#include <span>
#include <vector>

/// A series as the XANES analysis reads it: part of its volumes at a time, never the whole series.
/// read() is called from one thread at a time.
class SlabSource
{
public:
    virtual ~SlabSource() = default;

    const std::vector<double> &energies() const { return energies_; } // eV, rising
    const VolumeShape &shape() const { return shape_; }
    const std::vector<int> &slices() const { return slices_; } // the slice number of each z
    /// What is read, for messages: "aligned.h5 (37 energies of 64 x 128 x 128)".
    virtual QString name() const = 0;
    /// The boxes it reads best, in slices and rows (its chunks); blocks are cut at their borders.
    virtual VolumeShape grain() const { return {1, 1, shape_.nx}; }

    /// Reads the voxels of `box` at the energies `energyIndices` (rising) into `out`: energy r of the
    /// list, then z, y, x (x fastest), box.shape().voxels() floats per energy. Values are as stored
    /// (NaN stays NaN). False, with the reason, when it cannot be read.
    virtual bool read(std::span<const int> energyIndices, const VolumeBox &box, float *out, QString &error)
        = 0;

protected:
    std::vector<double> energies_;
    VolumeShape shape_;
    std::vector<int> slices_;
};

/// The aligned series of `aligned.h5` (NeXus, as quorvel-xanes writes it): `/entry/data/data`, four
/// dimensions (energy, z, y, x) of floats, `/entry/data/energy` (eV, rising, one per energy) and
/// `/entry/data/slice` (one per z; 0, 1, … when missing). None, with the reason, for a file that is
/// not such. Each read is a hyperslab per run of consecutive energies.
/// \test tst_xanesfiles.cpp
std::unique_ptr<SlabSource> openAlignedFile(const QString &path, QString &error);

/// The series folder taken as it is (no alignment): each voxel read from the slice files of every
/// energy. The slices' size is read from the first slice when the series does not know it.
std::unique_ptr<SlabSource> openSeriesFolder(const AlignSeries &series, QString &error);
