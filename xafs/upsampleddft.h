#pragma once

// Local
#include "xafs/alignkernels.h"
#include "xafs/volume.h"
#include <vector>

class SpectrumVolume;

/// The cross-correlation of two volumes from their cross-power spectrum (a half spectrum, as
/// SpectrumVolume holds it), evaluated on a fine grid of positions around a point by a
/// matrix-multiply DFT, without transforming a larger array: the refinement of M. Guizar-Sicairos,
/// S. T. Thurman and J. R. Fienup, "Efficient subpixel image registration algorithms", Optics
/// Letters 33, 156 (2008). The grid has AlignKernels::dftPoints positions per axis, `spacing` voxels
/// apart and centred on `centre`: position j of an axis is centre + (j − 7.5)·spacing.
/// \test tst_registration.cpp
struct UpsampledGrid
{
    static constexpr int points = AlignKernels::dftPoints;
    Shift3 centre;
    double spacing = 1.0;
    std::vector<float> values; // points³, x fastest

    double position(int axis, int j) const { return centre[axis] + (j - 0.5 * (points - 1)) * spacing; }
    float at(int jz, int jy, int jx) const { return values[(std::size_t(jz) * points + jy) * points + jx]; }
};

UpsampledGrid upsampledCorrelation(const SpectrumVolume &crossPower, const Shift3 &centre, double spacing);

/// The position of the grid's largest value, refined by a parabola through it and its neighbours
/// on each axis; `inside` is false when the largest value lies on the grid's border (the peak may
/// lie beyond it).
struct GridPeak
{
    Shift3 position;
    float value = 0.0f;
    bool inside = false;
};
GridPeak gridPeak(const UpsampledGrid &grid);
