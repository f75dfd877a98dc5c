#pragma once

// Local
#include <span>
#include <vector>

/// For each column j of a sinogram `width` wide, the least-squares parabola through the columns
/// j − half … j + half other than j itself (those inside the sinogram, and only those with a weight
/// above 0): its value at j is what the neighbours make of column j, exact for any profile that is a
/// polynomial of degree 3 or less about j (away from the ends the window is symmetric and the cubic
/// term drops out). A smooth sample deviates from it by its fourth derivative, a faulty column by its
/// whole offset: unlike a median of the neighbours, it follows the sample's curvature where the
/// sample looks the same from every angle (about the rotation axis), so that curvature is not taken
/// for a stripe.
class NeighbourFit
{
public:
    /// `weights`: one per column (0 leaves the column out of its neighbours' fits); none: all 1.
    NeighbourFit(int width, int half, std::span<const double> weights = {});

    int width() const { return width_; }
    int half() const { return half_; }
    /// Whether column j has neighbours enough for a parabola (else it predicts nothing).
    bool valid(int j) const { return valid_[j] != 0; }
    /// The first column of j's window; `weights`(j)[i] belongs to column first(j) + i.
    int first(int j) const;
    int last(int j) const;
    std::span<const double> weights(int j) const;
    /// The neighbours' value at j of a profile (one value per column).
    double predict(std::span<const double> profile, int j) const;
    /// The second derivative at j of the neighbours' parabola.
    double curvature(std::span<const double> profile, int j) const;
    /// The variance of `predict` at j when column i has noise of variance `variance`[i].
    double predictionVariance(std::span<const double> variance, int j) const;

private:
    int width_;
    int half_;
    int taps_; // 2·half + 1 weights per column, the own column's 0
    std::vector<double> value_, curve_; // width × taps
    std::vector<unsigned char> valid_;
};

/// Whether column j of a profile `width` columns wide lies within twice the half `window` of the
/// rotation axis (the middle of the profile), where a sample's features trace sinusoids too small to
/// leave a column's neighbours: there a column sees the sample at every angle, its shape included.
bool nearTheAxis(int j, int width, int window);

/// The curvature of the sample's mean profile at each column (`mean`: the columns' means over `rows`
/// rows; `noise`: each column's noise along the angle): the second derivatives of the parabolas fitted
/// to the `window` − 1 columns on either side (the column itself left out), the smaller when they
/// agree in sign, else none, so that the sample's edge on one side does not bend it. The fits leave
/// out the columns that stand out of their neighbours' fit more than four times the typical column
/// (or `snr` times their noise) and runs of three or more side by side that stand out alike (a group
/// of faulty columns), refitted until that set settles: a stripe is no curvature. Only within twice
/// the window of the axis (the middle of the profile), 0 elsewhere.
std::vector<double> profileCurvature(
    std::span<const double> mean, std::span<const double> noise, int rows, int window, double snr);

/// Whether an offset `level` of column j against its neighbours is the sample's mirror image rather
/// than a stripe. A sample centred on the axis (a tube, a cylinder) looks the same from every angle and
/// shows the same structure at the columns a + t and a − t about the axis a (the middle of the
/// profile); a faulty column has no such twin. It is when the offset stands out twice as far as a
/// stripe must (`snr` times the spread `sd`: the sample's sharp edges stand far out), and the column's
/// mean (`mean`) differs from the mirrored profile within half a column of the mirror image by no more
/// than a quarter of the offset and their spread, and at least three of the four columns about it
/// (j ± 1, j ± 2 against the mirrored ones) do too.
bool mirroredBySample(
    std::span<const double> mean, std::span<const double> sd, int j, double level, double snr);
