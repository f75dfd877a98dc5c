// Opening a scan file: finding its layout and checking everything it declares before any of it is
// trusted.

#include "imagedata/hdf5scan.h"

// Qt
#include <QStringList>

// Local
#include "config/specialfile.h"
#include "imagedata/hdf5access.h"
#include "imagedata/imagelimits.h"
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

// A chunk is read whole whatever part of it is asked for: a file must not make the library allocate
// more than this for one (nor more than an image may hold).
std::int64_t maxChunkBytes()
{
    return std::min(std::int64_t(1) << 30, std::int64_t(maxImageBytes()));
}

// Filters that scan files are known to use, for a message that says what to install.
QString filterName(H5Z_filter_t id, const char *stored)
{
    switch (id) {
    case H5Z_FILTER_DEFLATE:
        return QStringLiteral("gzip");
    case H5Z_FILTER_SZIP:
        return QStringLiteral("szip");
    case 307:
        return QStringLiteral("bzip2");
    case 32000:
        return QStringLiteral("LZF");
    case 32001:
        return QStringLiteral("Blosc");
    case 32004:
        return QStringLiteral("LZ4");
    case 32008:
        return QStringLiteral("bitshuffle");
    case 32013:
        return QStringLiteral("zfp");
    case 32015:
        return QStringLiteral("Zstandard");
    case 32026:
        return QStringLiteral("Blosc2");
    default:
        break;
    }
    const QString name = QString::fromLatin1(stored).section(QLatin1Char(';'), 0, 0).trimmed();
    return name.isEmpty() ? QStringLiteral("unknown") : name;
}

// The text of a string attribute (fixed or variable length, one value, at most 256 bytes); empty
// when there is none.
QString stringAttribute(hid_t object, const char *name)
{
    if (H5Aexists(object, name) <= 0)
        return QString();
    const hdf5::Id attribute(H5Aopen(object, name, H5P_DEFAULT));
    const hdf5::Id type(attribute ? H5Aget_type(attribute.get()) : H5I_INVALID_HID);
    const hdf5::Id space(attribute ? H5Aget_space(attribute.get()) : H5I_INVALID_HID);
    if (!type || !space || H5Tget_class(type.get()) != H5T_STRING
        || H5Sget_simple_extent_npoints(space.get()) != 1)
        return QString();
    const hdf5::Id memory(H5Tcopy(H5T_C_S1));
    H5Tset_cset(memory.get(), H5Tget_cset(type.get())); // ASCII and UTF-8 do not convert
    if (H5Tis_variable_str(type.get()) > 0) {
        H5Tset_size(memory.get(), H5T_VARIABLE);
        char *text = nullptr;
        if (H5Aread(attribute.get(), memory.get(), &text) < 0 || !text)
            return QString();
        const QString value = QString::fromUtf8(text, qsizetype(strnlen(text, 256)));
        H5free_memory(text);
        return value;
    }
    // A fixed length is read as stored: converting "rad" of three bytes without a terminator (numpy's
    // S3) to a terminated string of three would drop its last letter.
    const size_t size = H5Tget_size(type.get());
    if (size < 1 || size > 256)
        return QString();
    char text[257] = {};
    if (H5Aread(attribute.get(), type.get(), text) < 0)
        return QString();
    const QString value = QString::fromUtf8(text, qsizetype(strnlen(text, size)));
    return H5Tget_strpad(type.get()) == H5T_STR_SPACEPAD ? value.trimmed() : value;
}

// What reading a dataset's chunks raw needs to know of its storage.
Hdf5Scan::Storage storageOf(hid_t create, hid_t type, const QString &path, hsize_t frames)
{
    Hdf5Scan::Storage s;
    s.path = path;
    s.frames = frames;
    s.sampleBytes = int(H5Tget_size(type));
    s.swapped = s.sampleBytes > 1 && H5Tget_order(type) != H5Tget_order(H5T_NATIVE_UINT32);
    if (create < 0 || H5Pget_layout(create) != H5D_CHUNKED)
        return s;
    hsize_t chunk[3] = {};
    s.chunked = H5Pget_chunk(create, 3, chunk) == 3;
    for (int d = 0; d < 3; ++d)
        s.chunk[size_t(d)] = chunk[d];
    const int filters = H5Pget_nfilters(create);
    for (int i = 0; i < filters; ++i) {
        unsigned flags = 0, config = 0, values[16] = {};
        size_t count = 16;
        ChunkFilter f;
        f.id = int(H5Pget_filter2(create, unsigned(i), &flags, &count, values, 0, nullptr, &config));
        f.values.assign(values, values + std::min<size_t>(count, 16));
        s.filters.push_back(f);
    }
    H5Eclear2(H5E_DEFAULT);
    return s;
}

} // namespace

