#pragma once

// Qt
#include <QString>

// Local
#include "imagedata/chunkcodec.h"
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

/// One scan in one HDF5 file, as tomography beamlines write them: the projection frames, the flat
/// (I0) and dark (BG) frames and the rotation angles of the projections. Two layouts are read:
/// - NXtomo (NeXus): frames in /entry/instrument/detector/data (or /entry/data/data), the kind of
///   each frame in image_key beside them (0 projection, 1 flat, 2 dark, 3 invalid: skipped), angles
///   in /entry/sample/rotation_angle (one per frame, or one per projection);
/// - Data Exchange: /exchange/data (projections), data_white (flats), data_dark (darks) and theta.
/// Frames are frames × rows × columns of 8-, 16- or 32-bit unsigned integers or 32-bit floats,
/// contiguous or chunked through any filter the library has (a missing one is named). Angles are in
/// degrees unless their "units" say radians.
///
/// Opening reads the layout and the small datasets only, checking every size before anything is
/// allocated from it; frames are read later, in rectangles, so a caller holds only what it asks for.
/// The file stays open while the scan lives. Every call into the library is serialised (one lock):
/// any thread may read.
/// \test tst_hdf5scan.cpp
class Hdf5Scan
{
public:
    enum class Kind { Projection = 0, Flat = 1, Dark = 2 };
    enum class Layout { NXtomo, DataExchange };
    /// Sample types of the file, and of the memory frames are read into (Float64 only there).
    enum class Samples { UInt8, UInt16, UInt32, Float32, Float64 };

    /// The most frames one dataset may hold: far beyond any scan, small enough that the per-frame
    /// lists (keys, angles) stay a few megabytes whatever a file claims.
    static constexpr std::int64_t maxFrames = std::int64_t(1) << 20;

    /// Opens `fileName` once its structure has proved readable in a child process (`probeScanFile`):
    /// a file that makes the library fault never reaches this process. None, with `error` saying
    /// why, when it is no scan that can be read.
    static std::shared_ptr<Hdf5Scan> open(const QString &fileName, QString &error);
    /// Opens `fileName` in this process without the child's check: for the check itself and for
    /// fuzzing the library's reading.
    static std::shared_ptr<Hdf5Scan> openHere(const QString &fileName, QString &error);
    ~Hdf5Scan();
    Hdf5Scan(const Hdf5Scan &) = delete;
    Hdf5Scan &operator=(const Hdf5Scan &) = delete;

    const QString &fileName() const { return fileName_; }
    Layout layout() const { return layout_; }
    /// "NXtomo" or "Data Exchange", with the path of the frames.
    QString description() const;
    int width() const { return width_; }
    int height() const { return height_; }
    int count(Kind kind) const { return static_cast<int>(part(kind).frames.size()); }
    Samples samples(Kind kind) const { return part(kind).samples; }
    /// Frames marked invalid (image_key 3), left out of every kind.
    int invalidFrames() const { return invalid_; }
    /// The angle of each projection in degrees, in order; empty when the file gives none.
    const std::vector<double> &angles() const { return angles_; }

    /// Reads rows y0 … y0 + rows − 1, columns x0 … x0 + cols − 1 of frame `index` of `kind` into
    /// `out` (rows × cols values of type `memory`, row after row); the library converts the samples.
    /// False, with `error` set, when the rectangle is not inside the frame or the read fails.
    bool readRect(Kind kind, int index, int y0, int rows, int x0, int cols, Samples memory, void *out,
        QString &error) const;
    /// Reads whole lines of a frame: rows (`rowLines`, each `width` values) or columns (each
    /// `height` values), one after the other into `out`. `lines` sorted, without repeats, inside the
    /// frame; runs of neighbouring lines are read together, in one call for all of them.
    bool readLines(Kind kind, int index, bool rowLines, std::span<const int> lines, Samples memory, void *out,
        QString &error) const;

    static int bytesPerSample(Samples samples);

