#include "ct/offsetaxis.h"

// Local
#include "ct/sinogramgen.h"
#include "imagedata/imgdata.h"
#include "imagedata/projectionset.h"
#include "imagedata/transmission.h"
#include <algorithm>
#include <cmath>
#include <limits>

bool OffsetAxisGeometry::valid() const
{
    return width >= 3 && directLo <= directHi && mirrorLo <= mirrorHi && std::min(directLo, mirrorLo) == 0
        && std::max(directHi, mirrorHi) == width - 1 && overlap() >= 1;
}

double OffsetAxisGeometry::directWeight(int i) const
{
    const bool direct = i >= directLo && i <= directHi;
    const bool mirror = i >= mirrorLo && i <= mirrorHi;
    if (!mirror)
        return direct ? 1.0 : 0.0;
    if (!direct)
        return 0.0;
    if (directLo == mirrorLo && directHi == mirrorHi)
        return 0.5; // an axis in the middle: both halves of the turn alike
    if (overlapHi == overlapLo)
        return 0.5;
    const double ramp = double(i - overlapLo) / double(overlapHi - overlapLo);
    return axisRight() ? 1.0 - ramp : ramp;
}

OffsetAxisGeometry makeOffsetAxisGeometry(int lineLength, double cor)
{
    OffsetAxisGeometry g;
    g.lineLength = lineLength;
    g.cor = cor;
    if (!std::isfinite(cor) || cor < 1.0 || cor > lineLength - 2.0)
        return g;
    g.base = static_cast<int>(std::floor(cor));
    g.frac = cor - g.base;
    g.half = static_cast<int>(std::floor(std::max(cor, lineLength - 1.0 - cor)));
    g.width = 2 * g.half - 1;
    // Sample i interpolates between pixels p = base + i − (half − 1) and p + 1 of the line.
    const int firstPixel = g.base - (g.half - 1);
    g.directLo = std::max(0, -firstPixel);
    g.directHi = std::min(g.width - 1, lineLength - 2 - firstPixel);
    g.mirrorLo = g.width - 1 - g.directHi;
    g.mirrorHi = g.width - 1 - g.directLo;
    g.overlapLo = std::max(g.directLo, g.mirrorLo);
    g.overlapHi = std::min(g.directHi, g.mirrorHi);
    return g;
}

int stitchedRows(int images)
{
    return images > 0 ? (images + 1) / 2 : 0;
}

ProjectionAngles stitchedAngles(double originDeg, int images)
{
    return projectionAngles(originDeg, 360.0, images, 0);
}

FacingImages facingImages(int row, int images)
{
    FacingImages f;
    if (images < 1)
        return f;
    if (images % 2 == 0) {
        f.a = f.b = (row + images / 2) % images;
        return f;
    }
    f.a = (row + (images - 1) / 2) % images;
    f.b = (f.a + 1) % images;
    f.weightB = 0.5;
    return f;
}

namespace {

// Σ(a − b)² and the spread Σ(a − ā)² + Σ(b − b̄)² of line `a` against `b` mirrored about s/2 (pixel x
// of a against pixel s − x of b), over the pixels both hold.
struct Mismatch
{
    double difference = 0.0;
    double spread = 0.0;
};

void addMismatch(const double *a, const double *b, int length, int s, Mismatch &m)
{
    const int lo = std::max(0, s - (length - 1));
    const int hi = std::min(length - 1, s);
    const int n = hi - lo + 1;
    if (n < 2)
        return;
    double sa = 0.0, sb = 0.0, saa = 0.0, sbb = 0.0, sd = 0.0;
    for (int x = lo; x <= hi; ++x) {
        const double va = a[x], vb = b[s - x];
        sa += va;
        sb += vb;
        saa += va * va;
        sbb += vb * vb;
        sd += (va - vb) * (va - vb);
    }
    m.difference += sd;
    m.spread += (saa - sa * sa / n) + (sbb - sb * sb / n);
}

} // namespace

