#pragma once

// Qt
#include <QString>

// Local
#include <cstdint>

typedef struct tiff TIFF;

/// A name of our own beside `path` (".NAME.PID-RANDOM" in its folder), under which a file is written
/// before it is renamed to `path` when complete.
QString temporaryPathBeside(const QString &path);

/// A stack of float maps as one multi-page TIFF file, written a page (a slice) at a time: 32-bit
/// floats, one sample per pixel, uncompressed, every page the same size, each described ("edge jump
/// (1/cm), slice 12"), so that Fiji, napari and tifffile open it as one stack. BigTIFF when the
/// pixels pass 4 GB. Written under a temporary name and renamed when complete.
/// \test tst_xanesfiles.cpp
class MapStackWriter
{
public:
    MapStackWriter() = default;
    ~MapStackWriter();
    MapStackWriter(const MapStackWriter &) = delete;
    MapStackWriter &operator=(const MapStackWriter &) = delete;

    /// Starts the file of `pages` pages of width × height.
    bool create(const QString &path, int width, int height, int pages, QString &error);
    /// The next page, width × height floats, described by `description`.
    bool appendPage(const float *values, const QString &description, QString &error);
    int written() const { return written_; }
    /// Closes and renames the file; refused before every page is written.
    bool finish(QString &error);
    /// Closes and removes the unfinished file.
    void abandon();

private:
    TIFF *tif_ = nullptr;
    QString path_;
    QString temporary_;
    int width_ = 0;
    int height_ = 0;
    int pages_ = 0;
    int written_ = 0;
};
