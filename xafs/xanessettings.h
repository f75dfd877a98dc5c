#pragma once

// Qt
#include <QString>

// Local
#include <optional>
#include <vector>

/// A range of energies relative to the edge, in eV, both ends included; no end: up to the last
/// energy of the series.
struct EdgeRange
{
    double from = 0.0;
    std::optional<double> to;

    bool operator==(const EdgeRange &) const = default;
};

/// A standard as named on the command line: NAME=FILE.
struct StandardChoice
{
    QString name;
    QString file;
};

/// What the per-voxel XANES analysis is asked to do. Energies in eV.
struct XanesSettings
{
    double edge = 0.0; // the edge energy E (--edge): the ranges are relative to it
    EdgeRange pre {-30.0, -10.0}; // the pre-edge line's energies
    EdgeRange post {30.0, std::nullopt}; // the post-edge line's energies
    double edgeWindow = 20.0; // E0 and the white line are searched within ± this of the edge
    EdgeRange fit {-20.0, 40.0}; // the linear-combination fit's energies
    std::vector<StandardChoice> standards;
    bool sumToOne = false; // the fractions constrained to sum to 1
    std::optional<double> minJump; // none: 5 × the median pre-edge noise of all voxels
    std::optional<double> pixelSizeUm; // the jump as Δμ in 1/cm when given
};

/// The most standards one fit takes: every subset of them is solved for each voxel.
constexpr int maxStandards = 6;
