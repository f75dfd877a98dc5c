// The aligned file read back a box at a time, for the XANES maps.

// Qt
#include <QFile>
#include <QFileInfo>

// Local
#include "config/specialfile.h"
#include "imagedata/hdf5access.h"
#include "xafs/slabsource.h"
#include <algorithm>
#include <climits>
#include <cmath>

namespace {

using hdf5::Id;

class AlignedFileSource : public SlabSource
{
public:
    ~AlignedFileSource() override
    {
        const hdf5::Lock lock; // the identifiers are closed under it
        data_.reset();
        file_.reset();
    }
    bool open(const QString &path, QString &error);
    QString name() const override
    {
        return QStringLiteral("%1 (%2 energies of %3 x %4 x %5)")
            .arg(QFileInfo(path_).fileName())
            .arg(energies_.size())
            .arg(shape_.nz)
            .arg(shape_.ny)
            .arg(shape_.nx);
    }
    bool read(std::span<const int> energyIndices, const VolumeBox &box, float *out, QString &error) override;
    VolumeShape grain() const override { return grain_; }

private:
    QString path_;
    VolumeShape grain_;
    Id file_;
    Id data_;
};

// A one-dimensional dataset of `count` values read as doubles; false when it is not one.
bool readVector(hid_t file, const char *path, hsize_t count, std::vector<double> &values)
{
    if (!hdf5::pathExists(file, path))
        return false;
    Id set(H5Dopen2(file, path, H5P_DEFAULT));
    Id space(set ? H5Dget_space(set.get()) : H5I_INVALID_HID);
    Id type(set ? H5Dget_type(set.get()) : H5I_INVALID_HID);
    hsize_t dims[1] = {0};
    if (!space || !type || H5Sget_simple_extent_ndims(space.get()) != 1
        || H5Sget_simple_extent_dims(space.get(), dims, nullptr) != 1 || dims[0] != count
        || (H5Tget_class(type.get()) != H5T_FLOAT && H5Tget_class(type.get()) != H5T_INTEGER))
        return false;
    values.resize(std::size_t(count));
    return H5Dread(set.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0;
}

bool AlignedFileSource::open(const QString &path, QString &error)
{
    path_ = path;
    if (const QString kind = specialFileKind(path); !kind.isEmpty()) {
        error = QStringLiteral("%1 is %2, not an aligned file").arg(path, kind);
        return false;
    }
    const hdf5::Lock lock;
    file_.reset(H5Fopen(QFile::encodeName(path).constData(), H5F_ACC_RDONLY, H5P_DEFAULT));
    if (!file_) {
        error = QStringLiteral("%1 cannot be opened as an HDF5 file (%2)").arg(path, hdf5::errorText());
        return false;
    }
    const QString what = QStringLiteral(
        "%1 is not an aligned series: it needs /entry/data/data, floats (energy, z, y, x), and "
        "/entry/data/energy, one rising energy in eV per volume")
                             .arg(path);
    if (!hdf5::pathExists(file_.get(), "/entry/data/data")) {
        error = what;
        return false;
    }
    data_.reset(H5Dopen2(file_.get(), "/entry/data/data", H5P_DEFAULT));
    Id space(data_ ? H5Dget_space(data_.get()) : H5I_INVALID_HID);
    Id type(data_ ? H5Dget_type(data_.get()) : H5I_INVALID_HID);
    hsize_t dims[4] = {0, 0, 0, 0};
    if (!space || !type || H5Tget_class(type.get()) != H5T_FLOAT
        || H5Sget_simple_extent_ndims(space.get()) != 4
        || H5Sget_simple_extent_dims(space.get(), dims, nullptr) != 4) {
        error = what;
        return false;
    }
    for (int a = 0; a < 4; ++a)
        if (dims[a] < 1 || dims[a] > hsize_t(INT_MAX)) {
            error = QStringLiteral("%1: a dimension of /entry/data/data is %2").arg(path).arg(dims[a]);
            return false;
        }
    shape_ = {int(dims[1]), int(dims[2]), int(dims[3])};
    // Blocks of whole chunks: each chunk is read once, in one piece, into the library's cache (made
    // to hold a few) and spread from there, rather than in pieces of a row straight into the block.
    grain_ = {1, 1, shape_.nx};
    Id create(H5Dget_create_plist(data_.get()));
    hsize_t chunk[4] = {1, 1, 1, 1};
    if (create && H5Pget_layout(create.get()) == H5D_CHUNKED && H5Pget_chunk(create.get(), 4, chunk) == 4) {
        grain_ = {int(std::min<hsize_t>(chunk[1], dims[1])), int(std::min<hsize_t>(chunk[2], dims[2])), shape_.nx};
        const double bytes = double(chunk[0]) * chunk[1] * chunk[2] * chunk[3] * sizeof(float);
        Id access(H5Pcreate(H5P_DATASET_ACCESS));
        H5Pset_chunk_cache(access.get(), 521, std::size_t(std::clamp(4.0 * bytes, 1.0 * (1 << 20), 256.0 * (1 << 20))), 1.0);
        data_.reset(H5Dopen2(file_.get(), "/entry/data/data", access.get()));
        if (!data_) {
            error = what;
            return false;
        }
    }
    if (!readVector(file_.get(), "/entry/data/energy", dims[0], energies_)) {
        error = what;
        return false;
    }
    for (std::size_t i = 0; i < energies_.size(); ++i)
        if (!std::isfinite(energies_[i]) || (i > 0 && !(energies_[i] > energies_[i - 1]))) {
            error = QStringLiteral("%1: the energies do not rise").arg(path);
            return false;
        }
    std::vector<double> slices;
    slices_.clear();
    if (readVector(file_.get(), "/entry/data/slice", dims[1], slices))
        for (double s : slices)
            slices_.push_back(std::isfinite(s) && std::abs(s) < 1e9 ? int(s) : 0);
    else
        for (int z = 0; z < shape_.nz; ++z)
            slices_.push_back(z);
    return true;
}

bool AlignedFileSource::read(
    std::span<const int> energyIndices, const VolumeBox &box, float *out, QString &error)
{
    const std::size_t voxels = box.shape().voxels();
    for (int a = 0; a < 3; ++a)
        if (box.begin[a] < 0 || box.end[a] > shape_.extent(a) || box.size(a) < 1) {
            error = QStringLiteral("a box outside the volume");
            return false;
        }
    const hdf5::Lock lock;
    Id file(H5Dget_space(data_.get()));
    std::size_t r = 0;
    while (r < energyIndices.size()) {
        std::size_t run = 1; // consecutive energies in one hyperslab
        while (r + run < energyIndices.size() && energyIndices[r + run] == energyIndices[r] + int(run))
            ++run;
        const hsize_t start[4] = {
            hsize_t(energyIndices[r]), hsize_t(box.begin[0]), hsize_t(box.begin[1]), hsize_t(box.begin[2])};
        const hsize_t count[4]
            = {hsize_t(run), hsize_t(box.size(0)), hsize_t(box.size(1)), hsize_t(box.size(2))};
        Id memory(H5Screate_simple(4, count, nullptr));
        if (H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, start, nullptr, count, nullptr) < 0
            || H5Dread(data_.get(), H5T_NATIVE_FLOAT, memory.get(), file.get(), H5P_DEFAULT, out + r * voxels)
                < 0) {
            error = QStringLiteral("%1 cannot be read (%2)").arg(path_, hdf5::errorText());
            return false;
        }
        r += run;
    }
    return true;
}

} // namespace

std::unique_ptr<SlabSource> openAlignedFile(const QString &path, QString &error)
{
    auto source = std::make_unique<AlignedFileSource>();
    if (!source->open(path, error))
        return nullptr;
    return source;
}
