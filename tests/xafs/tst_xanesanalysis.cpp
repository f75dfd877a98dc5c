// Qt
#include <QTest>

// Local
#include "tests/xafs/xanesseries.h"
#include "xafs/voxelspectrum.h"
#include "xafs/xanesanalysis.h"
#include <algorithm>
#include <functional>

using namespace xanestest;
using Knots = std::vector<std::pair<double, double>>;
Q_DECLARE_METATYPE(EdgeRange)

/// The per-voxel XANES analysis on synthetic series of analytic edges with known fractions, edge
/// energies and jumps, with and without noise: the plan's linear operators, E0 and the white line on
/// shapes whose answers are exact, the non-negative fit, the mask's default threshold, the loops of
/// every instruction set, the streaming in blocks and threads, and one voxel's spectrum.
class TestXanesAnalysis : public QObject
{
    Q_OBJECT
private slots:
    void accuracy_data();
    void accuracy();
    void edgeAndWhiteLine_data();
    void edgeAndWhiteLine();
    void nonNegativeFit_data();
    void nonNegativeFit();
    void defaultThreshold();
    void variantsAgree();
    void blocksAndThreadsAgree();
    void spectrumOfVoxel();
    void refusals_data();
    void refusals();
};

namespace {

using Maps = std::vector<std::vector<float>>;

// Every map of the whole volume, gathered from the slabs handed on.
bool analyse(const std::shared_ptr<const XanesPlan> &plan, SlabSource &source, Maps &maps, int threads = 2,
    std::size_t blockBytes = XanesAnalysis::defaultBlockBytes, XanesAnalysis **keep = nullptr)
{
    static std::unique_ptr<XanesAnalysis> last;
    last = std::make_unique<XanesAnalysis>(plan, source, threads, blockBytes);
    if (keep)
        *keep = last.get();
    const std::size_t voxels = source.shape().voxels(), plane = source.shape().plane();
    maps.assign(plan->maps().size(), std::vector<float>(voxels, -1.0f));
    int nextZ = 0;
    return last->run([&](const XanesMapSlab &slab, QString &) {
        if (slab.z0 != nextZ)
            return false; // out of order
        nextZ += slab.nz;
        for (std::size_t m = 0; m < maps.size(); ++m)
            std::copy(slab.map(int(m)), slab.map(int(m)) + slab.voxels(), maps[m].begin() + slab.z0 * plane);
        return true;
    });
}

std::shared_ptr<const XanesPlan> planOf(
    const XanesSettings &s, const std::vector<Standard> &standards, const std::vector<double> &e = energies())
{
    QString error;
    auto plan = XanesPlan::make(e, s, standards, error);
    if (!plan)
        qWarning() << error;
    return plan;
}

std::vector<Standard> twoStandards()
{
    return {standardOf(QStringLiteral("a"), speciesA), standardOf(QStringLiteral("b"), speciesB)};
}

// Where the mixture fa·A + (1 − fa)·B first reaches 0.5, by bisection on the analytic shapes.
double halfHeight(double fa)
{
    double lo = 7100.0, hi = 7125.0;
    for (int i = 0; i < 60; ++i) {
        const double m = 0.5 * (lo + hi);
        (fa * speciesA(m) + (1 - fa) * speciesB(m) < 0.5 ? lo : hi) = m;
    }
    return lo;
}

double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

void TestXanesAnalysis::accuracy_data()
{
    QTest::addColumn<double>("noise");
    QTest::addColumn<bool>("sumToOne");
    QTest::newRow("no noise") << 0.0 << false;
    QTest::newRow("no noise, fractions summing to 1") << 0.0 << true;
    QTest::newRow("2 % noise") << 0.02 << false;
    QTest::newRow("2 % noise, fractions summing to 1") << 0.02 << true;
}

void TestXanesAnalysis::accuracy()
{
    QFETCH(double, noise);
    QFETCH(bool, sumToOne);
    XanesSettings s;
    s.edge = edge;
    s.sumToOne = sumToOne;
    if (noise == 0.0)
        s.minJump = 0.01; // the default needs noise to measure
    auto source = twoRegions(noise);
    Maps maps, clean;
    QVERIFY(analyse(planOf(s, twoStandards()), *source, maps));
    auto truth = twoRegions(0.0);
    s.minJump = 0.01;
    QVERIFY(analyse(planOf(s, twoStandards()), *truth, clean));
    const VolumeShape sh = source->shape();
    for (const bool left : {true, false}) {
        const double fa = left ? 0.7 : 0.2;
        double worstA = 0, sqA = 0, sqB = 0, sqE0 = 0, worstJump = 0;
        double best = -1, at = 0; // the mixture's continuous maximum within the window
        for (double e = 7092; e <= 7132; e += 0.001)
            if (const double n = fa * speciesA(e) + (1 - fa) * speciesB(e); n > best) {
                best = n;
                at = e;
            }
        std::vector<double> e0;
        int count = 0, masked = 0;
        for (int z = 0; z < sh.nz; ++z)
            for (int y = 0; y < 20; ++y)
                for (int x = left ? 0 : 16; x < (left ? 16 : 32); ++x) {
                    const std::size_t v = (std::size_t(z) * sh.ny + y) * sh.nx + x;
                    masked += maps[7][v] == 0.0f;
                    const double a = maps[FirstFractionMap][v] - fa,
                                 b = maps[FirstFractionMap + 1][v] - (1 - fa);
                    worstA = std::max({worstA, std::abs(a), std::abs(b)});
                    sqA += a * a;
                    sqB += b * b;
                    e0.push_back(maps[EdgeEnergyMap][v]);
                    sqE0 += std::pow(maps[EdgeEnergyMap][v] - clean[EdgeEnergyMap][v], 2);
                    const double jump = 0.05 + 0.05 * y / 19.0;
                    worstJump = std::max(worstJump, std::abs(maps[EdgeJumpMap][v] - jump) / jump);
                    ++count;
                    if (noise == 0.0) {
                        QVERIFY2(std::abs(maps[WhiteLineEnergyMap][v] - at) < 0.3,
                            qPrintable(QString::number(at)));
                        QVERIFY(std::abs(maps[WhiteLineHeightMap][v] - best) < 0.01);
                        QVERIFY(maps[6][v] < 1e-6f); // the R-factor of an exact fit
                    }
                }
        QCOMPARE(masked, 0);
        if (noise == 0.0) {
            QVERIFY2(worstA < 1e-3, qPrintable(QString::number(worstA)));
            QVERIFY2(worstJump < 1e-3, qPrintable(QString::number(worstJump)));
            QVERIFY2(std::abs(median(e0) - halfHeight(fa)) < 0.1, qPrintable(QString::number(median(e0))));
        } else {
            QVERIFY2(std::sqrt(sqA / count) < 0.05, qPrintable(QString::number(std::sqrt(sqA / count))));
            QVERIFY2(std::sqrt(sqB / count) < 0.05, qPrintable(QString::number(std::sqrt(sqB / count))));
            const double cleanE0 = clean[EdgeEnergyMap][std::size_t(left ? 5 : 20)];
            QVERIFY2(std::abs(median(e0) - cleanE0) < 0.3, qPrintable(QString::number(median(e0) - cleanE0)));
            QVERIFY2(std::sqrt(sqE0 / count) < 0.5, qPrintable(QString::number(std::sqrt(sqE0 / count))));
        }
        if (sumToOne)
            for (int x = 0; x < 32; ++x)
                QCOMPARE_LT(std::abs(maps[FirstFractionMap][std::size_t(x)]
                                + maps[FirstFractionMap + 1][std::size_t(x)] - 1.0f),
                    1e-5f);
    }
    // The rows without the element are masked: NaN in every map, 0 in the mask.
    int empty = 0, emptyMasked = 0;
    for (int z = 0; z < sh.nz; ++z)
        for (int y = 20; y < 24; ++y)
            for (int x = 0; x < 32; ++x, ++empty) {
                const std::size_t v = (std::size_t(z) * sh.ny + y) * sh.nx + x;
                if (maps[7][v] == 0.0f) {
                    ++emptyMasked;
                    for (int m = 0; m < 7; ++m)
                        QVERIFY(std::isnan(maps[std::size_t(m)][v]));
                }
            }
    QVERIFY2(
        emptyMasked >= empty * 95 / 100, qPrintable(QStringLiteral("%1 of %2").arg(emptyMasked).arg(empty)));
}

void TestXanesAnalysis::edgeAndWhiteLine_data()
{
    // Normalised spectra made of straight pieces (energy, value), the pre-edge line far below: E0 and
    // the white line are then known exactly.
    QTest::addColumn<Knots>("knots");
    QTest::addColumn<double>("window");
    QTest::addColumn<double>("e0");
    const Knots rise {{7000, 0}, {7106.6, 0}, {7116.6, 1}, {7300, 1}};
    QTest::newRow("crossing between two energies") << rise << 20.0 << 7111.6;
    QTest::newRow("the first rise counts") << Knots {{7000, 0}, {7100, 0}, {7110, 0.6}, {7113, 0.2},
        {7120, 1}, {7300, 1}} << 20.0 << 7100 + 10 * 0.5 / 0.6;
    const Knots late {{7000, 0}, {7126, 0}, {7136, 1}, {7300, 1}};
    QTest::newRow("a crossing within the window") << late << 20.0 << 7131.0;
    QTest::newRow("a crossing beyond the window") << late << 15.0 << std::nan("");
    QTest::newRow("never half in the window") << Knots {{7000, 0}, {7070, 0}, {7090, 0.3}, {7134, 0.3},
        {7135, 1}, {7300, 1}} << 20.0 << std::nan("");
    QTest::newRow("already above half before the window")
        << Knots {{7000, 0}, {7070, 0}, {7080, 1}, {7300, 1}} << 20.0 << std::nan("");
}

void TestXanesAnalysis::edgeAndWhiteLine()
{
    QFETCH(Knots, knots);
    QFETCH(double, window);
    QFETCH(double, e0);
    // The white line: a parabola 1.4 − 0.02·(E − 7121.3)² over 7117 … 7126, uneven samples about its top.
    std::vector<double> e = energies();
    e.erase(std::remove_if(e.begin(), e.end(), [](double v) { return v > 7119.5 && v < 7123.5; }), e.end());
    for (double v : {7120.2, 7121.7, 7122.6})
        e.insert(std::upper_bound(e.begin(), e.end(), v), v);
    const auto normalised = [&](double v) {
        const bool top = e0 == 7111.6 && v >= 7117.0 && v <= 7126.0;
        if (top)
            return 1.4 - 0.02 * (v - 7121.3) * (v - 7121.3);
        for (std::size_t k = 1; k < knots.size(); ++k)
            if (v <= knots[k].first)
                return knots[k - 1].second
                    + (v - knots[k - 1].first) / (knots[k].first - knots[k - 1].first)
                    * (knots[k].second - knots[k - 1].second);
        return knots.back().second;
    };
    MemorySource source(e, {1, 1, 1});
    for (std::size_t i = 0; i < e.size(); ++i)
        source.at(int(i), 0, 0, 0) = float(0.2 + 0.0005 * (e[i] - edge) + 0.08 * normalised(e[i]));
    XanesSettings s;
    s.edge = edge;
    s.pre = {-72.0, -50.0};
    s.edgeWindow = window;
    s.minJump = 0.0;
    Maps maps;
    QVERIFY(analyse(planOf(s, {}, e), source, maps));
    QVERIFY(std::abs(maps[EdgeJumpMap][0] - 0.08) < 1e-6);
    if (std::isnan(e0))
        QVERIFY2(std::isnan(maps[EdgeEnergyMap][0]), qPrintable(QString::number(maps[EdgeEnergyMap][0])));
    else
        QVERIFY2(std::abs(maps[EdgeEnergyMap][0] - e0) < 2e-3,
            qPrintable(QString::number(maps[EdgeEnergyMap][0], 'f', 4)));
    if (e0 == 7111.6) { // the parabola's vertex, not the sample nearest to it
        QVERIFY2(std::abs(maps[WhiteLineEnergyMap][0] - 7121.3) < 2e-3,
            qPrintable(QString::number(maps[WhiteLineEnergyMap][0], 'f', 4)));
        QVERIFY(std::abs(maps[WhiteLineHeightMap][0] - 1.4) < 1e-4);
    }
}

void TestXanesAnalysis::nonNegativeFit_data()
{
    QTest::addColumn<std::vector<double>>("mixture"); // of A, B and C
    QTest::addColumn<bool>("sumToOne");
    QTest::addColumn<int>("standards");
    QTest::newRow("both present") << std::vector<double> {0.6, 0.4, 0} << false << 2;
    QTest::newRow("both present, summing to 1") << std::vector<double> {0.6, 0.4, 0} << true << 2;
    QTest::newRow("B held at 0") << std::vector<double> {1.1, -0.25, 0} << false << 2;
    QTest::newRow("B held at 0, summing to 1") << std::vector<double> {1.1, -0.25, 0} << true << 2;
    QTest::newRow("A held at 0") << std::vector<double> {-0.2, 1.0, 0} << false << 2;
    QTest::newRow("a third standard not there") << std::vector<double> {0.5, 0.5, 0} << false << 3;
    QTest::newRow("three, one held at 0, summing to 1") << std::vector<double> {0.3, 0.9, -0.2} << true << 3;
}

void TestXanesAnalysis::nonNegativeFit()
{
    QFETCH(std::vector<double>, mixture);
    QFETCH(bool, sumToOne);
    QFETCH(int, standards);
    const auto speciesC = [](double e) { return step(e, 7107.0, 1.0); };
    std::vector<Standard> st = twoStandards();
    if (standards == 3)
        st.push_back(standardOf(QStringLiteral("c"), +speciesC));
    const std::vector<double> e = energies();
    MemorySource source(e, {1, 1, 1});
    const double post = mixture[0] + mixture[1] + mixture[2]; // the mixture's jump, normalised away
    for (std::size_t i = 0; i < e.size(); ++i)
        source.at(int(i), 0, 0, 0) = float(0.3
            + 0.06
                * (mixture[0] * speciesA(e[i]) + mixture[1] * speciesB(e[i]) + mixture[2] * speciesC(e[i])));
    XanesSettings s;
    s.edge = edge;
    s.sumToOne = sumToOne;
    s.minJump = 0.0;
    const auto plan = planOf(s, st);
    Maps maps;
    QVERIFY(analyse(plan, source, maps));
    // The truth by brute force: the best of a fine grid of non-negative fractions (summing to 1 when
    // asked), refined along each axis.
    const XanesKernelPlan &kp = plan->kernel();
    std::vector<double> y, a[3];
    for (int i = kp.fitBegin; i < kp.fitEnd; ++i) {
        y.push_back((mixture[0] * speciesA(e[std::size_t(i)]) + mixture[1] * speciesB(e[std::size_t(i)])
                        + mixture[2] * speciesC(e[std::size_t(i)]))
            / post);
        for (int k = 0; k < standards; ++k)
            a[k].push_back(plan->standardAt(k, i));
    }
    const auto residual = [&](const double *x) {
        double r = 0;
        for (std::size_t i = 0; i < y.size(); ++i) {
            double f = 0;
            for (int k = 0; k < standards; ++k)
                f += x[k] * a[k][i];
            r += (y[i] - f) * (y[i] - f);
        }
        return r;
    };
    double best[3] = {0, 0, 0}, bestR = 1e300;
    const std::function<void(int, double *, double)> search = [&](int k, double *x, double left) {
        if (k == standards) {
            if (sumToOne && std::abs(left) > 1e-9)
                return;
            if (const double r = residual(x); r < bestR) {
                bestR = r;
                std::copy(x, x + 3, best);
            }
            return;
        }
        for (int g = 0; g <= 150; ++g) {
            x[k] = g * 0.01;
            if (sumToOne && k == standards - 1)
                x[k] = left;
            if (x[k] < 0)
                return;
            search(k + 1, x, left - x[k]);
            if (sumToOne && k == standards - 1)
                return;
        }
    };
    double x[3] = {0, 0, 0};
    search(0, x, 1.0);
    double sumY = 0;
    for (double v : y)
        sumY += v * v;
    // The conditions of the constrained minimum (a convex problem: they certify it): the gradient
    // Aᵀ(Ax − y) plus the multiplier of the sum is 0 where a fraction is positive and not negative
    // where it is held at 0.
    double found[3] = {0, 0, 0}, gradient[3] = {0, 0, 0}, lambda = 0;
    int positive = 0;
    for (int k = 0; k < standards; ++k) {
        found[k] = maps[std::size_t(FirstFractionMap + k)][0];
        QVERIFY2(found[k] >= 0.0, qPrintable(QString::number(found[k])));
    }
    for (std::size_t i = 0; i < y.size(); ++i) {
        double f = -y[i];
        for (int k = 0; k < standards; ++k)
            f += found[k] * a[k][i];
        for (int k = 0; k < standards; ++k)
            gradient[k] += a[k][i] * f;
    }
    for (int k = 0; k < standards; ++k)
        if (found[k] > 1e-6) {
            lambda -= gradient[k];
            ++positive;
        }
    lambda = sumToOne && positive ? lambda / positive : 0.0;
    for (int k = 0; k < standards; ++k) {
        const double g = gradient[k] + lambda;
        QVERIFY2(found[k] > 1e-6 ? std::abs(g) < 1e-4 : g > -1e-4,
            qPrintable(QStringLiteral("standard %1: fraction %2, gradient %3").arg(k).arg(found[k]).arg(g)));
    }
    if (sumToOne)
        QVERIFY(std::abs(found[0] + found[1] + found[2] - 1.0) < 1e-5);
    QVERIFY(residual(found) <= bestR + 1e-9); // no worse than the grid's best
    QVERIFY(std::abs(maps[std::size_t(FirstFractionMap + standards)][0] - residual(found) / sumY) < 1e-5);
}

void TestXanesAnalysis::defaultThreshold()
{
    // 5 × the median of the voxels' pre-edge noise, recomputed here in doubles.
    auto source = twoRegions(0.02, 9);
    XanesSettings s;
    s.edge = edge;
    s.pixelSizeUm = 2.0;
    const auto plan = planOf(s, {});
    const XanesKernelPlan &kp = plan->kernel();
    std::vector<double> noise;
    const VolumeShape sh = source->shape();
    for (int z = 0; z < sh.nz; ++z)
        for (int y = 0; y < sh.ny; ++y)
            for (int x = 0; x < sh.nx; ++x) {
                double sx = 0, sy = 0, sxx = 0, sxy = 0;
                const int n = kp.preEnd - kp.preBegin;
                for (int i = kp.preBegin; i < kp.preEnd; ++i) {
                    const double t = kp.t[i], m = source->at(i, z, y, x);
                    sx += t;
                    sy += m;
                    sxx += t * t;
                    sxy += t * m;
                }
                const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx), at = (sy - slope * sx) / n;
                double r = 0;
                for (int i = kp.preBegin; i < kp.preEnd; ++i)
                    r += std::pow(source->at(i, z, y, x) - at - slope * kp.t[i], 2);
                noise.push_back(std::sqrt(r / (n - 2)));
            }
    XanesAnalysis *analysis = nullptr;
    Maps maps, plain;
    QVERIFY(analyse(plan, *source, maps, 2, XanesAnalysis::defaultBlockBytes, &analysis));
    const double scale = 1.0 / (2.0 * 2.0e-4); // twice μ per pixel of 2 µm → μ in 1/cm
    QVERIFY2(std::abs(analysis->noiseMedian() / median(noise) - 1.0) < 1e-3,
        qPrintable(QString::number(analysis->noiseMedian())));
    QVERIFY(std::abs(analysis->minJump() / (5.0 * median(noise) * scale) - 1.0) < 1e-3);
    s.pixelSizeUm.reset();
    QVERIFY(analyse(planOf(s, {}), *source, plain));
    for (std::size_t v = 0; v < plain[0].size(); v += 7)
        if (std::isfinite(plain[EdgeJumpMap][v]))
            QVERIFY(std::abs(maps[EdgeJumpMap][v] / (plain[EdgeJumpMap][v] * scale) - 1.0) < 1e-6);