/// The work of `Hdf5Scan::open`, under the library's lock.
class Hdf5ScanOpener
{
public:
    Hdf5ScanOpener(Hdf5Scan &scan, QString &error)
        : s_(scan)
        , error_(error)
    {
    }

    bool open();

private:
    bool fail(const QString &why)
    {
        const QString library = hdf5::errorText();
        error_ = library.isEmpty() ? why : QStringLiteral("%1 (%2)").arg(why, library);
        return false;
    }
    bool findNxTomo();
    bool openFrames(const QString &path, Hdf5Scan::Kind kind, std::int64_t &frames);
    bool checkStorage(hid_t dataset, const QString &path, std::int64_t bytes);
    bool checkChunksStored(hid_t dataset, const QString &path, const hsize_t *chunk, int rank);
    bool readSmall(const QString &path, hid_t memory, std::int64_t expected, void *out, bool &present,
        std::int64_t &length);
    bool readKeys(const QString &path, std::int64_t frames);
    bool readAngles(const QString &path, std::int64_t frames);

    // External links lead to files in the scan file's folder before the current one (the library's
    // order since 1.10).
    hid_t openDataset(const QString &path) const
    {
        return H5Dopen2(s_.file_, path.toUtf8().constData(), H5P_DEFAULT);
    }
    bool exists(const QString &path) const { return hdf5::pathExists(s_.file_, path.toUtf8().constData()); }

    Hdf5Scan &s_;
    QString &error_;
    QString entry_; // the NXtomo entry group
    std::vector<int> keys_;
};

bool Hdf5ScanOpener::open()
{
    const QByteArray name = s_.fileName_.toLocal8Bit();
    // Locks are taken where the file system has them (a writer still at work keeps readers out)
    // and left alone where it has none, as on many cluster file systems.
    const hdf5::Id access(H5Pcreate(H5P_FILE_ACCESS));
    if (access)
        H5Pset_file_locking(access.get(), true, true);
    s_.file_ = H5Fopen(name.constData(), H5F_ACC_RDONLY, access ? access.get() : H5P_DEFAULT);
    if (s_.file_ < 0)
        return fail(QStringLiteral("not an HDF5 file that can be read"));
    std::int64_t frames = 0;
    if (findNxTomo()) {
        s_.layout_ = Hdf5Scan::Layout::NXtomo;
        if (!openFrames(s_.framesPath_, Hdf5Scan::Kind::Projection, frames))
            return false;
        const QString detector = s_.framesPath_.left(s_.framesPath_.lastIndexOf(QLatin1Char('/')));
        if (!readKeys(detector + QStringLiteral("/image_key"), frames))
            return false;
        // Each kind takes its frames from the one dataset, in order.
        s_.parts_[0].frames.clear();
        for (size_t f = 0; f < keys_.size(); ++f) {
            if (keys_[f] == 3)
                ++s_.invalid_;
            else
                s_.parts_[static_cast<size_t>(keys_[f])].frames.push_back(static_cast<std::uint32_t>(f));
        }
        for (auto &p : s_.parts_) {
            p.dataset = 0;
            p.samples = s_.parts_[0].samples;
            p.filtered = s_.parts_[0].filtered;
        }
        QString angles = entry_ + QStringLiteral("/sample/rotation_angle");
        if (!exists(angles))
            angles = entry_ + QStringLiteral("/data/rotation_angle");
        return readAngles(angles, frames);
    }
    if (!exists(QStringLiteral("/exchange/data")))
        return fail(QStringLiteral("neither an NXtomo entry (/entry/instrument/detector/data) nor Data "
                                   "Exchange (/exchange/data)"));
    s_.layout_ = Hdf5Scan::Layout::DataExchange;
    s_.framesPath_ = QStringLiteral("/exchange/data");
    if (!openFrames(s_.framesPath_, Hdf5Scan::Kind::Projection, frames))
        return false;
    for (auto [path, kind] : {std::pair {"/exchange/data_white", Hdf5Scan::Kind::Flat},
             std::pair {"/exchange/data_dark", Hdf5Scan::Kind::Dark}}) {
        std::int64_t n = 0;
        if (exists(QString::fromLatin1(path)) && !openFrames(QString::fromLatin1(path), kind, n))
            return false;
    }
    return readAngles(QStringLiteral("/exchange/theta"), frames);
}

