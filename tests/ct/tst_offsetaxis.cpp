// Qt
#include <QTest>

// Local
#include "ct/ctfbp.h"
#include "ct/offsetaxis.h"
#include "ct/sinogramgen.h"
#include "tools/phantom/phantom.h"
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double pi = std::numbers::pi;
constexpr int sliceRow = 4;
// The detector rows a search compares (a tall sample: the same structure, noise of their own).
const std::vector<int> searchRows {2, 3, 4, 5}; // the detector row of the slice (rows 0 … 7 are recorded)

ScanSetup setupOf(int width, double cor, int projections, double rangeDeg, double counts)
{
    ScanSetup s;
    s.width = width;
    s.height = 8;
    s.cor = cor;
    s.axisVertical = true;
    s.projections = projections;
    s.rangeDeg = rangeDeg;
    s.i0 = counts > 0 ? counts : 20000.0;
    s.noise = 0.0;
    s.flatNoise = 0.0;
    s.poisson = counts > 0;
    s.seed = 7;
    return s;
}

// The slice of a sinogram of `rows` rows at angles k · dTheta, over the whole image, N × N.
std::vector<double> reconstructed(const SinogramData &s, double dTheta)
{
    const int n = s.width & ~1;
    CtFbp e;
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

// RMS of a − b inside the circle of radius 0.95·N/2, over the value range of `truth` there; and
// the same over a ring band |radius − seam| ≤ 5 (seam ≥ 0), else 0.
struct Difference
{
    double rms = 0.0;
    double seamRms = 0.0;
    double range = 0.0;
};

Difference difference(const std::vector<double> &a, const std::vector<double> &b, const std::vector<double> &truth,
    int n, double seam = -1.0)
{
    double lo = 1e300, hi = -1e300, sum = 0.0, seamSum = 0.0;
    long count = 0, seamCount = 0;
    const double c = n / 2.0, r = 0.95 * n / 2.0;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const double d = std::hypot(x + 0.5 - c, z + 0.5 - c);
            if (d > r)
                continue;
            const size_t i = static_cast<size_t>(z) * n + x;
            lo = std::min(lo, truth[i]);
            hi = std::max(hi, truth[i]);
            const double e = a[i] - b[i];
            sum += e * e;
            ++count;
            if (seam >= 0.0 && std::abs(d - seam) <= 5.0) {
                seamSum += e * e;
                ++seamCount;
            }
        }
    Difference diff;
    diff.range = hi - lo;
    diff.rms = std::sqrt(sum / std::max(count, 1L));
    diff.seamRms = seamCount ? std::sqrt(seamSum / seamCount) : 0.0;
    return diff;
}

// An offset-axis 360° scan with the given overlap and side, and the full-width 180° scan of the same
// sample at the same angles; both on the grid of the stitched sinogram.
struct Scans
{
    ProjectionSet offset;
    ProjectionSet full;
    double cor = 0.0;
    int half = 0;
};

Scans scansOf(int width, int overlap, bool right, int projections, double counts, double frac = 0.0)
{
    Scans s;
    // Overlap o: the near edge o / 2 from the axis (on either side of it o columns are seen twice).
    s.cor = right ? width - 1 - overlap / 2.0 + frac : overlap / 2.0 - frac;
    const OffsetAxisGeometry g = makeOffsetAxisGeometry(width, s.cor);
    s.half = g.half;
    const Phantom phantom = offsetAxisPhantom(0.92 * g.half);
    s.offset = scanLines(phantom, setupOf(width, s.cor, projections, 360.0, counts), searchRows);
    // A detector of 2·half + 1 columns with the axis on its middle column, at the angles of the
    // stitched rows (k · 360° / projections).
    const int rows = stitchedRows(projections);
    ScanSetup full = setupOf(2 * g.half + 1, g.half, rows, 360.0 * rows / projections, counts);
    s.full = scanLines(phantom, full, {sliceRow});
    return s;
}

SinogramData sinogramOf(const ProjectionSet &set, double cor, bool offsetAxis)
{
    SinogramRequest r;
    r.rowLines = true;
    r.cor = cor;
    r.slice = sliceRow;
    r.offsetAxis = offsetAxis;
    SinogramData s;
    const SinogramStatus status = genSinogram0(s, set, r);
    if (status != SinogramStatus::Generated)
        qWarning("%s", qPrintable(sinogramProblem(status, set, r)));
    return s;
}

} // namespace

