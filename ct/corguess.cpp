#include "ct/corguess.h"

// Local
#include "ct/sgmgeometry.h"
#include "ct/sinogramgen.h"
#include "imagedata/projectionset.h"
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// Line value at x by cubic convolution (Keys, a = −0.5), 0 outside the line. With linear
// interpolation a line and its mirror image are smoothed differently between pixels, which pulls
// the guess towards whole pixels by up to 0.2 pixel on sharp-edged shadows; the cubic kernel keeps
// that near 0.05.
double sampleAt(std::span<const double> line, int L, double x)
{
    const double x0 = std::floor(x);
    const double t = x - x0;
    const long i = static_cast<long>(x0);
    auto at = [&](long j) { return (j >= 0 && j < L) ? line[static_cast<size_t>(j)] : 0.0; };
    const double p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
    return p1
        + 0.5 * t * (p2 - p0 + t * (2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3 + t * (3.0 * (p1 - p2) + p3 - p0)));
}

} // namespace

double corScore(std::span<const double> a, std::span<const double> b, double c, int lineLength, double window)
{
    const int L = lineLength;
    if (L < 1 || a.size() < static_cast<size_t>(L) || b.size() < static_cast<size_t>(L))
        return 0.0;
    // A[k] is a at c + (k − L), B[k] is b at c − (k − L): the facing line mirrored about c itself,
    // the axis the reconstruction puts at the centre of its sinogram.
    double score = 0.0;
    for (int k = 0; k < 2 * L; ++k) {
        if (std::abs(k - L) < window)
            score += sampleAt(a, L, c + (k - L)) * sampleAt(b, L, c - (k - L));
    }
    return score;
}

QString lineProblem(std::span<const double> values)
{
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const double v : values) {
        if (!std::isfinite(v))
            return QStringLiteral("hold values that are not finite");
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    // Alike to the last digits: every trial centre scores alike, and the search would return where it
    // started as if it had found the axis there.
    if (!(hi - lo > 1e-9 * std::max(std::abs(hi), std::abs(lo))))
        return QStringLiteral("hold no structure to compare (every pixel alike)");
    return QString();
}

std::optional<int> oppositeImage(int first, int used, int count, double rangeDeg)
{
    const double steps = std::floor(180.0 / rangeDeg * count);
    if (count < 1 || used < 2 || first < 0 || first >= count || !(steps >= 1.0 && steps <= used))
        return std::nullopt;
    long k = static_cast<long>(steps);
    if (k == used)
        k -= 1;
    return static_cast<int>((first + k) % count);
}

double guessCorPosition(
    std::span<const double> a, std::span<const double> b, int lineLength, double start, double window)
{
    double best = 0.0;
    double pos = start;
    bool improved = true;
    while (improved) {
        improved = false;
        const double centre = pos;
        for (double c = centre - 10.0; c < centre + 10.0; c += 1.0) {
            const double score = corScore(a, b, c, lineLength, window);
            if (score > best) {
                best = score;
                pos = c;
                improved = true;
            }
        }
    }
    // Tenths counted as whole numbers: a sum of 0.1 steps would give 130.09999999999988 for 130.1.
    const double tenths = pos * 10.0;
    for (int i = -20; i < 20; ++i) {
        const double c = (tenths + i) / 10.0;
        const double score = corScore(a, b, c, lineLength, window);
        if (score > best) {
            best = score;
            pos = c;
        }
    }
    return pos;
}

std::optional<double> guessCor(const ProjectionSet &set, const SinogramRequest &request, double rangeDeg,
    double start, double guessParam, QString *problem)
{
    auto fail = [problem](const QString &why) {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    QString why;
    const std::optional<int> images = searchImages(set, request, why);
    if (!images)
        return fail(why);
    const int L = lineLength(set, request.rowLines);
    const int count = set.count();
    const int used = *images;
    const int first = firstImage(request, count);
    const std::optional<int> opposite = oppositeImage(first, used, count, rangeDeg);
    if (!opposite)
        return fail(QStringLiteral("no image lies 180 degrees from image %1 among the %2 images used "
                                   "(range %3 degrees over %4 images)")
                        .arg(first)
                        .arg(used)
                        .arg(rangeDeg)
                        .arg(count));
    std::vector<double> a(static_cast<size_t>(L)), b(static_cast<size_t>(L));
    readSliceLine(*set.images[static_cast<size_t>(first)], request.rowLines, request.slice, a.data());
    readSliceLine(*set.images[static_cast<size_t>(*opposite)], request.rowLines, request.slice, b.data());
    if (const QString bad = lineProblem(a).isEmpty() ? lineProblem(b) : lineProblem(a); !bad.isEmpty())
        return fail(QStringLiteral("the lines of slice %1 in images %2 and %3 %4")
                        .arg(request.slice)
                        .arg(first)
                        .arg(*opposite)
                        .arg(bad));
    return guessCorPosition(a, b, L, start, guessParam * L);
}
