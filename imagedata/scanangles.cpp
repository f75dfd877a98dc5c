#include "imagedata/scanangles.h"

// Local
#include <cmath>
#include <vector>

namespace {

// Steps may differ from the mean by this share of it, and the covered range from a full one.
constexpr double tolerance = 0.01;

QString degrees(double v)
{
    return QString::number(v, 'g', 8) + QStringLiteral("°");
}

} // namespace

QString AngleFit::summary(int projections) const
{
    QString text = QStringLiteral("%1 projections %2 apart over %3")
                       .arg(projections)
                       .arg(degrees(stepDeg), degrees(rangeDeg));
    if (images != projections)
        text += QStringLiteral(", the last at the end angle");
    return text;
}

AngleFit fitAngles(std::span<const double> angles, double rangeDeg)
{
    AngleFit fit;
    const size_t n = angles.size();
    if (n < 2) {
        fit.problem = QStringLiteral("%1 projection angles give no step").arg(n);
        return fit;
    }
    const double step = (angles[n - 1] - angles[0]) / double(n - 1);
    fit.stepDeg = step;
    fit.firstDeg = angles[0];
    if (!std::isfinite(step) || step == 0.0) {
        fit.problem = QStringLiteral("the projection angles do not advance (%1 … %2)")
                          .arg(degrees(angles[0]), degrees(angles[n - 1]));
        return fit;
    }
    for (size_t k = 1; k < n; ++k) {
        const double d = angles[k] - angles[k - 1];
        if (!(std::abs(d - step) <= tolerance * std::abs(step))) {
            fit.problem = QStringLiteral("the projection angles are not evenly spaced: from projection %1 "
                                         "(%2) to %3 (%4) the step is %5, the mean step %6")
                              .arg(k - 1)
                              .arg(degrees(angles[k - 1]))
                              .arg(k)
                              .arg(degrees(angles[k]), degrees(d), degrees(step));
            return fit;
        }
    }
    // The ranges a data set may cover, signed like the steps.
    std::vector<double> ranges {180.0, 360.0};
    if (std::isfinite(rangeDeg) && rangeDeg != 0.0)
        ranges.insert(ranges.begin(), std::abs(rangeDeg));
    const double sign = step > 0.0 ? 1.0 : -1.0;
    for (double range : ranges) {
        for (size_t images : {n, n - 1}) {
            if (std::abs(double(images) * std::abs(step) - range) <= tolerance * std::abs(step)) {
                fit.ok = true;
                fit.rangeDeg = sign * range;
                fit.images = static_cast<int>(images);
                return fit;
            }
        }
    }
    fit.problem = QStringLiteral("%1 projections %2 apart cover %3 (%4 with the end angle), not 180°, "
                                 "360° or the range of %5 set")
                      .arg(n)
                      .arg(degrees(step), degrees(double(n) * step), degrees(double(n - 1) * step),
                          degrees(rangeDeg));
    return fit;
}
