#pragma once

// Local
#include "imagedata/imagesource.h"
#include "imagedata/projectionset.h"
#include <vector>

/// What reading a block of slices needs, as plain copies for the reader's thread.
struct BlockSources
{
    std::vector<ImageSource> images;
    ImageSource i0;
    ImageSource bg;
    bool rowLines = true;
    int width = 0;
    int height = 0;
};

/// The lines `lines` of every projection, and of I0 and BG: an empty set and the reason when a
/// source cannot be read. Any thread.
ProjectionSet readBlockLines(const BlockSources &f, std::vector<int> lines, QString &error);
