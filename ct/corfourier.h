#pragma once

// Qt
#include <QString>

// Local
#include "ct/corsearch.h"
#include <complex>
#include <optional>
#include <span>
#include <vector>

struct ProjectionSet;
struct SinogramRequest;

/// The centre-of-rotation search of Vo, Atwood and Drakopoulos (Optics Express 22, 19078, 2014).
/// The sinogram of the first 180° and its mirror image, which for a trial centre c stands for the
/// projections 180° further on (p(θ + π, x) = p(θ, 2c − x)), make a sinogram of 360°. At the right
/// centre the halves join without a seam, and the 2D spectrum of the sinogram of an object inside
/// the field stays inside the double wedge |m| ≤ R·ω (angular frequency m in cycles per turn,
/// detector frequency ω in radians per pixel, R the radius of the field); a seam puts energy outside
/// it. The metric is the spectrum's magnitude summed outside the wedge; its minimum is the centre.
///
/// The mirrored half is shifted by a phase ramp on the rows' spectra, so every trial centre, whole
/// or not, is sampled alike (no interpolation that smooths some trials more than others), and the
/// 2D spectrum of any trial is a sum of two spectra computed once: a trial costs only the sum over
/// the wedge. Rows are padded to twice their length with a taper from their end values to zero, so
/// that projections truncated by the field of view do not wrap round.
/// \test tst_corguess.cpp
class FourierCorMetric
{
public:
    /// `sinogram`: `rows` rows of `lineLength` attenuation values, row k at k · 180° / rows.
    /// Plans FFTs: call it on the thread that plans (the main thread).
    FourierCorMetric(std::span<const double> sinogram, int rows, int lineLength);

    /// The metric at trial centre `cor` (pixels along the line), over angular frequencies up to
    /// `maxAngular` (at most `angularLimit()`); lower is better.
    double operator()(double cor, int maxAngular) const;
    int angularLimit() const { return maxM_; }
    bool isValid() const { return maxM_ >= 2 && columns_ >= 1; }

private:
    int lineLength_ = 0;
    int padded_ = 0; // P: the rows' length after padding
    int lead_ = 0; // padding before the line
    int maxM_ = 0; // angular frequencies kept: −maxM_ … maxM_
    int columns_ = 0; // detector frequencies kept: 1 … columns_
    // Spectrum of the 180° half, zero-padded to 360°: A(m, j) for m = −maxM_ … maxM_ (row m + maxM_)
    // and j = 1 … columns_ (column j − 1).
    std::vector<std::complex<double>> half_;
    std::complex<double> at(int m, int j) const
    {
        return half_[static_cast<size_t>(m + maxM_) * columns_ + (j - 1)];
    }
};

/// The search over [from, to]: every whole pixel at a coarse angular resolution, then steps of
/// 0.05 pixel within 1.5 pixel of the best, and the vertex of a parabola fitted over half a pixel
/// on each side of the lowest. Plans FFTs.
CorSearchResult fourierCorPosition(
    std::span<const double> sinogram, int rows, int lineLength, double from, double to);

/// The default search range of a line of `lineLength` pixels: centres whose mirror image overlaps
/// at least half of the line, the middle ± a quarter of the line.
std::pair<double, double> fourierCorRange(int lineLength);

/// The search on an image set: the slice lines of the images of the first 180° used, corrected
/// into attenuation with the set's I0 and BG (not resampled), searched over `fourierCorRange`.
/// None, with the reason in `problem`, when the set holds no 180° for that slice.
std::optional<CorSearchResult> fourierCor(
    const ProjectionSet &set, const SinogramRequest &request, double rangeDeg, QString *problem = nullptr);

/// The attenuation lines of a slice: `rows` images from the first used on (round the set), each
/// slice line corrected with the set's I0 and BG lines (1 and 0 when the set has none), not
/// resampled; rows × L values. Empty when the slice is not a line of the images.
std::vector<double> sliceAttenuation(const ProjectionSet &set, const SinogramRequest &request, int rows);