    // The histogram's median against the exact one, with zeros and NaN left out.
    std::mt19937 rng(3);
    std::lognormal_distribution<float> g(-3.0f, 1.0f);
    std::vector<float> values(10001);
    for (float &v : values)
        v = g(rng);
    std::vector<double> exact(values.begin(), values.end());
    values.insert(values.end(), {0.0f, 0.0f, std::nanf(""), -1.0f});
    MedianHistogram h;
    h.add(values);
    QCOMPARE(h.count(), std::uint64_t(10001));
    QVERIFY(std::abs(h.median() / median(exact) - 1.0) < 3e-4);
}

void TestXanesAnalysis::variantsAgree()
{
    // The same operations in the same order on every voxel: the maps agree to the bit.
    auto source = twoRegions(0.02, 4);
    XanesSettings s;
    s.edge = edge;
    s.minJump = 0.005;
    const auto plan = planOf(s, twoStandards());
    const std::size_t n = source->shape().voxels(), maps = plan->maps().size();
    std::vector<float> reference;
    for (const AlignKernelVariant v :
        {AlignKernelVariant::Generic, AlignKernelVariant::Avx2, AlignKernelVariant::Avx512}) {
        const XanesKernels *k = xanesKernelsOf(v);
        if (!k)
            continue; // not on this processor
        std::vector<float> out(maps * n);
        XanesKernelMaps o {out.data(), out.data() + n, out.data() + 2 * n, out.data() + 3 * n,
            out.data() + 4 * n, n, out.data() + 6 * n, out.data() + 7 * n};
        k->analyse(plan->kernel(), source->values.data(), n, n - 5, 0.005f, o); // a last group of 11
        if (reference.empty())
            reference = out;
        else
            QVERIFY(std::memcmp(out.data(), reference.data(), out.size() * sizeof(float)) == 0);
    }
}

