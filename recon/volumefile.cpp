#include "recon/volumefile.h"

// Qt
#include <QDir>
#include <QFile>
#include <QFileInfo>

// Local
#include "ct/atomicfile.h"
#include "imagedata/chunkcodec.h"
#include "imagedata/nexuswrite.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

using hdf5::Id;
using nexus::dataset;
using nexus::group;
using nexus::stringAttribute;
using nexus::stringDataset;

// The LZ4 filter's registered number (Debian's hdf5-filter-plugin provides it).
constexpr H5Z_filter_t lz4Filter = chunkfilter::lz4;

bool failed(QString *error, const QString &what)
{
    if (error) {
        const QString detail = hdf5::errorText();
        *error = detail.isEmpty() ? what : QStringLiteral("%1 (%2)").arg(what, detail);
    }
    return false;
}

// A dataset of one dimension whose elements are written one at a time, `fill` until then.
Id filledVector(
    hid_t parent, const char *name, hid_t fileType, hid_t memType, hsize_t count, const void *fill)
{
    Id space(H5Screate_simple(1, &count, nullptr));
    Id create(H5Pcreate(H5P_DATASET_CREATE));
    H5Pset_fill_value(create.get(), memType, fill);
    H5Pset_alloc_time(create.get(), H5D_ALLOC_TIME_EARLY);
    return Id(H5Dcreate2(parent, name, fileType, space.get(), H5P_DEFAULT, create.get(), H5P_DEFAULT));
}

bool writeElement(hid_t set, hid_t memType, hsize_t index, const void *value)
{
    Id file(H5Dget_space(set));
    const hsize_t one = 1;
    Id memory(H5Screate_simple(1, &one, nullptr));
    return H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, &index, nullptr, &one, nullptr) >= 0
        && H5Dwrite(set, memType, memory.get(), file.get(), H5P_DEFAULT, value) >= 0;
}

} // namespace

bool parseVolumeCompression(const QString &word, VolumeCompression &compression)
{
    if (word == u"none")
        compression = VolumeCompression::None;
    else if (word == u"gzip")
        compression = VolumeCompression::Gzip;
    else if (word == u"lz4")
        compression = VolumeCompression::Lz4;
    else
        return false;
    return true;
}

int volumeFilter(VolumeCompression compression)
{
    return compression == VolumeCompression::Gzip ? chunkfilter::deflate
        : compression == VolumeCompression::Lz4   ? chunkfilter::lz4
                                                  : 0;
}

QString volumeCompressionWord(VolumeCompression compression)
{
    switch (compression) {
    case VolumeCompression::Gzip:
        return QStringLiteral("gzip");
    case VolumeCompression::Lz4:
        return QStringLiteral("lz4");
    case VolumeCompression::None:
        break;
    }
    return QStringLiteral("none");
}

QString volumeFileName(const QString &name, const QString &tag)
{
    return name.isEmpty() ? tag + QStringLiteral(".h5") : QStringLiteral("%1-%2.h5").arg(name, tag);
}

QString volumePartPath(const QString &path)
{
    return path + QStringLiteral(".part");
}

QString volumeBlockPath(const QString &path, int block)
{
    const QString suffix = QStringLiteral(".block%1.h5").arg(block, 3, 10, QLatin1Char('0'));
    return path.endsWith(QLatin1String(".h5")) ? path.chopped(3) + suffix : path + suffix;
}

QString programVersion()
{
    return QStringLiteral(QV_VERSION);
}

struct VolumeFileWriter::Handles
{
    Id file;
    Id data; // /entry/data/data
    Id cor; // /entry/reconstruction/centre_of_rotation
    Id written; // /entry/reconstruction/slice_written
};

VolumeFileWriter::VolumeFileWriter() = default;

VolumeFileWriter::~VolumeFileWriter()
{
    close();
}

void VolumeFileWriter::close()
{
    if (h_) {
        const hdf5::Lock lock;
        h_.reset();
    }
}

bool VolumeFileWriter::start(const QString &path, const VolumeLayout &layout, QString *error)
{
    close();
    path_.clear();
    written_ = 0;
    height_ = width_ = 0;
    const auto refuse = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(path);
    if (!QFileInfo(info.absolutePath()).isDir())
        return refuse(QStringLiteral("there is no folder %1").arg(info.absolutePath()));
    if (layout.slices.empty())
        return refuse(QStringLiteral("the run has no slices for %1").arg(path));
    if (layout.compression == VolumeCompression::Lz4) {
        const hdf5::Lock lock;
        if (H5Zfilter_avail(lz4Filter) <= 0) {
            hdf5::errorText(); // cleared
            return refuse(QStringLiteral("the HDF5 filter LZ4 (%1) is not installed (Debian: "
                                         "hdf5-filter-plugin; or set HDF5_PLUGIN_PATH)")
                              .arg(lz4Filter));
        }
    }
    layout_ = layout;
    order_ = layout.slices;
    std::sort(order_.begin(), order_.end());
    order_.erase(std::unique(order_.begin(), order_.end()), order_.end());
    done_.assign(order_.size(), false);
    path_ = info.absoluteFilePath();
    // An unfinished file of an earlier run is started again, never continued.
    QFile::remove(volumePartPath(path_));
    return true;
}

