#include "xafs/mapsfile.h"

// Qt
#include <QFile>

// Local
#include "ct/atomicfile.h"
#include "imagedata/nexuswrite.h"
#include "xafs/mapstack.h"
#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

using hdf5::Id;
using nexus::dataset;
using nexus::group;
using nexus::numberDataset;
using nexus::stringAttribute;
using nexus::stringDataset;

QString withDetail(const QString &what)
{
    const QString detail = hdf5::errorText();
    return detail.isEmpty() ? what : QStringLiteral("%1 (%2)").arg(what, detail);
}

// A range [from, to] in eV relative to the edge as two numbers; an open end as the last energy's.
Id rangeDataset(hid_t parent, const char *name, const EdgeRange &r, double last)
{
    const double v[2] = {r.from, r.to ? *r.to : last};
    const hsize_t two = 2;
    Id set = dataset(parent, name, H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &two, v);
    if (set
        && !(stringAttribute(set.get(), "units", QStringLiteral("eV"))
            && stringAttribute(set.get(), "long_name", QStringLiteral("from, to: relative to the edge"))))
        set.reset();
    return set;
}

} // namespace

struct MapsFileWriter::Handles
{
    Id file;
    std::vector<Id> maps;
};

MapsFileWriter::MapsFileWriter() = default;

MapsFileWriter::~MapsFileWriter()
{
    abandon();
}

bool MapsFileWriter::create(const QString &path, std::shared_ptr<const XanesPlan> plan,
    const VolumeShape &shape, const std::vector<int> &slices, QString &error)
{
    abandon();
    plan_ = std::move(plan);
    path_ = path;
    shape_ = shape;
    written_ = 0;
    temporary_ = temporaryPathBeside(path);
    const hdf5::Lock lock;
    h_ = std::make_unique<Handles>();
    h_->file.reset(
        H5Fcreate(QFile::encodeName(temporary_).constData(), H5F_ACC_EXCL, H5P_DEFAULT, H5P_DEFAULT));
    if (!h_->file) {
        error = withDetail(QStringLiteral("cannot create %1").arg(temporary_));
        temporary_.clear();
        abandon();
        return false;
    }
    const std::vector<MapInfo> &maps = plan_->maps();
    QStringList others;
    for (std::size_t m = 1; m < maps.size(); ++m)
        others << maps[m].name;
    Id entry = group(h_->file.get(), "entry", "NXentry");
    Id data = entry ? group(entry.get(), "maps", "NXdata") : Id();
    const hsize_t nz = hsize_t(shape.nz);
    Id slice
        = data ? dataset(data.get(), "slice", H5T_STD_I32LE, H5T_NATIVE_INT, 1, &nz, slices.data()) : Id();
    bool ok = slice && stringAttribute(h_->file.get(), "default", QStringLiteral("entry"))
        && stringAttribute(h_->file.get(), "creator", QStringLiteral("Quorvel"))
        && stringAttribute(entry.get(), "default", QStringLiteral("maps"))
        && stringAttribute(data.get(), "signal", maps.front().name)
        && nexus::stringArrayAttribute(data.get(), "auxiliary_signals", others)
        && nexus::stringArrayAttribute(
            data.get(), "axes", {QStringLiteral("slice"), QStringLiteral("."), QStringLiteral(".")})
        && nexus::intAttribute(data.get(), "slice_indices", 0)
        && stringAttribute(slice.get(), "long_name", QStringLiteral("slice number"));
    const hsize_t dims[3] = {nz, hsize_t(shape.ny), hsize_t(shape.nx)};
    const hsize_t chunk[3] = {1, std::min<hsize_t>(dims[1], 256), std::min<hsize_t>(dims[2], 256)};
    Id space(H5Screate_simple(3, dims, nullptr));
    Id create(H5Pcreate(H5P_DATASET_CREATE));
    H5Pset_chunk(create.get(), 3, chunk);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    H5Pset_fill_value(create.get(), H5T_NATIVE_FLOAT, &nan);
    for (std::size_t m = 0; ok && m < maps.size(); ++m) {
        Id set(H5Dcreate2(data.get(), maps[m].name.toUtf8().constData(), H5T_IEEE_F32LE, space.get(),
            H5P_DEFAULT, create.get(), H5P_DEFAULT));
        ok = set && stringAttribute(set.get(), "long_name", maps[m].title)
            && (maps[m].unit.isEmpty() || stringAttribute(set.get(), "units", maps[m].unit));
        h_->maps.push_back(std::move(set));
    }
    if (!ok) {
        error = withDetail(QStringLiteral("cannot write the groups of %1").arg(temporary_));
        abandon();
        return false;
    }
    return true;
}

