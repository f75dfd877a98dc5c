#pragma once

// Qt
#include <QImage>
#include <QMetaType>

// Local
#include <limits>
#include <memory>
#include <optional>
#include <vector>

/// One slice read back from a file: an nx × ny grid of values, row y at values[y·nx]. A raster
/// image slice keeps its image; its values are the lowest 8 bits of each ARGB pixel (the blue
/// channel, the grey level of a grey image).
struct SliceData
{
    int nx = 0;
    int ny = 0;
    bool isImage = false;
    QImage image;
    /// Smallest and largest finite value; NaN and infinite values stay in the grid but not here.
    double min = std::numeric_limits<double>::max();
    double max = -std::numeric_limits<double>::max();
    std::vector<double> values;
    /// Per block of `block` × `block` values (blocks row by row, those at the far edges cut by the
    /// grid): the smallest and the largest value that is not NaN (+∞ and −∞ when there is none).
    /// The renderer skips blocks that hold no value of its window. Empty until summarizeBlocks(),
    /// and wrong once the values change after it: published stacks never change.
    std::vector<double> blockRanges;
    static constexpr int block = 8;
    /// The blocks across n values, the last one cut by the grid's edge.
    static int blocksAcross(int n) { return (n + block - 1) / block; }

    double value(int x, int y) const { return values[static_cast<size_t>(y) * nx + x]; }
    const double *row(int y) const { return values.data() + static_cast<size_t>(y) * nx; }
    /// Makes the grid: ny rows of nx zeros.
    void makeGrid(int columns, int rows)
    {
        nx = columns;
        ny = rows;
        values.assign(static_cast<size_t>(columns) * rows, 0.0);
    }
    /// Fills blockRanges from the values.
    void summarizeBlocks();
    /// Whether blockRanges belongs to a grid of this size.
    bool hasBlockRanges() const
    {
        return nx > 0 && ny > 0
            && blockRanges.size() == 2 * static_cast<size_t>(blocksAcross(nx)) * blocksAcross(ny);
    }
    /// Widens min and max to a finite value.
    void follow(double v)
    {
        if (v < min && v > -std::numeric_limits<double>::infinity())
            min = v;
        if (v > max && v < std::numeric_limits<double>::infinity())
            max = v;
    }
};

/// The value histogram of a stack: `bins` bins of width (max − min)/(bins − 1), bin k collecting
/// the values nearest min + k·width, and its picture, bins × height pixels.
struct SliceHistogram
{
    bool ready = false;
    int bins = 50;
    int height = 100;
    std::vector<int> counts;
    double binWidth = 1.0;
    double countMax = 0.0;
    QImage image;
};

/// A stack of equal-size slices in file order (the z order of the volume), with its value range and
/// histogram. Built by the loader and then shared read-only: nothing changes a published stack.
struct SliceStack
{
    std::vector<SliceData> slices;
    /// Per slice, its number from the file's name (none where the name has none).
    std::vector<std::optional<long long>> numbers;
    int nx = 0;
    int ny = 0;
    double valueMin = 0.0;
    double valueMax = 1.0;
    SliceHistogram histogram;

    bool loaded() const { return !slices.empty(); }
    int count() const { return static_cast<int>(slices.size()); }
};

using SliceStackPtr = std::shared_ptr<const SliceStack>;
Q_DECLARE_METATYPE(SliceStackPtr)
