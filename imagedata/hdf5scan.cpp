// Reading the frames of an opened scan file: rectangles and lines, converted by the library.

#include "imagedata/hdf5scan.h"

// Local
#include "imagedata/hdf5access.h"
#include <algorithm>
#include <cstring>

static_assert(sizeof(hid_t) == sizeof(std::int64_t));

namespace {

// Columns `columns` of `n` rows of `span` samples (the first being column x0) into `out`, where
// column k holds `height` samples and these rows begin at y0.
template<typename T>
void pickColumns(const unsigned char *rows, int n, int span, int x0, const std::vector<int> &columns,
    void *out, int y0, int height)
{
    const T *band = reinterpret_cast<const T *>(rows);
    T *target = static_cast<T *>(out);
    for (size_t k = 0; k < columns.size(); ++k) {
        T *column = target + k * size_t(height) + size_t(y0);
        const T *from = band + (columns[k] - x0);
        for (int r = 0; r < n; ++r)
            column[r] = from[size_t(r) * size_t(span)];
    }
}

} // namespace

std::int64_t Hdf5Scan::nativeType(Samples s)
{
    switch (s) {
    case Samples::UInt8:
        return H5T_NATIVE_UINT8;
    case Samples::UInt16:
        return H5T_NATIVE_UINT16;
    case Samples::UInt32:
        return H5T_NATIVE_UINT32;
    case Samples::Float32:
        return H5T_NATIVE_FLOAT;
    case Samples::Float64:
        break;
    }
    return H5T_NATIVE_DOUBLE;
}

Hdf5Scan::~Hdf5Scan()
{
    hdf5::Lock lock;
    for (std::int64_t id : datasets_)
        H5Dclose(id);
    if (file_ >= 0)
        H5Fclose(file_);
    H5Eclear2(H5E_DEFAULT);
}

QString Hdf5Scan::description() const
{
    return (layout_ == Layout::NXtomo ? QStringLiteral("NXtomo ") : QStringLiteral("Data Exchange "))
        + framesPath_;
}

int Hdf5Scan::bytesPerSample(Samples samples)
{
    switch (samples) {
    case Samples::UInt8:
        return 1;
    case Samples::UInt16:
        return 2;
    case Samples::UInt32:
    case Samples::Float32:
        return 4;
    case Samples::Float64:
        break;
    }
    return 8;
}

bool Hdf5Scan::readRect(
    Kind kind, int index, int y0, int rows, int x0, int cols, Samples memory, void *out, QString &error) const
{
    if (y0 < 0 || rows < 1 || x0 < 0 || cols < 1 || y0 > height_ - rows || x0 > width_ - cols) {
        error = QStringLiteral("rows %1 + %2, columns %3 + %4 are not inside a frame of %5 x %6")
                    .arg(y0)
                    .arg(rows)
                    .arg(x0)
                    .arg(cols)
                    .arg(width_)
                    .arg(height_);
        return false;
    }
    const Runs runs {{y0}, {rows}};
    return readSelection(part(kind), index, runs, true, x0, cols, memory, out, error);
}