bool MapsFileWriter::write(const XanesMapSlab &slab, QString &error)
{
    if (!h_ || slab.z0 != written_ || !(slab.shape == shape_)) {
        error = QStringLiteral("the maps do not fit %1").arg(path_);
        return false;
    }
    const hdf5::Lock lock;
    const hsize_t start[3] = {hsize_t(slab.z0), 0, 0};
    const hsize_t count[3] = {hsize_t(slab.nz), hsize_t(shape_.ny), hsize_t(shape_.nx)};
    Id memory(H5Screate_simple(3, count, nullptr));
    for (std::size_t m = 0; m < h_->maps.size(); ++m) {
        Id file(H5Dget_space(h_->maps[m].get()));
        if (H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, start, nullptr, count, nullptr) < 0
            || H5Dwrite(h_->maps[m].get(), H5T_NATIVE_FLOAT, memory.get(), file.get(), H5P_DEFAULT,
                   slab.map(int(m)))
                < 0) {
            error = withDetail(QStringLiteral("cannot write the maps into %1").arg(temporary_));
            return false;
        }
    }
    written_ += slab.nz;
    return true;
}

bool MapsFileWriter::finish(const MapsRecord &record, QString &error)
{
    if (!h_ || written_ != shape_.nz) {
        error = QStringLiteral("%1 is not complete").arg(path_);
        abandon();
        return false;
    }
    const XanesSettings &s = plan_->settings();
    const std::vector<double> &e = plan_->energies();
    {
        const hdf5::Lock lock;
        Id entry(H5Gopen2(h_->file.get(), "entry", H5P_DEFAULT));
        Id process = group(entry.get(), "xanes", "NXprocess");
        const hsize_t n = e.size();
        bool ok = process && stringDataset(entry.get(), "program_name", QStringLiteral("Quorvel"));
        const hid_t p = process.get();
        Id energy = ok ? dataset(p, "energy", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &n, e.data()) : Id();
        ok = energy && stringAttribute(energy.get(), "units", QStringLiteral("eV"))
            && stringDataset(p, "program", QStringLiteral("quorvel-xanes"))
            && stringDataset(p, "version", record.version) && stringDataset(p, "source", record.source)
            && numberDataset(p, "edge", s.edge, QStringLiteral("eV"))
            && rangeDataset(p, "pre_edge", s.pre, e.back() - s.edge)
            && rangeDataset(p, "post_edge", s.post, e.back() - s.edge)
            && numberDataset(p, "edge_window", s.edgeWindow, QStringLiteral("eV"))
            && rangeDataset(p, "fit", s.fit, e.back() - s.edge)
            && numberDataset(p, "sum_to_one", s.sumToOne ? 1.0 : 0.0)
            && numberDataset(p, "min_jump", record.minJump, plan_->maps().front().unit)
            && stringDataset(p, "min_jump_rule",
                s.minJump
                    ? QStringLiteral("given")
                    : QStringLiteral("5 x the median over all voxels of the standard deviation of their "
                                     "pre-edge residual"))
            && numberDataset(p, "analysed_voxels", double(record.analysed))
            && stringDataset(p, "slice_unit", sliceUnit());
        if (ok && !s.minJump)
            ok = bool(numberDataset(p, "pre_edge_noise_median", record.noiseMedian, sliceUnit()));
        if (ok && s.pixelSizeUm)
            ok = bool(numberDataset(p, "pixel_size", *s.pixelSizeUm, QStringLiteral("um")));
        Id standards = ok ? group(p, "standards", "NXcollection") : Id();
        ok = ok && standards;
        for (int k = 0; ok && k < int(plan_->standards().size()); ++k) {
            const Standard &st = plan_->standards()[std::size_t(k)];
            Id g = group(standards.get(), st.name.toUtf8().constData(), "NXdata");
            const hsize_t points = st.energy.size();
            std::vector<double> fitted(e.size());
            for (std::size_t i = 0; i < e.size(); ++i)
                fitted[i] = plan_->standardAt(k, int(i));
            Id se = g
                ? dataset(g.get(), "energy", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &points, st.energy.data())
                : Id();
            Id sv = se ? dataset(
                        g.get(), "absorption", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &points, st.value.data())
                       : Id();
            Id sf = sv ? dataset(g.get(), "on_series_energies", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 1, &n,
                        fitted.data())
                       : Id();
            ok = sf && stringAttribute(g.get(), "signal", QStringLiteral("absorption"))
                && stringAttribute(g.get(), "axes", QStringLiteral("energy"))
                && stringAttribute(g.get(), "file", st.file)
                && stringAttribute(se.get(), "units", QStringLiteral("eV"))
                && stringAttribute(sf.get(), "long_name",
                    QStringLiteral("normalised absorption at each energy of the series as fitted (NaN "
                                   "outside the fit)"));
        }
        if (!ok) {
            error = withDetail(QStringLiteral("cannot write the record of %1").arg(temporary_));
            abandon();
            return false;
        }
        h_->maps.clear();
        if (H5Fflush(h_->file.get(), H5F_SCOPE_LOCAL) < 0) {
            error = withDetail(QStringLiteral("cannot complete %1").arg(temporary_));
            abandon();
            return false;
        }
        h_->file.reset();
    }
    h_.reset();
    const bool placed = renameIntoPlace(temporary_, path_, &error);
    temporary_.clear(); // placed, or kept whole under that name (the error says so)
    return placed;
}

void MapsFileWriter::abandon()
{
    if (h_) {
        const hdf5::Lock lock;
        h_.reset();
    }
    if (!temporary_.isEmpty())
        QFile::remove(temporary_);
    temporary_.clear();
}
