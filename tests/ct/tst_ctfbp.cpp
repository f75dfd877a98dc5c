// Qt
#include <QRect>
#include <QRectF>
#include <QTest>

// Local
#include "ct/backprojectkernel.h"
#include "ct/backprojectsingle.h"
#include "ct/ctfbp.h"
#include "tools/phantom/phantom.h"
#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr double pi = std::numbers::pi;

// The sinogram of a disk of attenuation mu per pixel and radius r centred at (cx, cy) from the axis:
// 2·mu·sqrt(r² − t²) with t the detector distance from the disk centre, on width = 2·half − 1
// samples whose column half − 1 is the rotation axis, for angles theta0 + i·dTheta.
std::vector<double> diskSinogram(
    int half, int rows, double mu, double r, double cx, double cy, double theta0, double dTheta)
{
    const int width = 2 * half - 1;
    std::vector<double> s(static_cast<size_t>(width) * rows, 0.0);
    for (int i = 0; i < rows; ++i) {
        const double th = theta0 + i * dTheta;
        const double centre = cx * std::cos(th) - cy * std::sin(th);
        for (int k = 0; k < width; ++k) {
            const double t = (k - (half - 1)) - centre;
            if (t * t < r * r)
                s[static_cast<size_t>(i) * width + k] = 2.0 * mu * std::sqrt(r * r - t * t);
        }
    }
    return s;
}

// Runs the whole engine on a sinogram of `rows` rows of width 2·half − 1.
void reconstruct(CtFbp &e, const std::vector<double> &s, int half, int rows, double theta0, double dTheta,
    bool blocked = true, bool single = false, QRectF region = QRectF())
{
    const int width = 2 * half - 1;
    const int n = width - 1;
    if (region.isNull())
        region = QRectF(0, 0, n, n);
    e.setup(n, rows, single);
    e.resetImage(n);
    for (int i = 0; i < rows; ++i)
        e.forwardRow(s.data() + static_cast<size_t>(i) * width, i);
    for (int i = 0; i < rows; ++i)
        e.filterRow(i);
    const double x0 = region.left(), x1 = region.right(), z0 = region.top(), z1 = region.bottom();
    if (blocked) {
        e.backProjectRows(rows, x0, x1, z0, z1, theta0, dTheta);
    } else {
        for (int i = 0; i < rows; ++i)
            e.backProjectRow(i, x0, x1, z0, z1, theta0, dTheta);
    }
}

// Mean of the pixels within `radius` of (x, z).
double meanAround(const CtFbp &e, double x, double z, double radius)
{
    double sum = 0;
    int count = 0;
    for (int zi = 0; zi < e.imageN(); ++zi)
        for (int xi = 0; xi < e.imageN(); ++xi)
            if ((xi - x) * (xi - x) + (zi - z) * (zi - z) <= radius * radius) {
                sum += e.imageRow(zi)[xi];
                ++count;
            }
    return count ? sum / count : 0.0;
}

std::vector<double> randomRows(int width, int rows, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 2.0);
    std::vector<double> s(static_cast<size_t>(width) * rows);
    for (double &v : s)
        v = u(rng);
    return s;
}

// Adds the lines to an image of 0.25 with every variant this processor has (`add` is false for one it has
// not) and compares it bit for bit with `reference` (QCOMPARE would compare fuzzily): the first
// difference, or an empty text.
template<class T, class Add> QString variantProblem(const std::vector<T> &reference, size_t stride, Add add)
{
    int ran = 0;
    for (auto variant :
        {BackProjectionVariant::Generic, BackProjectionVariant::Avx2, BackProjectionVariant::Avx512}) {
        std::vector<T> image(reference.size(), T(0.25));
        if (!add(variant, image.data()))
            continue; // not on this processor
        ++ran;
        for (size_t p = 0; p < image.size(); ++p)
            if (image[p] != reference[p])
                return QString::asprintf("variant %d, pixel (%zu, %zu): %.17g instead of %.17g", int(variant),
                    p % stride, p / stride, double(image[p]), double(reference[p]));
    }
    return ran > 0 ? QString() : QStringLiteral("no variant ran");
}

} // namespace

class TestCtFbp : public QObject
{
    Q_OBJECT
private slots:
    void rampFilterAndItsBuffers();
    void diskReconstructsToTwiceMuLessWhenLarge();
    void offCentreDiskLandsWhereTheGeometryPutsIt_data();
    void offCentreDiskLandsWhereTheGeometryPutsIt();
    void regionRules_data();
    void regionRules();
    void everyKernelVariantGivesTheSameBits_data();
    void everyKernelVariantGivesTheSameBits();
    void singlePrecisionFollowsTheDoublePath_data();
    void singlePrecisionFollowsTheDoublePath();
};