bool VolumeFileWriter::create(const Region &region, int height, int width, QString *error)
{
    const QString part = volumePartPath(path_);
    const hdf5::Lock lock;
    h_ = std::make_unique<Handles>();
    Id access(H5Pcreate(H5P_FILE_ACCESS));
    // Readers may open the file while slices are added: no lock of HDF5's own (the earliest file
    // format, whose superblock does not mark a file open for writing either).
    H5Pset_file_locking(access.get(), false, true);
    h_->file.reset(H5Fcreate(QFile::encodeName(part).constData(), H5F_ACC_TRUNC, H5P_DEFAULT, access.get()));
    if (!h_->file) {
        h_.reset();
        return failed(error, QStringLiteral("cannot create %1").arg(part));
    }
    const hid_t f = h_->file.get();
    Id entry = group(f, "entry", "NXentry");
    Id data = entry ? group(entry.get(), "data", "NXdata") : Id();
    Id process = entry ? group(entry.get(), "reconstruction", "NXprocess") : Id();
    const auto z = hsize_t(order_.size());
    bool ok = data && process && stringAttribute(f, "default", QStringLiteral("entry"))
        && stringAttribute(f, "creator", QStringLiteral("Quorvel"))
        && stringAttribute(entry.get(), "default", QStringLiteral("data"))
        && stringAttribute(data.get(), "signal", QStringLiteral("data"))
        && nexus::stringArrayAttribute(
            data.get(), "axes", {QStringLiteral("slice"), QStringLiteral("."), QStringLiteral(".")})
        && nexus::intAttribute(data.get(), "slice_indices", 0);
    if (ok) {
        const hsize_t dims[3] = {z, hsize_t(height), hsize_t(width)};
        const hsize_t chunk[3] = {1, dims[1], dims[2]};
        Id space(H5Screate_simple(3, dims, nullptr));
        Id create(H5Pcreate(H5P_DATASET_CREATE));
        H5Pset_chunk(create.get(), 3, chunk);
        const float nan = std::numeric_limits<float>::quiet_NaN();
        H5Pset_fill_value(create.get(), H5T_NATIVE_FLOAT, &nan);
        if (layout_.compression != VolumeCompression::None)
            H5Pset_shuffle(create.get());
        if (layout_.compression == VolumeCompression::Gzip)
            H5Pset_deflate(create.get(), 1);
        else if (layout_.compression == VolumeCompression::Lz4)
            H5Pset_filter(create.get(), lz4Filter, H5Z_FLAG_MANDATORY, 0, nullptr);
        h_->data.reset(H5Dcreate2(
            data.get(), "data", H5T_IEEE_F32LE, space.get(), H5P_DEFAULT, create.get(), H5P_DEFAULT));
        Id slice = dataset(data.get(), "slice", H5T_STD_I32LE, H5T_NATIVE_INT, 1, &z, order_.data());
        const double nanCor = std::numeric_limits<double>::quiet_NaN();
        h_->cor = filledVector(
            process.get(), "centre_of_rotation", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, z, &nanCor);
        const unsigned char no = 0;
        h_->written = filledVector(process.get(), "slice_written", H5T_STD_U8LE, H5T_NATIVE_UCHAR, z, &no);
        const hsize_t angles = layout_.anglesDeg.size();
        Id angle = dataset(process.get(), "rotation_angle", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &angles,
            layout_.anglesDeg.empty() ? nullptr : layout_.anglesDeg.data());
        const double r[4] = {region.x0, region.z0, region.x1, region.z1};
        const hsize_t four = 4;
        Id regionSet = dataset(process.get(), "region", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &four, r);
        Id program = stringDataset(entry.get(), "program_name", QStringLiteral("Quorvel"));
        Id prog = stringDataset(process.get(), "program", layout_.program);
        Id version = stringDataset(process.get(), "version", programVersion());
        Id settings = stringDataset(process.get(), "settings", layout_.settings.join(u'\n'));
        Id compression
            = stringDataset(process.get(), "compression", volumeCompressionWord(layout_.compression));
        ok = h_->data && slice && h_->cor && h_->written && angle && regionSet && program && prog && version
            && settings && compression
            && stringAttribute(h_->data.get(), "interpretation", QStringLiteral("image"))
            && stringAttribute(h_->data.get(), "long_name",
                QStringLiteral("slices z, rows y, columns x of the region: twice the attenuation per pixel "
                               "(NaN: a slice not written yet)"))
            && stringAttribute(slice.get(), "long_name", QStringLiteral("slice number"))
            && stringAttribute(h_->cor.get(), "units", QStringLiteral("pixel"))
            && stringAttribute(
                h_->written.get(), "long_name", QStringLiteral("1 where the slice's values are in the file"))
            && stringAttribute(angle.get(), "units", QStringLiteral("degree"))
            && stringAttribute(regionSet.get(), "long_name",
                QStringLiteral("x0, z0, x1, z1: the calculation region, pixels of the slice"))
            && stringAttribute(program.get(), "version", programVersion())
            && H5Fflush(f, H5F_SCOPE_LOCAL) >= 0;
    }
    if (!ok) {
        const bool result = failed(error, QStringLiteral("cannot write the layout of %1").arg(part));
        h_.reset();
        QFile::remove(part);
        return result;
    }
    height_ = height;
    width_ = width;
    return true;
}

