#pragma once

// Qt
#include <QString>

// Local
#include "ct/sinogramdata.h"
#include <optional>
#include <span>
#include <vector>

class ImgData;
struct ProjectionSet;

/// Which sinogram to build. The partial-data-set fields are taken from the processing panel on the
/// main thread, so a worker never reads a widget.
struct SinogramRequest
{
    bool rowLines = true; // slice lines are image rows (vertical rotation axis)
    double cor = 0.0;
    int slice = 0;
    bool partial = false; // use `usingImages` images from `startImage` on, wrapping round the set
    int startImage = 0;
    int usingImages = 0;
    // A 360° scan with the axis near one edge: the sinogram stitched from each projection of the
    // first half-turn and the one facing it (offsetaxis.h), on a grid twice as wide. Every image is
    // used (no partial set), spread over 360°.
    bool offsetAxis = false;
};

enum class SinogramStatus {
    Generated,
    CorOutOfRange, // cor < 1 or cor > L − 2 (no sample on one side): the target keeps the previous sinogram
    SliceOutOfRange, // the slice is not a line of the images: the target is unchanged
    TooManyImages, // a partial data set uses more images than the set holds: the target is unchanged
    NoProjections, // empty set or no image used: the target holds no data
    I0NotAboveBg, // I0 − BG ≤ 0 at more than half of the line's samples: the target holds no data
};

/// Builds the sinogram of one slice: every used projection's slice line resampled on the grid
/// centred on the centre of rotation, and its attenuation after the I0/BG correction. With an I0
/// image, samples where I0 is not above BG are counted: a warning names them, and more than half of
/// the line fails the slice (`I0NotAboveBg`).
/// Reads only the images of `set` (memory mode), so any thread may call it while the set is unchanged.
SinogramStatus genSinogram0(SinogramData &target, const ProjectionSet &set, const SinogramRequest &request);

/// Why `genSinogram0` made no sinogram for `request` (empty for `Generated`), for the debug log.
QString sinogramProblem(SinogramStatus status, const ProjectionSet &set, const SinogramRequest &request);

/// `genSinogram0` for several slices at once (`request.slice` is not used): target i gets slice
/// `slices[i]`, with the same values the single-slice generator gives. Each projection's lines of all
/// the slices are read together, so that for image columns one sweep down the image rows serves the
/// whole block instead of one sweep per slice. Without `keepRaw` the targets' `raw` stays empty
/// (the reconstruction needs only `att`). Any thread, as `genSinogram0`.
std::vector<SinogramStatus> genSinograms(std::span<SinogramData> targets, const ProjectionSet &set,
    const SinogramRequest &request, std::span<const int> slices, bool keepRaw = true);

/// The images a search over the slice of `request` may use: the partial count, or all of them; none
/// (and why, in `problem`) when nothing is loaded, the slice is not a line of the images or the
/// partial set asks for more images than are loaded. The check both centre searches make first.
std::optional<int> searchImages(const ProjectionSet &set, const SinogramRequest &request, QString &problem);

/// The width of the sinogram of `request` on lines of `lineLength` pixels (the stitched width for an
/// offset axis); 0 when the centre leaves none.
int sinogramWidth(const SinogramRequest &request, int lineLength);

/// The length of a slice line across the rotation axis, and the number of slices along it.
int lineLength(const ProjectionSet &set, bool rowLines);
int sliceCount(const ProjectionSet &set, bool rowLines);
/// The first image used: the partial start when it lies inside the set, else 0.
int firstImage(const SinogramRequest &request, int count);
/// Line `slice` of an image: a row when `rowLines`, else a column (line-length values into `buffer`).
void readSliceLine(const ImgData &img, bool rowLines, int slice, double *buffer);
