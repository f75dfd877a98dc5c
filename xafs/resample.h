#pragma once

// Local
#include "xafs/volume.h"
#include <cstddef>
#include <cstdint>
#include <span>

/// What a shift brought in that the volume did not hold.
struct ResampleCounts
{
    std::size_t outside = 0; // voxels whose source lies outside the volume: NaN
    std::size_t nonFinite = 0; // voxels whose source touches a value that was not finite: NaN
};

/// Moves `volume` by `shift` into the reference frame, in place: out(v) = in(v + shift), so that a
/// feature at p + shift in the volume comes to p. Interpolated with cubic B-splines (Unser;
/// Thévenaz, Blu and Unser, "Interpolation revisited", IEEE TMI 19, 739, 2000), axis after axis,
/// with mirror boundaries: the spline passes through every sample, ringing beside a sharp edge dies
/// off within a few voxels (a factor 3.7 per voxel) instead of running through the whole volume as a
/// Fourier shift's does, and nothing wraps around from the opposite face. A voxel whose source
/// position lies outside the volume (beyond its first or last sample on any axis) becomes NaN, as
/// does every voxel whose source lies within one voxel of a position in `nonFinite` (indices of
/// values that were not finite and were read as 0). Whole-voxel shifts are copies, without
/// interpolation.
/// \test tst_resample.cpp
ResampleCounts shiftVolume(
    Volume &volume, const Shift3 &shift, std::span<const std::uint64_t> nonFinite = {});

/// The voxels i of an axis of n whose source i + shift lies within 0 … n − 1 (first, end).
struct ValidRange
{
    int first = 0;
    int end = 0;
};
ValidRange validRange(int n, double shift);
