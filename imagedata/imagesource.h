#pragma once

// Qt
#include <QString>

// Local
#include "imagedata/hdf5scan.h"
#include <memory>
#include <span>
#include <vector>

class DecodedBands;
class ImgData;

/// Where one image of a data set comes from: an image file (ITEX or TIFF), a frame of a scan file,
/// or the mean of a scan's flat or dark frames (its I0 or BG image).
struct ImageSource
{
    QString file;
    std::shared_ptr<const Hdf5Scan> scan; // none: `file` is an image file
    Hdf5Scan::Kind kind = Hdf5Scan::Kind::Projection;
    int frame = -1; // of `kind` in the scan; −1: the mean of all frames of `kind`
    /// A run's compressed frames decoded once (see DecodedBands); none: read from the scan.
    std::shared_ptr<DecodedBands> bands = {};

    bool isEmpty() const { return file.isEmpty() && !scan; }
    /// The file, or "scan.nxs, projection 17" / "scan.nxs: mean of 20 flats", for messages.
    QString label() const;
};

/// The source of an image file.
inline ImageSource imageFileSource(const QString &file)
{
    return ImageSource {file, nullptr, Hdf5Scan::Kind::Projection, -1};
}

/// The sources of the images of `files`, in order: an image file gives itself, a scan file its
/// projection frames. `scans` receives each scan opened. False, with `error` naming the file, when a
/// file's type is unknown or a scan cannot be read.
bool expandSources(const QStringList &files, std::vector<ImageSource> &sources,
    std::vector<std::shared_ptr<const Hdf5Scan>> &scans, QString &error);

/// The size of a source's image, from the header or the scan alone; false when it is not readable.
bool readSourceSize(const ImageSource &source, int &width, int &height);

/// `readLineBlock` of any source: the lines `lines` (rows when `rowLines`, else columns; sorted,
/// without repeats) of an image of `width` × `height`. A scan frame is read by those lines only; the
/// mean of frames averages the same lines of each. None, with a message, when they cannot be read.
std::shared_ptr<const ImgData> readLineBlock(
    const ImageSource &source, bool rowLines, std::span<const int> lines, int width, int height);