void TestCtFbp::rampFilterAndItsBuffers()
{
    // Its weights for four samples, symmetric about the highest frequency; a constant row filters to 0.
    CtFbp e;
    e.setup(4, 1);
    QCOMPARE(e.weight(0), 0.0);
    QCOMPARE(e.weight(1), pi / 2);
    QCOMPARE(e.weight(2), pi);
    QCOMPARE(e.weight(3), pi / 2);
    std::vector<double> row(64, 3.7);
    e.setup(64, 2);
    e.forwardRow(row.data(), 1);
    e.filterRow(1);
    for (double v : e.filteredRow(1))
        QVERIFY(std::abs(v) < 1e-13);

    // Set up again for the same size, the engine keeps its rows and spectra; for another, it has its size.
    const auto s = randomRows(33, 4, 21);
    e.setup(32, 4);
    for (int i = 0; i < 4; ++i)
        e.forwardRow(s.data() + i * 33, i);
    e.filterRow(2);
    const std::vector<double> before(e.filteredRow(2).begin(), e.filteredRow(2).end());
    e.setup(32, 4);
    QCOMPARE(std::vector<double>(e.filteredRow(2).begin(), e.filteredRow(2).end()), before);
    e.filterRow(3); // the spectra are still there
    QVERIFY(e.filteredRow(3)[5] != 0.0);
    e.setup(30, 4);
    QCOMPARE(e.n(), 30);
    QCOMPARE(static_cast<int>(e.filteredRow(2).size()), 30);
}

void TestCtFbp::diskReconstructsToTwiceMuLessWhenLarge()
{
    // The ramp weights are in radians per sample (2π times the weights in cycles) and the sum is
    // scaled by 1/P, not π/P: a disk of μ per pixel comes out as 2μ. Without zero padding the ramp
    // filter loses part of the low frequencies: larger objects come out lower. That is how this
    // engine works; the test pins the size of the effect.
    const int half = 129, rows = 360; // N = 256
    const double mu = 0.01, small = 256 / 12.0;
    double previous = 2.0;
    for (const double r : {small, 256 / 8.0, 256 / 4.0}) {
        CtFbp e;
        reconstruct(e, diskSinogram(half, rows, mu, r, 0, 0, 0, pi / rows), half, rows, 0, pi / rows);
        if (r == small) {
            const double interior = meanAround(e, 128, 128, 0.6 * r) / (2 * mu);
            QVERIFY2(std::abs(interior - 1.0) < 0.02, qPrintable(QString::number(interior)));
            QVERIFY(std::abs(meanAround(e, 128 + 2.5 * r, 128, 4)) < 0.05 * mu); // outside: about 0
        }
        const double ratio = meanAround(e, 128, 128, 0.5 * r) / (2 * mu);
        QVERIFY2(ratio < previous, qPrintable(QString::number(ratio)));
        previous = ratio;
    }
    QVERIFY2(previous > 0.85 && previous < 0.95, qPrintable(QString::number(previous))); // about 10 % at N/4
}

void TestCtFbp::offCentreDiskLandsWhereTheGeometryPutsIt_data()
{
    QTest::addColumn<double>("originDeg");
    QTest::addColumn<double>("expectX");
    QTest::addColumn<double>("expectZ");
    // A disk at (+30, −18) from the axis, recorded from angle 0. Told that the first angle is 90
    // degrees, the engine turns the picture: (x, z) → (z, −x).
    QTest::newRow("origin 0") << 0.0 << 128.0 + 30 << 128.0 - 18;
    QTest::newRow("origin 90") << 90.0 << 128.0 - 18 << 128.0 - 30;
}

void TestCtFbp::offCentreDiskLandsWhereTheGeometryPutsIt()
{
    QFETCH(double, originDeg);
    QFETCH(double, expectX);
    QFETCH(double, expectZ);
    const int half = 129, rows = 180;
    const ProjectionAngles a = projectionAngles(originDeg, 180.0, rows, 0);
    const auto s = diskSinogram(half, rows, 0.02, 8, 30, -18, 0.0, pi / rows);
    CtFbp e;
    reconstruct(e, s, half, rows, a.theta0, a.dTheta);
    QVERIFY(meanAround(e, expectX, expectZ, 4) > 0.03);
    QVERIFY(std::abs(meanAround(e, 128 + 30, 128 + 18, 4)) < 0.004); // not mirrored
    QVERIFY(std::abs(meanAround(e, 256 - expectX, 256 - expectZ, 4)) < 0.004);
}

