#pragma once

// The scan files of the HDF5 fuzz targets: a description of a scan that the library's own writer
// turns into a well-formed file, and the reading of every scan that opens, as the program reads it.

// Local
#include "imagedata/decodedbands.h"
#include "imagedata/hdf5scan.h"
#include "imagedata/imagesource.h"
#include "imagedata/imgdatascanframe.h"
#include "imagedata/scanangles.h"
#include "tests/fuzz/fuzzsupport.h"
#include "tools/scanfile/scanfilewriter.h"
#include <algorithm>

namespace fuzz {

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

inline ScanFileRecipe describedScan(Reader &in)
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
    // Added later: the inputs of before read these as zero (one frame a chunk, whole sides).
    s.shuffle = storage == 2 && in.small(2) == 1;
    s.chunkFrames = 1 + in.small(3);
    s.chunkRows = in.small(4);
    s.chunkColumns = in.small(4);
    return s;
}

inline void readScan(const QString &path, const std::shared_ptr<const Hdf5Scan> &scan)
{
    QString error;
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
    // A run's reading of compressed frames: decoded once into two blocks of lines, kept in memory.
    std::vector<ImageSource> sources;
    for (Hdf5Scan::Kind kind : {Hdf5Scan::Kind::Projection, Hdf5Scan::Kind::Flat, Hdf5Scan::Kind::Dark})
        sources.push_back(ImageSource {path, scan, kind, kind == Hdf5Scan::Kind::Projection ? 0 : -1});
    for (bool rows : {true, false}) {
        const int extent = rows ? h : w;
        DecodedBands::Plan plan;
        plan.rowLines = rows;
        plan.blocks = {{0}, extent > 1 ? std::vector<int> {extent - 1} : std::vector<int> {}};
        std::vector<ImageSource *> pointers;
        for (ImageSource &s : sources)
            pointers.push_back(&s);
        if (!DecodedBands::attach(plan, pointers))
            continue;
        for (const ImageSource &s : sources)
            for (const std::vector<int> &lines : plan.blocks)
                readLineBlock(s, rows, lines, w, h);
    }
}

} // namespace fuzz
