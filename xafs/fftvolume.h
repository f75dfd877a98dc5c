#pragma once

// Local
#include "xafs/volume.h"
#include <cstddef>

/// A real volume and its half spectrum in one array, transformed in place by FFTW in single
/// precision: rows of nx reals padded to 2·(nx/2 + 1) floats, which after `forward` hold nx/2 + 1
/// complex values (re, im). The plans are made once per size for the whole process (FFTW_MEASURE
/// for large volumes), one at a time: FFTW's planner is not thread-safe. Transforms of different
/// arrays may run on any number of threads at once.
/// \test tst_registration.cpp
class SpectrumVolume
{
public:
    SpectrumVolume() = default;
    ~SpectrumVolume();
    SpectrumVolume(const SpectrumVolume &) = delete;
    SpectrumVolume &operator=(const SpectrumVolume &) = delete;

    /// Sizes the array (keeps it when the shape is the same); false when memory is short.
    bool allocate(const VolumeShape &shape);
    bool isAllocated() const { return data_ != nullptr; }
    const VolumeShape &shape() const { return shape_; }

    /// Floats per real row (the padding included).
    std::size_t rowStride() const { return 2 * columns(); }
    /// Complex values per spectrum row: nx/2 + 1.
    std::size_t columns() const { return std::size_t(shape_.nx / 2 + 1); }
    std::size_t rows() const { return std::size_t(shape_.nz) * std::size_t(shape_.ny); }
    float *row(int z, int y) { return data_ + (std::size_t(z) * shape_.ny + y) * rowStride(); }
    const float *row(int z, int y) const { return data_ + (std::size_t(z) * shape_.ny + y) * rowStride(); }
    float *data() { return data_; }
    const float *data() const { return data_; }

    /// Real volume → half spectrum, unnormalised.
    void forward();
    /// Half spectrum → real volume, unnormalised (a round trip multiplies by the voxel count).
    void inverse();

    /// Bytes an array of this shape takes.
    static std::size_t bytesFor(const VolumeShape &shape);

private:
    VolumeShape shape_;
    float *data_ = nullptr;
};
