// The program's own way into an HDF5 scan file: its structure first in a child process
// (quorvel-scanprobe), then, when the child survived, in this one. Inputs as for the hdf5 target: 'H'
// then the bytes of a file, or a description of a well-formed scan. A file that makes the library
// fault or hang must be refused here, never reach this process; one that opens is read as a run
// reads it. Slower than the hdf5 target by a process per input.

// Local
#include "imagedata/hdf5probe.h"
#include "tests/fuzz/fuzzimage.h"
#include "tests/fuzz/fuzzscan.h"
#include <hdf5.h>

// As for the hdf5 target: the library's own leaks are followed through it, and allocations of what
// a damaged size field claims fail rather than end the run.
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
    // A name of its own for every input: a check passed is not taken for a file rewritten since.
    static int count = 0;
    const QString name = QStringLiteral("probe-%1.h5").arg(count++);
    QString path;
    if (size > 0 && data[0] == 'H') {
        path = fuzz::writeScratch(name, data + 1, size - 1);
    } else {
        fuzz::Reader in {data, size};
        path = fuzz::scratchPath(name);
        if (!writeScanFile(path, fuzz::describedScan(in)))
            path.clear();
    }
    // The child's time is kept inside libFuzzer's (-timeout=10): a file the library loops on is
    // refused, not a timeout of this target.
    QString error;
    if (!path.isEmpty() && probeScanFile(path, error, 3000))
        fuzz::readScan(path, Hdf5Scan::open(path, error));
    if (!path.isEmpty())
        QFile::remove(path);
    H5garbage_collect();
    return 0;
}
