#pragma once

// Qt
#include <QString>
#include <QStringList>

// Local
#include "imagedata/projectionset.h"
#include <cstdint>
#include <vector>

/// An ellipsoid of constant attenuation in a volume measured in detector pixels: centre (x, y) in
/// the slice plane relative to the rotation axis, z along the axis; semi-axes a (along x), b (along
/// y), c (along z); turned by `phi` radians about the axis; attenuation `mu` per pixel. A `half`
/// ellipsoid keeps only the side of its second axis (b) that points to positive y before the turn:
/// its flat face, through the centre, is a straight edge in the slice.
struct Ellipsoid
{
    double x = 0.0, y = 0.0, z = 0.0;
    double a = 1.0, b = 1.0, c = 1.0;
    double phi = 0.0;
    double mu = 0.0;
    bool half = false;
};

/// A sum of ellipsoids. Line integrals are exact: the chord of a ray through an ellipsoid
/// times its attenuation.
struct Phantom
{
    std::vector<Ellipsoid> parts;

    /// Integral along the ray of projection angle `theta` (radians) that meets the detector at
    /// position u (pixels from the axis) and height z along the axis. The ray is the line of points
    /// p with p·(cos θ, −sin θ) = u, which is where a filtered back-projection that adds
    /// x·cos θ − y·sin θ puts it.
    double lineIntegral(double u, double z, double theta) const;

    /// Attenuation at a point (for checking reconstructions against the truth).
    double valueAt(double x, double y, double z) const;
};

/// The demo object: an off-centre body with inserts, inside a cube of `size` pixels.
Phantom demoPhantom(int size);
/// The demo object grown to reach `radius` pixels from the axis (the demo phantom keeps within 60/256
/// of its size): for an offset-axis scan, an object wider than the detector.
Phantom demoPhantomReaching(double radius);
/// A sample wider than an offset detector: a body of radius `r` about the axis with inserts near
/// the axis, near the seam and near the edge, tall enough to fill every detector row. Its thickest
/// chord lets about a fifth of the beam through (as a well-chosen energy does), whatever its size.
Phantom offsetAxisPhantom(double r);

/// Detector pixels whose response the flat field does not even out, by their position across the
/// axis (the same in every detector row): each draws a stripe down the sinogram and a ring into the slice.
struct DetectorFaults
{
    struct Gain
    {
        int column;
        double gain; // relative response in the projections (the I0 image is recorded without it)
    };
    std::vector<Gain> gains; // in every projection
    std::vector<int> dead; // read `deadCounts` in every projection, without noise (I0 and BG as usual)
    double deadCounts = 3000.0;
    std::vector<Gain> partial; // only in projections partialFirst … partialFirst + partialCount − 1
    int partialFirst = 0;
    int partialCount = 0;

    bool empty() const { return gains.empty() && dead.empty() && (partial.empty() || partialCount < 1); }
};

/// Faults of every kind on a detector of `across` pixels for a scan of `projections`: every column's
/// gain off by 0.5 … 3 % either way, two groups of 6 … 12 neighbouring columns off by 1 … 3 % together
/// (large stripes), three dead columns in the middle half, and a band of 20 columns off by 1 … 2 % in the
/// middle third of the projections (partial stripes). Kept 4 % of the width away from the edges. `kinds`
/// picks some of them: any of "gain", "large", "dead", "partial" (empty: all).
DetectorFaults typicalFaults(int across, int projections, uint32_t seed, const QStringList &kinds = {});

/// How a synthetic scan is recorded.
struct ScanSetup
{
    int width = 256; // detector pixels per row
    int height = 256; // detector rows
    double cor = 130.0; // detector position of the rotation axis (pixels, across the axis)
    bool axisVertical = true; // true: slices are image rows; false: slices are image columns
    int projections = 180;
    double rangeDeg = 180.0; // angle of projection k is k · range / projections
    double i0 = 20000.0; // flat-field counts
    double flatRipple = 0.01; // gentle relative variation of the flat field across the detector
    double flatPhase = 0.3; // where the ripple peaks, in detector widths
    double bg = 100.0; // dark counts
    double noise = 1.0; // Gaussian noise in units of the square root of the counts (0: none)
    double flatNoise = 0.25; // the noise of the I0 and BG images, relative (averages of many frames)
    int bytesPerPixel = 2;
    bool tiff = false; // TIFF files (".tif") instead of ITEX (".img")
    uint32_t seed = 1;
    double corPerLine
        = 0.0; // a tilted axis: the centre of detector line j along the axis is cor + j · corPerLine
    bool poisson = false; // Poisson counts (the noise factor is not used)
    // Each pixel's noise drawn from a stream of its own (by image and position), so that a scan with
    // faults has exactly the noise of the same scan without them; otherwise one stream for all.
    bool noiseByPixel = false;
    DetectorFaults faults; // none by default
    // Writes only projections [firstProjection, firstProjection + projectionCount) of the scan (all
    // from the first when the count is negative), so that several writers can share a large scan. A
    // part from a later projection draws its noise from a stream of its own.
    int firstProjection = 0;
    int projectionCount = -1;
};

/// Writes projections (`projDir`/`prefix`NNNN.img, or .tif), an I0 and a BG image as ITEX (or TIFF) files:
/// counts I = I0 · exp(−line integral) + BG, with noise; I0 and BG only where their paths are not empty.
/// False (and `error` set) when a file cannot be written.
bool writeScan(const Phantom &phantom, const ScanSetup &setup, const QString &projDir, const QString &prefix,
    const QString &i0File, const QString &bgFile, QString *error = nullptr);

/// The scan of `setup` in memory, holding only the detector lines `lines` (rows when the axis is
/// vertical, else columns; sorted, without repeats) of every projection, I0 and BG image, with the
/// counts `writeScan` would write there: a set for sinograms and searches without files.
ProjectionSet scanLines(const Phantom &phantom, const ScanSetup &setup, std::vector<int> lines);

/// A small CT-XAFS series of the demo object across the iron K edge (7112 eV): one data set per
/// energy in the Ormel standard naming (`projDir`/demo-7112_5eV-0000.img …), one I0 image per energy
/// with the energy in its name (`i0Dir`/I0-7112_5eV-0001.img) and one BG image. Below the edge the
/// iron inserts attenuate like the body; above it five times as much. The flat field grows gently
/// with energy, so only the I0 of the right energy corrects a set well.
struct XafsSeriesSetup
{
    ScanSetup scan; // size, projections, axis; the flat field is scaled per energy
    int energies = 5; // spread evenly over 7090 … 7140 eV, on half electronvolts
    double flatDrift = 0.0; // detector widths the flat field's ripple moves per eV (the beam follows
                            // the monochromator): only the I0 of a set's own energy then fits it
};

/// The energies of the series, in eV.
std::vector<double> xafsSeriesEnergies(int count);
/// The energy field of a file name: 7112.5 gives "7112_5eV".
QString energyFieldText(double energyEv);
/// The demo object at an energy: the iron inserts jump at the edge.
Phantom xafsPhantom(int size, double energyEv);
/// Writes the series; false (and `error` set) when a file cannot be written.
bool writeXafsSeries(const XafsSeriesSetup &setup, const QString &projDir, const QString &i0Dir,
    const QString &bgFile, QString *error = nullptr);
