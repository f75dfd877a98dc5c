#pragma once

// Local
#include "xafs/alignkernels.h"
#include "xafs/xanessettings.h"
#include <cstddef>

/// The most energies a series may have for the maps (the loops keep a voxel group's normalised
/// spectrum on the stack).
constexpr int maxXanesEnergies = 1024;

/// One subset of the standards with its solve: the fractions of the standards in it when the others
/// are held at 0, from the Gram matrix restricted to them (bordered by a row and a column of ones when
/// the fractions sum to 1, the last unknown then the Lagrange multiplier).
struct XanesSubset
{
    int size = 0;
    int inside[maxStandards] = {};
    int outside[maxStandards] = {};
    int outsideCount = 0;
    double inverse[(maxStandards + 1) * (maxStandards + 1)] = {}; // row-major, (size or size + 1)²
};

/// The linear operators and index ranges of the analysis, made once per series (XanesPlan) and read
/// by the loops as plain arrays. Index ranges are half-open; t is the energy less the edge, in eV.
struct XanesKernelPlan
{
    int energies = 0;
    const float *t = nullptr;
    float edge = 0.0f; // eV, added to the energies written
    float jumpScale = 1.0f; // the jump in the map's unit per slice unit
    const float *preAt = nullptr; // per energy: weight of μ in the pre-edge line at the edge (0 outside)
    const float *preSlope = nullptr; // … in its slope, per eV
    const float *postAt = nullptr; // … in the post-edge line at the edge
    int preBegin = 0, preEnd = 0; // the pre-edge energies (the noise is taken over them)
    int normBegin = 0, normEnd = 0; // the energies whose normalised value is needed
    int e0Begin = 0, e0End = 0; // E0 looks at pairs (j − 1, j) for j in this range
    float windowLo = 0.0f, windowHi = 0.0f; // t of the edge window's ends
    int wlBegin = 0, wlEnd = 0; // the energies within the window
    int standards = 0;
    int fitBegin = 0, fitEnd = 0;
    const float *design = nullptr; // standard k at energy i: design[k·(fitEnd − fitBegin) + i − fitBegin]
    const double *gram = nullptr; // standards × standards, over the fit energies
    int subsetCount = 0;
    const XanesSubset *subsets = nullptr; // in the order tried: the largest first
    bool sumToOne = false;
};

/// Where the maps of `count` voxels go; a null pointer leaves a map out. Fraction k of voxel v is at
/// fractions[k·fractionStride + v].
struct XanesKernelMaps
{
    float *jump = nullptr;
    float *edgeEnergy = nullptr;
    float *whiteLineEnergy = nullptr;
    float *whiteLineHeight = nullptr;
    float *fractions = nullptr;
    std::size_t fractionStride = 0;
    float *rFactor = nullptr;
    float *mask = nullptr;
};

/// The per-voxel loops, each compiled three times (generic, AVX2, AVX-512) from one source
/// (xaneskernels.inc), vectorised across voxels: μ of energy i of voxel v is at mu[i·stride + v], as
/// a slab of the aligned series holds it. The variant is chosen as for the alignment's loops.
/// \test tst_xanesanalysis.cpp
struct XanesKernels
{
    /// The standard deviation of each voxel's residual from its pre-edge line (NaN where a value is
    /// not finite); `mu` holds the pre-edge energies only, row r being energy preBegin + r.
    void (*noise)(
        const XanesKernelPlan &plan, const float *mu, std::size_t stride, std::size_t count, float *out);
    /// The maps of `count` voxels: a voxel with a value that is not finite, or whose jump (in the map's
    /// unit) is not positive or is below `minJump`, is NaN in every map and 0 in the mask.
    void (*analyse)(const XanesKernelPlan &plan, const float *mu, std::size_t stride, std::size_t count,
        float minJump, const XanesKernelMaps &out);
};

const XanesKernels &xanesKernels();
/// One given variant (tests, benchmarks); none when the processor lacks its instructions.
const XanesKernels *xanesKernelsOf(AlignKernelVariant variant);
