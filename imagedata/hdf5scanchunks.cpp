// Reading chunked frames with every chunk checked before the library copies out of it.

#include "imagedata/hdf5scan.h"

// Local
#include "imagedata/hdf5access.h"
#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

// The last chunk decoded on this thread, kept when small: a caller that reads a frame a few lines
// at a time would otherwise decode its chunk for every call (the library keeps 1 MB of decoded
// chunks for the same reason). Larger chunks are decoded per call and their room given back.
struct ChunkRoom
{
    std::uint64_t scan = 0; // serial of the scan whose chunk `decoded` holds; 0: none
    int dataset = -1;
    std::array<std::uint64_t, 3> offset {};
    std::vector<unsigned char> raw, work, decoded, picked;
};
constexpr size_t keptChunkBytes = size_t(4) << 20;
thread_local ChunkRoom chunkRoom;

} // namespace

std::uint64_t Hdf5Scan::nextSerial()
{
    static std::atomic<std::uint64_t> serial {0};
    return ++serial;
}

bool Hdf5Scan::checkStoredChunks(
    int dataset, std::uint64_t frame, const Runs &runs, int from, int span, QString &error) const
{
    const Storage &s = storage_.at(size_t(dataset));
    const std::uint64_t c0 = s.chunk[0], c1 = s.chunk[1], c2 = s.chunk[2];
    const std::uint64_t chunkBytes = c0 * c1 * c2 * std::uint64_t(s.sampleBytes);
    const std::uint64_t at0 = frame / c0 * c0;
    hdf5::Lock lock;
    const hid_t set = hid_t(datasets_.at(size_t(dataset)));
    for (size_t r = 0; r < runs.start.size(); ++r) {
        const std::uint64_t y0 = std::uint64_t(runs.start[r]) / c1 * c1;
        const std::uint64_t y1 = std::uint64_t(runs.start[r] + runs.count[r] - 1) / c1 * c1;
        for (std::uint64_t y = y0; y <= y1; y += c1) {
            for (std::uint64_t x = std::uint64_t(from) / c2 * c2; x < std::uint64_t(from + span); x += c2) {
                const hsize_t at[3] = {at0, y, x};
                // The size the index holds (the storage size the library reports for a chunk
                // that is not filtered is the chunk's, whatever the index says).
                hsize_t stored = 0;
                unsigned mask = 0;
                haddr_t address = HADDR_UNDEF;
                if (H5Dget_chunk_info_by_coord(set, at, &mask, &address, &stored) < 0
                    || stored != chunkBytes) {
                    const QString library = hdf5::errorText();
                    error = QStringLiteral(
                        "the chunk at frame %1, row %2, column %3 of %4 is %5 bytes, not %6%7")
                                .arg(at0)
                                .arg(y)
                                .arg(x)
                                .arg(s.path)
                                .arg(stored)
                                .arg(chunkBytes)
                                .arg(library.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(library));
                    return false;
                }
            }
        }
    }
    return true;
}

bool Hdf5Scan::readDecoded(int dataset, std::uint64_t frame, const Runs &runs, int from, int span,
    Samples memory, void *out, QString &error) const
{
    const Storage &s = storage_.at(size_t(dataset));
    const std::uint64_t c0 = s.chunk[0], c1 = s.chunk[1], c2 = s.chunk[2];
    const size_t sample = size_t(s.sampleBytes);
    const size_t chunkBytes = size_t(c0 * c1 * c2) * sample; // at most a GiB, checked on opening
    const std::uint64_t at0 = frame / c0 * c0, within = frame - at0;
    size_t lines = 0;
    for (int n : runs.count)
        lines += size_t(n);
    const size_t values = lines * size_t(span);
    // The file's samples of the selection, row after row, then converted in place: in `out` when
    // the memory's samples are no smaller.
    const size_t memorySample = size_t(bytesPerSample(memory));
    unsigned char *picked = static_cast<unsigned char *>(out);
    if (memorySample < sample) {
        if (chunkRoom.picked.size() < values * sample)
            chunkRoom.picked.resize(values * sample);
        picked = chunkRoom.picked.data();
    }
    size_t line = 0;
    for (size_t r = 0; r < runs.start.size(); ++r) {
        const std::uint64_t first = std::uint64_t(runs.start[r]), end = first + std::uint64_t(runs.count[r]);
        for (std::uint64_t y0 = first / c1 * c1; y0 < end; y0 += c1) {
            for (std::uint64_t x0 = std::uint64_t(from) / c2 * c2; x0 < std::uint64_t(from + span);
                 x0 += c2) {
                const std::array<std::uint64_t, 3> at {at0, y0, x0};
                if (chunkRoom.scan != serial_ || chunkRoom.dataset != dataset || chunkRoom.offset != at) {
                    chunkRoom.scan = 0;
                    std::uint32_t skipped = 0;
                    if (!readRawChunk(dataset, at, chunkRoom.raw, skipped, error))
                        return false;
                    chunkRoom.decoded.resize(chunkBytes);
                    if (!chunkcodec::decode(s.filters, skipped, s.sampleBytes, chunkRoom.raw, chunkRoom.work,
                            chunkRoom.decoded, error)) {
                        error = QStringLiteral("%1, the chunk at frame %2, row %3, column %4: %5")
                                    .arg(s.path)
                                    .arg(at0)
                                    .arg(y0)
                                    .arg(x0)
                                    .arg(error);
                        return false;
                    }
                    chunkRoom.scan = serial_;
                    chunkRoom.dataset = dataset;
                    chunkRoom.offset = at;
                }
                // The rows of this run inside the chunk, the columns of the selection inside it.
                const std::uint64_t xa = std::max<std::uint64_t>(x0, std::uint64_t(from));
                const std::uint64_t xb = std::min<std::uint64_t>(x0 + c2, std::uint64_t(from + span));
                for (std::uint64_t y = std::max(y0, first); y < std::min(y0 + c1, end); ++y)
                    std::memcpy(
                        picked + ((line + (y - first)) * size_t(span) + (xa - std::uint64_t(from))) * sample,
                        chunkRoom.decoded.data() + ((within * c1 + (y - y0)) * c2 + (xa - x0)) * sample,
                        (xb - xa) * sample);
            }
        }
        line += size_t(runs.count[r]);
    }
    if (chunkBytes > keptChunkBytes) {
        chunkRoom.scan = 0;
        std::vector<unsigned char>().swap(chunkRoom.raw);
        std::vector<unsigned char>().swap(chunkRoom.decoded);
        std::vector<unsigned char>().swap(chunkRoom.work);
    }
    hdf5::Lock lock;
    const hdf5::Id fileType(H5Dget_type(hid_t(datasets_.at(size_t(dataset)))));
    if (!fileType
        || H5Tconvert(fileType.get(), nativeType(memory), values, picked, nullptr, H5P_DEFAULT) < 0) {
        const QString library = hdf5::errorText();
        error = QStringLiteral("frame %1 of %2 cannot be converted%3")
                    .arg(frame)
                    .arg(s.path, library.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(library));
        return false;
    }
    if (picked != out)
        std::memcpy(out, picked, values * memorySample);
    return true;
}
