#pragma once

// Local
#include <cstddef>
#include <vector>

/// The size of a volume: nz slices of ny rows of nx columns (x fastest). z counts slice steps, y
/// image rows and x image columns, the order of `shifts.tsv` and of the aligned file.
struct VolumeShape
{
    int nz = 0;
    int ny = 0;
    int nx = 0;

    std::size_t voxels() const { return std::size_t(nz) * std::size_t(ny) * std::size_t(nx); }
    std::size_t plane() const { return std::size_t(ny) * std::size_t(nx); }
    int extent(int axis) const { return axis == 0 ? nz : axis == 1 ? ny : nx; }
    bool operator==(const VolumeShape &) const = default;
};

/// One energy's volume of 32-bit floats.
struct Volume
{
    VolumeShape shape;
    std::vector<float> values; // shape.voxels() of them, slice after slice

    float at(int z, int y, int x) const { return values[(std::size_t(z) * shape.ny + y) * shape.nx + x]; }
    float *slice(int z) { return values.data() + std::size_t(z) * shape.plane(); }
    const float *slice(int z) const { return values.data() + std::size_t(z) * shape.plane(); }
};

/// A translation in voxels, z (slices), y (rows), x (columns).
struct Shift3
{
    double z = 0.0;
    double y = 0.0;
    double x = 0.0;

    double operator[](int axis) const { return axis == 0 ? z : axis == 1 ? y : x; }
    double &operator[](int axis) { return axis == 0 ? z : axis == 1 ? y : x; }
    Shift3 operator+(const Shift3 &o) const { return {z + o.z, y + o.y, x + o.x}; }
    Shift3 operator-(const Shift3 &o) const { return {z - o.z, y - o.y, x - o.x}; }
};

/// A box of voxels, begin inclusive and end exclusive on each axis (z, y, x).
struct VolumeBox
{
    int begin[3] = {0, 0, 0};
    int end[3] = {0, 0, 0};

    static VolumeBox whole(const VolumeShape &s) { return {{0, 0, 0}, {s.nz, s.ny, s.nx}}; }
    int size(int axis) const { return end[axis] - begin[axis]; }
    VolumeShape shape() const { return {size(0), size(1), size(2)}; }
    bool operator==(const VolumeBox &) const = default;
};
