#pragma once

// Local
#include "view3d/volumerender.h"
#include <vector>

/// One slice set in the picture.
struct SceneSet
{
    SliceStackPtr stack;
    SetLook look;
    bool showFrame = true;
    bool showVolume = true;
};

/// The whole picture on a pw × ph painter: white, then set by set the back of its box, its volume
/// (blended with the set's opacity over what is there) and the front of its box, the box in the
/// volume colour. Sets without data are left out. The volumes go in as images, so an SVG painter
/// gets one embedded raster image per set and the boxes as lines.
/// \test tst_volumerender.cpp
void paintVolumeScene(QPainter &p, const ViewFrame &frame, int pw, int ph, const std::vector<SceneSet> &sets);
