#pragma once

// Qt
#include <QString>

// Local
#include "view3d/slicedata.h"
#include <cstdint>
#include <optional>
#include <string_view>

/// How large a grid a reader may make, in values (8 bytes each); a file that asks for more is not
/// accepted, so that a damaged header cannot exhaust memory.
struct SliceReadLimits
{
    int64_t maxValues = int64_t(1) << 28;
};

// The readers of slice files. Each answers nothing when the file is not of its kind (or asks for a
// grid beyond the limits); they run on any thread.

/// Any raster format the toolkit reads, by content: the value of a pixel is its lowest 8 bits.
std::optional<SliceData> readRasterSlice(const QString &path, const SliceReadLimits &limits = {});

/// The CT image data file this program writes ("#QRVL-CTImg"): the grid is sized by the header's
/// Range_X0 … Range_X1 and Range_Y0 … Range_Y1, and the x and y of each data line are the grid
/// indices as written (lines outside the grid are ignored).
std::optional<SliceData> readCtImgFile(const QString &path, const SliceReadLimits &limits = {});
std::optional<SliceData> readCtImgText(std::string_view text, const SliceReadLimits &limits = {});

/// The XYV grid text file ("## 240301"): X-NUM − 1 columns and Y-NUM − 1 rows from the header,
/// fields separated by commas and/or blanks, the origin taken from the first data line (a file whose
/// first data line has fewer than two fields is not accepted; blank lines are skipped; points outside
/// the grid are ignored).
std::optional<SliceData> readXyvFile(const QString &path, const SliceReadLimits &limits = {});
std::optional<SliceData> readXyvText(std::string_view text, const SliceReadLimits &limits = {});

/// A grey TIFF of one sample per pixel (8-, 16- or 32-bit unsigned integers, 32-bit floats), known
/// by its content, with the values as stored (floats as computed, counts as counted).
std::optional<SliceData> readTiffSlice(const QString &path, const SliceReadLimits &limits = {});

/// One slice file, the first reader that accepts it winning: grey TIFF with its values, raster
/// image, CT image data file, XYV file.
std::optional<SliceData> readSliceFile(const QString &path, const SliceReadLimits &limits = {});