bool Hdf5ScanOpener::findNxTomo()
{
    // The entry is usually "entry"; otherwise the first group at the top that holds the frames.
    QStringList entries {QStringLiteral("/entry")};
    H5G_info_t info;
    if (H5Gget_info(s_.file_, &info) >= 0) {
        for (hsize_t i = 0; i < std::min<hsize_t>(info.nlinks, 64); ++i) {
            char name[256] = {};
            if (H5Lget_name_by_idx(
                    s_.file_, ".", H5_INDEX_NAME, H5_ITER_INC, i, name, sizeof name - 1, H5P_DEFAULT)
                > 0)
                entries << QLatin1Char('/') + QString::fromUtf8(name);
        }
    }
    H5Eclear2(H5E_DEFAULT);
    for (const QString &entry : std::as_const(entries)) {
        for (const char *frames : {"/instrument/detector/data", "/data/data"}) {
            const QString path = entry + QLatin1String(frames);
            if (exists(path)) {
                entry_ = entry;
                s_.framesPath_ = path;
                return true;
            }
        }
    }
    return false;
}

bool Hdf5ScanOpener::openFrames(const QString &path, Hdf5Scan::Kind kind, std::int64_t &frames)
{
    const hdf5::Id dataset(openDataset(path));
    if (!dataset)
        return fail(QStringLiteral("%1 is not a dataset").arg(path));
    const hdf5::Id space(H5Dget_space(dataset.get()));
    const int rank = space ? H5Sget_simple_extent_ndims(space.get()) : -1;
    if (rank != 3)
        return fail(QStringLiteral("%1 has rank %2; frames × rows × columns are read").arg(path).arg(rank));
    hsize_t dims[3] = {};
    H5Sget_simple_extent_dims(space.get(), dims, nullptr);

    const hdf5::Id type(H5Dget_type(dataset.get()));
    const H5T_class_t typeClass = type ? H5Tget_class(type.get()) : H5T_NO_CLASS;
    const size_t typeSize = type ? H5Tget_size(type.get()) : 0;
    Hdf5Scan::Samples samples = Hdf5Scan::Samples::UInt16;
    if (typeClass == H5T_INTEGER && H5Tget_sign(type.get()) == H5T_SGN_NONE && typeSize == 1)
        samples = Hdf5Scan::Samples::UInt8;
    else if (typeClass == H5T_INTEGER && H5Tget_sign(type.get()) == H5T_SGN_NONE && typeSize == 2)
        samples = Hdf5Scan::Samples::UInt16;
    else if (typeClass == H5T_INTEGER && H5Tget_sign(type.get()) == H5T_SGN_NONE && typeSize == 4)
        samples = Hdf5Scan::Samples::UInt32;
    else if (typeClass == H5T_FLOAT && typeSize == 4)
        samples = Hdf5Scan::Samples::Float32;
    else {
        const QString kind = typeClass == H5T_INTEGER
            ? (H5Tget_sign(type.get()) == H5T_SGN_NONE ? QStringLiteral("unsigned integer")
                                                       : QStringLiteral("signed integer"))
            : typeClass == H5T_FLOAT ? QStringLiteral("float")
                                     : QStringLiteral("non-numeric (class %1)").arg(int(typeClass));
        return fail(QStringLiteral("%1 holds %2-bit %3 samples; 8-, 16- and 32-bit unsigned integers and "
                                   "32-bit floats are read")
                        .arg(path)
                        .arg(typeSize * 8)
                        .arg(kind));
    }
    const int bytes = Hdf5Scan::bytesPerSample(samples);
    if (dims[0] > hsize_t(Hdf5Scan::maxFrames))
        return fail(QStringLiteral("%1 holds %2 frames, more than the %3 a scan may have")
                        .arg(path)
                        .arg(dims[0])
                        .arg(Hdf5Scan::maxFrames));
    constexpr hsize_t maxSide = 0x7fffffff;
    const std::int64_t frameBytes = dims[1] <= maxSide && dims[2] <= maxSide
        ? boundedProduct(std::int64_t(dims[1]), std::int64_t(dims[2]), bytes, maxImageBytes())
        : -1;
    if (dims[1] < 1 || dims[2] < 1 || frameBytes < 0)
        return fail(QStringLiteral("%1 holds frames of %2 x %3 pixels of %4 bytes; at least one pixel and "
                                   "at most %5 bytes a frame are read")
                        .arg(path)
                        .arg(dims[2])
                        .arg(dims[1])
                        .arg(bytes)
                        .arg(maxImageBytes()));
    if (kind == Hdf5Scan::Kind::Projection) {
        s_.width_ = static_cast<int>(dims[2]);
        s_.height_ = static_cast<int>(dims[1]);
    } else if (dims[2] != hsize_t(s_.width_) || dims[1] != hsize_t(s_.height_)) {
        return fail(QStringLiteral("%1 holds frames of %2 x %3 pixels, the projections %4 x %5")
                        .arg(path)
                        .arg(dims[2])
                        .arg(dims[1])
                        .arg(s_.width_)
                        .arg(s_.height_));
    }
    if (!checkStorage(dataset.get(), path, frameBytes * std::int64_t(dims[0])))
        return false;

    frames = std::int64_t(dims[0]);
    Hdf5Scan::Part &part = s_.parts_[static_cast<size_t>(kind)];
    part.dataset = static_cast<int>(s_.datasets_.size());
    part.samples = samples;
    const hdf5::Id create(H5Dget_create_plist(dataset.get()));
    part.filtered = !create || H5Pget_nfilters(create.get()) > 0;
    part.frames.resize(static_cast<size_t>(frames));
    for (std::int64_t f = 0; f < frames; ++f)
        part.frames[static_cast<size_t>(f)] = static_cast<std::uint32_t>(f);
    // The scan keeps a reference of its own; `dataset` lets go of this one.
    if (H5Iinc_ref(dataset.get()) < 0)
        return fail(QStringLiteral("%1 cannot be kept open").arg(path));
    s_.datasets_.push_back(dataset.get());
    s_.storage_.push_back(storageOf(create.get(), type.get(), path, dims[0]));
    return true;
}

