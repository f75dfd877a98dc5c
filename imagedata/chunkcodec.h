#pragma once

// Qt
#include <QString>

// Local
#include <cstdint>
#include <span>
#include <vector>

/// One filter of a dataset's pipeline as the file lists it: its number and its values.
struct ChunkFilter
{
    int id = 0;
    std::vector<unsigned> values;
};

/// HDF5 filter numbers this program undoes itself.
namespace chunkfilter {
constexpr int deflate = 1; // zlib (gzip)
constexpr int shuffle = 2; // bytes of each sample grouped by significance
constexpr int lz4 = 32004; // the LZ4 plugin's framing around LZ4 blocks
} // namespace chunkfilter

/// Decoding the raw bytes of a chunk outside the HDF5 library, so that decompression runs on every
/// core while only the read of the raw bytes holds the library's lock. Pipelines of the shuffle
/// filter (first, if at all) and at most one of deflate and LZ4 are decoded here; any other pipeline
/// is left to the library (`decodesPipeline` says which).
/// \test tst_decodedbands.cpp
namespace chunkcodec {

/// Whether `decode` undoes `pipeline` (the filters in the order they were applied on writing).
bool decodesPipeline(std::span<const ChunkFilter> pipeline);

/// Undoes `pipeline` on `raw` into `out`, which must come out exactly `out.size()` bytes (the chunk's
/// samples). Filters whose bit is set in `skipped` (the chunk's filter mask) were not applied to this
/// chunk. `work` is scratch room kept between calls. False, with `error` saying why, when the bytes
/// are damaged or do not make a whole chunk; nothing outside `out` and `work` is ever written.
bool decode(std::span<const ChunkFilter> pipeline, std::uint32_t skipped, int sampleBytes,
    std::span<const unsigned char> raw, std::vector<unsigned char> &work, std::span<unsigned char> out,
    QString &error);

} // namespace chunkcodec
