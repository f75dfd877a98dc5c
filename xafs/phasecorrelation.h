#pragma once

// Qt
#include <QString>

// Local
#include "xafs/fftvolume.h"
#include "xafs/volume.h"
#include <array>
#include <memory>

/// How volumes are registered.
struct RegistrationSettings
{
    /// The share of each axis of the registered region tapered to zero at its ends (a Tukey
    /// window): what lies at the region's faces does not wrap around into a false edge.
    double taper = 0.5;
    /// The Gaussian weight of the cross-power spectrum, its standard deviation in cycles per voxel:
    /// frequencies where noise outweighs the structure are left out, and the correlation peak is
    /// smooth enough to be refined well.
    double lowPass = 0.2;
    /// Re-registrations with the window moved with the sample (see PhaseCorrelation), at most.
    int followUps = 2;
};

/// The side of the reference: its volume, the box registered on and that box's windowed, whitened
/// spectrum. Made once and then only read, by any number of threads.
class RegistrationReference
{
public:
    /// False (with the reason) when the box is empty or outside the volume, or memory is short.
    static std::shared_ptr<const RegistrationReference> make(std::shared_ptr<const Volume> volume,
        const VolumeBox &box, const RegistrationSettings &settings, QString *error = nullptr);

    const Volume &volume() const { return *volume_; }
    const VolumeBox &box() const { return box_; }
    const RegistrationSettings &settings() const { return settings_; }
    const SpectrumVolume &spectrum() const { return spectrum_; }

private:
    RegistrationReference() = default;
    std::shared_ptr<const Volume> volume_;
    VolumeBox box_;
    RegistrationSettings settings_;
    SpectrumVolume spectrum_;
};

struct RegistrationResult
{
    bool ok = false;
    QString problem;
    /// A feature's position in the moving volume minus its position in the reference, in voxels.
    Shift3 shift;
    /// The height of the correlation peak over its largest possible value: 1 for volumes that are
    /// shifts of each other.
    double score = 0.0;
    int passes = 0;
};

/// The 3D translation between a volume and a reference by phase correlation (the whitened
/// cross-power spectrum, weighted by a Gaussian low-pass), its peak found on the inverse transform
/// and refined to a small fraction of a voxel by the upsampled DFT around it (Guizar-Sicairos,
/// Thurman and Fienup 2008). Both volumes are taken on the reference's box, less their windowed
/// means, under a Tukey window.
///
/// A window fixed to the voxel grid pulls the estimate towards no shift (it is the same in both
/// volumes); so once the shift is known roughly the registration is done again with each volume's
/// window on the region the two share — the moving one's moved by the estimate, to the sub-voxel,
/// its content taken at the whole-voxel part of the estimate. Then the windowed moving volume is a
/// shift of the windowed reference and the window biases nothing; one such pass usually settles it.
/// Whitening makes the peak depend on where edges are rather than on how strong they are, so a
/// material whose contrast changes across an absorption edge moves the peak little.
///
/// One per thread: it holds two spectra of the box's size.
/// \test tst_registration.cpp
class PhaseCorrelation
{
public:
    explicit PhaseCorrelation(std::shared_ptr<const RegistrationReference> reference);

    /// Registers `moving` (of the reference's shape) to the reference.
    RegistrationResult align(const Volume &moving);

private:
    // Refines the peak of the cross-power spectrum in `moving_` near `start` on a grid of `spacing`.
    bool refine(const Shift3 &start, double spacing, Shift3 &found, double &height);
    std::shared_ptr<const RegistrationReference> reference_;
    SpectrumVolume moving_;
    SpectrumVolume scratch_;
    std::array<std::vector<float>, 3> gauss_; // per axis; x over the half spectrum
    double gaussTotal_ = 1.0;
};

/// The per-axis Tukey window over the continuous interval (a, b), sampled at i − offset for
/// i = 0 … n − 1: zero outside, a raised cosine over `taper`/2 of the interval at each end.
std::vector<float> tukeyWindow(int n, double a, double b, double taper, double offset = 0.0);
