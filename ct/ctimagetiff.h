#pragma once

// Qt
#include <QByteArray>

// Local
#include "ct/ctimagefile.h"
#include <span>

/// A slice as a 32-bit floating-point TIFF image (one sample per pixel, minimum is black,
/// uncompressed): the pixels of the calculation region, row z0 first, with the values the engine
/// computed rounded to float, without value window or offset; pixels outside the n × n image are 0.
/// The region's origin and the slice number go into the image description. Empty, with the reason
/// in `error`, when the region is unreasonably large (as for the data file) or libtiff fails.
QByteArray ctImageTiff(
    std::span<const double> image, int n, const Region &region, int slice, QString *error = nullptr);