bool VolumeFileWriter::addSlice(
    int slice, double cor, const Region &region, const RegionFloats &values, QString *error)
{
    const auto refuse = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!isStarted())
        return refuse(QStringLiteral("no volume file is started"));
    const auto at = std::lower_bound(order_.cbegin(), order_.cend(), slice);
    if (at == order_.cend() || *at != slice)
        return refuse(QStringLiteral("slice %1 is not one of the run's slices of %2").arg(slice).arg(path_));
    if (values.width < 1 || values.height < 1
        || values.values.size() != size_t(values.width) * size_t(values.height))
        return refuse(QStringLiteral("slice %1 holds no values for %2").arg(slice).arg(path_));
    if (!h_ && !create(region, values.height, values.width, error))
        return false;
    if (values.height != height_ || values.width != width_)
        return refuse(QStringLiteral("slice %1 has %2 × %3 pixels, the other slices of %4 %5 × %6")
                          .arg(slice)
                          .arg(values.width)
                          .arg(values.height)
                          .arg(path_)
                          .arg(width_)
                          .arg(height_));
    const auto z = hsize_t(at - order_.cbegin());
    const hdf5::Lock lock;
    Id file(H5Dget_space(h_->data.get()));
    const hsize_t start[3] = {z, 0, 0};
    const hsize_t count[3] = {1, hsize_t(height_), hsize_t(width_)};
    Id memory(H5Screate_simple(3, count, nullptr));
    const unsigned char yes = 1;
    // A chunk compressed where the slice was made goes in as it is; otherwise the library compresses.
    const bool encoded = !values.chunk.empty() && values.chunkFilter == volumeFilter(layout_.compression);
    if ((encoded ? H5Dwrite_chunk(
                       h_->data.get(), H5P_DEFAULT, 0, start, values.chunk.size(), values.chunk.data())
                    < 0
                 : H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, start, nullptr, count, nullptr) < 0
                    || H5Dwrite(h_->data.get(), H5T_NATIVE_FLOAT, memory.get(), file.get(), H5P_DEFAULT,
                           values.values.data())
                        < 0)
        || !writeElement(h_->cor.get(), H5T_NATIVE_DOUBLE, z, &cor)
        || !writeElement(h_->written.get(), H5T_NATIVE_UCHAR, z, &yes)
        // What a reader opening the file now sees.
        || H5Fflush(h_->file.get(), H5F_SCOPE_LOCAL) < 0)
        return failed(
            error, QStringLiteral("cannot write slice %1 into %2").arg(slice).arg(volumePartPath(path_)));
    if (!done_[z]) {
        done_[z] = true;
        ++written_;
    }
    return true;
}

bool VolumeFileWriter::finish(QString *error)
{
    if (!isStarted())
        return true;
    const QString part = volumePartPath(path_);
    const QString path = path_;
    close();
    path_.clear();
    QStringList missing;
    for (size_t i = 0; i < order_.size(); ++i)
        if (!done_[i] && missing.size() < 10)
            missing << QString::number(order_[i]);
    if (written_ < static_cast<int>(order_.size())) {
        if (error)
            *error = written_ == 0
                ? QStringLiteral("%1 is not written: no slice was").arg(path)
                : QStringLiteral("%1 is left unfinished as %2: %3 of %4 slices missing (%5%6)")
                      .arg(path, part)
                      .arg(int(order_.size()) - written_)
                      .arg(order_.size())
                      .arg(missing.join(QStringLiteral(", ")),
                          int(order_.size()) - written_ > missing.size() ? QStringLiteral(", ...")
                                                                         : QString());
        return false;
    }
    return renameIntoPlace(part, path, error);
}