bool Hdf5ScanOpener::checkStorage(hid_t dataset, const QString &path, std::int64_t bytes)
{
    const hdf5::Id create(H5Dget_create_plist(dataset));
    if (!create)
        return fail(QStringLiteral("%1: its storage cannot be read").arg(path));
    const int filters = H5Pget_nfilters(create.get());
    for (int i = 0; i < filters; ++i) {
        unsigned flags = 0, config = 0;
        size_t values = 0;
        char stored[128] = {};
        const H5Z_filter_t id = H5Pget_filter2(
            create.get(), unsigned(i), &flags, &values, nullptr, sizeof stored - 1, stored, &config);
        if (id < 0)
            return fail(QStringLiteral("%1: its filter %2 cannot be read").arg(path).arg(i));
        unsigned info = 0;
        if (H5Zfilter_avail(id) <= 0 || H5Zget_filter_info(id, &info) < 0
            || !(info & H5Z_FILTER_CONFIG_DECODE_ENABLED)) {
            H5Eclear2(H5E_DEFAULT);
            error_ = QStringLiteral("%1 is compressed with the HDF5 filter %2 (%3), which is not installed "
                                    "(LZ4 and bzip2 come with Debian's hdf5-filter-plugin; the library "
                                    "looks for plugins in HDF5_PLUGIN_PATH)")
                         .arg(path, filterName(id, stored))
                         .arg(id);
            return false;
        }
    }
    if (H5Pget_layout(create.get()) == H5D_CHUNKED) {
        hsize_t chunk[H5S_MAX_RANK] = {};
        const int rank = H5Pget_chunk(create.get(), H5S_MAX_RANK, chunk);
        const hdf5::Id type(H5Dget_type(dataset));
        const std::int64_t limit = maxChunkBytes();
        std::int64_t chunkBytes = type && rank >= 1 ? std::int64_t(H5Tget_size(type.get())) : -1;
        QStringList sides;
        for (int d = 0; d < rank; ++d) {
            sides << QString::number(chunk[d]);
            if (chunkBytes >= 0
                && (chunk[d] > hsize_t(limit)
                    || __builtin_mul_overflow(chunkBytes, std::int64_t(chunk[d]), &chunkBytes)
                    || chunkBytes > limit))
                chunkBytes = -1;
        }
        if (chunkBytes < 1)
            return fail(QStringLiteral("%1 is stored in chunks of %2 samples; a chunk of at most %3 bytes is "
                                       "read")
                            .arg(path, sides.join(QStringLiteral(" x ")))
                            .arg(limit));
        return checkChunksStored(dataset, path, chunk, rank);
    }
    // Frames kept in the object header: the library copies the frames' size out of what it holds.
    if (H5Pget_layout(create.get()) == H5D_COMPACT && H5Dget_storage_size(dataset) != hsize_t(bytes))
        return fail(QStringLiteral("%1 holds %2 bytes in its header for %3 bytes of frames")
                        .arg(path)
                        .arg(H5Dget_storage_size(dataset))
                        .arg(bytes));
    // A contiguous block must lie inside the file: a truncated file is refused here, not frame by frame.
    const haddr_t offset = H5Dget_offset(dataset);
    // A block never written reads as fill values: frames that were never taken.
    if (offset == HADDR_UNDEF && bytes > 0 && H5Pget_layout(create.get()) == H5D_CONTIGUOUS)
        return fail(
            QStringLiteral("%1: none of its %2 bytes is stored (never written)").arg(path).arg(bytes));
    // The offset is one into the file that holds the dataset: through an external link, another file.
    const hdf5::Id holder(H5Iget_file_id(dataset));
    hsize_t fileSize = 0;
    if (offset != HADDR_UNDEF && holder && H5Fget_filesize(holder.get(), &fileSize) >= 0
        && (offset > fileSize || hsize_t(bytes) > fileSize - offset))
        return fail(QStringLiteral("%1: the file ends before its %2 bytes of frames").arg(path).arg(bytes));
    H5Eclear2(H5E_DEFAULT);
    return true;
}