std::optional<OffsetAxisGuess> findOffsetAxisInLines(
    const std::vector<std::vector<double>> &lines, int lineCount, int length, QString *problem, int minOverlap)
{
    auto fail = [problem](const QString &why) {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    const int images = static_cast<int>(lines.size());
    if (images < 4 || lineCount < 1)
        return fail(QStringLiteral("an offset axis needs a scan of at least 4 projections over 360 degrees"));
    const int maxOverlap = length / 2;
    if (maxOverlap - minOverlap < 4)
        return fail(QStringLiteral("lines of %1 pixels are too short to find an offset axis").arg(length));
    for (const auto &l : lines)
        if (l.size() < static_cast<size_t>(lineCount) * length)
            return fail(QStringLiteral("the lines of the search are incomplete"));
    // The angle pairs: rows of the first half-turn, spread evenly, each against the projection
    // facing it; as many as keep the search to a few hundred line pairs (the noise of the score falls
    // with their number).
    const int rows = stitchedRows(images);
    const int pairs = std::min(rows, std::max(90, 360 / lineCount));
    // Candidates: s = 2·cor on whole numbers, with overlaps minOverlap … length / 2 on either side.
    // Overlap n at s: n = 2·length − 1 − s (axis right of the middle) or s + 1 (left).
    std::vector<int> candidates;
    for (int n = maxOverlap; n >= minOverlap; --n)
        candidates.push_back(n - 1); // left
    for (int n = minOverlap; n <= maxOverlap; ++n)
        candidates.push_back(2 * length - 1 - n); // right
    // Each line of every row and the facing line (interpolated where no projection faces it
    // exactly); the coarse search takes `pairs` rows of them, the refinement all.
    std::vector<const double *> leading;
    std::vector<std::vector<double>> facingLines;
    for (int row = 0; row < rows; ++row) {
        const FacingImages f = facingImages(row, images);
        for (int l = 0; l < lineCount; ++l) {
            leading.push_back(lines[static_cast<size_t>(row)].data() + static_cast<size_t>(l) * length);
            const double *b0 = lines[static_cast<size_t>(f.a)].data() + static_cast<size_t>(l) * length;
            const double *b1 = lines[static_cast<size_t>(f.b)].data() + static_cast<size_t>(l) * length;
            std::vector<double> &facing = facingLines.emplace_back(static_cast<size_t>(length));
            for (int x = 0; x < length; ++x)
                facing[static_cast<size_t>(x)] = (1.0 - f.weightB) * b0[x] + f.weightB * b1[x];
        }
    }
    std::vector<Mismatch> score(candidates.size());
    for (int p = 0; p < pairs; ++p) {
        const size_t row = static_cast<size_t>(static_cast<long long>(p) * rows / pairs);
        for (int l = 0; l < lineCount; ++l) {
            const size_t k = row * lineCount + l;
            for (size_t c = 0; c < candidates.size(); ++c)
                addMismatch(leading[k], facingLines[k].data(), length, candidates[c], score[c]);
        }
    }
    std::vector<double> m(candidates.size(), std::numeric_limits<double>::infinity());
    for (size_t c = 0; c < candidates.size(); ++c)
        if (score[c].spread > 0.0 && std::isfinite(score[c].spread) && std::isfinite(score[c].difference))
            m[c] = score[c].difference / score[c].spread;
    // The best of each side; the two sides meet at no candidate, so each is refined on its own.
    const size_t sideSize = candidates.size() / 2;
    size_t best = 0;
    for (size_t c = 1; c < m.size(); ++c)
        if (m[c] < m[best])
            best = c;
    if (!std::isfinite(m[best]))
        return fail(QStringLiteral("the lines hold no structure to find an offset axis on"));
    const size_t sideStart = best < sideSize ? 0 : sideSize;
    if (best == sideStart || best == sideStart + sideSize - 1)
        return fail(QStringLiteral("no overlap of %1 to %2 columns matches its facing projection (the best "
                                   "lies at an end of the range): no offset axis found")
                        .arg(minOverlap)
                        .arg(maxOverlap));
    // Lines that do not match mirrored score about 1 (noise alone) to 2 (structure that differs):
    // the best must stand well out of the rest.
    std::vector<double> sorted(m);
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = sorted[sorted.size() / 2];
    if (!(m[best] <= 0.5 * median))
        return fail(QStringLiteral("no overlap matches its facing projection (mismatch %1 against %2 for "
                                   "the typical one): no offset axis found")
                        .arg(m[best], 0, 'f', 2)
                        .arg(median, 0, 'f', 2));
    // The valley's vertex: a parabola fitted by least squares to the scores within a few candidates
    // of the best (on one side the candidates are consecutive s), which averages the noise of the
    // scores; the three nearest alone where the valley is too narrow for that.
    // (The valley narrows with the overlap: a few candidates of a small one already leave it.)
    const int bestOverlap = std::min(candidates[best] + 1, 2 * length - 1 - candidates[best]);
    const int reach = std::clamp(bestOverlap / 10, 1, 5);
    const int from = static_cast<int>(std::max(best, sideStart + reach) - reach);
    const int to = static_cast<int>(std::min(best + reach, sideStart + sideSize - 1));
    double shift = 0.0;
    {
        // Fit m ≈ a + b·u + c·u² with u = index − best.
        double s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, t0 = 0, t1 = 0, t2 = 0;
        for (int k = from; k <= to; ++k) {
            const double u = k - static_cast<int>(best), y = m[static_cast<size_t>(k)];
            s0 += 1;
            s1 += u;
            s2 += u * u;
            s3 += u * u * u;
            s4 += u * u * u * u;
            t0 += y;
            t1 += u * y;
            t2 += u * u * y;
        }
        // Normal equations by Cramer's rule.
        const double det = s0 * (s2 * s4 - s3 * s3) - s1 * (s1 * s4 - s2 * s3) + s2 * (s1 * s3 - s2 * s2);
        const double b = (s0 * (t1 * s4 - s3 * t2) - t0 * (s1 * s4 - s2 * s3) + s2 * (s1 * t2 - t1 * s2)) / det;
        const double c = (s0 * (s2 * t2 - t1 * s3) - s1 * (s1 * t2 - t1 * s2) + t0 * (s1 * s3 - s2 * s2)) / det;
        if (std::isfinite(b) && std::isfinite(c) && c > 0.0)
            shift = -b / (2.0 * c);
        if (!(std::abs(shift) <= 1.0)) {
            const double m0 = m[best - 1], m1 = m[best], m2 = m[best + 1];
            const double curvature = m0 - 2.0 * m1 + m2;
            shift = curvature > 0.0 ? std::clamp(0.5 * (m0 - m2) / curvature, -0.5, 0.5) : 0.0;
        }
    }
    const int step = candidates[best + 1] - candidates[best]; // ±1 along s
    // Then the least-squares mirror position itself, by Gauss-Newton steps from there: the facing
    // lines interpolated linearly at s − x, over the overlap less two columns at either end. Its
    // fixed point is free of the noise's bias (the noise of a sample is uncorrelated with that of the
    // slope at it), unlike a fit to the scores' valley, which noise makes shallow.
    const double s0 = candidates[best] + shift * step;
    const int lo = std::max(0, candidates[best] - (length - 1)) + 2;
    const int hi = std::min(length - 1, candidates[best]) - 2;
    auto at = [length](const double *b, double pos) {
        const double c = std::clamp(pos, 0.0, length - 1.000001);
        const int j = static_cast<int>(c);
        return b[j] + (b[j + 1] - b[j]) * (c - j);
    };
    // Σ(a − b(s − x))² over the region, and the Gauss-Newton step from s.
    auto evaluate = [&](double sPos, double *step) {
        double num = 0.0, den = 0.0, sum = 0.0;
        for (size_t k = 0; k < leading.size(); ++k) {
            const double *a = leading[k];
            const double *b = facingLines[k].data();
            for (int x = lo; x <= hi; ++x) {
                const double pos = sPos - x;
                const double slope = 0.5 * (at(b, pos + 1.0) - at(b, pos - 1.0));
                const double r = a[x] - at(b, pos);
                num += r * slope;
                den += slope * slope;
                sum += r * r;
            }
        }
        *step = den > 0.0 ? num / den : 0.0;
        return sum;
    };
    // From a few starts around the coarse one (whose valley noise makes shallow), the deepest.
    double refined = s0;
    double deepest = std::numeric_limits<double>::infinity();
    for (const double start : {s0, s0 - 2.0, s0 + 2.0, s0 - 4.0, s0 + 4.0}) {
        if (hi - lo < 4)
            break;
        double sPos = start, step = 0.0;
        for (int iteration = 0; iteration < 20; ++iteration) {
            evaluate(sPos, &step);
            const double next = std::clamp(sPos + step, s0 - 6.0, s0 + 6.0);
            const bool settled = std::abs(next - sPos) < 1e-4;
            sPos = next;
            if (settled)
                break;
        }
        // Compared at whole s: interpolation halfway between samples halves the noise of the facing
        // line, which would favour every half position.
        const double depth = evaluate(std::round(sPos), &step);
        if (depth < deepest) {
            deepest = depth;
            refined = sPos;
        }
    }
    OffsetAxisGuess guess;
    guess.cor = refined / 2.0;
    guess.axisRight = best >= sideSize;
    guess.mismatch = m[best];
    guess.overlap = makeOffsetAxisGeometry(length, guess.cor).overlap();
    return guess;
}

std::optional<OffsetAxisGuess> findOffsetAxis(
    const ProjectionSet &set, bool rowLines, std::span<const int> slices, QString *problem, int minOverlap)
{
    const int L = lineLength(set, rowLines);
    const int count = set.count();
    std::vector<int> used;
    for (int s : slices)
        if (s >= 0 && s < sliceCount(set, rowLines))
            used.push_back(s);
    if (used.empty() || L < 1 || count < 1) {
        if (problem)
            *problem = QStringLiteral("no slice of the images to find an offset axis on");
        return std::nullopt;
    }
    const int n = static_cast<int>(used.size());
    std::vector<double> i0(static_cast<size_t>(L) * n, 1.0), bg(static_cast<size_t>(L) * n, 0.0);
    for (int k = 0; k < n; ++k) {
        if (set.i0)
            readSliceLine(*set.i0, rowLines, used[k], i0.data() + static_cast<size_t>(k) * L);
        if (set.bg)
            readSliceLine(*set.bg, rowLines, used[k], bg.data() + static_cast<size_t>(k) * L);
    }
    std::vector<std::vector<double>> lines(static_cast<size_t>(count));
    std::vector<double> raw(static_cast<size_t>(L));
    for (int j = 0; j < count; ++j) {
        auto &line = lines[static_cast<size_t>(j)];
        line.resize(static_cast<size_t>(L) * n);
        for (int k = 0; k < n; ++k) {
            readSliceLine(*set.images[static_cast<size_t>(j)], rowLines, used[k], raw.data());
            const size_t o = static_cast<size_t>(k) * L;
            attenuationLine(std::span<const double>(i0.data() + o, static_cast<size_t>(L)),
                std::span<const double>(bg.data() + o, static_cast<size_t>(L)), raw,
                std::span<double>(line.data() + o, static_cast<size_t>(L)));
        }
    }
    return findOffsetAxisInLines(lines, n, L, problem, minOverlap);
}
