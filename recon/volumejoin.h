#pragma once

// Qt
#include <QString>
#include <QStringList>

// Local
#include <vector>

/// The shape and slices of a volume file as `VolumeFileWriter` writes it (or as the joins below make
/// one): z × y × x, the slice numbers along z.
struct VolumeFileShape
{
    long long z = 0;
    long long y = 0;
    long long x = 0;
    std::vector<int> slices;
};

/// Reads the shape of `/entry/data/data` and `/entry/data/slice` of a volume file; false with the
/// reason when it is not one (wrong rank or type, slices of another count).
bool readVolumeShape(const QString &path, VolumeFileShape &shape, QString *error);

/// Makes the volume file `path` of a run divided into tasks out of the files its tasks wrote, one per
/// block of slices: `/entry/data/data` a virtual dataset that maps each block's slices in order of
/// their numbers (no copy), the slice numbers and centres of rotation joined, the rest of the record
/// taken from the first block. Relative names lead from `path` to the blocks, so that the folder may
/// move whole. Written under "FILE.part" and renamed when complete.
/// \test tst_volumefile.cpp
bool joinVolumeBlocks(const QString &path, const QStringList &blocks, QString *error);

/// One energy of a series and its volume file.
struct EnergyVolume
{
    double energy = 0.0; // eV
    QString path;
};

/// Writes the master file of a series (NeXus, the dataset paths of aligned.h5): `/entry/data/data`
/// (energy, z, y, x) a virtual dataset over the energies' `/entry/data/data`, `/entry/data/energy`
/// (eV) and `/entry/data/slice` as its axes. Every energy's volume must have the same shape and
/// slices; false with the reason otherwise. Written under "FILE.part" and renamed when complete.
/// \test tst_series.cpp, tst_volumefile.cpp
bool writeSeriesMaster(const QString &path, const std::vector<EnergyVolume> &energies, QString *error);
