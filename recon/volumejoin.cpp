#include "recon/volumejoin.h"

// Qt
#include <QDir>
#include <QFile>
#include <QFileInfo>

// Local
#include "ct/atomicfile.h"
#include "imagedata/nexuswrite.h"
#include "recon/volumefile.h"
#include <algorithm>
#include <cstdio>
#include <limits>
#include <numeric>

namespace {

using hdf5::Id;
using nexus::dataset;
using nexus::group;
using nexus::stringAttribute;
using nexus::stringDataset;

bool joinFailed(QString *error, const QString &what)
{
    if (error) {
        const QString detail = hdf5::errorText();
        *error = detail.isEmpty() ? what : QStringLiteral("%1 (%2)").arg(what, detail);
    }
    return false;
}

Id openRead(const QString &path)
{
    Id access(H5Pcreate(H5P_FILE_ACCESS));
    H5Pset_file_locking(access.get(), false, true);
    return Id(H5Fopen(QFile::encodeName(path).constData(), H5F_ACC_RDONLY, access.get()));
}

Id createFile(const QString &path)
{
    Id access(H5Pcreate(H5P_FILE_ACCESS));
    H5Pset_file_locking(access.get(), false, true);
    return Id(H5Fcreate(QFile::encodeName(path).constData(), H5F_ACC_TRUNC, H5P_DEFAULT, access.get()));
}

// A whole 1-D dataset of `memType` elements, or false.
template<class T> bool readVector(hid_t file, const char *path, hid_t memType, std::vector<T> &values)
{
    Id set(H5Dopen2(file, path, H5P_DEFAULT));
    if (!set)
        return false;
    Id space(H5Dget_space(set.get()));
    hsize_t n = 0;
    if (H5Sget_simple_extent_ndims(space.get()) != 1
        || H5Sget_simple_extent_dims(space.get(), &n, nullptr) < 0 || n > (hsize_t(1) << 24))
        return false;
    values.resize(size_t(n));
    return n == 0 || H5Dread(set.get(), memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0;
}

// The name that leads from the folder of `from` to `to`.
QByteArray relativeName(const QString &from, const QString &to)
{
    return QFile::encodeName(
        QFileInfo(from).absoluteDir().relativeFilePath(QFileInfo(to).absoluteFilePath()));
}

// The virtual float dataset "data" of `dims` (rank 3 or 4) in `parent`, each source's whole volume
// (its /entry/data/data, z × y × x) mapped at its offset along the first dimension.
Id virtualData(hid_t parent, const QString &target, int rank, const hsize_t *dims, const QStringList &sources,
    const std::vector<hsize_t> &offsets, const hsize_t *sourceDims)
{
    Id space(H5Screate_simple(rank, dims, nullptr));
    Id create(H5Pcreate(H5P_DATASET_CREATE));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    H5Pset_fill_value(create.get(), H5T_NATIVE_FLOAT, &nan);
    for (qsizetype i = 0; i < sources.size(); ++i) {
        hsize_t count[4] = {1, 1, 1, 1};
        hsize_t start[4] = {0, 0, 0, 0};
        start[0] = offsets[size_t(i)];
        if (rank == 3) {
            count[0] = sourceDims[size_t(i) * 3];
            count[1] = dims[1];
            count[2] = dims[2];
        } else {
            count[1] = dims[1];
            count[2] = dims[2];
            count[3] = dims[3];
        }
        Id source(H5Screate_simple(3, sourceDims + size_t(i) * 3, nullptr));
        Id selected(H5Scopy(space.get()));
        if (H5Sselect_hyperslab(selected.get(), H5S_SELECT_SET, start, nullptr, count, nullptr) < 0
            || H5Pset_virtual(create.get(), selected.get(), relativeName(target, sources[i]).constData(),
                   "/entry/data/data", source.get())
                < 0)
            return Id();
    }
    return Id(
        H5Dcreate2(parent, "data", H5T_IEEE_F32LE, space.get(), H5P_DEFAULT, create.get(), H5P_DEFAULT));
}

} // namespace

bool readVolumeShape(const QString &path, VolumeFileShape &shape, QString *error)
{
    const hdf5::Lock lock;
    Id file = openRead(path);
    if (!file)
        return joinFailed(error, QStringLiteral("cannot open %1").arg(path));
    Id data(H5Dopen2(file.get(), "/entry/data/data", H5P_DEFAULT));
    if (!data)
        return joinFailed(error, QStringLiteral("%1 holds no /entry/data/data").arg(path));
    Id space(H5Dget_space(data.get()));
    Id type(H5Dget_type(data.get()));
    hsize_t dims[3] = {0, 0, 0};
    if (H5Sget_simple_extent_ndims(space.get()) != 3
        || H5Sget_simple_extent_dims(space.get(), dims, nullptr) < 0 || H5Tget_class(type.get()) != H5T_FLOAT
        || H5Tget_size(type.get()) != 4)
        return joinFailed(error, QStringLiteral("the data of %1 are no volume of 32-bit floats").arg(path));
    shape.z = static_cast<long long>(dims[0]);
    shape.y = static_cast<long long>(dims[1]);
    shape.x = static_cast<long long>(dims[2]);
    if (!readVector(file.get(), "/entry/data/slice", H5T_NATIVE_INT, shape.slices)
        || shape.slices.size() != dims[0])
        return joinFailed(error, QStringLiteral("the slice numbers of %1 do not match its data").arg(path));
    return true;
}

bool joinVolumeBlocks(const QString &path, const QStringList &blocks, QString *error)
{
    if (blocks.isEmpty()) {
        if (error)
            *error = QStringLiteral("no block files to join into %1").arg(path);
        return false;
    }
    // The blocks in order of their slices.
    struct Block
    {
        QString path;
        VolumeFileShape shape;
    };
    std::vector<Block> parts;
    for (const QString &b : blocks) {
        Block block {b, {}};
        if (!readVolumeShape(b, block.shape, error))
            return false;
        if (!block.shape.slices.empty())
            parts.push_back(std::move(block));
    }
    if (parts.empty()) {
        if (error)
            *error = QStringLiteral("the blocks of %1 hold no slice").arg(path);
        return false;
    }
    std::sort(parts.begin(), parts.end(),
        [](const Block &a, const Block &b) { return a.shape.slices.front() < b.shape.slices.front(); });
    const Block &first = parts.front();
    std::vector<int> slices;
    std::vector<double> cors;
    std::vector<unsigned char> written;
    std::vector<hsize_t> offsets;
    std::vector<hsize_t> sourceDims;
    QStringList sources;
    for (const Block &b : parts) {
        if (b.shape.y != first.shape.y || b.shape.x != first.shape.x) {
            if (error)
                *error = QStringLiteral("%1 has slices of %2 × %3 pixels, %4 of %5 × %6")
                             .arg(b.path)
                             .arg(b.shape.x)
                             .arg(b.shape.y)
                             .arg(first.path)
                             .arg(first.shape.x)
                             .arg(first.shape.y);
            return false;
        }
        offsets.push_back(slices.size());
        sourceDims.insert(sourceDims.end(), {hsize_t(b.shape.z), hsize_t(b.shape.y), hsize_t(b.shape.x)});
        sources << b.path;
        slices.insert(slices.end(), b.shape.slices.begin(), b.shape.slices.end());
    }
    const QString part = volumePartPath(path);
    const hdf5::Lock lock;
    for (const Block &b : parts) {
        Id file = openRead(b.path);
        std::vector<double> c;
        std::vector<unsigned char> w;
        if (!file || !readVector(file.get(), "/entry/reconstruction/centre_of_rotation", H5T_NATIVE_DOUBLE, c)
            || !readVector(file.get(), "/entry/reconstruction/slice_written", H5T_NATIVE_UCHAR, w))
            return joinFailed(error, QStringLiteral("cannot read the record of %1").arg(b.path));
        cors.insert(cors.end(), c.begin(), c.end());
        written.insert(written.end(), w.begin(), w.end());
    }
    bool ok = false;
    {
        Id file = createFile(part);
        Id source = openRead(first.path);
        Id entry = file ? group(file.get(), "entry", "NXentry") : Id();
        Id data = entry ? group(entry.get(), "data", "NXdata") : Id();
        Id process = entry ? group(entry.get(), "reconstruction", "NXprocess") : Id();
        const hsize_t dims[3] = {hsize_t(slices.size()), hsize_t(first.shape.y), hsize_t(first.shape.x)};
        ok = source && data && process && stringAttribute(file.get(), "default", QStringLiteral("entry"))
            && stringAttribute(file.get(), "creator", QStringLiteral("Quorvel"))
            && stringAttribute(entry.get(), "default", QStringLiteral("data"))
            && stringAttribute(data.get(), "signal", QStringLiteral("data"))
            && nexus::stringArrayAttribute(
                data.get(), "axes", {QStringLiteral("slice"), QStringLiteral("."), QStringLiteral(".")})
            && nexus::intAttribute(data.get(), "slice_indices", 0);
        if (ok) {
            Id volume = virtualData(data.get(), part, 3, dims, sources, offsets, sourceDims.data());
            const hsize_t z = slices.size();
            Id slice = dataset(data.get(), "slice", H5T_STD_I32LE, H5T_NATIVE_INT, 1, &z, slices.data());
            Id cor = dataset(
                process.get(), "centre_of_rotation", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &z, cors.data());
            Id done = dataset(
                process.get(), "slice_written", H5T_STD_U8LE, H5T_NATIVE_UCHAR, 1, &z, written.data());
            Id blocksSet = stringDataset(process.get(), "blocks", sources.join(u'\n'));
            ok = volume && slice && cor && done && blocksSet
                && stringAttribute(volume.get(), "interpretation", QStringLiteral("image"))
                && stringAttribute(volume.get(), "long_name",
                    QStringLiteral("slices z, rows y, columns x of the region, joined from the blocks"))
                && stringAttribute(slice.get(), "long_name", QStringLiteral("slice number"))
                && stringAttribute(cor.get(), "units", QStringLiteral("pixel"));
            // The rest of the record is the same in every block.
            for (const char *name :
                {"rotation_angle", "region", "program", "version", "settings", "compression"})
                ok = ok
                    && H5Ocopy(source.get(), (QByteArrayLiteral("/entry/reconstruction/") + name).constData(),
                           process.get(), name, H5P_DEFAULT, H5P_DEFAULT)
                        >= 0;
            ok = ok
                && H5Ocopy(source.get(), "/entry/program_name", entry.get(), "program_name", H5P_DEFAULT,
                       H5P_DEFAULT)
                    >= 0;
        }
        if (!ok)
            joinFailed(error, QStringLiteral("cannot write %1 from its blocks").arg(part));
    }
    if (!ok) {
        QFile::remove(part);
        return false;
    }
    return renameIntoPlace(part, path, error);
}

bool writeSeriesMaster(const QString &path, const std::vector<EnergyVolume> &energies, QString *error)
{
    if (energies.empty()) {
        if (error)
            *error = QStringLiteral("no energy's volume for %1").arg(path);
        return false;
    }
    std::vector<EnergyVolume> sorted = energies;
    std::stable_sort(sorted.begin(), sorted.end(),
        [](const EnergyVolume &a, const EnergyVolume &b) { return a.energy < b.energy; });
    VolumeFileShape first;
    std::vector<hsize_t> sourceDims;
    std::vector<hsize_t> offsets;
    std::vector<double> eV;
    QStringList sources;
    for (const EnergyVolume &e : sorted) {
        VolumeFileShape shape;
        if (!readVolumeShape(e.path, shape, error))
            return false;
        if (sources.isEmpty())
            first = shape;
        if (shape.y != first.y || shape.x != first.x || shape.slices != first.slices) {
            if (error)
                *error
                    = QStringLiteral("%1 holds %2 slices of %3 × %4 pixels, %5 %6 of %7 × %8: the energies' "
                                     "volumes must match (the same slices and --region)")
                          .arg(e.path)
                          .arg(shape.z)
                          .arg(shape.x)
                          .arg(shape.y)
                          .arg(sources.constFirst())
                          .arg(first.z)
                          .arg(first.x)
                          .arg(first.y);
            return false;
        }
        offsets.push_back(sources.size());
        sourceDims.insert(sourceDims.end(), {hsize_t(shape.z), hsize_t(shape.y), hsize_t(shape.x)});
        sources << e.path;
        eV.push_back(e.energy);
    }
    const QString part = volumePartPath(path);
    bool ok = false;
    {
        const hdf5::Lock lock;
        Id file = createFile(part);
        Id entry = file ? group(file.get(), "entry", "NXentry") : Id();
        Id data = entry ? group(entry.get(), "data", "NXdata") : Id();
        const hsize_t dims[4]
            = {hsize_t(sorted.size()), hsize_t(first.z), hsize_t(first.y), hsize_t(first.x)};
        ok = data && stringAttribute(file.get(), "default", QStringLiteral("entry"))
            && stringAttribute(file.get(), "creator", QStringLiteral("Quorvel"))
            && stringAttribute(entry.get(), "default", QStringLiteral("data"))
            && stringAttribute(data.get(), "signal", QStringLiteral("data"))
            && nexus::stringArrayAttribute(data.get(), "axes",
                {QStringLiteral("energy"), QStringLiteral("slice"), QStringLiteral("."), QStringLiteral(".")})
            && nexus::intAttribute(data.get(), "energy_indices", 0)
            && nexus::intAttribute(data.get(), "slice_indices", 1);
        if (ok) {
            Id volume = virtualData(data.get(), part, 4, dims, sources, offsets, sourceDims.data());
            const hsize_t n = eV.size();
            const hsize_t z = first.slices.size();
            Id energy = dataset(data.get(), "energy", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &n, eV.data());
            Id slice
                = dataset(data.get(), "slice", H5T_STD_I32LE, H5T_NATIVE_INT, 1, &z, first.slices.data());
            Id program = stringDataset(entry.get(), "program_name", QStringLiteral("Quorvel"));
            Id files = stringDataset(entry.get(), "energy_files", sources.join(u'\n'));
            ok = volume && energy && slice && program && files
                && stringAttribute(volume.get(), "interpretation", QStringLiteral("image"))
                && stringAttribute(volume.get(), "long_name",
                    QStringLiteral(
                        "the slices of every energy (energy, z, y, x), read from the energies' files"))
                && stringAttribute(energy.get(), "units", QStringLiteral("eV"))
                && stringAttribute(slice.get(), "long_name", QStringLiteral("slice number"))
                && stringAttribute(program.get(), "version", programVersion());
        }
        if (!ok)
            joinFailed(error, QStringLiteral("cannot write %1").arg(part));
    }
    if (!ok) {
        QFile::remove(part);
        return false;
    }
    return renameIntoPlace(part, path, error);
}
