#pragma once

// Qt
#include <QString>
#include <QStringList>

// Local
#include "xafs/volume.h"
#include <vector>

/// How the slices of a series are stored.
enum class SliceFileKind {
    FloatTiff, // NAME-TAG-NNNNN.tif, the values as computed
    DataFile, // NAME-TAG-NNNNN.dat, the CT image data files: the values as written (window and offset)
};

/// One energy of a series.
struct SeriesEnergy
{
    double energy = 0.0; // eV
    QString tag; // the folder's name: 7112_5eV
    QString folder; // its path
    QStringList files; // one per slice, in slice order
    QString problem; // why its slices cannot be used (a header that cannot be read), else empty
};

/// A CT-XAFS series as a series run writes it with one folder per energy (--sub-folders energy or
/// both, "of Energy" in the window): every energy's folder holding the same, evenly spaced slices
/// of one size.
struct AlignSeries
{
    QString dir;
    std::vector<SeriesEnergy> energies; // in energy order
    std::vector<int> slices; // slice numbers, rising by one step
    int width = 0; // columns of a slice (0 until a slice is read, for data files)
    int height = 0; // rows
    SliceFileKind kind = SliceFileKind::FloatTiff;

    VolumeShape shape() const { return {static_cast<int>(slices.size()), height, width}; }
    /// The energy's name in messages: its folder's name.
    const QString &tagOf(int i) const { return energies[std::size_t(i)].tag; }
};

/// The energy in eV that a folder's name carries: the text after its last "-" read as an energy
/// field ("7102_5eV", "8342eV", "7_12keV"; "Fe-7112_5eV" with the sample), which must end in eV or
/// keV; 0 when it carries none.
double folderEnergy(const QString &name);

/// Reads the layout of `dir`. Energy folders are its folders whose name carries an energy; the slice
/// folders and task manifests that a series run writes beside them are passed over, as are files; any
/// other folder refuses the series, as do two folders of one energy, an energy without slices, slices
/// that differ between energies (named), are not evenly spaced, or differ in size (float TIFF: every
/// header is read). Float TIFF slices are used where an energy folder holds any, else the data files.
/// False, with the reason in `error`, when the series is refused.
/// \test tst_seriesalign.cpp
bool scanAlignSeries(const QString &dir, AlignSeries &series, QString &error);
