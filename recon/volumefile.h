#pragma once

// Qt
#include <QString>
#include <QStringList>

// Local
#include "ct/ctimagefile.h"
#include "ct/ctimagetiff.h"
#include <memory>
#include <vector>

/// How the slices of a volume file are stored: as they are, or each slice's chunk compressed with
/// gzip (deflate, level 1) or LZ4 (the HDF5 filter 32004 of Debian's hdf5-filter-plugin), both after
/// the shuffle filter, which groups the bytes of the floats.
enum class VolumeCompression { None, Gzip, Lz4 };

/// "none", "gzip" or "lz4"; false for any other word.
bool parseVolumeCompression(const QString &word, VolumeCompression &compression);
QString volumeCompressionWord(VolumeCompression compression);
/// The HDF5 filter that compresses the chunks (`chunkfilter::deflate`, `::lz4`), 0 for none.
int volumeFilter(VolumeCompression compression);

/// What a volume file records besides its slices.
struct VolumeLayout
{
    std::vector<int> slices; // every slice of the run, in any order
    VolumeCompression compression = VolumeCompression::None;
    std::vector<double> anglesDeg; // of the projections used
    QStringList settings; // "name=value" items: what decided the values
    QString program; // "quorvel-recon", "quorvel"
};

/// "NAME-TAG.h5", or "TAG.h5" without a name: a run's volume in its folder.
QString volumeFileName(const QString &name, const QString &tag);
/// The name a volume is written under until it is complete: "FILE.part" beside it.
QString volumePartPath(const QString &path);
/// The file of block `block` of a run divided into tasks: "NAME-TAG.block003.h5" for "NAME-TAG.h5".
QString volumeBlockPath(const QString &path, int block);
/// The version recorded in the files.
QString programVersion();

/// Writes a run's slices into one NeXus file as they finish: `/entry/data/data`, 32-bit floats
/// (z, y, x) of the calculation region, one chunk per slice; `/entry/data/slice` the slice numbers;
/// `/entry/reconstruction` (NXprocess) the centre of rotation per slice, which slices are written,
/// the projections' angles, the region, the settings and the program's version.
///
/// z is a slice's place among the run's slices sorted by number, fixed when the file is made: each
/// slice, whenever it finishes, writes its own chunk there, so the order in which the workers finish
/// does not matter. Chunks not yet written read as NaN (the fill value) and `slice_written` is 0 for
/// them. The file is made by the first slice (whose region fixes its size) under the name
/// "FILE.part", flushed after every slice and renamed to FILE when the last one is in. HDF5's file
/// lock is left off, so that a reader (h5py, h5dump) may open "FILE.part" while the run goes on; it
/// sees the state of the last flush (a reader that opens the file during a flush may find it torn:
/// this is no SWMR file). An unfinished file of an earlier run under "FILE.part" is started again.
/// Every call into HDF5 holds the library's lock.
/// runs on: whichever thread owns it (the command's main thread, the window's saver thread).
/// \test tst_volumefile.cpp, tst_series.cpp
class VolumeFileWriter
{
public:
    VolumeFileWriter();
    ~VolumeFileWriter();
    VolumeFileWriter(const VolumeFileWriter &) = delete;
    VolumeFileWriter &operator=(const VolumeFileWriter &) = delete;

    /// Takes the run's file and what it records; an unfinished "FILE.part" is removed. False (with the
    /// reason) when the folder does not exist, the list of slices is empty or the compression's filter
    /// is not installed.
    bool start(const QString &path, const VolumeLayout &layout, QString *error);
    bool isStarted() const { return !path_.isEmpty(); }
    const QString &path() const { return path_; }
    /// Writes `slice`, reconstructed at `cor` over `region`, at its place and flushes the file (its chunk
    /// as it comes when `values` brings it compressed for this file). The first slice makes the file;
    /// every other one must have its size.
    bool addSlice(int slice, double cor, const Region &region, const RegionFloats &values, QString *error);
    int written() const { return written_; }
    /// Closes the file and, when every slice is in, renames it to its name; otherwise "FILE.part"
    /// stays (its `slice_written` tells which slices it holds) and the error names the slices missing.
    bool finish(QString *error);

private:
    bool create(const Region &region, int height, int width, QString *error);
    void close();

    struct Handles;
    std::unique_ptr<Handles> h_;
    QString path_;
    VolumeLayout layout_;
    std::vector<int> order_; // the slices sorted: z of each
    std::vector<bool> done_;
    int height_ = 0;
    int width_ = 0;
    int written_ = 0;
};
