#pragma once

// Local
#include "ct/sgmgeometry.h"
#include <memory>
#include <vector>

/// The per-slice constants of resampling and correcting slice lines onto a sinogram grid: for sample
/// i, the interpolation weight (x0 + frac) − x0 of its pixel pair, the reference a = I0 − BG (1 where
/// that is not positive) and the dark level BG, all resampled like the projections.
struct LineCorrection
{
    SgmGeometry g;
    std::shared_ptr<const std::vector<double>> weight; // the same for every slice of a geometry
    std::vector<double> reference;
    std::vector<double> dark;
};

/// The interpolation weights of `g`.
std::shared_ptr<const std::vector<double>> lineWeights(const SgmGeometry &g);
/// The corrections of one slice from its resampled I0 and BG lines (`g.width` values each).
LineCorrection makeLineCorrection(const SgmGeometry &g, std::shared_ptr<const std::vector<double>> weights,
    const std::vector<double> &i0, const std::vector<double> &bg);

/// One projection's slice line (L values) resampled into `raw` and corrected into `att` (`width`
/// values each; `raw` may be null). The same bits as `resampleLine` followed by `attenuation` sample
/// by sample: the interpolation's division by x1 − x0 = 1 is exact and left out, and a only depends
/// on the slice.
void correctLine(const double *line, const LineCorrection &lc, double *raw, double *att);
