#include "tools/scanfile/scanfilewriter.h"

// Qt
#include <QDir>
#include <QFileInfo>
#include <QStringList>

// Local
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"
#include <algorithm>
#include <hdf5.h>
#include <memory>

namespace {

// Closes an identifier of the library at the end of its scope.
struct Handle
{
    hid_t id;
    explicit Handle(hid_t i)
        : id(i)
    {
    }
    ~Handle()
    {
        if (id >= 0)
            H5Idec_ref(id);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    operator hid_t() const { return id; }
};

// A filter that passes the bytes through; registered while writing only.
size_t passThrough(unsigned, size_t, const unsigned[], size_t nbytes, size_t *, void **)
{
    return nbytes;
}

hid_t fileType(ScanFileRecipe::Type t)
{
    switch (t) {
    case ScanFileRecipe::Type::U8:
        return H5T_STD_U8LE;
    case ScanFileRecipe::Type::U16:
        return H5T_STD_U16LE;
    case ScanFileRecipe::Type::U32:
        return H5T_STD_U32BE; // the library converts: a big-endian writer is read alike
    case ScanFileRecipe::Type::F32:
        return H5T_IEEE_F32LE;
    case ScanFileRecipe::Type::I16:
        return H5T_STD_I16LE;
    case ScanFileRecipe::Type::F64:
        break;
    }
    return H5T_IEEE_F64LE;
}

void stringAttribute(hid_t object, const char *name, const char *value, bool padded = false)
{
    Handle type(H5Tcopy(H5T_C_S1));
    H5Tset_size(type, std::max<size_t>(1, strlen(value)));
    if (padded)
        H5Tset_strpad(type, H5T_STR_NULLPAD);
    Handle space(H5Screate(H5S_SCALAR));
    Handle attribute(H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT));
    H5Awrite(attribute, type, value);
}

Handle group(hid_t file, const char *path, const char *nxClass)
{
    Handle g(H5Gcreate2(file, path, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
    if (nxClass && g.id >= 0)
        stringAttribute(g, "NX_class", nxClass);
    return Handle(H5Iinc_ref(g) >= 0 ? g.id : -1);
}

bool vector1d(hid_t file, const char *path, hid_t fileT, hid_t memT, const void *data, size_t n)
{
    const hsize_t dims[1] = {n};
    Handle space(H5Screate_simple(1, dims, nullptr));
    Handle set(H5Dcreate2(file, path, fileT, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
    return set.id >= 0 && (n == 0 || H5Dwrite(set, memT, H5S_ALL, H5S_ALL, H5P_DEFAULT, data) >= 0);
}

// The frames of one kind-list into a new dataset at `path`; `kinds[f]` and `indices[f]` say what
// frame f shows.
bool frames(hid_t file, const char *path, const ScanFileRecipe &recipe, const std::vector<int> &kinds,
    const std::vector<int> &indices)
{
    const hsize_t n = recipe.declaredFrames > 0 ? hsize_t(recipe.declaredFrames) : kinds.size();
    const hsize_t h = recipe.declaredHeight > 0 ? hsize_t(recipe.declaredHeight) : hsize_t(recipe.height);
    const hsize_t w = recipe.declaredWidth > 0 ? hsize_t(recipe.declaredWidth) : hsize_t(recipe.width);
    const hsize_t dims3[3] = {n, h, w};
    const bool sidesDeclared = recipe.declaredWidth > 0 || recipe.declaredHeight > 0;
    const int rank = recipe.rank == 2 ? 2 : 3;
    Handle space(H5Screate_simple(rank, rank == 2 ? dims3 + 1 : dims3, nullptr));
    Handle create(H5Pcreate(H5P_DATASET_CREATE));
    if (recipe.chunked || recipe.gzip > 0 || recipe.filter > 0 || recipe.plugin > 0 || sidesDeclared) {
        const auto side = [](int asked, hsize_t whole) {
            return asked > 0 ? hsize_t(asked) : std::min<hsize_t>(whole, 4096);
        };
        const hsize_t chunk3[3] = {std::max<hsize_t>(1, hsize_t(recipe.chunkFrames)),
            side(recipe.chunkRows, h), side(recipe.chunkColumns, w)};
        H5Pset_chunk(create, rank, rank == 2 ? chunk3 + 1 : chunk3);
        if (recipe.shuffle)
            H5Pset_shuffle(create);
        if (recipe.gzip > 0)
            H5Pset_deflate(create, unsigned(recipe.gzip));
        if (recipe.filter > 0)
            H5Pset_filter(create, H5Z_filter_t(recipe.filter), H5Z_FLAG_MANDATORY, 0, nullptr);
        if (recipe.plugin > 0)
            H5Pset_filter(create, H5Z_filter_t(recipe.plugin), H5Z_FLAG_MANDATORY, 0, nullptr);
    } else if (recipe.compact) {
        H5Pset_layout(create, H5D_COMPACT);
    }
    Handle set(H5Dcreate2(file, path, fileType(recipe.type), space, H5P_DEFAULT, create, H5P_DEFAULT));
    if (set.id < 0)
        return false;
    if (sidesDeclared)
        return true;
    std::vector<double> frame(size_t(recipe.width) * size_t(recipe.height));
    const hsize_t memDims[2] = {hsize_t(recipe.height), hsize_t(recipe.width)};
    Handle memory(H5Screate_simple(2, memDims, nullptr));
    for (size_t f = 0; f < std::min<size_t>(kinds.size(), n); ++f) {
        for (int y = 0; y < recipe.height; ++y) {
            double *row = frame.data() + size_t(y) * size_t(recipe.width);
            if (recipe.fill) {
                recipe.fill(kinds[f], indices[f], y, row);
            } else {
                for (int x = 0; x < recipe.width; ++x)
                    row[x] = scanPattern(kinds[f], indices[f], x, y);
            }
        }
        Handle fileSpace(H5Dget_space(set));
        const hsize_t start[3] = {f, 0, 0};
        const hsize_t count[3] = {1, hsize_t(recipe.height), hsize_t(recipe.width)};
        H5Sselect_hyperslab(fileSpace, H5S_SELECT_SET, rank == 2 ? start + 1 : start, nullptr,
            rank == 2 ? count + 1 : count, nullptr);
        if (H5Dwrite(set, H5T_NATIVE_DOUBLE, memory, fileSpace, H5P_DEFAULT, frame.data()) < 0)
            return false;
        if (rank == 2)
            break;
    }
    return true;
}

// The frames of `path`, written into the recipe's external file when it names one and linked there.
bool linkedFrames(hid_t file, const QString &folder, const char *path, const ScanFileRecipe &recipe,
    const std::vector<int> &kinds, const std::vector<int> &indices)
{
    if (recipe.externalFrames.isEmpty())
        return frames(file, path, recipe, kinds, indices);
    const QByteArray name = recipe.externalFrames.toLocal8Bit();
    QDir().mkpath(QFileInfo(QDir(folder).filePath(recipe.externalFrames)).absolutePath());
    {
        Handle other(H5Fcreate(QDir(folder).filePath(recipe.externalFrames).toLocal8Bit().constData(),
            H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT));
        if (other.id < 0 || !frames(other, "/data", recipe, kinds, indices))
            return false;
    }
    return H5Lcreate_external(name.constData(), "/data", file, path, H5P_DEFAULT, H5P_DEFAULT) >= 0;
}

bool writeAngles(hid_t file, const char *path, const ScanFileRecipe &recipe)
{
    if (recipe.angles.empty())
        return true;
    if (!vector1d(file, path, H5T_IEEE_F32LE, H5T_NATIVE_DOUBLE, recipe.angles.data(), recipe.angles.size()))
        return false;
    Handle set(H5Dopen2(file, path, H5P_DEFAULT));
    stringAttribute(set, "units", recipe.radians ? "rad" : "degree", recipe.paddedUnits);
    return true;
}

bool write(hid_t file, const QString &folder, const ScanFileRecipe &recipe)
{
    if (recipe.layout == ScanFileRecipe::Layout::Neither) {
        Handle other(group(file, "/measurement", nullptr));
        return other.id >= 0;
    }
    if (recipe.layout == ScanFileRecipe::Layout::DataExchange) {
        Handle exchange(group(file, "/exchange", nullptr));
        for (auto [path, kind, count] : {std::tuple {"/exchange/data", 0, recipe.projections},
                 std::tuple {"/exchange/data_white", 1, recipe.flats},
                 std::tuple {"/exchange/data_dark", 2, recipe.darks}}) {
            if (kind > 0 && count == 0)
                continue;
            std::vector<int> indices(static_cast<size_t>(count));
            for (int i = 0; i < count; ++i)
                indices[size_t(i)] = i;
            const std::vector<int> kinds(size_t(count), kind);
            if (!(kind == 0 ? linkedFrames(file, folder, path, recipe, kinds, indices)
                            : frames(file, path, recipe, kinds, indices)))
                return false;
        }
        return writeAngles(file, "/exchange/theta", recipe);
    }
    Handle entry(group(file, "/entry", "NXentry"));
    stringAttribute(entry, "definition", "NXtomo");
    Handle instrument(group(file, "/entry/instrument", "NXinstrument"));
    Handle detector(group(file, "/entry/instrument/detector", "NXdetector"));
    Handle sample(group(file, "/entry/sample", "NXsample"));
    Handle data(group(file, "/entry/data", "NXdata"));
    std::vector<int> indices(recipe.keys.size());
    int counts[4] = {};
    for (size_t f = 0; f < recipe.keys.size(); ++f)
        indices[f] = counts[std::clamp(recipe.keys[f], 0, 3)]++;
    if (!linkedFrames(file, folder, "/entry/instrument/detector/data", recipe, recipe.keys, indices))
        return false;
    if (!recipe.noKeys) {
        std::vector<int> keys = recipe.keys;
        keys.resize(recipe.keyCount >= 0 ? size_t(recipe.keyCount) : keys.size(), 0);
        if (!vector1d(file, "/entry/instrument/detector/image_key", H5T_STD_U8LE, H5T_NATIVE_INT, keys.data(),
                keys.size()))
            return false;
    }
    // The NXdata group links to the detector's frames, as NeXus writers do.
    if (recipe.externalFrames.isEmpty())
        H5Lcreate_hard(
            file, "/entry/instrument/detector/data", file, "/entry/data/data", H5P_DEFAULT, H5P_DEFAULT);
    return writeAngles(file, "/entry/sample/rotation_angle", recipe);
}

} // namespace

bool writeScanOfImages(const QString &path, const QStringList &projections, const QString &i0,
    const QString &bg, double stepDeg, QString *error)
{
    std::vector<std::shared_ptr<ImgData>> images;
    for (const QString &file : projections + QStringList {i0, bg}) {
        images.push_back(openImgData(file));
        if (!images.back()) {
            if (error)
                *error = QStringLiteral("cannot read %1").arg(file);
            return false;
        }
    }
    ScanFileRecipe recipe;
    recipe.width = images.front()->width();
    recipe.height = images.front()->height();
    recipe.keys = {2, 1};
    recipe.keys.insert(recipe.keys.end(), size_t(projections.size()), 0);
    recipe.keys.push_back(1);
    int projection = 0;
    for (int key : recipe.keys)
        recipe.angles.push_back(key == 0 ? stepDeg * projection++ : 0.0);
    recipe.fill = [&](int kind, int index, int y, double *row) {
        images[kind == 0 ? size_t(index) : images.size() - size_t(kind == 1 ? 2 : 1)]->getRow(y, row);
    };
    return writeScanFile(path, recipe, error);
}

bool scanFilterAvailable(int id)
{
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    return H5Zfilter_avail(H5Z_filter_t(id)) > 0;
}

double scanPattern(int kind, int index, int x, int y)
{
    return kind * 10000.0 + index * 100.0 + y * 10.0 + x;
}

bool writeScanFile(const QString &path, const ScanFileRecipe &recipe, QString *error)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    if (recipe.filter > 0) {
        const H5Z_class2_t filter {H5Z_CLASS_T_VERS, H5Z_filter_t(recipe.filter), 1, 1,
            "registered for writing only", nullptr, nullptr, &passThrough};
        H5Zregister(&filter);
    }
    bool ok = false;
    {
        Handle file(H5Fcreate(path.toLocal8Bit().constData(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT));
        ok = file.id >= 0 && write(file, QFileInfo(path).absolutePath(), recipe);
    }
    if (recipe.filter > 0)
        H5Zunregister(H5Z_filter_t(recipe.filter));
    if (!ok && error)
        *error = QStringLiteral("cannot write the scan file %1").arg(path);
    return ok;
}
