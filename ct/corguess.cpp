#include "ct/corguess.h"

// Local
#include "ct/sgmgeometry.h"
#include "ct/sinogramgen.h"
#include "imagedata/projectionset.h"
#include <cmath>
#include <vector>

namespace {

// Line value at x, linear between pixels, 0 outside the line.
double sampleAt(std::span<const double> line, int L, double x)
{
    const double x0 = std::floor(x);
    const long i0 = static_cast<long>(x0);
    const double y0 = (i0 >= 0 && i0 < L) ? line[static_cast<size_t>(i0)] : 0.0;
    const double y1 = (i0 + 1 >= 0 && i0 + 1 < L) ? line[static_cast<size_t>(i0 + 1)] : 0.0;
    return lerp2(x, x0, y0, x0 + 1.0, y1);
}

} // namespace

double corScore(std::span<const double> a, std::span<const double> b, double c, int lineLength, double window)
{
    const int L = lineLength;
    if (L < 1 || a.size() < static_cast<size_t>(L) || b.size() < static_cast<size_t>(L))
        return 0.0;
    std::vector<double> A(static_cast<size_t>(2 * L)), B(static_cast<size_t>(2 * L));
    for (int k = 0; k < 2 * L; ++k) {
        const double x = c - L + k;
        A[k] = sampleAt(a, L, x);
        B[2 * L - 1 - k] = sampleAt(b, L, x);
    }
    double score = 0.0;
    for (int k = 0; k < 2 * L; ++k) {
        if (std::abs(k - L) < window)
            score += A[k] * B[k];
    }
    return score;
}

int oppositeImage(int first, int count, double rangeDeg)
{
    if (count < 1)
        return 0;
    long opposite = static_cast<long>(std::floor(180.0 / rangeDeg * count)) + first;
    if (opposite == count)
        opposite -= 1;
    opposite %= count;
    return static_cast<int>(opposite < 0 ? opposite + count : opposite);
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
    const double centre = pos;
    for (double c = centre - 2.0; c < centre + 2.0; c += 0.1) {
        const double score = corScore(a, b, c, lineLength, window);
        if (score > best) {
            best = score;
            pos = c;
        }
    }
    return pos;
}

double guessCor(const ProjectionSet &set, const SinogramRequest &request, double rangeDeg, double start,
    double guessParam)
{
    const int L = lineLength(set, request.rowLines);
    const int count = set.count();
    if (count < 1 || L < 1 || request.slice < 0 || request.slice >= sliceCount(set, request.rowLines))
        return start;
    const int first = firstImage(request, count);
    const int opposite = oppositeImage(first, count, rangeDeg);
    std::vector<double> a(static_cast<size_t>(L)), b(static_cast<size_t>(L));
    readSliceLine(*set.images[static_cast<size_t>(first)], request.rowLines, request.slice, a.data());
    readSliceLine(*set.images[static_cast<size_t>(opposite)], request.rowLines, request.slice, b.data());
    return guessCorPosition(a, b, L, start, guessParam * L);
}
