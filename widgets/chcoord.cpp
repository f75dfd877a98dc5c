#include "widgets/chcoord.h"

// C++
#include <algorithm>

ChCoord::ChCoord(QObject *parent)
    : QObject(parent)
{
}

void ChCoord::setScreenRect(double sx0, double sy0, double sx1, double sy1)
{
    sx0_ = sx0;
    sy0_ = sy0;
    sx1_ = sx1;
    sy1_ = sy1;
}

void ChCoord::setRealRect(double rx0, double ry0, double rx1, double ry1)
{
    rx0_ = rx0;
    ry0_ = ry0;
    rx1_ = rx1;
    ry1_ = ry1;
}

double ChCoord::screenToRealXClamped(double s) const
{
    return std::clamp(screenToRealX(s), std::min(rx0_, rx1_), std::max(rx0_, rx1_));
}

double ChCoord::screenToRealYClamped(double s) const
{
    return std::clamp(screenToRealY(s), std::min(ry0_, ry1_), std::max(ry0_, ry1_));
}