void TestXanesAnalysis::blocksAndThreadsAgree()
{
    // Blocks of two rows of a slice, and of two slices by 8 rows (chunks of 2 × 4), on two threads:
    // the same maps as one block on one thread.
    auto source = twoRegions(0.02, 6);
    XanesSettings s;
    s.edge = edge;
    const auto plan = planOf(s, twoStandards());
    Maps whole, rows, chunks;
    QVERIFY(analyse(plan, *source, whole, 1));
    QCOMPARE(source->reads, 2); // the noise, then the maps
    const int n = int(energies().size());
    const std::size_t row = std::size_t(source->shape().nx) * std::size_t(n) * sizeof(float);
    QVERIFY(analyse(plan, *source, rows, 2, 2 * row));
    QVERIFY(source->reads > 2 + 4 * 12);
    source->chunk = {2, 4, 1};
    QVERIFY(analyse(plan, *source, chunks, 2, 16 * row));
    for (std::size_t m = 0; m < whole.size(); ++m) {
        QVERIFY(std::memcmp(whole[m].data(), rows[m].data(), whole[m].size() * sizeof(float)) == 0);
        QVERIFY(std::memcmp(whole[m].data(), chunks[m].data(), whole[m].size() * sizeof(float)) == 0);
    }
    const VolumeShape shape {4, 24, 32};
    QCOMPARE(XanesAnalysis::blocks(shape, {1, 1, 32}, n, 2 * row).size(), std::size_t(4 * 12));
    QCOMPARE(XanesAnalysis::blocks(shape, {1, 1, 32}, n, 1 << 30).size(), std::size_t(1));
    const std::vector<VolumeBox> boxes = XanesAnalysis::blocks(shape, {2, 4, 32}, n, 16 * row);
    QCOMPARE(boxes.size(), std::size_t(2 * 3));
    QCOMPARE(boxes[1].shape(), (VolumeShape {2, 8, 32}));
    QCOMPARE(
        XanesAnalysis::blocks(shape, {2, 4, 32}, n, 48 * row).size(), std::size_t(2)); // two slices whole
    // 50 energies of 512², chunks of 8 slices by 64 rows: whole chunks, 8 slices by 128 rows; of
    // 2048², the maps of 8 slices would pass twice the block: single slices.
    const std::size_t block = XanesAnalysis::defaultBlockBytes;
    QCOMPARE(XanesAnalysis::blocks({64, 512, 512}, {8, 64, 512}, 50, block, 9).front().shape(),
        (VolumeShape {8, 128, 512}));
    QCOMPARE(XanesAnalysis::blocks({64, 2048, 2048}, {8, 64, 2048}, 50, block, 12).front().size(0), 1);
}

