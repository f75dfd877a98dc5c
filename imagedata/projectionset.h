#pragma once

// Local
#include <memory>
#include <vector>

class ImgData;

/// What sinogram building reads: the projections of an image set in load order, with the I0 and
/// BG images that fit them (a missing or wrong-size image is left out, none is read out of bounds).
/// The images are shared, read-only after they were opened: a reader keeps them alive even if the
/// set or a selector lets go of them meanwhile.
struct ProjectionSet
{
    std::vector<std::shared_ptr<const ImgData>> images;
    std::shared_ptr<const ImgData> i0;
    std::shared_ptr<const ImgData> bg;
    int width = 0;
    int height = 0;

    int count() const { return static_cast<int>(images.size()); }
};