bool Hdf5Scan::readLines(Kind kind, int index, bool rowLines, std::span<const int> lines, Samples memory,
    void *out, QString &error) const
{
    const int extent = rowLines ? height_ : width_;
    Runs runs;
    for (size_t k = 0; k < lines.size(); ++k) {
        if (lines[k] < 0 || lines[k] >= extent || (k > 0 && lines[k] <= lines[k - 1])) {
            error = QStringLiteral("lines to read are not in order inside the frame");
            return false;
        }
        if (k > 0 && lines[k] == lines[k - 1] + 1) {
            ++runs.count.back();
        } else {
            runs.start.push_back(lines[k]);
            runs.count.push_back(1);
        }
    }
    if (runs.start.empty())
        return true;
    if (rowLines)
        return readSelection(part(kind), index, runs, true, 0, width_, memory, out, error);
    // Columns: bands of rows, each read in one call and the columns picked from it. Frames stored as
    // they are give whole rows (long stretches of the file; a column stretch of a few samples per
    // row costs the library far more); compressed ones the rows' stretch from the first column to
    // the last, in one band when it is not too large, since every band decodes its chunks anew.
    const Part &p = part(kind);
    const size_t size = size_t(bytesPerSample(memory));
    const int x0 = p.filtered ? lines.front() : 0;
    const int span = p.filtered ? lines.back() - lines.front() + 1 : width_;
    const size_t rowBytes = size_t(span) * size;
    const size_t bandBytes = p.filtered ? size_t(64) << 20 : size_t(4) << 20;
    const int band = int(std::clamp<size_t>(bandBytes / rowBytes, 1, size_t(height_)));
    // Kept from call to call on each thread: a band of megabytes is neither cleared nor faulted in anew
    // for every frame.
    thread_local std::vector<unsigned char> rows;
    if (rows.size() < size_t(band) * rowBytes)
        rows.resize(size_t(band) * rowBytes);
    const std::vector<int> columns(lines.begin(), lines.end());
    for (int y0 = 0; y0 < height_; y0 += band) {
        const int n = std::min(band, height_ - y0);
        if (!readSelection(p, index, Runs {{y0}, {n}}, true, x0, span, memory, rows.data(), error))
            return false;
        switch (size) {
        case 1:
            pickColumns<std::uint8_t>(rows.data(), n, span, x0, columns, out, y0, height_);
            break;
        case 2:
            pickColumns<std::uint16_t>(rows.data(), n, span, x0, columns, out, y0, height_);
            break;
        case 4:
            pickColumns<std::uint32_t>(rows.data(), n, span, x0, columns, out, y0, height_);
            break;
        default:
            pickColumns<std::uint64_t>(rows.data(), n, span, x0, columns, out, y0, height_);
            break;
        }
    }
    return true;
}

bool Hdf5Scan::readSelection(const Part &p, int index, const Runs &runs, bool rowLines, int from, int span,
    Samples memory, void *out, QString &error) const
{
    if (p.dataset < 0 || index < 0 || size_t(index) >= p.frames.size()) {
        error = QStringLiteral("there is no frame %1 of that kind").arg(index);
        return false;
    }
    const hsize_t frame = p.frames[size_t(index)];
    const Storage &stored = storage_[size_t(p.dataset)];
    if (stored.chunked && rowLines) {
        // (A pipeline with a filter of a plugin is left to the library.)
        if (stored.filters.empty()) {
            if (!checkStoredChunks(p.dataset, frame, runs, from, span, error))
                return false;
        } else if (chunkcodec::decodesPipeline(stored.filters)) {
            return readDecoded(p.dataset, frame, runs, from, span, memory, out, error);
        }
    }
    hdf5::Lock lock;
    const hid_t dataset = hid_t(datasets_[size_t(p.dataset)]);
    const hdf5::Id fileSpace(H5Dget_space(dataset));
    bool ok = fileSpace.valid() && H5Sselect_none(fileSpace.get()) >= 0;
    hsize_t lines = 0;
    for (size_t r = 0; ok && r < runs.start.size(); ++r) {
        // A run of whole lines: rows (columns `from` … `from` + `span` − 1 of them) or columns.
        const hsize_t line = hsize_t(runs.start[r]), n = hsize_t(runs.count[r]);
        const hsize_t s[3] = {frame, rowLines ? line : hsize_t(from), rowLines ? hsize_t(from) : line};
        const hsize_t c[3] = {1, rowLines ? n : hsize_t(span), rowLines ? hsize_t(span) : n};
        ok = H5Sselect_hyperslab(fileSpace.get(), H5S_SELECT_OR, s, nullptr, c, nullptr) >= 0;
        lines += n;
    }
    const hsize_t memoryDims[2] = {rowLines ? lines : hsize_t(span), rowLines ? hsize_t(span) : lines};
    const hdf5::Id memorySpace(ok ? H5Screate_simple(2, memoryDims, nullptr) : H5I_INVALID_HID);
    // The library converts samples through a buffer of 1 MB that it clears for every read: a read of
    // a few lines needs only their size.
    const hdf5::Id transfer(H5Pcreate(H5P_DATASET_XFER));
    const hsize_t bytes
        = std::clamp<hsize_t>(memoryDims[0] * memoryDims[1] * sizeof(double), 4096, hsize_t(1) << 20);
    if (!transfer || H5Pset_buffer(transfer.get(), bytes, nullptr, nullptr) < 0 || !memorySpace
        || H5Dread(dataset, nativeType(memory), memorySpace.get(), fileSpace.get(), transfer.get(), out)
            < 0) {
        const QString library = hdf5::errorText();
        error = QStringLiteral("frame %1 of %2 cannot be read%3")
                    .arg(frame)
                    .arg(framesPath_, library.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(library));
        return false;
    }
    return true;
}

