#pragma once

// Local
#include <span>

/// The sampling grid of a sinogram: `width` = 2·half − 1 samples centred on the centre of rotation,
/// half = ⌊min(cor, L − cor − 1)⌋, so every sample and its right neighbour lie inside the line.
struct SgmGeometry
{
    bool rowLines = true; // slice lines are image rows (the rotation axis is vertical)
    int half = 0;
    int width = 0;
    double cor = 0.0;
    int base = 0; // ⌊cor⌋
    double frac = 0.0; // cor − base
};

SgmGeometry makeSgmGeometry(bool rowLines, int lineLength, double cor);

/// Whether a centre of rotation gives a sinogram at all: half ≥ 1, so 1 ≤ cor ≤ L − 2. (A centre
/// between L − 2 and L − 1 lies inside the line but leaves no sample on its right.)
bool corInsideLine(double cor, int lineLength);

/// The transform length of the reconstruction for a sinogram width: rounded down to even.
inline int fftLength(int sinogramWidth)
{
    return sinogramWidth > 0 ? (sinogramWidth & ~1) : 0;
}

/// Linear interpolation through (x0, y0) and (x1, y1); the mean when x1 = x0.
inline double lerp2(double x, double x0, double y0, double x1, double y1)
{
    if (x1 == x0)
        return (y0 + y1) / 2.0;
    return (x - x0) * (y1 - y0) / (x1 - x0) + y0;
}

/// Samples `line` at cor + (i − (half − 1)) for i = 0 … width − 1 into `out` (width values).
void resampleLine(std::span<const double> line, std::span<double> out, const SgmGeometry &g);
