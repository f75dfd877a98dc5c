#pragma once

// Qt
#include <QString>

// Local
#include "xafs/volume.h"
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

/// The chunks of the aligned series (energy, z, y, x), cut by the dataset's size.
struct AlignedChunk
{
    int energies = 1;
    int slices = 8;
    int rows = 64;
    int columns = 64;
};

/// The chunk shape used: one energy, 8 slices of 64 × 64 voxels (128 KB), cut by the volume. One
/// slice of one energy then reads its row of chunks (8 slices' worth), one voxel's spectrum one
/// chunk per energy, and a slab of 8 slices of every energy whole chunks; bench_align measures these
/// reads for other shapes.
AlignedChunk defaultAlignedChunk(const VolumeShape &shape);

/// What the aligned file records besides the volumes, one entry per volume written.
struct AlignedMetadata
{
    std::vector<double> energies; // eV
    std::vector<Shift3> shifts;
    std::vector<double> peaks;
    std::vector<std::uint64_t> outside; // voxels made NaN per volume
    std::vector<int> slices; // the slice numbers along z
    double referenceEnergy = 0.0;
    QString method; // "direct", "chain" or "none"
    std::optional<VolumeBox> box;
    std::vector<double> failedEnergies; // energies of the series left out
    QString version;
};

/// Writes `aligned.h5` (NeXus): `/entry/data/data`, 32-bit floats (energy, z, y, x) chunked as
/// asked; `/entry/data/energy` (eV, attribute `units`) and `/entry/data/slice` as its axes;
/// `/entry/alignment` (NXprocess) with the shifts (dz, dy, dx per energy), the peaks, the voxels
/// made NaN, the reference energy, the method, the box and the energies left out; the program and
/// its version. The file is written under a temporary name in the same folder and renamed when
/// complete, so that a file under the final name is always whole; an unfinished one is removed.
/// Volumes are appended one energy at a time, so that only one is needed in memory. Every call into
/// the HDF5 library holds its lock.
/// \test tst_seriesalign.cpp
class AlignedFileWriter
{
public:
    AlignedFileWriter();
    ~AlignedFileWriter();
    AlignedFileWriter(const AlignedFileWriter &) = delete;
    AlignedFileWriter &operator=(const AlignedFileWriter &) = delete;

    bool create(const QString &path, const VolumeShape &shape, const AlignedChunk &chunk, QString *error);
    /// The next energy's volume (of the shape given).
    bool append(const Volume &volume, QString *error);
    int written() const { return written_; }
    /// Writes the axes and the record, closes and renames the file.
    bool finish(const AlignedMetadata &metadata, QString *error);
    /// Closes and removes the unfinished file.
    void abandon();

private:
    struct Handles;
    std::unique_ptr<Handles> h_;
    QString path_;
    QString temporary_;
    VolumeShape shape_;
    int written_ = 0;
};
