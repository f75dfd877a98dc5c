#include "imagedata/chunkcodec.h"

// Local
#include <algorithm>
#include <climits>
#include <cstring>
#include <lz4.h>
#include <zlib.h>

namespace chunkcodec {

namespace {

std::uint64_t bigEndian(const unsigned char *p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

bool inflateInto(std::span<const unsigned char> in, std::span<unsigned char> out, QString &error)
{
    uLongf produced = uLongf(out.size());
    uLong consumed = uLong(in.size());
    const int status = uncompress2(out.data(), &produced, in.data(), &consumed);
    if (status != Z_OK || produced != out.size()) {
        error = QStringLiteral("a gzip chunk does not inflate to its %1 bytes (zlib: %2)")
                    .arg(out.size())
                    .arg(status == Z_OK ? QStringLiteral("%1 bytes").arg(produced) : QString::number(status));
        return false;
    }
    return true;
}

// The plugin's framing: the decoded size (8 bytes, big-endian), the block size (4), then per block
// its compressed size (4) and its bytes; a block whose compressed size equals its own size is stored
// as it is.
bool lz4Into(std::span<const unsigned char> in, std::span<unsigned char> out, QString &error)
{
    const auto fail = [&error](const QString &why) {
        error = QStringLiteral("an LZ4 chunk is damaged: %1").arg(why);
        return false;
    };
    if (in.size() < 12)
        return fail(QStringLiteral("%1 bytes hold no header").arg(in.size()));
    const std::uint64_t total = bigEndian(in.data(), 8);
    std::uint64_t blockSize = bigEndian(in.data() + 8, 4);
    if (total != out.size())
        return fail(QStringLiteral("it holds %1 bytes, the chunk %2").arg(total).arg(out.size()));
    if (blockSize == 0)
        return fail(QStringLiteral("blocks of 0 bytes"));
    blockSize = std::min(blockSize, total);
    size_t at = 12;
    std::uint64_t done = 0;
    while (done < total) {
        const std::uint64_t size = std::min(blockSize, total - done);
        if (in.size() - at < 4)
            return fail(QStringLiteral("it ends inside its blocks"));
        const std::uint64_t packed = bigEndian(in.data() + at, 4);
        at += 4;
        if (packed > in.size() - at || size > INT_MAX)
            return fail(QStringLiteral("a block of %1 bytes runs past its end").arg(packed));
        if (packed == size) {
            std::memcpy(out.data() + done, in.data() + at, size);
        } else {
            const int n = LZ4_decompress_safe(reinterpret_cast<const char *>(in.data() + at),
                reinterpret_cast<char *>(out.data() + done), int(packed), int(size));
            if (n < 0 || std::uint64_t(n) != size)
                return fail(QStringLiteral("a block does not decode to its %1 bytes").arg(size));
        }
        at += packed;
        done += size;
    }
    return true;
}

template<int Size> void unshuffleFixed(const unsigned char *in, unsigned char *out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        for (int j = 0; j < Size; ++j)
            out[i * Size + size_t(j)] = in[size_t(j) * n + i];
}

// The shuffle filter stores byte j of every sample together, j = 0 … size − 1; bytes beyond the last
// whole sample stay where they were.
void unshuffle(std::span<const unsigned char> in, std::span<unsigned char> out, size_t size)
{
    const size_t n = in.size() / size;
    switch (size) {
    case 2:
        unshuffleFixed<2>(in.data(), out.data(), n);
        break;
    case 4:
        unshuffleFixed<4>(in.data(), out.data(), n);
        break;
    default:
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < size; ++j)
                out[i * size + j] = in[j * n + i];
        break;
    }
    std::copy(in.begin() + std::ptrdiff_t(n * size), in.end(), out.begin() + std::ptrdiff_t(n * size));
}

} // namespace

bool decodesPipeline(std::span<const ChunkFilter> pipeline)
{
    const auto compressor
        = [](const ChunkFilter &f) { return f.id == chunkfilter::deflate || f.id == chunkfilter::lz4; };
    switch (pipeline.size()) {
    case 0:
        return true;
    case 1:
        return compressor(pipeline[0]) || pipeline[0].id == chunkfilter::shuffle;
    case 2:
        return pipeline[0].id == chunkfilter::shuffle && compressor(pipeline[1]);
    default:
        return false;
    }
}

bool decode(std::span<const ChunkFilter> pipeline, std::uint32_t skipped, int sampleBytes,
    std::span<const unsigned char> raw, std::vector<unsigned char> &work, std::span<unsigned char> out,
    QString &error)
{
    if (!decodesPipeline(pipeline) || pipeline.size() > 31) {
        error = QStringLiteral("a pipeline of filters decoded by the library only");
        return false;
    }
    const auto applied = [skipped](size_t i) { return !(skipped & (std::uint32_t(1) << i)); };
    std::span<const unsigned char> current = raw;
    for (size_t i = pipeline.size(); i-- > 0;) {
        if (!applied(i))
            continue;
        bool last = true;
        for (size_t k = 0; k < i; ++k)
            last = last && !applied(k);
        if (!last && work.size() < out.size())
            work.resize(out.size());
        const std::span<unsigned char> target
            = last ? out : std::span<unsigned char>(work.data(), out.size());
        switch (pipeline[i].id) {
        case chunkfilter::deflate:
            if (!inflateInto(current, target, error))
                return false;
            break;
        case chunkfilter::lz4:
            if (!lz4Into(current, target, error))
                return false;
            break;
        default: { // shuffle, of the size the file names (the sample's size when it names none)
            const unsigned named = pipeline[i].values.empty() ? 0u : pipeline[i].values[0];
            const size_t size = named >= 1 && named <= 64 ? named : size_t(std::max(1, sampleBytes));
            if (current.size() != out.size()) {
                error = QStringLiteral("a shuffled chunk of %1 bytes, not %2")
                            .arg(current.size())
                            .arg(out.size());
                return false;
            }
            if (current.data() == target.data()) { // nothing decoded before it: shuffle in place
                work.assign(current.begin(), current.end());
                current = std::span<const unsigned char>(work.data(), out.size());
            }
            unshuffle(current, target, size);
            break;
        }
        }
        current = target;
    }
    if (current.data() != out.data()) { // no filter applied to this chunk
        if (current.size() != out.size()) {
            error = QStringLiteral("an unfiltered chunk of %1 bytes, not %2")
                        .arg(current.size())
                        .arg(out.size());
            return false;
        }
        std::memcpy(out.data(), current.data(), out.size());
    }
    return true;
}

} // namespace chunkcodec
