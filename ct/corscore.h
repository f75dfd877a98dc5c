#pragma once

// Local
#include "ct/ctimagefile.h"
#include <span>
#include <vector>

/// What every trial of a scan is scored over, so that the scores compare: the circle of `radius`
/// pixels about the rotation axis (the smallest trial's circle), within `region` when one is set,
/// in a histogram of `bins` bins.
struct CorScoreSetup
{
    double radius = 0.0;
    bool hasRegion = false;
    Region region;
    int bins = 0;
};

/// The score setup of a scan whose smallest trial image is n × n pixels: a circle a little inside
/// that image's, and √(pixels in it) bins.
CorScoreSetup corScoreSetup(int smallestN, const Region *region = nullptr);

/// The sharpness score of a trial reconstruction (lower is sharper): the entropy of the histogram of
/// its values (Donath et al., J. Opt. Soc. Am. A 23, 1048, 2006), as a differential entropy, so that
/// the bin width (each trial's own value range over the same number of bins) does not enter.
///
/// Before the histogram every trial is brought to the same interpolation. The sinogram of a centre
/// c samples the lines at c + i: on the pixels for a whole c, halfway between them (the mean of two,
/// which halves the noise) for c + ½. That alone moves the entropy more than a step of the centre
/// does, so a plain score always prefers the halves. Linear interpolation at a fraction f weights
/// detector frequency ω by |H_f(ω)| = √(1 − 2f(1 − f)(1 − cos ω)); by the Fourier slice theorem the
/// image carries the same weight along its radial frequency. Each trial is filtered with
/// |H_½(ρ)| / |H_f(ρ)| (ρ in radians per pixel, nothing above π), so that every trial looks as if
/// sampled halfway between pixels, noise and detail alike.
/// \test tst_corguess.cpp
class CorScorer
{
public:
    CorScorer() = default;
    ~CorScorer();
    CorScorer(const CorScorer &) = delete;
    CorScorer &operator=(const CorScorer &) = delete;

    /// Buffers and FFT plans for n × n images; nothing is planned when n pads to the size planned
    /// last. Plans FFTs: call it on the thread that plans, never while the owner scores.
    void setup(int n);
    int n() const { return n_; }
    /// Gives the buffers back.
    void release();

    /// The score of an n × n image (row z, column x; n as set up, else NaN) whose sinogram sampled the
    /// lines `frac` (0 … 1) of a pixel past the detector pixels. Runs on the owner's thread.
    double score(std::span<const double> image, int n, double frac, const CorScoreSetup &setup);

private:
    int n_ = 0;
    int size_ = 0; // of the transforms: n padded with zeros to a size FFTW transforms fast
    // Single precision: the entropy needs no more, and the transforms take half the time.
    float *real_ = nullptr; // size × size
    void *spectrum_ = nullptr; // size × (size/2 + 1) complex
    void *forward_ = nullptr;
    void *inverse_ = nullptr;
    std::vector<double> inside_; // the values scored, kept between trials
};

/// The radial weight that turns interpolation at fraction `frac` into interpolation halfway:
/// |H_½(ρ)| / |H_f(ρ)| for ρ ≤ π, 0 above.
double equalisingWeight(double rho, double frac);

/// The differential entropy of `values` in a histogram of `bins` bins over their range (0 for fewer
/// than two distinct values).
double differentialEntropy(std::span<const double> values, int bins);