void TestXanesAnalysis::spectrumOfVoxel()
{
    auto source = twoRegions(0.0);
    XanesSettings s;
    s.edge = edge;
    s.minJump = 0.01;
    const auto plan = planOf(s, twoStandards());
    Maps maps;
    QVERIFY(analyse(plan, *source, maps));
    VoxelSpectrum one, ball;
    QString error;
    QVERIFY(voxelSpectrum(*source, *plan, 2, 9, 5, 0, 0.01, one, error));
    QVERIFY(voxelSpectrum(*source, *plan, 2, 9, 5, 2, 0.01, ball, error));
    QCOMPARE(ball.voxels, 13 + 9 + 9 + 1); // the ball of radius 2 cut by the last slice
    const std::size_t v = (2 * 24 + 9) * 32 + 5;
    for (std::size_t m = 0; m < maps.size(); ++m)
        QCOMPARE(one.maps[m], double(maps[m][v]));
    const XanesKernelPlan &kp = plan->kernel();
    for (std::size_t i = 0; i < one.energy.size(); ++i) {
        const double truth = 0.7 * speciesA(one.energy[i]) + 0.3 * speciesB(one.energy[i]);
        QVERIFY(std::abs(one.normalised[i] - truth) < 1e-4);
        QVERIFY(std::abs(ball.normalised[i] - truth) < 1e-4); // the jump is linear along y
        QCOMPARE(std::isnan(one.fit[i]), int(i) < kp.fitBegin || int(i) >= kp.fitEnd);
        if (!std::isnan(one.fit[i]))
            QVERIFY(std::abs(one.fit[i] - truth) < 1e-3);
    }
    QVERIFY(!voxelSpectrum(*source, *plan, 4, 0, 0, 0, 0.01, one, error));
    QVERIFY(error.contains(QLatin1String("outside")));
}

