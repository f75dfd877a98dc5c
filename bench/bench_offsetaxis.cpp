// Offset-axis 360° scans (half acquisition). Accuracy: phantoms wider than the detector, recorded
// with overlaps of 20, 64 and 200 columns with the axis left and right of the middle, noise-free and
// with Poisson noise at 1000 counts: the axis found against the true one, the stitched slice against
// the slice of a full-width 180° scan of the same sample (noise-free), and with noise the error of
// each against the noise-free full-width slice, over the whole slice and over the band around the
// seam. Cost: the stitched sinogram of a detector of 1030 columns (axis 6 columns from its edge,
// 1800 projections over 360°: a slice of N = 2044) against the plain sinogram of a full-width
// detector with the same samples, and against reconstructing the slice, on one core.
//
//   bench_offsetaxis [--accuracy-only | --speed-only]

// Qt
#include <QCoreApplication>

// Local
#include "bench/benchutil.h"
#include "ct/backprojectkernel.h"
#include "ct/ctfbp.h"
#include "ct/offsetaxis.h"
#include "ct/sinogramgen.h"
#include "tools/phantom/phantom.h"
#include <cmath>
#include <numbers>

namespace {

constexpr int sliceRow = 4;
// The detector rows a search compares (a tall sample: the same structure, noise of their own).
const std::vector<int> searchRows {2, 3, 4, 5};
constexpr double pi = std::numbers::pi;

ScanSetup setupOf(int width, double cor, int projections, double rangeDeg, double counts)
{
    ScanSetup s;
    s.width = width;
    s.height = 8;
    s.cor = cor;
    s.projections = projections;
    s.rangeDeg = rangeDeg;
    s.i0 = counts > 0 ? counts : 20000.0;
    s.noise = 0.0;
    s.flatNoise = 0.0;
    s.poisson = counts > 0;
    s.seed = 11;
    return s;
}

SinogramData sinogramOf(const ProjectionSet &set, double cor, bool offsetAxis)
{
    SinogramRequest r;
    r.cor = cor;
    r.slice = sliceRow;
    r.offsetAxis = offsetAxis;
    SinogramData s;
    genSinogram0(s, set, r);
    return s;
}

std::vector<double> reconstructed(CtFbp &e, const SinogramData &s, double dTheta)
{
    const int n = s.width & ~1;
    e.setup(n, s.height);
    e.resetImage(n);
    for (int i = 0; i < s.height; ++i)
        e.forwardRow(s.attRow(i), i);
    for (int i = 0; i < s.height; ++i)
        e.filterRow(i);
    e.backProjectRows(s.height, 0, n, 0, n, 0.0, dTheta);
    std::vector<double> out(static_cast<size_t>(n) * n);
    for (int z = 0; z < n; ++z)
        std::copy(e.imageRow(z), e.imageRow(z) + n, out.begin() + static_cast<size_t>(z) * n);
    return out;
}

// RMS of a − b inside 0.95 of the reconstruction circle, and over the band |r − seam| ≤ 5; the range
// of `truth` there.
void compare(const std::vector<double> &a, const std::vector<double> &b, const std::vector<double> &truth, int n,
    double seam, double &rms, double &seamRms, double &range)
{
    double lo = 1e300, hi = -1e300, sum = 0.0, seamSum = 0.0;
    long count = 0, seamCount = 0;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const double d = std::hypot(x + 0.5 - n / 2.0, z + 0.5 - n / 2.0);
            if (d > 0.95 * n / 2.0)
                continue;
            const size_t i = static_cast<size_t>(z) * n + x;
            lo = std::min(lo, truth[i]);
            hi = std::max(hi, truth[i]);
            const double e = a[i] - b[i];
            sum += e * e;
            ++count;
            if (std::abs(d - seam) <= 5.0) {
                seamSum += e * e;
                ++seamCount;
            }
        }
    rms = std::sqrt(sum / std::max(count, 1L));
    seamRms = seamCount ? std::sqrt(seamSum / seamCount) : 0.0;
    range = hi - lo;
}

