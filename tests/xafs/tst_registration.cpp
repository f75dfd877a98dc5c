// Qt
#include <QTest>

// Local
#include "tests/xafs/xafsseries.h"
#include "xafs/alignkernels.h"
#include "xafs/fftvolume.h"
#include "xafs/phasecorrelation.h"
#include "xafs/resample.h"
#include "xafs/upsampleddft.h"
#include <numbers>

/// The numbers of the alignment: registration of phantom volumes with known shifts, the upsampled
/// DFT against the inverse transform, the B-spline shift against analytic functions, and the
/// instruction-set variants of the loops against each other.
class TestRegistration : public QObject
{
    Q_OBJECT
private slots:
    void recoversShifts_data();
    void recoversShifts();
    void upsampledDftIsTheInverseTransform_data();
    void upsampledDftIsTheInverseTransform();
    void shiftFollowsAnalyticVolume_data();
    void shiftFollowsAnalyticVolume();
    void valuesThatWereNotFiniteSpreadOneVoxel();
    void variantsAgree();
};

void TestRegistration::recoversShifts_data()
{
    QTest::addColumn<double>("dz");
    QTest::addColumn<double>("dy");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("element"); // the moving volume's contrast of the element; the reference's is 5
    QTest::addColumn<double>("noise"); // of the matrix's contrast (1)
    QTest::addColumn<bool>("box");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("same contrast") << 0.3 << -0.7 << 0.45 << 5.0 << 0.0 << false << 0.05;
    QTest::newRow("element 5x weaker, up to 4 voxels") << 3.7 << -3.9 << 2.6 << 1.0 << 0.0 << false << 0.05;
    QTest::newRow("element 5x weaker, the other corner")
        << -3.95 << 3.8 << -3.6 << 1.0 << 0.0 << false << 0.05;
    QTest::newRow("element 5x weaker, 2% noise") << 2.2 << -3.3 << 1.7 << 1.0 << 0.02 << false << 0.1;
    QTest::newRow("element 5x weaker, 2% noise, small shift")
        << -1.4 << 0.6 << -3.8 << 1.0 << 0.02 << false << 0.1;
    QTest::newRow("a box inside") << 1.2 << -2.1 << 0.8 << 1.0 << 0.0 << true << 0.05;
}

void TestRegistration::recoversShifts()
{
    QFETCH(double, dz);
    QFETCH(double, dy);
    QFETCH(double, dx);
    QFETCH(double, element);
    QFETCH(double, noise);
    QFETCH(bool, box);
    QFETCH(double, tolerance);
    const VolumeShape s {32, 64, 64};
    auto reference = std::make_shared<Volume>(phantomVolume(s, {}, 5.0));
    Volume moving = phantomVolume(s, {dz, dy, dx}, element);
    if (noise > 0) {
        addNoise(*reference, noise, 1);
        addNoise(moving, noise, 2);
    }
    const VolumeBox region = box ? VolumeBox {{6, 10, 10}, {26, 54, 54}} : VolumeBox::whole(s);
    QString error;
    const auto ref = RegistrationReference::make(reference, region, {}, &error);
    QVERIFY2(ref, qPrintable(error));
    const RegistrationResult r = PhaseCorrelation(ref).align(moving);
    QVERIFY2(r.ok, qPrintable(r.problem));
    const Shift3 truth {dz, dy, dx};
    for (int a = 0; a < 3; ++a)
        QVERIFY2(std::abs(r.shift[a] - truth[a]) < tolerance,
            qPrintable(QStringLiteral("axis %1: %2, the truth %3").arg(a).arg(r.shift[a]).arg(truth[a])));
}

void TestRegistration::upsampledDftIsTheInverseTransform_data()
{
    QTest::addColumn<int>("nz");
    QTest::addColumn<int>("ny");
    QTest::addColumn<int>("nx");
    QTest::newRow("even sides") << 8 << 10 << 12;
    QTest::newRow("odd sides") << 7 << 9 << 11;
}