bool Hdf5ScanOpener::checkChunksStored(hid_t dataset, const QString &path, const hsize_t *chunk, int rank)
{
    // Chunks never written read as fill values, quietly: a scan cut short, or a file that declares
    // a million frames and holds none (averaging them would take hours).
    const hdf5::Id space(H5Dget_space(dataset));
    hsize_t dims[H5S_MAX_RANK] = {};
    if (!space || H5Sget_simple_extent_ndims(space.get()) != rank
        || H5Sget_simple_extent_dims(space.get(), dims, nullptr) < 0)
        return fail(QStringLiteral("%1: its extent cannot be read").arg(path));
    hsize_t expected = 1;
    for (int d = 0; d < rank; ++d) {
        if (dims[d] == 0)
            return true;
        if (chunk[d] == 0 || __builtin_mul_overflow(expected, (dims[d] - 1) / chunk[d] + 1, &expected))
            expected = std::numeric_limits<hsize_t>::max();
    }
    hsize_t stored = 0;
    if (H5Dget_num_chunks(dataset, space.get(), &stored) < 0)
        return fail(QStringLiteral("%1: its chunks cannot be counted").arg(path));
    if (stored < expected)
        return fail(QStringLiteral("%1: %2 of its %3 chunks are stored; the rest were never written")
                        .arg(path)
                        .arg(stored)
                        .arg(expected));
    return true;
}