    /// How one dataset of frames is stored, for reading its chunks as they lie in the file.
    struct Storage
    {
        bool chunked = false;
        std::array<std::uint64_t, 3> chunk {}; // frames, rows and columns of a chunk
        std::vector<ChunkFilter> filters; // in the order they were applied on writing
        int sampleBytes = 2;
        bool swapped = false; // samples in the other byte order than this machine's
        std::uint64_t frames = 0; // frames of the dataset
        QString path; // of the dataset in the file
    };
    /// The datasets of frames (one for NXtomo, up to three for Data Exchange), and which one holds
    /// frame `index` of `kind` at which frame of its own.
    int datasetCount() const { return static_cast<int>(datasets_.size()); }
    const Storage &storage(int dataset) const { return storage_.at(size_t(dataset)); }
    int datasetOf(Kind kind) const { return part(kind).dataset; }
    std::uint32_t datasetFrame(Kind kind, int index) const { return part(kind).frames.at(size_t(index)); }
    /// Whether frames of `kind` are stored through filters (decoded whole, a chunk at a time).
    bool filtered(Kind kind) const { return part(kind).filtered; }
    /// The chunk of `dataset` that begins at (frame, row, column) `offset`, as stored: still filtered,
    /// with the mask of the filters skipped for it. Read under the library's lock; its size is
    /// checked before anything is allocated for it.
    bool readRawChunk(int dataset, const std::array<std::uint64_t, 3> &offset,
        std::vector<unsigned char> &raw, std::uint32_t &skipped, QString &error) const;
    /// Frames `first` … `first` + `count` − 1 of `dataset`, whole, decoded by the library into this
    /// machine's byte order of their own sample type.
    bool readDatasetFrames(int dataset, std::uint64_t first, int count, void *out, QString &error) const;

private:
    Hdf5Scan() = default;
    struct Part
    {
        int dataset = -1; // index into datasets_
        Samples samples = Samples::UInt16;
        bool filtered = false; // stored in chunks that are decoded whole (compressed)
        std::vector<std::uint32_t> frames; // frame numbers in the dataset, in order
    };
    // Runs of neighbouring lines: the first line and the count of each.
    struct Runs
    {
        std::vector<int> start;
        std::vector<int> count;
    };
    const Part &part(Kind kind) const { return parts_[static_cast<size_t>(kind)]; }
    // Reads the runs of whole lines of one frame in one call: rows (columns `from` … `from` + `span`
    // − 1 of each) or columns (`span` = the height).
    bool readSelection(const Part &p, int index, const Runs &runs, bool rowLines, int from, int span,
        Samples memory, void *out, QString &error) const;
    // The library copies a chunk's whole size out of what a damaged file stores for it, or out of
    // what a filter returns for it, reading beyond its own buffer. So chunks stored as they are
    // must have a chunk's size before the library reads them (`checkStoredChunks`), and compressed
    // ones are decoded here, each checked for its size, then converted by the library
    // (`readDecoded`): the rows of `runs`, columns `from` … `from` + `span` − 1, of `frame`.
    bool checkStoredChunks(int dataset, std::uint64_t frame, const Runs &runs, int from, int span,
        QString &error) const;
    bool readDecoded(int dataset, std::uint64_t frame, const Runs &runs, int from, int span,
        Samples memory, void *out, QString &error) const;
    static std::uint64_t nextSerial();
    static std::int64_t nativeType(Samples s); // the library's memory type (an hid_t)

    friend class Hdf5ScanOpener;
    std::uint64_t serial_ = nextSerial(); // tells this scan's chunks from another's in a thread's cache
    QString fileName_;
    Layout layout_ = Layout::NXtomo;
    QString framesPath_;
    std::int64_t file_ = -1; // identifiers of the library, closed with the scan
    std::vector<std::int64_t> datasets_;
    std::vector<Storage> storage_; // of each of datasets_
    std::array<Part, 3> parts_;
    int width_ = 0;
    int height_ = 0;
    int invalid_ = 0;
    std::vector<double> angles_;
};
