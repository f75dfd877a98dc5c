#pragma once

// Qt
#include <QColor>
#include <QImage>

// Local
#include "view3d/slicedata.h"
#include "view3d/slicespacing.h"
#include "view3d/viewframe.h"

class QPainter;

/// How one slice set is drawn: its value window, colours, opacity and cross-section.
struct SetLook
{
    double thMin = 0.0;
    double thMax = 1.0;
    QColor volumeColor;
    QColor sectionColor;
    int alpha = 255;
    bool showCSection = false;
    /// Position of the section plane along `sectionDir`, in slice units.
    double cs = 0.0;
    Vec3 sectionDir {0.0, 0.0, 1.0};
    /// The planes sampled, from the slices' placement; none: slice k at k − ns/2.
    std::vector<VolumePlane> planes;
    /// The depth of the box; 0: the number of slices.
    double depth = 0.0;
};

/// The maximum-intensity projection of a stack along the view direction, pw × ph premultiplied
/// ARGB. Pixel (i, j) follows the ray from frame.rayOrigin(i, j) along nz and meets each of the
/// look's planes (without any: slice k at z = k − ns/2), taking the nearest value (column trunc(sw/2 + X), row trunc(sh/2 + Y)). A
/// value counts with q = (v − thMin)/(thMax − thMin)·256 when 0 ≤ q ≤ 255; with the section shown,
/// samples at or beyond the plane (distance d ≥ cs along sectionDir) are cut away and the last
/// sample within one unit before it gives the section's q. The pixel is the section colour at that
/// q when it is positive, else the volume colour at the largest q when positive, else transparent;
/// each channel trunc(255 − q·(1 − C/255)), with the set's opacity. Rows are shared out over the
/// processor's cores, with AVX2 where the processor has it (`generic`: without, for tests). Where
/// the slices carry block ranges, the samples of a slice that can change nothing (no value of the
/// window, no section sample) are skipped. The result is the same as drawing each pixel on its own.
/// \test tst_volumerender.cpp
QImage renderVolume(const SliceStack &stack, const SetLook &look, const ViewFrame &frame, int pw, int ph,
    bool generic = false);

/// The box of a stack `depth` deep of slices of sw × sh: the edges of the faces turned away from the viewer
/// (front false) or towards it (front true), one pixel wide in `color`, on a pw × ph picture.
/// Faces edge-on to the view belong to neither.
void paintVolumeFrame(QPainter &p, const ViewFrame &frame, int pw, int ph, double depth, int sw, int sh, bool front,
    const QColor &color);
