#pragma once

// Qt
#include <QString>
#include <QStringList>

// Local
#include "xafs/alignoptions.h"
#include "xafs/xanessettings.h"
#include <optional>

/// A voxel whose spectrum is printed (z counted in slices from the first, y the row, x the column),
/// or the mean over the voxels within `radius` of it.
struct SpectrumRequest
{
    int z = 0, y = 0, x = 0, radius = 0;
};

/// What `quorvel-xanes` is asked to do: align a series folder (or take it as it is, or read an aligned
/// file instead) and, with --edge, make the chemical-state maps or print one voxel's spectrum.
struct XanesOptions
{
    AlignOptions align; // align.series: the folder (or the aligned file); align.out: where files go
    bool alignedInput = false; // the input is an aligned file: nothing is aligned
    std::optional<XanesSettings> maps; // with --edge
    std::optional<SpectrumRequest> spectrum; // print it instead of writing the maps
};

/// Reads the command line (without the program's name); false with the reason for anything that is
/// not understood or does not fit. An input that is a regular file is taken as an aligned file.
/// \test tst_xanesfiles.cpp
bool parseXanesOptions(const QStringList &arguments, XanesOptions &options, QString &error);

/// The usage text of quorvel-xanes.
QString xanesUsage();
