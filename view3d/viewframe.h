#pragma once

// Local
#include "view3d/vec3.h"

/// Where the volume is seen from: the picture's x and y axes and the viewing direction (an
/// orthonormal frame in volume coordinates), the volume units per picture pixel and the volume point
/// at the centre of the picture. The mouse gestures of the volume view are worked out here.
/// \test tst_volumerender.cpp
struct ViewFrame
{
    Vec3 nx {1.0, 0.0, 0.0};
    Vec3 ny {0.0, 1.0, 0.0};
    Vec3 nz {0.0, 0.0, 1.0};
    double viewScale = 1.0;
    Vec3 panOffset;

    /// Turns the frame by −th about the unit axis rax: each axis n becomes Rᵀn with the Rodrigues
    /// rotation R = cos th·I + sin th·[rax]× + (1 − cos th)·rax·raxᵀ.
    void rotate(Vec3 rax, double th);

    /// Origin of the ray of picture pixel (i, j) in a pw × ph picture at `scale` volume units per
    /// pixel: panOffset + scale·(i − pw/2)·nx + scale·(j − ph/2)·ny, the halves not rounded.
    Vec3 rayOrigin(int i, int j, int pw, int ph, double scale) const
    {
        return panOffset + scale * (i - pw / 2.0) * nx + scale * (j - ph / 2.0) * ny;
    }
};

/// The part of the display a rotating drag starts in: the middle turns about an axis in the picture
/// plane, the four edges turn about the viewing direction.
enum class DragZone { Middle = 0, Left = 1, Right = 2, Top = 3, Bottom = 4 };

/// The zone of a press at (rx, ry), both 0 … 1 across the display with ry growing upward: top above
/// 0.85, bottom below 0.15, then right and left likewise (tested in that order).
DragZone dragZoneAt(double rx, double ry);

/// A turn of the frame: `ViewFrame::rotate(axis, angle)`; none when the pointer did not move.
struct DragTurn
{
    bool any = false;
    Vec3 axis;
    double angle = 0.0;
};

/// The turn for a pointer move of (dx, dy) in display fractions: in the middle about
/// (dy·nx + dx·ny)/d by π·d with d = |(dx, dy)|, so a drag across the whole display turns half a
/// revolution; on the edges about nz by π·dy (left), −π·dy (right), π·dx (top), −π·dx (bottom).
DragTurn dragTurn(const ViewFrame &frame, DragZone zone, double dx, double dy);

/// Moves the picture with the pointer: panOffset −= trunc(pw·scale)·dx·nx and
/// += trunc(ph·scale)·dy·ny for a move of (dx, dy) display fractions over a pw × ph picture.
void panFrame(ViewFrame &frame, double dx, double dy, int pw, int ph);

/// Centres a box of half sizes (hx, hy, hz) about the origin and sets the scale so that the box,
/// seen along the frame, fills `fill` (0 … 1) of a pw × ph picture in its tighter direction.
void fitFrame(ViewFrame &frame, double hx, double hy, double hz, int pw, int ph, double fill = 0.9);

/// A wheel step away from the user zooms in (scale × 0.9), one towards the user out (÷ 0.9).
void zoomFrame(ViewFrame &frame, int step);
