#pragma once

// Qt
#include <QString>

// Local
#include "tools/phantom/phantom.h"
#include <vector>

/// A CT-XAFS series for the alignment and the chemical-state maps: the demo object with two iron
/// inserts holding two species of iron in known shares, recorded at every energy of an iron K-edge
/// scan while the sample drifts, with the species' spectra as standards.
///
/// The species' normalised spectra are analytic: "metal", its edge at 7112 eV (a step broadened by a
/// Gaussian of 2.5 eV, a weak bump above), and "oxide", its edge at 7124 eV (steeper, a pre-edge peak at
/// 7114 eV and a strong white line at 7131 eV). Insert A (the larger) holds 75 % metal and 25 % oxide,
/// insert B 20 % metal and 80 % oxide. The rest of the object absorbs as E^−3. Between energies the
/// sample drifts smoothly, at most 2 pixels from where it was at the first energy along each axis.
struct XanesDemoSetup
{
    ScanSetup scan; // size, projections, noise; the flat field grows gently with energy
    double ironPre = 0.004; // attenuation per pixel of an insert's iron just below the edge
    double ironJump = 0.03; // its edge jump, per pixel
    double maxDrift = 2.0; // pixels, each axis
};

/// The energies of the scan: coarse before and after the edge, 1.5 eV across it (37 of them).
std::vector<double> xanesDemoEnergies();

/// The normalised spectra of the two species at `energy` (eV): 0 well below the edge, about 1 above.
double metalSpectrum(double energy);
double oxideSpectrum(double energy);

/// The sample's drift at energy index `i`, in pixels: along the rotation axis (z, slices), across
/// the slice's rows (y) and columns (x) of a reconstruction.
struct Drift
{
    double z = 0.0;
    double y = 0.0;
    double x = 0.0;
};
Drift xanesDemoDrift(int i, const XanesDemoSetup &setup);

/// The object at energy index `i`, drifted.
Phantom xanesDemoPhantom(int i, const XanesDemoSetup &setup);

/// Writes the series into `dir`: projections/demo-ENERGY-NNNN.img (one data set per energy),
/// i0/I0-ENERGY-0001.img, bg.img, standards/metal.txt and standards/oxide.txt (energy in eV and
/// normalised absorption, "#" comments), drift.tsv (the drift per energy in pixels) and
/// composition.tsv (each insert: where it is and its shares). Energies are written on `threads`
/// threads. False (and `error` set) when a file cannot be written.
bool writeXanesDemo(const XanesDemoSetup &setup, const QString &dir, int threads, QString *error = nullptr);
