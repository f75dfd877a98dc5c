#pragma once

// Local
#include "view3d/slicedata.h"

/// The histogram of every value of the slices over valueMin … valueMax: bin k counts the values
/// nearest valueMin + k·width with width = (valueMax − valueMin)/(bins − 1), so the last bin is
/// centred on valueMax; values beyond either end fall into the end bins, NaN values into none. Its
/// picture is bins × height, white, with one line per bin in RGB(0, 220, 160) rising from the bottom
/// row to (height − 1)·(1 − count/largest count).
/// \test tst_slicedatas.cpp
SliceHistogram buildHistogram(
    const std::vector<SliceData> &slices, double valueMin, double valueMax, int bins = 50, int height = 100);
