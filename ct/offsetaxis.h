#pragma once

// Qt
#include <QString>

// Local
#include "ct/ctfbp.h"
#include <optional>
#include <span>
#include <vector>

struct ProjectionSet;

/// The sinogram of a 360° scan recorded with the rotation axis near one edge of the detector (half
/// acquisition): each projection sees a little more than half of the sample, the projection at
/// θ + 180° the other half, mirrored. Joined, they make the 180° sinogram that a detector twice as
/// wide would have recorded: projection θ on the side of the axis it covers, projection θ + 180°
/// mirrored about the axis on the other, blended linearly across the columns both cover, so that no
/// seam shows (N. T. Vo, R. C. Atwood, M. Drakopoulos, T. Connolley, Optics Express 29, 17849, 2021).
///
/// The stitched grid keeps the convention of every sinogram here: 2·half − 1 samples, the axis on
/// sample half − 1, sample i at recorded position cor + i − (half − 1); half reaches as far from the
/// axis as the far edge of the recorded lines allows (every sample keeps its right neighbour). The
/// projection θ + 180° gives sample i the recorded value at cor − (i − (half − 1)).
/// \test tst_offsetaxis.cpp
struct OffsetAxisGeometry
{
    int lineLength = 0;
    double cor = 0.0; // the rotation axis, in columns of the recorded lines
    int half = 0;
    int width = 0; // 2·half − 1
    int base = 0; // ⌊cor⌋
    double frac = 0.0; // cor − base
    // The samples a recorded line covers, and those its mirror image covers (inclusive ranges).
    int directLo = 0, directHi = -1;
    int mirrorLo = 0, mirrorHi = -1;
    // The samples both cover: where the blend runs.
    int overlapLo = 0, overlapHi = -1;

    /// A grid whose every sample is covered by the line or its mirror image.
    bool valid() const;
    /// The axis lies right of the middle of the recorded lines: they reach far to its left.
    bool axisRight() const { return directLo < mirrorLo; }
    /// Columns that both halves cover.
    int overlap() const { return overlapHi >= overlapLo ? overlapHi - overlapLo + 1 : 0; }
    /// The weight of projection θ at sample i (that of θ + 180° is 1 − it): 1 where only θ covers
    /// the sample, 0 where only its mirror does, a linear ramp across the overlap from the side θ
    /// covers alone to the other.
    double directWeight(int i) const;
};

/// The stitched grid of lines of `lineLength` pixels with the axis at `cor`; not `valid()` when the
/// axis lies outside 1 … L − 2.
OffsetAxisGeometry makeOffsetAxisGeometry(int lineLength, double cor);

/// Rows of the stitched sinogram of `images` projections spread evenly over 360°: the projections of
/// the first half-turn, at angles k · 360° / images.
int stitchedRows(int images);

/// The angles of the stitched rows of `images` projections over 360° from `originDeg`: row k at
/// origin + k · 360° / images, the rows of the first half-turn.
ProjectionAngles stitchedAngles(double originDeg, int images);

/// The projection facing row k (at its angle + 180°): image `a` when `weightB` is 0; with an odd
/// number of projections no image lies exactly there, and the facing projection is interpolated
/// linearly in angle between its two neighbours a and b (weight ½ each, b = a + 1 taken round the
/// turn: image `images` is image 0 again).
struct FacingImages
{
    int a = 0;
    int b = 0;
    double weightB = 0.0;
};
FacingImages facingImages(int row, int images);

/// The axis of an offset-axis scan, found from the data.
struct OffsetAxisGuess
{
    double cor = 0.0; // in columns of the recorded lines
    int overlap = 0; // columns both halves cover at that axis
    bool axisRight = true;
    double mismatch = 0.0; // of the overlaps at the axis found: 0 for a perfect match, about 1 for none
};

/// Finds the axis of an offset-axis 360° scan by comparing each projection with the projection
/// facing it, mirrored, across their overlap, over many angle pairs and the lines `slices`, for every
/// axis position on half a pixel on either side (the overlap at least `minOverlap` columns), and
/// refining the best by a parabola through its neighbours. None (with the reason in `problem`) when
/// the set holds no such scan, or no position stands out (a sample with no structure at the axis).
std::optional<OffsetAxisGuess> findOffsetAxis(const ProjectionSet &set, bool rowLines,
    std::span<const int> slices, QString *problem = nullptr, int minOverlap = 8);

/// `findOffsetAxis` on attenuation lines already corrected: `lines[k]` holds the lines of image k
/// (`lineCount` lines of `length` values one after the other), the images spread over 360°.
std::optional<OffsetAxisGuess> findOffsetAxisInLines(const std::vector<std::vector<double>> &lines,
    int lineCount, int length, QString *problem = nullptr, int minOverlap = 8);
