#pragma once

// Qt
#include <QString>

// Local
#include <cstdint>
#include <functional>
#include <vector>

/// Writes HDF5 scan files through the library's C API, as a beamline's writer would: for the tests,
/// the benchmark and the fuzz target (the program itself only reads them). It also writes the faulty
/// files a reader must refuse: another rank or sample type, a wrong number of keys or angles, frames
/// declared but never written, a filter the reader will not have.
struct ScanFileRecipe
{
    enum class Layout { NXtomo, DataExchange, Neither }; // Neither: a group of another name only
    enum class Type { U8, U16, U32, F32, I16, F64 };
    /// The kinds of frame: 0 projection, 1 flat, 2 dark, 3 invalid (NXtomo's image_key values).
    using Fill = std::function<void(int kind, int index, int y, double *row)>;

    Layout layout = Layout::NXtomo;
    Type type = Type::U16;
    int width = 8;
    int height = 4;
    /// NXtomo: the kind of every frame of the one dataset, written as image_key (unless `noKeys`).
    std::vector<int> keys;
    bool noKeys = false;
    /// image_key written with this many values instead of one per frame (−1: one per frame).
    int keyCount = -1;
    /// Data Exchange: frames of each dataset (flats and darks are written when there are some).
    int projections = 0;
    int flats = 0;
    int darks = 0;
    /// Angles as written (NXtomo: /entry/sample/rotation_angle; Data Exchange: /exchange/theta).
    std::vector<double> angles;
    bool radians = false; // "units" says "rad" (else "degree")
    /// Storage: chunks of one frame each, compressed with gzip at this level (0: none), or through
    /// `filter`, a filter number registered while writing only, so that a reader lacks it, or through
    /// `plugin`, a filter the library loads itself.
    bool chunked = false;
    int gzip = 0;
    int filter = 0;
    int plugin = 0;
    bool shuffle = false; // the shuffle filter before the compressor
    bool compact = false; // frames in the dataset's header (small ones only), when not chunked
    /// Frames, rows and columns of a chunk (0: the whole side; frames 0 means 1).
    int chunkFrames = 1;
    int chunkRows = 0;
    int chunkColumns = 0;
    /// The frames written into this file (beside the scan file) and reached through an external link,
    /// as beamline master files link their detector's files; empty: in the scan file.
    QString externalFrames;
    /// "units" of the angles as numpy writes a bytes string: fixed length, no terminator ("S3").
    bool paddedUnits = false;
    /// Frames declared with this many frames, of which only the recipe's own are written (none, in
    /// chunks, when a side is declared too): sizes a reader must not trust.
    std::int64_t declaredFrames = 0;
    std::int64_t declaredWidth = 0;
    std::int64_t declaredHeight = 0;
    /// 2: the frames dataset is one frame of rows × columns.
    int rank = 3;
    /// The value of each pixel; default: a pattern that tells frames, rows and columns apart.
    Fill fill;
};

/// Writes `recipe` to `path`; false, with `error` set, when the library refuses.
bool writeScanFile(const QString &path, const ScanFileRecipe &recipe, QString *error = nullptr);

/// The image files `projections`, `i0` and `bg` (ITEX or TIFF, one size) as one NXtomo scan file: a
/// dark, a flat, the projections `stepDeg` apart from 0, another flat (the flats and the dark are the
/// I0 and BG images, so their means are those images exactly).
bool writeScanOfImages(const QString &path, const QStringList &projections, const QString &i0,
    const QString &bg, double stepDeg, QString *error = nullptr);

/// Whether the library can write and read through filter `id` here (LZ4 is 32004 and comes with a
/// plugin package).
bool scanFilterAvailable(int id);

/// The default fill: kind · 10000 + index · 100 + y · 10 + x, within 16 bits for small frames.
double scanPattern(int kind, int index, int x, int y);