void TestRegistration::upsampledDftIsTheInverseTransform()
{
    // On whole positions the upsampled DFT is the inverse transform itself (periodic), whatever the
    // halving of the spectrum and the sides' parity.
    QFETCH(int, nz);
    QFETCH(int, ny);
    QFETCH(int, nx);
    const VolumeShape s {nz, ny, nx};
    SpectrumVolume spectrum, inverse;
    QVERIFY(spectrum.allocate(s) && inverse.allocate(s));
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                spectrum.row(z, y)[x] = u(rng);
    spectrum.forward();
    std::memcpy(inverse.data(), spectrum.data(), SpectrumVolume::bytesFor(s));
    inverse.inverse();
    const UpsampledGrid grid = upsampledCorrelation(spectrum, {2.5, -1.5, 3.5}, 1.0);
    const auto wrap = [](long i, int n) { return int(((i % n) + n) % n); };
    double worst = 0.0, scale = 0.0;
    for (int jz = 0; jz < UpsampledGrid::points; ++jz)
        for (int jy = 0; jy < UpsampledGrid::points; ++jy)
            for (int jx = 0; jx < UpsampledGrid::points; ++jx) {
                const long pz = std::lround(grid.position(0, jz)), py = std::lround(grid.position(1, jy)),
                           px = std::lround(grid.position(2, jx));
                const double truth = inverse.row(wrap(pz, nz), wrap(py, ny))[wrap(px, nx)];
                worst = std::max(worst, std::abs(grid.at(jz, jy, jx) - truth));
                scale = std::max(scale, std::abs(truth));
            }
    QVERIFY2(worst < 1e-4 * scale, qPrintable(QStringLiteral("%1 of %2").arg(worst).arg(scale)));
}

namespace {

// A smooth, band-limited volume: a few slow waves along every axis.
double wave(double z, double y, double x)
{
    constexpr double tau = 2.0 * std::numbers::pi;
    return std::cos(tau * (0.06 * z + 0.04 * y) + 0.3) + 0.5 * std::sin(tau * (0.05 * x - 0.03 * z))
        + 0.25 * std::cos(tau * 0.08 * y);
}

} // namespace

void TestRegistration::shiftFollowsAnalyticVolume_data()
{
    QTest::addColumn<double>("dz");
    QTest::addColumn<double>("dy");
    QTest::addColumn<double>("dx");
    QTest::newRow("fractions on every axis") << 0.3 << -1.7 << 2.25;
    QTest::newRow("whole voxels") << -2.0 << 3.0 << 0.0;
    QTest::newRow("half a voxel along x") << 0.0 << 0.0 << 0.5;
    QTest::newRow("more than the volume along z") << 20.5 << 0.0 << 0.0;
}

void TestRegistration::shiftFollowsAnalyticVolume()
{
    QFETCH(double, dz);
    QFETCH(double, dy);
    QFETCH(double, dx);
    const VolumeShape s {16, 24, 20};
    Volume v;
    v.shape = s;
    v.values.resize(s.voxels());
    for (int z = 0; z < s.nz; ++z)
        for (int y = 0; y < s.ny; ++y)
            for (int x = 0; x < s.nx; ++x)
                v.values[(std::size_t(z) * s.ny + y) * s.nx + x] = float(wave(z, y, x));
    const ResampleCounts counts = shiftVolume(v, {dz, dy, dx});
    // Inside, the value at the source; NaN exactly where the source lies beyond the first or last sample.
    std::size_t nan = 0, checked = 0;
    double worst = 0.0;
    for (int z = 0; z < s.nz; ++z)
        for (int y = 0; y < s.ny; ++y)
            for (int x = 0; x < s.nx; ++x) {
                const double sz = z + dz, sy = y + dy, sx = x + dx;
                const bool outside
                    = sz < 0 || sz > s.nz - 1 || sy < 0 || sy > s.ny - 1 || sx < 0 || sx > s.nx - 1;
                const float got = v.at(z, y, x);
                QCOMPARE(std::isnan(got), outside);
                nan += outside ? 1 : 0;
                // Away from the faces, where the mirrored boundary does not reach.
                if (!outside && sz >= 3 && sz <= s.nz - 4 && sy >= 3 && sy <= s.ny - 4 && sx >= 3
                    && sx <= s.nx - 4) {
                    worst = std::max(worst, std::abs(got - wave(sz, sy, sx)));
                    ++checked;
                }
            }
    QCOMPARE(counts.outside, nan);
    QVERIFY2(worst < (dz == std::round(dz) && dy == std::round(dy) && dx == std::round(dx) ? 1e-6 : 3e-3),
        qPrintable(QString::number(worst)));
    QVERIFY(checked > 0 || nan == s.voxels());
}