bool Hdf5ScanOpener::readSmall(
    const QString &path, hid_t memory, std::int64_t expected, void *out, bool &present, std::int64_t &length)
{
    present = exists(path);
    length = 0;
    if (!present)
        return true;
    const hdf5::Id dataset(openDataset(path));
    const hdf5::Id space(dataset ? H5Dget_space(dataset.get()) : H5I_INVALID_HID);
    const int rank = space ? H5Sget_simple_extent_ndims(space.get()) : -1;
    if (rank != 1)
        return fail(QStringLiteral("%1 has rank %2; one value per frame is read").arg(path).arg(rank));
    const hdf5::Id type(H5Dget_type(dataset.get()));
    const H5T_class_t typeClass = type ? H5Tget_class(type.get()) : H5T_NO_CLASS;
    if (typeClass != H5T_INTEGER && typeClass != H5T_FLOAT)
        return fail(QStringLiteral("%1 holds no numbers").arg(path));
    hsize_t n = 0;
    H5Sget_simple_extent_dims(space.get(), &n, nullptr);
    length = std::int64_t(std::min<hsize_t>(n, hsize_t(Hdf5Scan::maxFrames) + 1));
    if (length != expected)
        return true; // the caller says what was expected
    if (!checkStorage(dataset.get(), path, length * std::int64_t(H5Tget_size(type.get()))))
        return false;
    if (H5Dread(dataset.get(), memory, H5S_ALL, H5S_ALL, H5P_DEFAULT, out) < 0)
        return fail(QStringLiteral("%1 cannot be read").arg(path));
    return true;
}

bool Hdf5ScanOpener::readKeys(const QString &path, std::int64_t frames)
{
    keys_.assign(static_cast<size_t>(frames), 0);
    bool present = false;
    std::int64_t length = 0;
    if (!readSmall(path, H5T_NATIVE_INT, frames, keys_.data(), present, length))
        return false;
    if (present && length != frames)
        return fail(QStringLiteral("%1 has %2 values for %3 frames").arg(path).arg(length).arg(frames));
    for (size_t f = 0; f < keys_.size(); ++f) {
        if (keys_[f] < 0 || keys_[f] > 3)
            return fail(QStringLiteral("%1 is %2 at frame %3 (0 projection, 1 flat, 2 dark, 3 invalid)")
                            .arg(path)
                            .arg(keys_[f])
                            .arg(f));
    }
    return true;
}

bool Hdf5ScanOpener::readAngles(const QString &path, std::int64_t frames)
{
    const std::int64_t projections = s_.count(Hdf5Scan::Kind::Projection);
    // One angle per frame (NXtomo, where flats and darks have theirs too) or one per projection.
    std::vector<double> angles(static_cast<size_t>(frames));
    bool present = false;
    std::int64_t length = 0;
    if (!readSmall(path, H5T_NATIVE_DOUBLE, frames, angles.data(), present, length))
        return false;
    if (!present)
        return true;
    if (length != frames && length == projections) {
        angles.resize(static_cast<size_t>(projections));
        if (!readSmall(path, H5T_NATIVE_DOUBLE, projections, angles.data(), present, length))
            return false;
    } else if (length != frames) {
        return fail(QStringLiteral("%1 has %2 angles for %3 frames (%4 projections)")
                        .arg(path)
                        .arg(length)
                        .arg(frames)
                        .arg(projections));
    }
    if (length == frames && frames != projections) {
        std::vector<double> mine;
        mine.reserve(static_cast<size_t>(projections));
        for (std::uint32_t f : s_.parts_[0].frames)
            mine.push_back(angles[f]);
        angles = std::move(mine);
    }
    for (size_t k = 0; k < angles.size(); ++k) {
        if (!std::isfinite(angles[k]))
            return fail(QStringLiteral("%1: the angle of projection %2 is not a number").arg(path).arg(k));
    }
    const hdf5::Id dataset(openDataset(path));
    const QString units = dataset ? stringAttribute(dataset.get(), "units").toLower() : QString();
    if (units.startsWith(QLatin1String("rad"))) {
        for (double &a : angles)
            a *= 180.0 / std::numbers::pi;
    }
    H5Eclear2(H5E_DEFAULT);
    s_.angles_ = std::move(angles);
    return true;
}

std::shared_ptr<Hdf5Scan> Hdf5Scan::openHere(const QString &fileName, QString &error)
{
    error.clear();
    if (isSpecialFile(fileName)) {
        error = QStringLiteral("not a regular file");
        return nullptr;
    }
    std::shared_ptr<Hdf5Scan> scan(new Hdf5Scan);
    scan->fileName_ = fileName;
    hdf5::Lock lock;
    Hdf5ScanOpener opener(*scan, error);
    if (!opener.open())
        return nullptr; // the destructor closes what was opened
    if (scan->count(Kind::Projection) < 1) {
        error = QStringLiteral("%1 holds no projection frames").arg(scan->framesPath_);
        return nullptr;
    }
    return scan;
}