void TestXanesAnalysis::refusals_data()
{
    QTest::addColumn<double>("edgeAt");
    QTest::addColumn<EdgeRange>("pre");
    QTest::addColumn<double>("window");
    QTest::addColumn<EdgeRange>("fit");
    QTest::addColumn<bool>("alike");
    QTest::addColumn<QString>("why");
    const EdgeRange pre {-30, -10}, fit {-20, 40};
    QTest::newRow("edge below the energies") << 7000.0 << pre << 20.0 << fit << false << "outside";
    QTest::newRow("two pre-edge energies, noise wanted")
        << edge << EdgeRange {-62, -45} << 20.0 << fit << false << "pre-edge";
    QTest::newRow("a window of one energy") << edge << pre << 0.4 << fit << false << "window";
    QTest::newRow("a fit of two energies for two standards")
        << edge << pre << 20.0 << EdgeRange {0, 1} << false << "fit range";
    QTest::newRow("a fit beyond a standard")
        << edge << pre << 20.0 << EdgeRange {-20, 130} << false << "covers";
    QTest::newRow("two standards alike") << edge << pre << 20.0 << fit << true << "alike";
}

void TestXanesAnalysis::refusals()
{
    QFETCH(double, edgeAt);
    QFETCH(EdgeRange, pre);
    QFETCH(double, window);
    QFETCH(EdgeRange, fit);
    QFETCH(bool, alike);
    QFETCH(QString, why);
    XanesSettings s;
    s.edge = edgeAt;
    s.pre = pre;
    s.edgeWindow = window;
    s.fit = fit;
    std::vector<Standard> st {standardOf(QStringLiteral("a"), speciesA),
        alike ? standardOf(QStringLiteral("b"), speciesA)
              : standardOf(QStringLiteral("b"), speciesB, 7000, 7200)};
    QString error;
    QVERIFY(!XanesPlan::make(energies(), s, st, error));
    QVERIFY2(error.contains(why), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestXanesAnalysis)
#include "tst_xanesanalysis.moc"
