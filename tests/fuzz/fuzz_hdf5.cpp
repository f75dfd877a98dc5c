// The reading of HDF5 scan files in this process, as the library parses them. Three kinds of input,
// told apart by the first byte:
// - 'H' then the bytes of a file: the library's parsing of damaged files as we call it;
// - 'C' then a pipeline, a size and a chunk's bytes: our own decoding of compressed chunks;
// - anything else: a description of a scan that the library's own writer turns into a well-formed
//   file, with any sizes, types, keys, angles, chunks and filters in it, so that our checks of what a
//   file declares (frames, pixels, keys, angles, chunks) meet every combination the library can store.
// Every scan that opens is read: frames of each kind in both modes, lines of a block, the means, and
// the lines of two blocks decoded once.

// Local
#include "imagedata/chunkcodec.h"
#include "tests/fuzz/fuzzimage.h"
#include "tests/fuzz/fuzzscan.h"
#include <hdf5.h>

namespace {

// Our decoder on any bytes, through one of the pipelines it takes, into a chunk of up to 64 kB.
void decodeChunk(fuzz::Reader &in)
{
    using namespace chunkfilter;
    static const std::vector<std::vector<ChunkFilter>> pipelines {{{deflate, {}}}, {{lz4, {}}},
        {{shuffle, {2}}, {deflate, {}}}, {{shuffle, {4}}, {lz4, {}}}, {{shuffle, {}}}};
    const auto &pipeline = pipelines[size_t(in.small(int(pipelines.size())))];
    const std::uint32_t skipped = std::uint32_t(in.small(4));
    const size_t size = size_t(in.byte()) << 8 | in.byte();
    std::vector<unsigned char> raw(in.data, in.data + in.size), work, out(size);
    QString error;
    chunkcodec::decode(pipeline, skipped, 1 + in.small(4), raw, work, out, error);
}

} // namespace

// The library is built without frame pointers: only the slow unwinder follows an allocation back
// through it, far enough for the suppression of its own leak (tools/sanitizers/lsan.supp). An
// allocation of terabytes that a damaged size field asks of the library fails, as it does outside
// the sanitizer: the library then reports the file unreadable (tests/fuzz/hdf5.options).
extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0:allocator_may_return_null=1";
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUpImageReading();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString error;
    if (size > 0 && data[0] == 'H') {
        const QString path = fuzz::writeScratch(QStringLiteral("input.h5"), data + 1, size - 1);
        fuzz::readScan(path, Hdf5Scan::openHere(path, error));
    } else if (size > 0 && data[0] == 'C') {
        fuzz::Reader in {data + 1, size - 1};
        decodeChunk(in);
    } else {
        fuzz::Reader in {data, size};
        const QString path = fuzz::scratchPath(QStringLiteral("described.h5"));
        if (writeScanFile(path, fuzz::describedScan(in)))
            fuzz::readScan(path, Hdf5Scan::openHere(path, error));
    }
    // The library keeps freed blocks on lists of its own for reuse: they go back after each input,
    // so that the leak checker sees only what was lost.
    H5garbage_collect();
    return 0;
}