void TestCtFbp::regionRules_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("x1");
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("z1");
    QTest::addColumn<int>("firstX");
    QTest::addColumn<int>("lastX");
    QTest::addColumn<int>("firstZ");
    QTest::addColumn<int>("lastZ");
    // The whole image: exactly the pixels inside the circle.
    QTest::newRow("whole image") << 0.0 << 64.0 << 0.0 << 64.0 << 0 << 63 << 0 << 63;
    QTest::newRow("10.7 - 20.2") << 10.7 << 20.2 << 30.0 << 31.0 << 10 << 20 << 30 << 30;
    QTest::newRow("larger than the image") << -500.0 << 1e9 << 31.5 << 33.0 << 1 << 63 << 31 << 32;
    QTest::newRow("empty rows") << 0.0 << 64.0 << 40.9 << 40.0 << 1 << 0 << 1 << 0;
    QTest::newRow("NaN") << std::nan("") << 64.0 << 10.0 << 11.0 << 1 << 0 << 1 << 0;
}

void TestCtFbp::regionRules()
{
    QFETCH(double, x0);
    QFETCH(double, x1);
    QFETCH(double, z0);
    QFETCH(double, z1);
    QFETCH(int, firstX);
    QFETCH(int, lastX);
    QFETCH(int, firstZ);
    QFETCH(int, lastZ);
    const int half = 33, rows = 12, n = 64;
    const auto s = randomRows(2 * half - 1, rows, 9);
    const QRectF region(x0, z0, x1 - x0, z1 - z0);
    CtFbp blocked, byRow;
    reconstruct(blocked, s, half, rows, 0.3, pi / rows, true, false, region);
    reconstruct(byRow, s, half, rows, 0.3, pi / rows, false, false, region);
    QVERIFY(blocked.backProjected());
    // Blocked and one row at a time both give the back-projection written out as plainly as possible,
    // bit for bit (QCOMPARE would compare doubles fuzzily), on the pixels of the region inside the
    // circle and nowhere else. A pixel whose position has sample j but no sample j + 1 (j = N − 1)
    // gets nothing from that line.
    const double h = n * 0.5;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const bool inCircle = (x - h) * (x - h) + (z - h) * (z - h) < h * h;
            const bool inside = inCircle && x >= firstX && x <= lastX && z >= firstZ && z <= lastZ;
            double expected = 0.0;
            for (int i = 0; inside && i < rows; ++i) {
                const double th = 0.3 + i * (pi / rows);
                const double c = std::cos(th), sn = std::sin(th);
                const double t = x * c + (-sn) * z + (h - (c * h - sn * h));
                const int j = static_cast<int>(std::floor(t));
                const auto q = blocked.filteredRow(i);
                if (j >= 0 && j < n - 1)
                    expected += q[j] + (q[j + 1] - q[j]) * (t - j);
            }
            QVERIFY(blocked.imageRow(z)[x] == expected && byRow.imageRow(z)[x] == expected);
            QVERIFY(!inside || expected != 0.0);
        }
}

void TestCtFbp::everyKernelVariantGivesTheSameBits_data()
{
    QTest::addColumn<int>("n"); // image width and height
    QTest::addColumn<int>("samples"); // filtered row length: pairs exist for j < samples − 1
    QTest::addColumn<int>("lines");
    QTest::addColumn<double>("theta0");
    QTest::addColumn<double>("dTheta");
    QTest::addColumn<QRect>("region"); // columns and rows; empty: the whole circle
    QTest::addColumn<double>("shift"); // of the detector: pixels at t < 0 or past the last pair
    QTest::newRow("full circle, both signs of cos") << 120 << 120 << 75 << 0.2 << pi / 75 << QRect() << 0.0;
    QTest::newRow("odd size") << 97 << 97 << 40 << 0.1 << pi / 40 << QRect() << 0.0;
    QTest::newRow("region edges off the blocks")
        << 130 << 130 << 33 << 1.3 << 0.07 << QRect(7, 9, 83, 51) << 0.0;
    QTest::newRow("one pixel") << 64 << 64 << 17 << 0.0 << 0.3 << QRect(31, 20, 1, 1) << 0.0;
    QTest::newRow("three columns") << 64 << 64 << 17 << 2.0 << 0.3 << QRect(40, 5, 3, 40) << 0.0;
    QTest::newRow("one row") << 64 << 64 << 50 << 0.5 << pi / 50 << QRect(1, 33, 63, 1) << 0.0;
    QTest::newRow("short rows: many pixels without a pair") << 90 << 50 << 30 << 0.3 << 0.2 << QRect() << 0.0;
    QTest::newRow("exact right angles") << 48 << 48 << 9 << 0.0 << pi / 2 << QRect() << 0.0;
    QTest::newRow("detector shifted down") << 100 << 100 << 41 << 0.4 << pi / 41 << QRect() << -20.5;
    QTest::newRow("detector shifted up") << 100 << 100 << 41 << 0.4 << pi / 41 << QRect() << 15.25;
    QTest::newRow("one line") << 70 << 70 << 1 << 2.5 << 0.0 << QRect() << 0.0;
    // Several tiles of rows and columns; the lines go round every octant.
    QTest::newRow("many tiles, all octants") << 600 << 600 << 37 << 0.05 << 2 * pi / 37 << QRect() << 0.0;
    QTest::newRow("odd size, region across tiles")
        << 531 << 531 << 23 << 0.3 << 2 * pi / 23 << QRect(100, 51, 371, 350) << 0.5;
}

