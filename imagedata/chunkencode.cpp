#include "imagedata/chunkencode.h"

// Local
#include <algorithm>
#include <climits>
#include <cstring>
#include <lz4.h>
#include <zlib.h>

namespace chunkcodec {

namespace {

void putBigEndian(unsigned char *p, std::uint64_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        p[i] = static_cast<unsigned char>(v & 0xff);
        v >>= 8;
    }
}

// Byte j of every sample together, j = 0 … size − 1, as the shuffle filter stores them; bytes beyond
// the last whole sample stay where they are.
std::vector<unsigned char> shuffled(std::span<const unsigned char> in, size_t size)
{
    std::vector<unsigned char> out(in.size());
    const size_t n = in.size() / size;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < size; ++j)
            out[j * n + i] = in[i * size + j];
    std::copy(in.begin() + std::ptrdiff_t(n * size), in.end(), out.begin() + std::ptrdiff_t(n * size));
    return out;
}

} // namespace

std::vector<unsigned char> encode(int compressor, int sampleBytes, std::span<const unsigned char> in)
{
    std::vector<unsigned char> out;
    if (compressor != chunkfilter::deflate && compressor != chunkfilter::lz4)
        return out;
    const std::vector<unsigned char> bytes = shuffled(in, size_t(std::max(1, sampleBytes)));
    if (compressor == chunkfilter::deflate) {
        uLongf size = compressBound(uLong(bytes.size()));
        out.resize(size);
        if (compress2(out.data(), &size, bytes.data(), uLong(bytes.size()), 1) != Z_OK)
            return {};
        out.resize(size);
        return out;
    }
    // The plugin's framing: the decoded size (8 bytes, big-endian), the block size (4), then the
    // block's compressed size (4) and its bytes, or the bytes as they are when LZ4 saves nothing.
    if (bytes.size() > size_t(LZ4_MAX_INPUT_SIZE))
        return {};
    const int size = int(bytes.size());
    out.resize(16 + size_t(LZ4_compressBound(size)));
    putBigEndian(out.data(), std::uint64_t(size), 8);
    putBigEndian(out.data() + 8, std::uint64_t(size), 4);
    int packed = LZ4_compress_default(reinterpret_cast<const char *>(bytes.data()),
        reinterpret_cast<char *>(out.data() + 16), size, LZ4_compressBound(size));
    if (packed <= 0 || packed >= size) {
        packed = size;
        std::memcpy(out.data() + 16, bytes.data(), bytes.size());
    }
    putBigEndian(out.data() + 12, std::uint64_t(packed), 4);
    out.resize(16 + size_t(packed));
    return out;
}

} // namespace chunkcodec
