#pragma once

// Qt
#include <QFileInfoList>
#include <QString>
#include <QStringList>

// Local
#include "recon/energyfield.h"
#include <optional>
#include <span>
#include <vector>

/// One data set of the Ormel standard layout, where the files of every energy lie in one folder,
/// named sample-energy-number.ext: a run of consecutive files (in name order) with one group key.
struct OrmelSet
{
    QString firstFileName; // without the folder
    QString groupKey; // the first file name up to its last "-"
    QString name; // the group key up to its last "-": the sample
    EnergyField energy; // the group key after its last "-"
    QFileInfoList files; // in name order
};

/// The files (no folders) of `dir` whose names match the one name filter `pattern`, in plain,
/// case-sensitive name order.
QFileInfoList matchingFiles(const QString &dir, const QString &pattern);

/// The files of `dir` matching any of `patterns`, in the same order: the projections of a data set.
QFileInfoList seriesFiles(const QString &dir, const QStringList &patterns);

/// Groups files (in the given order) into data sets: a file whose name up to its last "-" equals the
/// current set's group key joins it, any other file begins a new set. Groups that interleave in name
/// order therefore make more sets than there are keys.
std::vector<OrmelSet> groupOrmelSets(const QFileInfoList &files);

/// The selector's text of set `position` (counted from 1): "1 : Fe (7112.5[eV], 361)".
QString ormelSetLabel(int position, const OrmelSet &set);

/// The sub-folders of `dir` (without "." and ".."), in name order: the data sets of the layout with
/// one folder per energy.
QStringList subDirNames(const QString &dir);

/// The selector's text of sub-folder set `position` (counted from 1): "2 : Fe_7120eV".
QString subDirLabel(int position, const QString &name);

/// A pattern field split at runs of white space.
QStringList splitPatterns(const QString &text);

/// The index of the energy nearest to `e`, the first one on ties; -1 for an empty list.
int nearestEnergy(std::span<const double> energies, double e);

/// How the data sets of a series lie in their folder.
enum class SeriesLayout { OrmelStd, SubDirs };

/// What a set's files are tagged with: its energy field (7112_5eV), or the sample name with it
/// (Fe-7112_5eV), for folders that hold two samples at one energy. A sub-folder set is tagged with
/// the folder's name either way.
enum class SetTagRule { Energy, NameEnergy };

/// One data set of a series, whatever its layout: what to load and how to tag its results.
struct SeriesSet
{
    QString name; // the sample (Ormel standard) or the sub-folder
    QString tag; // the energy field, or the sub-folder name: the tag of the set's files
    double energy = 0.0; // in eV (a sub-folder name without a unit: its number as written)
    QString folder; // where its files lie
    QStringList files; // absolute paths, in load order
    /// A set of HDF5 scan files: their projection frames (−1: image files, or a scan that cannot be
    /// opened, which its run refuses), and whether every scan records its angles.
    int scanFrames = -1;
    bool scanAngles = false;
};

/// Counts the projection frames of a set whose files are HDF5 scan files (told by the first one), and
/// whether they record their angles; a set of image files is left as it is.
void countScanFrames(SeriesSet &set);

/// The energy of a sub-folder set from the folder's name: in eV when the name carries its unit
/// ("7_12keV" is 7120 eV), else the number as written ("7120_5" is 7120.5).
double subDirEnergy(const QString &name);

/// The number of a projection file: the last run of digits in its name before the extension
/// (Fe-7112_5eV-00017.img: 17, ct_0003.tif: 3); none without digits or beyond 15 of them.
std::optional<qint64> fileNumber(const QString &fileName);

/// An Ormel standard set as a set of the series.
SeriesSet seriesSetOf(const OrmelSet &set, const QString &dir, SetTagRule rule = SetTagRule::Energy);

/// The data sets of `dir`, in the order the window's data-set selector lists them, the frames of scan
/// files counted. `pattern` is one name filter for the Ormel standard, a list split at white space
/// for sub-folders.
std::vector<SeriesSet> scanSeries(
    const QString &dir, SeriesLayout layout, const QString &pattern, SetTagRule rule = SetTagRule::Energy);
