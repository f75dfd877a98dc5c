#pragma once

// Local
#include <cstddef>
#include <vector>

/// One slice's sinogram on a grid centred on the centre of rotation: `height` rows (one per
/// projection used) of `width` = 2·half − 1 samples; column half − 1 lies exactly on the centre of
/// rotation. `raw` holds the resampled counts (what the sinogram images show), `att` the
/// attenuation values after the I0/BG correction (what the reconstruction uses).
struct SinogramData
{
    std::vector<double> att;
    std::vector<double> raw;
    int width = 0;
    int height = 0;
    int sliceNo = 0;

    bool hasData() const { return width > 0 && height > 0 && !att.empty(); }
    const double *attRow(int k) const { return att.data() + static_cast<std::size_t>(k) * width; }
    const double *rawRow(int k) const { return raw.data() + static_cast<std::size_t>(k) * width; }
};
