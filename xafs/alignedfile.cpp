#include "xafs/alignedfile.h"

// Qt
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

// Local
#include "ct/atomicfile.h"
#include "imagedata/nexuswrite.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

using hdf5::Id;
using nexus::dataset;
using nexus::group;
using nexus::intAttribute;
using nexus::stringArrayAttribute;
using nexus::stringAttribute;
using nexus::stringDataset;

bool failed(QString *error, const QString &what)
{
    if (error) {
        const QString detail = hdf5::errorText();
        *error = detail.isEmpty() ? what : QStringLiteral("%1 (%2)").arg(what, detail);
    }
    return false;
}

} // namespace

struct AlignedFileWriter::Handles
{
    Id file;
    Id data; // /entry/data/data
};

AlignedChunk defaultAlignedChunk(const VolumeShape &shape)
{
    AlignedChunk c;
    c.slices = std::clamp(shape.nz, 1, c.slices);
    c.rows = std::clamp(shape.ny, 1, c.rows);
    c.columns = std::clamp(shape.nx, 1, c.columns);
    return c;
}

AlignedFileWriter::AlignedFileWriter() = default;

AlignedFileWriter::~AlignedFileWriter()
{
    abandon();
}

bool AlignedFileWriter::create(
    const QString &path, const VolumeShape &shape, const AlignedChunk &chunk, QString *error)
{
    abandon();
    path_ = path;
    shape_ = shape;
    written_ = 0;
    // A name of our own beside the final one; made by HDF5 itself (not there before: exclusive), so
    // that the file gets the permissions of any other file the program writes.
    const QFileInfo final(path);
    if (!QFileInfo(final.absolutePath()).isDir()) {
        if (error)
            *error = QStringLiteral("there is no folder %1").arg(final.absolutePath());
        return false;
    }
    temporary_ = final.absoluteDir().filePath(
        QStringLiteral(".%1.%2-%3")
            .arg(final.fileName())
            .arg(QCoreApplication::applicationPid())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    const hdf5::Lock lock;
    h_ = std::make_unique<Handles>();
    Id access(H5Pcreate(H5P_FILE_ACCESS));
    // The 1.10 format indexes the chunks of a growing dataset in an extensible array.
    H5Pset_libver_bounds(access.get(), H5F_LIBVER_V110, H5F_LIBVER_LATEST);
    h_->file.reset(
        H5Fcreate(QFile::encodeName(temporary_).constData(), H5F_ACC_EXCL, H5P_DEFAULT, access.get()));
    if (!h_->file) {
        const bool result = failed(error, QStringLiteral("cannot create %1").arg(temporary_));
        temporary_.clear(); // not ours
        abandon();
        return result;
    }
    Id entry = group(h_->file.get(), "entry", "NXentry");
    Id data = entry ? group(entry.get(), "data", "NXdata") : Id();
    if (!data || !stringAttribute(h_->file.get(), "default", QStringLiteral("entry"))
        || !stringAttribute(h_->file.get(), "creator", QStringLiteral("Quorvel"))
        || !stringAttribute(entry.get(), "default", QStringLiteral("data"))
        || !stringAttribute(data.get(), "signal", QStringLiteral("data"))
        || !stringArrayAttribute(data.get(), "axes",
            {QStringLiteral("energy"), QStringLiteral("slice"), QStringLiteral("."), QStringLiteral(".")})
        || !intAttribute(data.get(), "energy_indices", 0) || !intAttribute(data.get(), "slice_indices", 1)) {
        abandon();
        return failed(error, QStringLiteral("cannot write the groups of %1").arg(temporary_));
    }
    const hsize_t dims[4] = {0, hsize_t(shape.nz), hsize_t(shape.ny), hsize_t(shape.nx)};
    const hsize_t most[4] = {H5S_UNLIMITED, dims[1], dims[2], dims[3]};
    const hsize_t chunks[4]
        = {hsize_t(std::max(chunk.energies, 1)), hsize_t(std::clamp(chunk.slices, 1, shape.nz)),
            hsize_t(std::clamp(chunk.rows, 1, shape.ny)), hsize_t(std::clamp(chunk.columns, 1, shape.nx))};
    Id space(H5Screate_simple(4, dims, most));
    Id create(H5Pcreate(H5P_DATASET_CREATE));
    H5Pset_chunk(create.get(), 4, chunks);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    H5Pset_fill_value(create.get(), H5T_NATIVE_FLOAT, &nan);
    h_->data.reset(
        H5Dcreate2(data.get(), "data", H5T_IEEE_F32LE, space.get(), H5P_DEFAULT, create.get(), H5P_DEFAULT));
    if (!h_->data || !stringAttribute(h_->data.get(), "interpretation", QStringLiteral("image"))
        || !stringAttribute(h_->data.get(), "long_name",
            QStringLiteral("slices aligned across energies (NaN: brought in from outside the volume)"))) {
        abandon();
        return failed(error, QStringLiteral("cannot create the dataset of %1").arg(temporary_));
    }
    return true;
}

bool AlignedFileWriter::append(const Volume &volume, QString *error)
{
    if (!h_ || !h_->data || !(volume.shape == shape_) || volume.values.size() != shape_.voxels()) {
        if (error)
            *error = QStringLiteral("the volume does not fit the aligned file");
        return false;
    }
    const hdf5::Lock lock;
    const hsize_t dims[4]
        = {hsize_t(written_ + 1), hsize_t(shape_.nz), hsize_t(shape_.ny), hsize_t(shape_.nx)};
    if (H5Dset_extent(h_->data.get(), dims) < 0)
        return failed(error, QStringLiteral("cannot extend the data of %1").arg(temporary_));
    Id file(H5Dget_space(h_->data.get()));
    const hsize_t start[4] = {hsize_t(written_), 0, 0, 0};
    const hsize_t count[4] = {1, dims[1], dims[2], dims[3]};
    Id memory(H5Screate_simple(4, count, nullptr));
    if (H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, start, nullptr, count, nullptr) < 0
        || H5Dwrite(
               h_->data.get(), H5T_NATIVE_FLOAT, memory.get(), file.get(), H5P_DEFAULT, volume.values.data())
            < 0)
        return failed(
            error, QStringLiteral("cannot write energy %1 into %2").arg(written_ + 1).arg(temporary_));
    ++written_;
    return true;
}