void TestCtFbp::everyKernelVariantGivesTheSameBits()
{
    QFETCH(int, n);
    QFETCH(int, samples);
    QFETCH(int, lines);
    QFETCH(double, theta0);
    QFETCH(double, dTheta);
    QFETCH(QRect, region);
    QFETCH(double, shift);
    // Random filtered rows, each followed by the padding the wide loads read.
    const size_t stride = samples + backProjectRowPadding;
    std::vector<double> q(stride * lines + backProjectRowPadding);
    std::mt19937 rng(static_cast<unsigned>(n * 131 + lines));
    std::uniform_real_distribution<double> u(-1, 1);
    for (double &v : q)
        v = u(rng);
    const double h = n * 0.5;
    std::vector<BackProjectionLine> ls;
    for (int i = 0; i < lines; ++i) {
        const double th = theta0 + i * dTheta;
        const double c = std::cos(th), s = std::sin(th);
        ls.push_back({q.data() + i * stride, c, -s, h - (c * h - s * h) + shift});
    }
    // Pixels of the region strictly inside the circle.
    const QRect all = region.isNull() ? QRect(0, 0, n, n) : region;
    std::vector<int> xs, xe;
    for (int z = all.top(); z <= all.bottom(); ++z) {
        int lo = all.right() + 1, hi = all.left();
        for (int x = all.left(); x <= all.right(); ++x)
            if ((x - h) * (x - h) + (z - h) * (z - h) < h * h) {
                lo = std::min(lo, x);
                hi = x + 1;
            }
        xs.push_back(lo);
        xe.push_back(std::max(lo, hi));
    }
    // The sums written out plainly, one line after the other over the whole image.
    std::vector<double> reference(static_cast<size_t>(n) * n, 0.25);
    for (const BackProjectionLine &l : ls)
        for (int z = all.top(); z <= all.bottom(); ++z)
            for (int x = xs[z - all.top()]; x < xe[z - all.top()]; ++x) {
                const double t = x * l.c + l.ms * z + l.C;
                const double f = std::floor(t);
                if (f < 0 || f >= samples - 1)
                    continue;
                const int j = static_cast<int>(f);
                reference[static_cast<size_t>(z) * n + x] += l.q[j] + (l.q[j + 1] - l.q[j]) * (t - f);
            }
    QString problem = variantProblem(reference, n, [&](BackProjectionVariant variant, double *image) {
        const BackProjectionRows rows {
            image, static_cast<size_t>(n), all.top(), all.bottom() + 1, xs.data(), xe.data()};
        return addBackProjectionsWith(variant, rows, ls, samples - 1);
    });
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // The single-precision variants against the same sums in floats: the pixels that take part as in
    // doubles, their positions anchored on groups of 16 pixels.
    const size_t strideF = samples + backProjectRowPaddingSingle;
    std::vector<float> qf(strideF * lines + backProjectRowPaddingSingle);
    for (size_t i = 0; i < qf.size(); ++i)
        qf[i] = static_cast<float>(q[i % q.size()]);
    std::vector<BackProjectionLineSingle> lf;
    for (int i = 0; i < lines; ++i)
        lf.push_back({qf.data() + i * strideF, ls[i].c, ls[i].ms, ls[i].C, singleSlope(ls[i].c)});
    const size_t imageStride = singleImageStride(n);
    std::vector<float> referenceF(imageStride * n, 0.25f);
    const int last = samples - 1;
    for (const BackProjectionLineSingle &l : lf)
        for (int z = all.top(); z <= all.bottom(); ++z)
            for (int x = xs[z - all.top()]; x < xe[z - all.top()]; ++x) {
                const double t = x * l.c + l.ms * z + l.C;
                if (!(t >= 0 && t < last))
                    continue;
                const int xa = l.c < 0 ? x / 16 * 16 + 15 : x / 16 * 16;
                const double ta = (xa * l.c + l.ms * z) + l.C;
                const double fa = std::floor(ta);
                const float u = static_cast<float>(ta - fa) + static_cast<float>(std::abs(x - xa)) * l.slope;
                int j = static_cast<int>(fa) + static_cast<int>(u);
                float fr = u - std::floor(u);
                if (j < 0 || j >= last) { // the position in floats just past the end
                    j = std::clamp(j, 0, last - 1);
                    fr = j == 0 ? 0.0f : 1.0f;
                }
                referenceF[z * imageStride + x] += l.q[j] + (l.q[j + 1] - l.q[j]) * fr;
            }
    problem = variantProblem(referenceF, imageStride, [&](BackProjectionVariant variant, float *image) {
        const BackProjectionRowsSingle rows {
            image, imageStride, all.top(), all.bottom() + 1, xs.data(), xe.data()};
        return addBackProjectionsSingleWith(variant, rows, lf, samples - 1);
    });
    QVERIFY2(problem.isEmpty(), qPrintable(u"single "_qs + problem));
}

