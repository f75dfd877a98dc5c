#pragma once

// Local
#include "ct/sinogramdata.h"
#include "ct/sinogramgen.h"
#include <vector>

struct ProjectionSet;

/// Values of a picture, row after row; NaN where nothing is drawn.
struct ViewValues
{
    std::vector<double> values;
    int width = 0;
    int height = 0;
};

/// Projections per 180 degrees: ⌊180/range · count⌋, kept within 0 … 8·count so that an odd range
/// (0, negative, tiny) can never ask for an absurd picture.
int projectionsPer180(double rangeDeg, int count);

/// The resampled sinogram over 360 degrees: rows 0 … n180 − 1 are the first n180 sinogram rows, rows
/// n180 … 2·n180 − 1 the same rows mirrored left-right (the projections 180 degrees further on).
ViewValues sinogramView360(const SinogramData &sinogram, int n180);

/// The raw slice lines of projections start … start + n180 − 1 (round the set), sampled at
/// cor − L + c for c = 0 … 2L − 1 (0 outside the line), with the mirrored half below.
ViewValues sinogramViewDirect(const ProjectionSet &set, const SinogramRequest &request, int n180);

/// The attenuation sinogram (`att`) with the mirrored half below, as `sinogramView360` shows the raw
/// counts; with `lineLength` L > 0 on the direct view's grid instead: 2L columns, the centre of
/// rotation at column L (NaN where the sinogram has no sample).
ViewValues attenuationView(const SinogramData &sinogram, int n180, int lineLength);

/// Magnitude of the 2D DFT of the sinogram stacked on its mirror image (2·height rows), scaled by
/// 1/(2·height·width); no shift of the zero frequency. Plans with FFTW: call from the main thread.
ViewValues fourierSinogram(const SinogramData &sinogram);