void accuracy()
{
    const int projections = 720;
    const double dTheta = 2.0 * pi / projections;
    CtFbp engine;
    for (const int overlap : {20, 64, 200}) {
        for (const bool right : {false, true}) {
            const int width = std::max(160, 2 * overlap + 80);
            const double cor = right ? width - 1 - overlap / 2.0 + 0.3 : overlap / 2.0 - 0.3;
            const OffsetAxisGeometry g = makeOffsetAxisGeometry(width, cor);
            const Phantom phantom = offsetAxisPhantom(0.92 * g.half);
            const QString name = QStringLiteral("overlap %1, axis %2").arg(overlap).arg(right ? QStringLiteral("right") : QStringLiteral("left"));
            // The full-width detector: 2·half + 1 columns, the axis on the middle one, at the stitched
            // rows' angles.
            const int rows = stitchedRows(projections);
            const ScanSetup fullSetup = setupOf(2 * g.half + 2, g.half + g.frac, rows, 180.0, 0.0);
            const std::vector<double> truth
                = reconstructed(engine, sinogramOf(scanLines(phantom, fullSetup, {sliceRow}), fullSetup.cor, false), dTheta);
            const int n = g.width & ~1;
            const double seam = std::min(cor, width - 1 - cor);
            for (const double counts : {0.0, 1000.0}) {
                const QString tag = counts > 0 ? name + QStringLiteral(", noise at 1000 counts") : name;
                const ProjectionSet offset = scanLines(phantom, setupOf(width, cor, projections, 360.0, counts), searchRows);
                QString problem;
                const auto found = findOffsetAxis(offset, true, searchRows, &problem);
                if (found)
                    printFigure(tag + QStringLiteral(": axis found off by"), std::abs(found->cor - cor), QStringLiteral("pixels"));
                else
                    printFigure(tag + QStringLiteral(": axis not found (") + problem + u')', 0.0, QString());
                const std::vector<double> stitched = reconstructed(engine, sinogramOf(offset, cor, true), dTheta);
                double rms = 0, seamRms = 0, range = 0;
                compare(stitched, truth, truth, n, seam, rms, seamRms, range);
                if (counts == 0.0) {
                    printFigure(tag + QStringLiteral(": stitched against full width, RMS"), 100.0 * rms / range, QStringLiteral("% of range"));
                    continue;
                }
                const ProjectionSet full = scanLines(phantom, setupOf(2 * g.half + 2, g.half + g.frac, rows, 180.0, counts), {sliceRow});
                const std::vector<double> noisyFull = reconstructed(engine, sinogramOf(full, g.half + g.frac, false), dTheta);
                double fullRms = 0, fullSeam = 0;
                compare(noisyFull, truth, truth, n, seam, fullRms, fullSeam, range);
                printFigure(tag + QStringLiteral(": error of the stitched slice over that of a full-width scan"),
                    rms / fullRms, QStringLiteral("times"));
                printFigure(tag + QStringLiteral(": error in the seam band over the rest"), seamRms / rms, QStringLiteral("times"));
                printFigure(tag + QStringLiteral(": full-width scan's error in that band over its rest"), fullSeam / fullRms,
                    QStringLiteral("times"));
            }
        }
    }
}

void speed()
{
    const int width = 1030, projections = 1800;
    const double cor = width - 1 - 6.0;
    const Phantom phantom = offsetAxisPhantom(900.0);
    const ProjectionSet offset = scanLines(phantom, setupOf(width, cor, projections, 360.0, 0.0), {sliceRow});
    const OffsetAxisGeometry g = makeOffsetAxisGeometry(width, cor);
    const ProjectionSet full
        = scanLines(phantom, setupOf(2 * g.half + 1, g.half, stitchedRows(projections), 180.0, 0.0), {sliceRow});
    SinogramData s;
    const double stitching = bestSeconds(3, [&] { s = sinogramOf(offset, cor, true); });
    SinogramData plain;
    const double plainTime = bestSeconds(3, [&] { plain = sinogramOf(full, g.half, false); });
    CtFbp engine;
    const double slice = bestSeconds(1, [&] { reconstructed(engine, s, 2.0 * pi / projections); });
    printFigure(QStringLiteral("stitched slice N"), s.width & ~1, QString());
    printFigure(QStringLiteral("stitched sinogram (1800 lines of 1030 over 360 degrees)"), 1e3 * stitching, QStringLiteral("ms"));
    printFigure(QStringLiteral("plain sinogram of the same samples (900 lines of 2047)"), 1e3 * plainTime, QStringLiteral("ms"));
    printFigure(QStringLiteral("filtering and back-projection of the stitched slice"), 1e3 * slice, QStringLiteral("ms"));
    printFigure(QStringLiteral("stitching's cost over the plain sinogram, of the slice's time"),
        100.0 * (stitching - plainTime) / (slice + plainTime), QStringLiteral("%"));
    // What "Auto" adds before a run: the search over one slice's lines (a run searches five).
    const double search = bestSeconds(1, [&] { findOffsetAxis(offset, true, std::vector<int> {sliceRow}); });
    printFigure(QStringLiteral("axis search over one slice (1800 lines of 1030)"), 1e3 * search,
        QStringLiteral("ms"));
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_offsetaxis [--accuracy-only | --speed-only]
Offset-axis 360-degree scans: the axis found and the stitched slice against a full-width scan on
phantoms wider than the detector (overlaps 20, 64 and 200, axis left and right, noise-free and at
1000 counts), and what stitching costs against the plain sinogram and the slice's reconstruction.
)"))
        return 0;
    QCoreApplication app(argc, argv);
    printProcessor(backProjectionKernelName());
    const QStringList args = app.arguments();
    if (!args.contains(QStringLiteral("--speed-only")))
        accuracy();
    if (!args.contains(QStringLiteral("--accuracy-only")))
        speed();
    return 0;
}
