#pragma once

// Qt
#include <QByteArray>
#include <QString>

// Local
#include "ct/ctimagefile.h"
#include <span>
#include <vector>

/// A slice as a 32-bit floating-point TIFF image (one sample per pixel, minimum is black,
/// uncompressed): the pixels of the calculation region, row z0 first, with the values the engine
/// computed rounded to float, without value window or offset; pixels outside the n × n image are 0.
/// The region's origin and the slice number go into the image description. Empty, with the reason
/// in `error`, when the region is unreasonably large (as for the data file) or libtiff fails.
QByteArray ctImageTiff(
    std::span<const double> image, int n, const Region &region, int slice, QString *error = nullptr);

/// One page of a multi-page float TIFF: the region of an n × n image, and what the page holds in
/// words (its description is that text, then the region).
struct FloatTiffPage
{
    std::span<const double> image;
    std::span<const float> floats; // instead of `image`, values already rounded to float
    int n = 0;
    Region region;
    QString what;
};

/// The pages as one TIFF file, each as `ctImageTiff` writes a slice. Empty, with the reason in
/// `error`, as there.
QByteArray floatTiffPages(std::span<const FloatTiffPage> pages, QString *error = nullptr);

/// The pixels of a region as the float TIFF holds them: width × height floats, row z0 first.
struct RegionFloats
{
    int width = 0;
    int height = 0;
    std::vector<float> values;
    // The values as a volume file stores them, shuffled and compressed by `chunkFilter` (the HDF5
    // filter's number; 0: not made), so that compression runs where the slice was made.
    std::vector<unsigned char> chunk;
    int chunkFilter = 0;
};

/// The region of an n × n image as `ctImageTiff` writes it (values rounded to float, 0 outside the
/// image), for a volume file. Empty, with the reason in `error`, when the region holds no pixel or is
/// unreasonably large.
RegionFloats regionFloats(
    std::span<const double> image, int n, const Region &region, QString *error = nullptr);
