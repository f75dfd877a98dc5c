#include "view3d/viewframe.h"

// Local
#include <algorithm>
#include <cmath>
#include <numbers>

void ViewFrame::rotate(Vec3 rax, double th)
{
    const double c = std::cos(th), s = std::sin(th), k = 1.0 - c;
    const double x = rax.x, y = rax.y, z = rax.z;
    // R row by row; each axis is replaced by Rᵀ applied to it.
    const double r[3][3] = {
        {c + k * x * x, -s * z + k * x * y, s * y + k * x * z},
        {s * z + k * y * x, c + k * y * y, -s * x + k * y * z},
        {-s * y + k * z * x, s * x + k * z * y, c + k * z * z},
    };
    auto turned = [&r](Vec3 n) {
        return Vec3 {r[0][0] * n.x + r[1][0] * n.y + r[2][0] * n.z,
            r[0][1] * n.x + r[1][1] * n.y + r[2][1] * n.z, r[0][2] * n.x + r[1][2] * n.y + r[2][2] * n.z};
    };
    nx = turned(nx);
    ny = turned(ny);
    nz = turned(nz);
}

DragZone dragZoneAt(double rx, double ry)
{
    if (ry > 0.85)
        return DragZone::Top;
    if (ry < 0.15)
        return DragZone::Bottom;
    if (rx > 0.85)
        return DragZone::Right;
    if (rx < 0.15)
        return DragZone::Left;
    return DragZone::Middle;
}

DragTurn dragTurn(const ViewFrame &frame, DragZone zone, double dx, double dy)
{
    constexpr double pi = std::numbers::pi;
    switch (zone) {
    case DragZone::Middle: {
        const double d = std::sqrt(dx * dx + dy * dy);
        if (!(d > 0.0))
            return {};
        return {true, (1.0 / d) * (dy * frame.nx + dx * frame.ny), pi * d};
    }
    case DragZone::Left:
        return {true, frame.nz, pi * dy};
    case DragZone::Right:
        return {true, frame.nz, -pi * dy};
    case DragZone::Top:
        return {true, frame.nz, pi * dx};
    case DragZone::Bottom:
        return {true, frame.nz, -pi * dx};
    }
    return {};
}

void panFrame(ViewFrame &frame, double dx, double dy, int pw, int ph)
{
    frame.panOffset -= std::trunc(pw * frame.viewScale) * dx * frame.nx;
    frame.panOffset += std::trunc(ph * frame.viewScale) * dy * frame.ny;
}

void fitFrame(ViewFrame &frame, double hx, double hy, double hz, int pw, int ph, double fill)
{
    if (pw < 1 || ph < 1 || !(fill > 0.0))
        return;
    // The box's half extent along a picture axis: its corners' largest reach along it.
    const auto reach
        = [&](const Vec3 &n) { return std::abs(n.x) * hx + std::abs(n.y) * hy + std::abs(n.z) * hz; };
    const double scale = std::max(2.0 * reach(frame.nx) / pw, 2.0 * reach(frame.ny) / ph) / fill;
    if (!(scale > 0.0) || !std::isfinite(scale))
        return;
    frame.viewScale = scale;
    frame.panOffset = Vec3 {};
}

void zoomFrame(ViewFrame &frame, int step)
{
    if (step > 0)
        frame.viewScale *= 0.9;
    else if (step < 0)
        frame.viewScale /= 0.9;
}