/// Sinograms of 360° scans recorded with the axis near one edge of the detector: the stitched grid,
/// the stitched slice against a detector twice as wide, and the search for the axis.
class TestOffsetAxis : public QObject
{
    Q_OBJECT
private slots:
    void geometry_data();
    void geometry();
    void facingProjections_data();
    void facingProjections();
    void stitchedSliceMatchesFullWidth_data();
    void stitchedSliceMatchesFullWidth();
    void noiseAndSeam();
    void findsTheAxis_data();
    void findsTheAxis();
    void refusesWhatIsNoOffsetScan_data();
    void refusesWhatIsNoOffsetScan();
};

void TestOffsetAxis::geometry_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<double>("cor");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<bool>("right");
    QTest::newRow("axis near the right edge") << 100 << 89.5 << true << 177 << 19 << true;
    QTest::newRow("axis near the left edge") << 100 << 10.0 << true << 177 << 21 << false;
    QTest::newRow("axis one pixel in") << 100 << 1.0 << true << 195 << 3 << false;
    QTest::newRow("axis in the middle") << 100 << 49.5 << true << 97 << 97 << false;
    QTest::newRow("axis off the line") << 100 << 0.5 << false << 0 << 0 << false;
    QTest::newRow("axis beyond the line") << 100 << 98.5 << false << 0 << 0 << false;
    QTest::newRow("not a number") << 100 << std::nan("") << false << 0 << 0 << false;
}

void TestOffsetAxis::geometry()
{
    QFETCH(int, length);
    QFETCH(double, cor);
    QFETCH(bool, valid);
    const OffsetAxisGeometry g = makeOffsetAxisGeometry(length, cor);
    QCOMPARE(g.valid(), valid);
    if (!valid)
        return;
    QTEST(g.width, "width");
    QTEST(g.overlap(), "overlap");
    if (g.directLo != g.mirrorLo)
        QTEST(g.axisRight(), "right");
    QCOMPARE(g.width, 2 * g.half - 1);
    for (int i = 0; i < g.width; ++i) {
        // Every sample is covered, by a pixel pair inside the line.
        const double x = g.cor + i - (g.half - 1);
        const double w = g.directWeight(i);
        QVERIFY2(w >= 0.0 && w <= 1.0, qPrintable(QString::number(i)));
        if (w > 0.0)
            QVERIFY(std::floor(x) >= 0 && std::floor(x) + 1 <= length - 1);
        const double xm = g.cor - (i - (g.half - 1));
        if (w < 1.0)
            QVERIFY(std::floor(xm) >= 0 && std::floor(xm) + 1 <= length - 1);
    }
    // The blend runs from the side one half covers alone to the other, without a step.
    if (g.directLo != g.mirrorLo) {
        const double atLo = g.directWeight(g.overlapLo), atHi = g.directWeight(g.overlapHi);
        QCOMPARE(atLo, g.axisRight() ? 1.0 : 0.0);
        QCOMPARE(atHi, g.axisRight() ? 0.0 : 1.0);
    }
}

void TestOffsetAxis::facingProjections_data()
{
    QTest::addColumn<int>("images");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<double>("weightB");
    QTest::newRow("even, first") << 8 << 0 << 4 << 4 << 0.0;
    QTest::newRow("even, last") << 8 << 3 << 7 << 7 << 0.0;
    QTest::newRow("odd, first") << 9 << 0 << 4 << 5 << 0.5;
    QTest::newRow("odd, last: round the turn") << 9 << 4 << 8 << 0 << 0.5;
}

void TestOffsetAxis::facingProjections()
{
    QFETCH(int, images);
    QFETCH(int, row);
    const FacingImages f = facingImages(row, images);
    QTEST(f.a, "a");
    QTEST(f.b, "b");
    QTEST(f.weightB, "weightB");
    QCOMPARE(stitchedRows(images), (images + 1) / 2);
}

void TestOffsetAxis::stitchedSliceMatchesFullWidth_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<bool>("right");
    QTest::addColumn<int>("projections");
    QTest::newRow("overlap 20, axis right") << 160 << 20 << true << 360;
    QTest::newRow("overlap 64, axis left") << 200 << 64 << false << 360;
    QTest::newRow("overlap 200, axis right") << 480 << 200 << true << 360;
    QTest::newRow("odd count: facing projection interpolated") << 160 << 30 << false << 361;
}

void TestOffsetAxis::stitchedSliceMatchesFullWidth()
{
    QFETCH(int, width);
    QFETCH(int, overlap);
    QFETCH(bool, right);
    QFETCH(int, projections);
    const Scans s = scansOf(width, overlap, right, projections, 0.0);
    const SinogramData stitched = sinogramOf(s.offset, s.cor, true);
    const SinogramData full = sinogramOf(s.full, s.half, false);
    QCOMPARE(stitched.width, full.width);
    QCOMPARE(stitched.height, stitchedRows(projections));
    const double dTheta = 2.0 * pi / projections;
    const std::vector<double> a = reconstructed(stitched, dTheta);
    QCOMPARE(full.height, stitched.height);
    const std::vector<double> b = reconstructed(full, dTheta);
    const Difference d = difference(a, b, b, stitched.width & ~1);
    QVERIFY2(d.rms <= 0.01 * d.range, qPrintable(QStringLiteral("RMS %1 of range %2").arg(d.rms).arg(d.range)));
    qInfo("RMS %.3g %% of the range", 100.0 * d.rms / d.range);
}