bool Hdf5Scan::readRawChunk(int dataset, const std::array<std::uint64_t, 3> &offset,
    std::vector<unsigned char> &raw, std::uint32_t &skipped, QString &error) const
{
    const Storage &s = storage_.at(size_t(dataset));
    const std::uint64_t chunkBytes = s.chunk[0] * s.chunk[1] * s.chunk[2] * std::uint64_t(s.sampleBytes);
    hdf5::Lock lock;
    const hid_t set = hid_t(datasets_.at(size_t(dataset)));
    const hsize_t at[3] = {offset[0], offset[1], offset[2]};
    hsize_t stored = 0;
    // A compressor may add a little to bytes that do not compress; more than that is a damaged index.
    if (H5Dget_chunk_storage_size(set, at, &stored) < 0 || stored == 0
        || stored > chunkBytes + chunkBytes / 8 + 4096) {
        const QString library = hdf5::errorText();
        error = QStringLiteral("the chunk at frame %1 of %2 is %3 bytes, its samples %4%5")
                    .arg(offset[0])
                    .arg(s.path)
                    .arg(stored)
                    .arg(chunkBytes)
                    .arg(library.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(library));
        return false;
    }
    raw.resize(stored);
    std::uint32_t mask = 0;
    if (H5Dread_chunk(set, H5P_DEFAULT, at, &mask, raw.data()) < 0) {
        const QString library = hdf5::errorText();
        error = QStringLiteral("the chunk at frame %1 of %2 cannot be read%3")
                    .arg(offset[0])
                    .arg(s.path, library.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(library));
        return false;
    }
    skipped = mask;
    return true;
}

bool Hdf5Scan::readDatasetFrames(int dataset, std::uint64_t first, int count, void *out, QString &error) const
{
    const QString &path = storage_.at(size_t(dataset)).path;
    hdf5::Lock lock;
    const hid_t set = hid_t(datasets_.at(size_t(dataset)));
    const hdf5::Id fileSpace(H5Dget_space(set));
    const hdf5::Id fileType(H5Dget_type(set));
    const hdf5::Id memoryType(
        fileType ? H5Tget_native_type(fileType.get(), H5T_DIR_ASCEND) : H5I_INVALID_HID);
    const hsize_t start[3] = {first, 0, 0};
    const hsize_t counts[3] = {hsize_t(count), hsize_t(height_), hsize_t(width_)};
    const hdf5::Id memorySpace(H5Screate_simple(3, counts, nullptr));
    if (!fileSpace || !memoryType || !memorySpace
        || H5Sselect_hyperslab(fileSpace.get(), H5S_SELECT_SET, start, nullptr, counts, nullptr) < 0
        || H5Dread(set, memoryType.get(), memorySpace.get(), fileSpace.get(), H5P_DEFAULT, out) < 0) {
        const QString library = hdf5::errorText();
        error = QStringLiteral("frames %1 … %2 of %3 cannot be read%4")
                    .arg(first)
                    .arg(first + std::uint64_t(count) - 1)
                    .arg(path, library.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(library));
        return false;
    }
    return true;
}
