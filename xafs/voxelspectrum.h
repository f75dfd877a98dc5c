#pragma once

// Qt
#include <QString>

// Local
#include "xafs/slabsource.h"
#include "xafs/xanesplan.h"
#include <vector>

/// The largest ball a spectrum is averaged over, in voxels.
constexpr int maxSpectrumRadius = 20;

/// One voxel's spectrum (or the mean over a ball of voxels) with what the analysis makes of it.
struct VoxelSpectrum
{
    int z = 0, y = 0, x = 0, radius = 0;
    int voxels = 0; // averaged: within the ball, inside the volume, a number at every energy
    std::vector<double> energy; // eV
    std::vector<double> mu;
    std::vector<double> normalised; // NaN where the jump is not positive
    std::vector<double> fit; // the standards' combination; NaN outside the fit's energies
    XanesPlan::Line pre, post; // the lines (in μ) about the edge
    std::vector<double> maps; // the maps' values there, in the plan's order (NaN where masked)
};

/// The spectrum at voxel (z, y, x) of `source` — z counted in slices from the first, y the image
/// row, x the column — or the mean over the voxels within `radius` of it, analysed as the maps
/// are with the mask's threshold `minJump` (in the jump's unit). The fit is shown even where the
/// voxel is masked. False, with the reason, for a voxel outside the volume, a radius beyond
/// `maxSpectrumRadius`, no voxel with a number at every energy, or a read that fails.
/// \test tst_xanesanalysis.cpp
bool voxelSpectrum(SlabSource &source, const XanesPlan &plan, int z, int y, int x, int radius, double minJump,
    VoxelSpectrum &spectrum, QString &error);

/// The spectrum as text: a heading, "# energy_eV<TAB>mu<TAB>normalised<TAB>fit" and a line per
/// energy, then "# maps" and a line per map, "NAME<TAB>value".
QString spectrumText(const VoxelSpectrum &spectrum, const XanesPlan &plan, const std::vector<int> &slices);
