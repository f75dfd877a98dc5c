// The reading of HDF5 scan files. Two kinds of input, told apart by the first byte:
// - 'H' then the bytes of a file: the library's parsing of damaged files as we call it;
// - anything else: a description of a scan that the library's own writer turns into a well-formed
//   file, with any sizes, types, keys, angles, chunks and filters in it, so that our checks of what a
//   file declares (frames, pixels, keys, angles, chunks) meet every combination the library can store.
// Every scan that opens is read: frames of each kind in both modes, lines of a block, the means.

// Local
#include "imagedata/hdf5scan.h"
#include "imagedata/imagesource.h"
#include "imagedata/imgdatascanframe.h"
#include "imagedata/scanangles.h"
#include "tests/fuzz/fuzzimage.h"
#include "tools/scanfile/scanfilewriter.h"
#include <algorithm>
#include <hdf5.h>

namespace {

// Takes bytes off the front of the input.
struct Reader
{
    const uint8_t *data;
    size_t size;
    uint8_t byte()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
    int small(int limit) { return byte() % limit; }
};

ScanFileRecipe describedScan(Reader &in)
{
    ScanFileRecipe s;
    const int layout = in.small(3);
    s.layout = layout == 0 ? ScanFileRecipe::Layout::NXtomo
        : layout == 1      ? ScanFileRecipe::Layout::DataExchange
                           : ScanFileRecipe::Layout::Neither;
    s.type = static_cast<ScanFileRecipe::Type>(in.small(6));
    s.width = 1 + in.small(12);
    s.height = 1 + in.small(12);
    const int frames = in.small(24);
    for (int f = 0; f < frames; ++f)
        s.keys.push_back(in.small(5)); // 4: out of range
    s.noKeys = in.small(4) == 0;
    s.keyCount = in.small(4) == 0 ? in.small(30) : -1;
    s.projections = in.small(8);
    s.flats = in.small(4);
    s.darks = in.small(3);
    const int angles = in.small(30);
    const double step = (in.byte() - 128) / 16.0;
    for (int k = 0; k < angles; ++k)
        s.angles.push_back(k * step + (in.small(8) == 0 ? in.byte() / 64.0 : 0.0));
    s.radians = in.small(2) == 1;
    const int storage = in.small(5);
    s.chunked = storage >= 1;
    s.gzip = storage == 2 ? 1 + in.small(9) : 0;
    s.filter = storage == 3 ? 32008 : 0; // a filter the reader lacks
    if (in.small(6) == 0) { // sizes declared, no frame written
        const int shift = in.small(40);
        s.declaredFrames = std::int64_t(1) << in.small(32);
        s.declaredWidth = std::int64_t(1) << shift;
        s.declaredHeight = 1 + in.small(64);
    }
    s.rank = in.small(8) == 0 ? 2 : 3;
    return s;
}

void readScan(const QString &path)
{
    QString error;
    const std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::open(path, error);
    if (!scan)
        return;
    const int w = scan->width(), h = scan->height();
    std::vector<double> row(static_cast<size_t>(w)), column(static_cast<size_t>(h));
    for (Hdf5Scan::Kind kind : {Hdf5Scan::Kind::Projection, Hdf5Scan::Kind::Flat, Hdf5Scan::Kind::Dark}) {
        const int count = scan->count(kind);
        for (int k : {0, count - 1, count}) {
            for (bool inMemory : {true, false}) {
                ImgDataScanFrame frame(scan, kind, k);
                frame.setReadAll(inMemory);
                if (!frame.open())
                    continue;
                for (int y : {0, h - 1, h, -1})
                    frame.getRow(y, row.data());
                for (int x : {0, w - 1, w, -1})
                    frame.getColumn(x, column.data());
            }
        }
        if (count > 0 && count <= 16) {
            meanOfFrames(scan, kind, error);
            for (bool rows : {true, false}) {
                const int extent = rows ? h : w;
                const std::vector<int> lines
                    = extent > 2 ? std::vector<int> {0, 1, extent - 1} : std::vector<int> {0};
                readLineBlock(ImageSource {path, scan, kind, -1}, rows, lines, w, h);
                readLineBlock(ImageSource {path, scan, kind, count - 1}, rows, lines, w, h);
            }
        }
    }
    fitAngles(scan->angles(), 180.0);
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
    if (size > 0 && data[0] == 'H') {
        readScan(fuzz::writeScratch(QStringLiteral("input.h5"), data + 1, size - 1));
    } else {
        Reader in {data, size};
        const QString path = fuzz::scratchPath(QStringLiteral("described.h5"));
        if (writeScanFile(path, describedScan(in)))
            readScan(path);
    }
    // The library keeps freed blocks on lists of its own for reuse: they go back after each input,
    // so that the leak checker sees only what was lost.
    H5garbage_collect();
    return 0;
}
