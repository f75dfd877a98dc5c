// The reading of HDF5 scan files in this process, as the library parses them. Three kinds of input,
// told apart by the first byte:
// - 'H' then the bytes of a file: the library's parsing of damaged files as we call it, once the
//   structure has opened in a child process (as in the program);
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
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <hdf5.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Whether the library gets through the structure of the file at `path` in a child process, as the
// program opens a scan file only once its helper process has (probeScanFile). A fault, or a loop,
// inside the library there is the library's own (damaged files of this kind wait in
// tests/fuzz/unsolved/); one in our code is this input's crash, reported with the child's account.
bool structureOpens(const QString &path)
{
    const QByteArray report = QFile::encodeName(fuzz::scratchPath(QStringLiteral("child-report.txt")));
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(report.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0)
            dup2(fd, STDERR_FILENO);
        QString error;
        const bool opened = Hdf5Scan::openHere(path, error) != nullptr;
        _exit(opened ? 0 : 3); // no leak check: the parent opens it again
    }
    if (child < 0)
        return false;
    int status = 0;
    useconds_t pause = 50, waited = 0; // short at first: the child is usually done in a millisecond
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (waited > 5000000) { // 5 s: the library loops
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return false;
        }
        usleep(pause);
        waited += pause;
        pause = std::min<useconds_t>(pause * 2, 10000);
    }
    if (WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3))
        return WEXITSTATUS(status) == 0;
    // The first frame of the report below the sanitizer's and the C library's own.
    QFile file(QFile::decodeName(report));
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    for (const QByteArray &line : text.split('\n')) {
        const QByteArray frame = line.trimmed();
        if (!frame.startsWith('#') || frame.contains("__interceptor_") || frame.contains("/sysdeps/")
            || frame.contains("libc.so") || frame.contains("sanitizer"))
            continue;
        if (frame.contains("libhdf5"))
            return false;
        break;
    }
    std::fputs(text.constData(), stderr);
    std::abort();
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
        if (structureOpens(path))
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