bool AlignedFileWriter::finish(const AlignedMetadata &m, QString *error)
{
    if (!h_ || !h_->file)
        return failed(error, QStringLiteral("the aligned file is not open"));
    const std::size_t n = std::size_t(written_);
    if (m.energies.size() != n || m.shifts.size() != n || m.peaks.size() != n || m.outside.size() != n) {
        abandon();
        if (error)
            *error = QStringLiteral("the record does not match the %1 volumes written").arg(n);
        return false;
    }
    {
        const hdf5::Lock lock;
        Id data(H5Gopen2(h_->file.get(), "entry/data", H5P_DEFAULT));
        Id entry(H5Gopen2(h_->file.get(), "entry", H5P_DEFAULT));
        const hsize_t count = n;
        const hsize_t slices = m.slices.size();
        std::vector<double> shifts;
        for (const Shift3 &s : m.shifts)
            shifts.insert(shifts.end(), {s.z, s.y, s.x});
        const hsize_t shiftDims[2] = {count, 3};
        Id energy
            = dataset(data.get(), "energy", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &count, m.energies.data());
        Id slice = dataset(data.get(), "slice", H5T_STD_I32LE, H5T_NATIVE_INT, 1, &slices, m.slices.data());
        Id program = stringDataset(entry.get(), "program_name", QStringLiteral("Quorvel"));
        Id process = group(entry.get(), "alignment", "NXprocess");
        bool ok = energy && slice && program && process
            && stringAttribute(energy.get(), "units", QStringLiteral("eV"))
            && stringAttribute(slice.get(), "long_name", QStringLiteral("slice number"))
            && stringAttribute(program.get(), "version", m.version);
        if (ok) {
            const hid_t p = process.get();
            Id prog = stringDataset(p, "program", QStringLiteral("quorvel-xanes"));
            Id version = stringDataset(p, "version", m.version);
            Id method = stringDataset(p, "method", m.method);
            Id shift = dataset(p, "shift", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 2, shiftDims, shifts.data());
            Id peak = dataset(p, "peak", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &count, m.peaks.data());
            Id outside
                = dataset(p, "nan_voxels", H5T_STD_U64LE, H5T_NATIVE_UINT64, 1, &count, m.outside.data());
            Id reference = dataset(
                p, "reference_energy", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 0, nullptr, &m.referenceEnergy);
            const hsize_t failedCount = m.failedEnergies.size();
            Id left = dataset(p, "failed_energy", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &failedCount,
                m.failedEnergies.empty() ? nullptr : m.failedEnergies.data());
            ok = prog && version && method && shift && peak && outside && reference && left
                && stringAttribute(shift.get(), "long_name",
                    QStringLiteral(
                        "dz, dy, dx: a feature's position in the energy's volume minus its position in "
                        "the reference volume"))
                && stringAttribute(shift.get(), "units", QStringLiteral("voxel"))
                && stringAttribute(peak.get(), "long_name",
                    QStringLiteral("Pearson correlation with the reference over their overlap"))
                && stringAttribute(reference.get(), "units", QStringLiteral("eV"))
                && stringAttribute(left.get(), "units", QStringLiteral("eV"));
            if (ok && m.box) {
                const int b[6] = {m.box->begin[0], m.box->begin[1], m.box->begin[2], m.box->end[0] - 1,
                    m.box->end[1] - 1, m.box->end[2] - 1};
                const hsize_t six = 6;
                Id box = dataset(p, "box", H5T_STD_I32LE, H5T_NATIVE_INT, 1, &six, b);
                ok = box
                    && stringAttribute(box.get(), "long_name",
                        QStringLiteral("Z0, Y0, X0, Z1, Y1, X1: the voxels registered on, inclusive"));
            }
        }
        if (!ok) {
            const bool result
                = failed(error, QStringLiteral("cannot write the record of %1").arg(temporary_));
            abandon();
            return result;
        }
        h_->data.reset();
        if (H5Fflush(h_->file.get(), H5F_SCOPE_LOCAL) < 0) {
            const bool result = failed(error, QStringLiteral("cannot complete %1").arg(temporary_));
            abandon();
            return result;
        }
        h_->file.reset(); // closed when the last of the objects above is, at the end of this block
    }
    h_.reset();
    const bool placed = renameIntoPlace(temporary_, path_, error);
    temporary_.clear(); // placed, or kept whole under that name (the error says so)
    return placed;
}

void AlignedFileWriter::abandon()
{
    if (h_) {
        const hdf5::Lock lock;
        h_.reset();
    }
    if (!temporary_.isEmpty())
        QFile::remove(temporary_);
    temporary_.clear();
}
