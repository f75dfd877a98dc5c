#pragma once

// Qt
#include <QString>

// Local
#include "xafs/standardsfile.h"
#include "xafs/xaneskernels.h"
#include "xafs/xanessettings.h"
#include <memory>
#include <span>
#include <vector>

/// One map of the analysis: its file name (without ".tif"), its title and its unit.
struct MapInfo
{
    QString name; // "edge_jump", "fraction-metal"
    QString title; // "edge jump"
    QString unit; // "eV", "1/cm"; empty for a pure number
};

/// The maps in their order: edge_jump, edge_energy, white_line_energy, white_line_height, a
/// fraction-NAME per standard, r_factor (with standards), mask.
enum MapIndex { EdgeJumpMap = 0, EdgeEnergyMap, WhiteLineEnergyMap, WhiteLineHeightMap, FirstFractionMap };

/// The unit of the slices: the engine's filter gives twice the attenuation per pixel.
QString sliceUnit();

/// The analysis of one series made once for its energies: the pre- and post-edge lines as weight
/// vectors (a voxel's line values are dot products with its spectrum: both are least-squares fits of
/// a line, linear in μ), the index ranges of the edge window and the fit, the standards on the fit's
/// energies, their Gram matrix and the solve of every subset of them for the fractions
/// (B. Ravel, M. Newville, J. Synchrotron Rad. 12, 537, 2005, for the normalisation; C. L. Lawson,
/// R. J. Hanson, "Solving Least Squares Problems", 1974, for the non-negative fit).
/// \test tst_xanesanalysis.cpp
class XanesPlan
{
public:
    /// The plan for a series of `energies` (eV, rising) with the standards read (in the order of
    /// the settings). None, with the reason in `error`, when the settings do not fit the energies:
    /// an edge outside them, a range holding too few of them (pre- and post-edge lines at least 2,
    /// the default --min-jump 3, the window 2, the fit one more than the standards), a standard that
    /// does not cover the fit's energies, or standards that are nearly combinations of each other.
    static std::shared_ptr<const XanesPlan> make(const std::vector<double> &energies,
        const XanesSettings &settings, const std::vector<Standard> &standards, QString &error);

    XanesPlan(const XanesPlan &) = delete;
    XanesPlan &operator=(const XanesPlan &) = delete;

    const XanesKernelPlan &kernel() const { return kernel_; }
    const XanesSettings &settings() const { return settings_; }
    const std::vector<double> &energies() const { return energies_; }
    const std::vector<Standard> &standards() const { return standards_; }
    const std::vector<MapInfo> &maps() const { return maps_; }
    int mapIndex(const QString &name) const;
    /// The pre-edge energies, as indices into energies().
    int preBegin() const { return kernel_.preBegin; }
    int preEnd() const { return kernel_.preEnd; }
    /// The jump of the maps per slice unit: 1, or 1/(2 × pixel size in cm) for Δμ in 1/cm.
    double jumpScale() const { return kernel_.jumpScale; }
    /// The standard k at energy i of the fit, as the fit uses it; NaN outside the fit's energies.
    double standardAt(int k, int i) const;
    /// A spectrum's pre- and post-edge lines (one μ per energy): the value at the edge and the slope
    /// per eV.
    struct Line
    {
        double at = 0.0;
        double slope = 0.0;
        double operator()(double energy, double edge) const { return at + slope * (energy - edge); }
    };
    Line preLine(std::span<const double> mu) const;
    Line postLine(std::span<const double> mu) const;

private:
    XanesPlan() = default;

    XanesSettings settings_;
    std::vector<double> energies_;
    std::vector<Standard> standards_;
    std::vector<MapInfo> maps_;
    std::vector<float> t_, preAt_, preSlope_, postAt_, postSlope_, design_;
    std::vector<double> gram_;
    std::vector<XanesSubset> subsets_;
    XanesKernelPlan kernel_;
};
