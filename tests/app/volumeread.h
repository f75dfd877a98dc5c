#pragma once

// Qt
#include <QFile>
#include <QString>

// Local
#include "imagedata/hdf5access.h"
#include <vector>

// Reading the volume files back with the HDF5 C API, as another program would.

/// A dataset of a file read whole as `memType` (float, double, int, uchar), with its dimensions;
/// empty when the file or dataset cannot be read.
template<class T>
std::vector<T> readDataset(
    const QString &file, const char *path, hid_t memType, std::vector<hsize_t> *dims = nullptr)
{
    const hdf5::Lock lock;
    std::vector<T> values;
    hdf5::Id access(H5Pcreate(H5P_FILE_ACCESS));
    H5Pset_file_locking(access.get(), false, true);
    hdf5::Id f(H5Fopen(QFile::encodeName(file).constData(), H5F_ACC_RDONLY, access.get()));
    hdf5::Id set(f ? H5Dopen2(f.get(), path, H5P_DEFAULT) : H5I_INVALID_HID);
    if (!set) {
        hdf5::errorText();
        return values;
    }
    hdf5::Id space(H5Dget_space(set.get()));
    const int rank = H5Sget_simple_extent_ndims(space.get());
    std::vector<hsize_t> d(size_t(std::max(rank, 0)));
    H5Sget_simple_extent_dims(space.get(), d.data(), nullptr);
    size_t n = 1;
    for (hsize_t v : d)
        n *= size_t(v);
    values.resize(n);
    if (n > 0 && H5Dread(set.get(), memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) < 0) {
        hdf5::errorText();
        values.clear();
    }
    if (dims)
        *dims = d;
    return values;
}

inline std::vector<float> volumeValues(const QString &file, std::vector<hsize_t> *dims = nullptr)
{
    return readDataset<float>(file, "/entry/data/data", H5T_NATIVE_FLOAT, dims);
}

inline std::vector<int> volumeSlices(const QString &file)
{
    return readDataset<int>(file, "/entry/data/slice", H5T_NATIVE_INT);
}
