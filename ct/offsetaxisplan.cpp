#include "ct/offsetaxisplan.h"

// Local
#include "imagedata/projectionset.h"
#include <algorithm>
#include <cmath>

QString offsetAxisRunProblem(double rangeDeg, bool partial)
{
    if (partial)
        return QStringLiteral("an offset axis pairs every projection with the one facing it: it takes the "
                              "whole data set, not a partial one");
    if (!(std::abs(rangeDeg - 360.0) < 1e-6))
        return QStringLiteral(
            "an offset axis needs a data set over 360 degrees, not %1 (the projections facing each "
            "other are stitched)")
            .arg(rangeDeg);
    return QString();
}

QString offsetAxisCorProblem(double cor, int lineLength)
{
    if (makeOffsetAxisGeometry(lineLength, cor).valid())
        return QString();
    return QStringLiteral("the offset axis %1 lies outside the lines of %2 pixels (1 ... %3 can be used)")
        .arg(cor)
        .arg(lineLength)
        .arg(lineLength - 2);
}

bool stitchedSliceWhole(const Region &calcRegion, int lineLength)
{
    const double last = lineLength - 1;
    return calcRegion.x0 == 0.0 && calcRegion.z0 == 0.0 && calcRegion.x1 == last && calcRegion.z1 == last;
}

QString offsetAxisText(double cor, int lineLength)
{
    const OffsetAxisGeometry g = makeOffsetAxisGeometry(lineLength, cor);
    return QStringLiteral("offset axis: %1 (overlap %2 pixels, axis near the %3 edge)")
        .arg(QString::number(cor, 'f', 2))
        .arg(g.overlap())
        .arg(g.axisRight() ? QStringLiteral("right") : QStringLiteral("left"));
}

std::vector<int> offsetAxisSearchSlices(int from, int to)
{
    if (from == to)
        return {from};
    // In ascending order whichever way the range runs: the search sums over them in this order.
    const int lo = std::min(from, to), hi = std::max(from, to);
    std::vector<int> slices;
    for (int k = 1; k <= 5; ++k) {
        const int s = static_cast<int>(std::lround(lo + (double(hi) - lo) * k / 6.0));
        if (slices.empty() || slices.back() != s)
            slices.push_back(s);
    }
    return slices;
}

std::optional<OffsetAxisGuess> searchOffsetAxis(
    const ProjectionSet &set, bool rowLines, const std::vector<int> &slices, QString *problem)
{
    for (const auto &image : set.images) {
        if (!image) {
            if (problem)
                *problem = QStringLiteral("the axis search needs every projection of the turn");
            return std::nullopt;
        }
    }
    return findOffsetAxis(set, rowLines, slices, problem);
}