// With Poisson noise, the stitched slice is no worse than a full-width scan with the same noise, and
// no seam shows where the halves meet.
void TestOffsetAxis::noiseAndSeam()
{
    const int width = 200, overlap = 40, projections = 360;
    const Scans clean = scansOf(width, overlap, true, projections, 0.0);
    const Scans noisy = scansOf(width, overlap, true, projections, 2000.0);
    const double dTheta = 2.0 * pi / projections;
    const std::vector<double> truth = reconstructed(sinogramOf(clean.full, clean.half, false), dTheta);
    const std::vector<double> stitched = reconstructed(sinogramOf(noisy.offset, noisy.cor, true), dTheta);
    const std::vector<double> full = reconstructed(sinogramOf(noisy.full, noisy.half, false), dTheta);
    const int n = static_cast<int>(std::lround(std::sqrt(double(truth.size()))));
    const double seam = clean.offset.width - 1 - clean.cor; // the near edge's distance from the axis
    const Difference ds = difference(stitched, truth, truth, n, seam);
    const Difference df = difference(full, truth, truth, n, seam);
    QVERIFY2(ds.rms <= 1.1 * df.rms, qPrintable(QStringLiteral("stitched %1, full width %2").arg(ds.rms).arg(df.rms)));
    // The band where the halves meet is no noisier than the same band of a full-width scan.
    QVERIFY2(ds.seamRms <= 1.1 * df.seamRms,
        qPrintable(QStringLiteral("seam %1, full width there %2").arg(ds.seamRms).arg(df.seamRms)));
    qInfo("RMS %.4g (full width %.4g); seam band %.4g (full width %.4g)", ds.rms, df.rms, ds.seamRms, df.seamRms);
}

void TestOffsetAxis::findsTheAxis_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<bool>("right");
    QTest::addColumn<double>("frac");
    QTest::addColumn<double>("counts");
    QTest::newRow("overlap 20, right") << 160 << 20 << true << 0.3 << 0.0;
    QTest::newRow("overlap 64, left") << 200 << 64 << false << 0.25 << 0.0;
    QTest::newRow("overlap 200, right") << 480 << 200 << true << 0.0 << 0.0;
    QTest::newRow("overlap 20, left, noise at 1000 counts") << 160 << 20 << false << 0.1 << 1000.0;
    QTest::newRow("overlap 64, right, noise at 1000 counts") << 200 << 64 << true << 0.4 << 1000.0;
}

void TestOffsetAxis::findsTheAxis()
{
    QFETCH(int, width);
    QFETCH(int, overlap);
    QFETCH(bool, right);
    QFETCH(double, frac);
    QFETCH(double, counts);
    const Scans s = scansOf(width, overlap, right, 360, counts, frac);
    QString problem;
    const auto guess = findOffsetAxis(s.offset, true, searchRows, &problem);
    QVERIFY2(guess, qPrintable(problem));
    QVERIFY2(std::abs(guess->cor - s.cor) <= 0.25,
        qPrintable(QStringLiteral("found %1 for %2").arg(guess->cor).arg(s.cor)));
    QCOMPARE(guess->axisRight, right);
    QVERIFY(std::abs(guess->overlap - overlap) <= 2);
}

void TestOffsetAxis::refusesWhatIsNoOffsetScan_data()
{
    QTest::addColumn<double>("cor");
    QTest::addColumn<bool>("empty");
    QTest::newRow("axis in the middle") << 99.5 << false;
    QTest::newRow("nothing in the beam") << 190.0 << true;
    QTest::newRow("nothing in the beam, axis left") << 12.0 << true;
}

void TestOffsetAxis::refusesWhatIsNoOffsetScan()
{
    QFETCH(double, cor);
    QFETCH(bool, empty);
    Phantom phantom = offsetAxisPhantom(90.0);
    if (empty)
        phantom.parts.clear();
    const ProjectionSet set = scanLines(phantom, setupOf(200, cor, 180, 360.0, 5000.0), searchRows);
    QString problem;
    QVERIFY(!findOffsetAxis(set, true, searchRows, &problem));
    QVERIFY(!problem.isEmpty());
}

QTEST_APPLESS_MAIN(TestOffsetAxis)
#include "tst_offsetaxis.moc"