void TestRegistration::valuesThatWereNotFiniteSpreadOneVoxel()
{
    const VolumeShape s {8, 8, 8};
    Volume v;
    v.shape = s;
    v.values.assign(s.voxels(), 1.0f);
    const std::uint64_t bad = (std::uint64_t(4) * 8 + 4) * 8 + 4;
    const std::uint64_t gaps[] = {bad};
    // Half a voxel along x: the outputs at x = 3 and 4 take the source 4.5 and 3.5 → both touch 4.
    const ResampleCounts counts = shiftVolume(v, {0.0, 0.0, -0.5}, gaps);
    QCOMPARE(counts.nonFinite, std::size_t(2));
    QVERIFY(std::isnan(v.at(4, 4, 4)) && std::isnan(v.at(4, 4, 5)));
    QVERIFY(!std::isnan(v.at(4, 4, 3)) && !std::isnan(v.at(4, 4, 6)) && !std::isnan(v.at(4, 5, 4)));
}

void TestRegistration::variantsAgree()
{
    // Every instruction set the processor has computes what the generic loops compute.
    const AlignKernels *generic = alignKernelsOf(AlignKernelVariant::Generic);
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    const std::size_t n = 133;
    std::vector<float> a(2 * n), b(2 * n), g(n), eRe(n * 16), eIm(n * 16);
    for (auto *v : {&a, &b, &g, &eRe, &eIm})
        for (float &x : *v)
            x = u(rng);
    for (const AlignKernelVariant variant : {AlignKernelVariant::Avx2, AlignKernelVariant::Avx512}) {
        const AlignKernels *k = alignKernelsOf(variant);
        if (!k)
            continue;
        std::vector<float> c1 = a, c2 = a;
        generic->crossPower(c1.data(), b.data(), g.data(), 0.7f, n);
        k->crossPower(c2.data(), b.data(), g.data(), 0.7f, n);
        for (std::size_t i = 0; i < c1.size(); ++i)
            QVERIFY(std::abs(c1[i] - c2[i]) <= 1e-6f * (1.0f + std::abs(c1[i])));
        std::vector<float> r1(32), i1(32), r2(32), i2(32);
        generic->dftRows(a.data(), 2, n / 2, eRe.data(), eIm.data(), r1.data(), i1.data());
        k->dftRows(a.data(), 2, n / 2, eRe.data(), eIm.data(), r2.data(), i2.data());
        for (std::size_t i = 0; i < 32; ++i)
            QVERIFY(std::abs(r1[i] - r2[i]) < 1e-4f && std::abs(i1[i] - i2[i]) < 1e-4f);
        std::vector<float> p1 = a, p2 = a, o1(a.size()), o2(a.size());
        const float w[4] = {0.1f, 0.6f, 0.25f, 0.05f};
        generic->prefilterLines(p1.data(), 38, 7, 7);
        k->prefilterLines(p2.data(), 38, 7, 7);
        generic->shiftLines(p1.data(), o1.data(), 38, 7, 7, -2, w);
        k->shiftLines(p2.data(), o2.data(), 38, 7, 7, -2, w);
        for (std::size_t i = 0; i < 38 * 7; ++i)
            QVERIFY(std::abs(o1[i] - o2[i]) < 1e-5f);
        double s1[6] = {}, s2[6] = {};
        a[5] = std::numeric_limits<float>::quiet_NaN();
        generic->pairSums(a.data(), b.data(), a.size(), s1);
        k->pairSums(a.data(), b.data(), a.size(), s2);
        a[5] = 0.0f;
        for (int i = 0; i < 6; ++i)
            QVERIFY(std::abs(s1[i] - s2[i]) < 1e-9 * (1.0 + std::abs(s1[i])));
        QCOMPARE(s1[0], double(a.size() - 1));
    }
}

QTEST_APPLESS_MAIN(TestRegistration)
#include "tst_registration.moc"
