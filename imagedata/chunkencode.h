#pragma once

// Local
#include "imagedata/chunkcodec.h"

namespace chunkcodec {

/// The bytes the HDF5 library would store for a chunk `in` through the pipeline shuffle (of
/// `sampleBytes`) and `compressor` (`chunkfilter::deflate` at level 1, or `chunkfilter::lz4` in its
/// plugin's framing, one block): made outside the library, on any thread, and written with
/// `H5Dwrite_chunk`, so that a volume's compression runs on the workers. Empty for another compressor.
/// \test tst_volumefile.cpp (read back through the library)
std::vector<unsigned char> encode(int compressor, int sampleBytes, std::span<const unsigned char> in);

} // namespace chunkcodec
