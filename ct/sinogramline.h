#pragma once

// Local
#include "ct/sgmgeometry.h"
#include <vector>

/// The per-slice constants of resampling and correcting slice lines onto a sinogram grid: for sample
/// i, the interpolation weight (x0 + frac) − x0 of its pixel pair, the reference a = I0 − BG (1 where
/// that is not positive) and the dark level BG, all resampled like the projections.
struct LineCorrection
{
    SgmGeometry g;
    std::vector<double> weight;
    std::vector<double> reference;
    std::vector<double> dark;
};

/// The weights of `g` and the corrections from resampled I0 and BG lines (`width` values each).
LineCorrection makeLineCorrection(
    const SgmGeometry &g, const std::vector<double> &i0, const std::vector<double> &bg);

/// One projection's slice line (L values) resampled into `raw` and corrected into `att` (`width`
/// values each; `raw` may be null). The same bits as `resampleLine` followed by `attenuation` sample
/// by sample: the interpolation's division by x1 − x0 = 1 is exact and left out, and a only depends
/// on the slice.
void correctLine(const double *line, const LineCorrection &lc, double *raw, double *att);
