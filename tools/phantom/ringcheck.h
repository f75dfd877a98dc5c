#pragma once

// Local
#include "ct/stripeparams.h"
#include "imagedata/projectionset.h"
#include "tools/phantom/phantom.h"
#include <cstdint>
#include <vector>

/// The objects ring removal is tried on, all over the rotation axis, where a feature changes little
/// or not at all with the angle, as a faulty detector column does.
enum class RingScene {
    Disk, // a uniform disk, 7/256 of the width off the axis
    Ellipse, // an ellipse turned and a little off the axis
    Ring, // a tube centred on the axis: sharp edges that every projection shows at the same columns
    Cylinder, // a uniform disk centred on the axis
    StepEdge, // a half disk whose straight edge runs through the axis (its round edge off the axis)
    SmallOver, // a small ellipse (a fibre, the end of a body) over the axis, its centre just off it
    SmallBeside, // a smaller one beside the axis, not quite over it
    SmallOff, // a small dense ellipse off the axis in a faint body: its edges turn at the same columns
    Demo, // the demo phantom (an off-centre body with inserts)
};
inline constexpr RingScene ringScenes[] = {RingScene::Disk, RingScene::Ellipse, RingScene::Ring,
    RingScene::Cylinder, RingScene::StepEdge, RingScene::SmallOver, RingScene::SmallBeside, RingScene::SmallOff, RingScene::Demo};

/// "disk", "ellipse", "ring", "cylinder", "step edge", "small over", "small beside", "small off", "demo".
const char *ringSceneName(RingScene scene);

/// The scene for a detector `width` pixels across: its size scales with the width, its attenuation per
/// pixel inversely, so that the thickest path lets through about a third of the beam at any size.
Phantom ringScenePhantom(RingScene scene, int width);

/// One detector line of a scan over 180 degrees, in memory.
struct RingScanSetup
{
    RingScene scene = RingScene::Demo;
    int width = 256;
    int projections = 180;
    double cor = 130.0;
    bool noise = false; // Poisson counts with 20 000 in the flat field (I0 and BG without noise)
    int slice = -1; // the detector line (image row) taken, of `width` (a square detector); −1: the middle
    DetectorFaults faults;
    std::uint32_t seed = 1;
};

/// The scan as a projection set holding image line `slice` (a slice of image rows) of every projection.
ProjectionSet ringScan(const RingScanSetup &setup);

/// A reconstructed slice: n × n values, row index z, column index x, the axis at (n/2, n/2).
struct SliceImage
{
    std::vector<double> values;
    int n = 0;

    double at(int x, int z) const { return values[static_cast<size_t>(z) * n + x]; }
    /// Strictly inside the circle that the reconstruction fills, less a pixel.
    bool inside(int x, int z) const;
};

/// The line a scan holds.
int ringScanSlice(const RingScanSetup &setup);

/// Line `slice` of `set` (image rows; −1: the middle one) reconstructed over the whole circle, the
/// projections spanning `rangeDeg`, with `stripes` taken out of the sinogram first; empty when it
/// cannot be.
SliceImage reconstructRingSlice(const ProjectionSet &set, double cor, const StripeParams &stripes,
    double rangeDeg = 180.0, int slice = -1);

/// The largest value less the smallest inside the circle.
double sliceRange(const SliceImage &s);

/// The spread of the values inside the circle: from the 0.5th to the 99.5th percentile.
double sliceContrast(const SliceImage &s);

/// How `after` differs from `before` inside the circle, both over `range`: the largest magnitude of
/// the difference averaged over 3 × 3 pixels (so that single noisy pixels do not count), and the RMS;
/// infinite when the slices cannot be compared (one missing, other sizes, no range).
struct SliceChange
{
    double maxSmoothed = 0.0;
    double rms = 0.0;
};
SliceChange sliceChange(const SliceImage &before, const SliceImage &after, double range);

/// The RMS of the difference inside the circle.
double rmsDifference(const SliceImage &a, const SliceImage &b);

/// The mean over angles at each whole radius from the axis, high-passed along the radius (less the
/// median of the 9 radii about it), as an RMS over the radii from `rMin` to 0.95 of the circle.
double ringStrength(const SliceImage &s, double rMin = 1.0);

/// The rings `s` draws beyond those of `clean` (the same slice without stripes): the ring strength of
/// their difference. The sample's own radial structure, which a phantom's slice has rings of too,
/// does not count; 0 when the slices cannot be compared.
double addedRingStrength(const SliceImage &s, const SliceImage &clean);

/// The correlation coefficient of the two slices over the pixels `mask` marks (n × n).
double sliceCorrelation(const SliceImage &a, const SliceImage &b, const std::vector<unsigned char> &mask);