void TestCtFbp::singlePrecisionFollowsTheDoublePath_data()
{
    QTest::addColumn<bool>("phantom"); // the demo phantom's exact sinogram, else random rows
    QTest::addColumn<int>("half");
    QTest::addColumn<int>("rows");
    QTest::addColumn<double>("theta0");
    QTest::addColumn<double>("dTheta");
    QTest::addColumn<QRectF>("region"); // empty: the whole image
    QTest::addColumn<bool>("blocked"); // false: one projection at a time
    QTest::newRow("phantom, 720 projections over 180 degrees")
        << true << 257 << 720 << 0.0 << pi / 720 << QRectF() << true;
    QTest::newRow("phantom, 301 projections over 360 degrees, turned")
        << true << 200 << 301 << 0.3 << 2 * pi / 301 << QRectF() << true;
    QTest::newRow("phantom, a region off the centre")
        << true << 180 << 400 << 0.1 << pi / 400 << QRectF(40.5, 100.2, 211, 97) << true;
    QTest::newRow("random rows") << false << 150 << 200 << 0.0 << pi / 200 << QRectF() << true;
    QTest::newRow("random rows, one projection at a time")
        << false << 64 << 90 << 1.0 << pi / 90 << QRectF() << false;
}

void TestCtFbp::singlePrecisionFollowsTheDoublePath()
{
    QFETCH(bool, phantom);
    QFETCH(int, half);
    QFETCH(int, rows);
    QFETCH(double, theta0);
    QFETCH(double, dTheta);
    QFETCH(QRectF, region);
    QFETCH(bool, blocked);
    const int width = 2 * half - 1;
    std::vector<double> s;
    if (phantom) {
        // The demo object scaled into the circle, its line integrals at the sample positions.
        const Phantom object = demoPhantom(2 * half - 2);
        for (int i = 0; i < rows; ++i)
            for (int k = 0; k < width; ++k)
                s.push_back(object.lineIntegral(k - (half - 1), 0.0, theta0 + i * dTheta));
    } else {
        s = randomRows(width, rows, static_cast<unsigned>(half));
    }
    CtFbp doubles, singles;
    reconstruct(doubles, s, half, rows, theta0, dTheta, blocked, false, region);
    reconstruct(singles, s, half, rows, theta0, dTheta, blocked, true, region);
    QVERIFY(singles.single() && !doubles.single());
    double lo = 0.0, hi = 0.0, worst = 0.0;
    for (size_t p = 0; p < doubles.image().size(); ++p) {
        lo = std::min(lo, doubles.image()[p]);
        hi = std::max(hi, doubles.image()[p]);
        worst = std::max(worst, std::abs(singles.image()[p] - doubles.image()[p]));
    }
    QVERIFY(hi - lo > 0.0);
    QVERIFY2(worst <= 1e-5 * (hi - lo),
        qPrintable(QStringLiteral("largest difference %1 of a range of %2").arg(worst).arg(hi - lo)));
    // Not the same numbers (the test would not see a single path that fell back to doubles).
    QVERIFY(worst > 0.0);
}

QTEST_APPLESS_MAIN(TestCtFbp)
#include "tst_ctfbp.moc"
