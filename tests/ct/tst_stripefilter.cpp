// Qt
#include <QRegularExpression>
#include <QTest>

// Local
#include "ct/columnmedian.h"
#include "ct/columnsort.h"
#include "ct/sinogramcache.h"
#include "ct/stripefilter.h"
#include "ct/stripeparams.h"
#include "tools/phantom/phantom.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int W = 161; // sinogram columns, the axis in the middle
constexpr int H = 240; // projections over 180 degrees

// A body off the axis, a disc centred on the axis (its edge is seen alike from
// every angle: a sharp edge parallel to the detector columns) and a small dense point far out (a
// column meets it in a few projections only), with a little noise.
struct Scene
{
    bool disc = true;
    bool point = true;
    double noise = 0.003;
};

std::vector<double> sinogram(const Scene &scene)
{
    Phantom p;
    p.parts.push_back({6, -4, 0, 40, 28, 50, 0.3, 0.005});
    if (scene.disc)
        p.parts.push_back({0, 0, 0, 12, 12, 50, 0.0, 0.02});
    if (scene.point)
        p.parts.push_back({-62, 20, 0, 1.5, 1.5, 50, 0.0, 0.2});
    std::vector<double> att(static_cast<size_t>(W) * H);
    std::mt19937 rng(4);
    std::normal_distribution<double> noise(0.0, scene.noise);
    for (int k = 0; k < H; ++k)
        for (int j = 0; j < W; ++j)
            att[static_cast<size_t>(k) * W + j]
                = p.lineIntegral(j - (W - 1) / 2.0, 0.0, std::numbers::pi * k / H) + noise(rng);
    return att;
}

double at(const std::vector<double> &s, int k, int j)
{
    return s[static_cast<size_t>(k) * W + j];
}

// The mean over the projections of column j's difference between two sinograms.
double columnOffset(const std::vector<double> &a, const std::vector<double> &b, int j)
{
    double sum = 0.0;
    for (int k = 0; k < H; ++k)
        sum += at(a, k, j) - at(b, k, j);
    return sum / H;
}

StripeParams params(const QString &word)
{
    StripeParams p;
    stripeMethodFromWord(word, p.method);
    return p;
}

} // namespace

class TestStripeFilter : public QObject
{
    Q_OBJECT
private slots:
    void medianOfTheNeighbours_data();
    void medianOfTheNeighbours();
    void sortedColumnsAndTheirRows();
    void stripesRemoved_data();
    void stripesRemoved();
    void structureKept_data();
    void structureKept();
    void nonFiniteSamplesInterpolated();
    void offLeavesEveryByte();
    void tinySinogramsSurvive_data();
    void tinySinogramsSurvive();
    void parameters_data();
    void parameters();
    void commandLineOption_data();
    void commandLineOption();
};

void TestStripeFilter::medianOfTheNeighbours_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::newRow("window 3") << 40 << 3 << 0 << -1;
    QTest::newRow("window 21") << 60 << 21 << 0 << -1;
    QTest::newRow("window wider than the sinogram: mirrored again and again") << 5 << 21 << 0 << -1;
    QTest::newRow("one column") << 1 << 5 << 0 << -1;
    QTest::newRow("a run of columns only") << 50 << 11 << 17 << 29;
}

void TestStripeFilter::medianOfTheNeighbours()
{
    QFETCH(int, columns);
    QFETCH(int, window);
    QFETCH(int, first);
    QFETCH(int, last);
    const size_t stride = 32;
    std::vector<float> in(columns * stride), out(columns * stride, -1.0f);
    std::mt19937 rng(2);
    std::uniform_int_distribution<int> value(0, 20); // many equal values
    for (float &v : in)
        v = float(value(rng));
    medianAcrossColumns(in.data(), out.data(), columns, stride, window, first, last);
    const int half = window / 2;
    const int end = last < 0 ? columns : last;
    for (int j = 0; j < columns; ++j) {
        for (size_t k = 0; k < stride; ++k) {
            if (j < first || j >= end) {
                QCOMPARE(out[j * stride + k], -1.0f); // not written
                continue;
            }
            std::vector<float> v;
            for (int d = -half; d <= half; ++d)
                if (d != 0)
                    v.push_back(in[reflectedColumn(j + d, columns) * stride + k]);
            std::sort(v.begin(), v.end());
            const float own = in[j * stride + k];
            const bool between = own >= v[half - 1] && own <= v[half];
            QCOMPARE(out[j * stride + k], between ? own : (v[half - 1] + v[half]) / 2.0f);
        }
    }
}

void TestStripeFilter::sortedColumnsAndTheirRows()
{
    const int columns = 3, rows = 300;
    const size_t stride = 304;
    std::vector<float> in(columns * stride), sorted(in.size());
    std::vector<uint32_t> order(in.size());
    std::mt19937 rng(8);
    std::normal_distribution<float> value(0.0f, 2.0f);
    for (float &v : in)
        v = value(rng);
    in[5] = in[6] = in[7] = 0.25f; // equal values keep their row order
    in[stride + 9] = -0.0f;
    in[stride + 10] = 0.0f;
    sortColumns(in.data(), sorted.data(), order.data(), columns, stride, rows);
    for (int j = 0; j < columns; ++j) {
        const float *s = sorted.data() + j * stride;
        const uint32_t *o = order.data() + j * stride;
        std::vector<uint32_t> rowsSeen(o, o + rows);
        std::sort(rowsSeen.begin(), rowsSeen.end());
        for (int r = 0; r < rows; ++r)
            QCOMPARE(rowsSeen[r], uint32_t(r)); // a permutation of the rows
        for (int k = 0; k < rows; ++k) {
            QCOMPARE(s[k], in[j * stride + o[k]]);
            if (k > 0)
                QVERIFY(s[k - 1] <= s[k] + std::abs(s[k]) / 32768.0f);
        }
    }
    const uint32_t *o = order.data();
    const auto where = [&](uint32_t row) { return std::find(o, o + rows, row) - o; };
    QVERIFY(where(5) < where(6) && where(6) < where(7));
}

void TestStripeFilter::stripesRemoved_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("reduction"); // of the stripe's mean offset at least
    // A column off by 0.02 in the sample (a gain off by 2 %), in the air, a group of six, a column
    // reading a constant.
    for (const char *method : {"all", "large"}) {
        QTest::addRow("%s: single stripe through the sample", method) << method << "single" << 10.0;
        QTest::addRow("%s: stripe in the air", method) << method << "air" << 10.0;
        QTest::addRow("%s: group of six columns in the air", method) << method << "group" << 5.0;
    }
    QTest::newRow("sort: single stripe through the sample") << "sort"
                                                            << "single" << 5.0;
    QTest::newRow("dead: dead column") << "dead"
                                       << "dead" << 10.0;
    QTest::newRow("all: dead column") << "all"
                                      << "dead" << 10.0;
}

void TestStripeFilter::stripesRemoved()
{
    QFETCH(QString, method);
    QFETCH(QString, kind);
    QFETCH(double, reduction);
    const std::vector<double> clean = sinogram({});
    std::vector<double> striped = clean;
    std::vector<int> columns {kind == QLatin1String("air") ? 150 : 48};
    if (kind == QLatin1String("group"))
        columns = {8, 9, 10, 11, 12, 13};
    for (int k = 0; k < H; ++k) {
        for (int j : columns) {
            double &v = striped[static_cast<size_t>(k) * W + j];
            if (kind == QLatin1String("dead"))
                v = 0.4;
            else
                v += 0.02;
        }
    }
    std::vector<double> cleaned = striped;
    removeStripes(cleaned, W, H, params(method));
    for (int j : columns) {
        const double before = std::abs(columnOffset(striped, clean, j));
        const double after = std::abs(columnOffset(cleaned, clean, j));
        QVERIFY2(after * reduction <= before,
            qPrintable(QStringLiteral("column %1: %2 before, %3 after").arg(j).arg(before).arg(after)));
    }
    // The neighbours are not dragged along.
    for (int j : {columns.front() - 4, columns.back() + 4})
        QVERIFY2(std::abs(columnOffset(cleaned, clean, j)) < 0.002,
            qPrintable(QStringLiteral("%1: %2").arg(j).arg(columnOffset(cleaned, clean, j))));
}

void TestStripeFilter::structureKept_data()
{
    QTest::addColumn<QString>("method");
    for (const char *method : {"all", "sort", "large", "dead"})
        QTest::newRow(method) << method;
}

void TestStripeFilter::structureKept()
{
    // Without stripes nothing stands out of the noise: the sample's edges and the point, which each
    // column meets in a few projections, stay as they are. Near the axis the body looks nearly the same
    // from every angle, as a ring would: the columns within half the large window of it may be levelled.
    QFETCH(QString, method);
    const std::vector<double> clean = sinogram({false, true});
    std::vector<double> cleaned = clean;
    removeStripes(cleaned, W, H, params(method));
    const int axis = (W - 1) / 2, reach = StripeParams().largeSize / 2;
    for (int j = 0; j < W; ++j) {
        if (std::abs(j - axis) <= reach)
            continue;
        for (int k = 0; k < H; ++k)
            QVERIFY2(at(cleaned, k, j) == at(clean, k, j), qPrintable(QStringLiteral("column %1").arg(j)));
    }

    // With stripes elsewhere, the disc's edge (the same in every projection, as a stripe is) and the
    // point are still there. The disc's round top, centred on the axis, is a ring of the sample that no
    // method can tell from an artefact: it is not checked.
    const std::vector<double> withDisc = sinogram({});
    std::vector<double> striped = withDisc;
    for (int k = 0; k < H; ++k)
        for (int j : {30, 110, 140})
            striped[static_cast<size_t>(k) * W + j] += 0.015;
    removeStripes(striped, W, H, params(method));
    const int c = (W - 1) / 2;
    for (int j : {c - 13, c - 12, c - 11, c + 11, c + 12, c + 13})
        QVERIFY2(std::abs(columnOffset(striped, withDisc, j)) < 0.002, qPrintable(QString::number(j)));
    // The point, far out on the left, where no stripe was put: columns 14 … 27.
    const std::vector<double> withoutPoint = sinogram({true, false});
    double pointBefore = 0.0, change = 0.0;
    for (int k = 0; k < H; ++k)
        for (int j = 14; j < 28; ++j) {
            pointBefore += std::abs(at(withDisc, k, j) - at(withoutPoint, k, j));
            change += std::abs(at(striped, k, j) - at(withDisc, k, j));
        }
    QVERIFY2(change < 0.02 * pointBefore, qPrintable(QStringLiteral("%1 %2").arg(pointBefore).arg(change)));
}

void TestStripeFilter::nonFiniteSamplesInterpolated()
{
    std::vector<double> s = sinogram({});
    const std::vector<double> clean = s;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (int k = 0; k < H; ++k)
        s[static_cast<size_t>(k) * W + 50] = nan; // a column of NaN (a bad pixel of a float image)
    s[7] = inf;
    s[static_cast<size_t>(9) * W + W - 1] = -inf; // at the edge
    for (int j = 0; j < W; ++j)
        s[static_cast<size_t>(11) * W + j] = nan; // a whole row
    for (const char *method : {"all", "sort", "large", "dead"}) {
        std::vector<double> t = s;
        removeStripes(t, W, H, params(QString::fromLatin1(method)));
        QVERIFY2(std::all_of(t.begin(), t.end(), [](double v) { return std::isfinite(v); }), method);
        QVERIFY(std::abs(columnOffset(t, clean, 50)) < 0.005); // between its neighbours
    }
}

void TestStripeFilter::offLeavesEveryByte()
{
    std::vector<double> s = sinogram({});
    s[3] = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> t = s;
    removeStripes(t, W, H, StripeParams());
    QCOMPARE(std::memcmp(t.data(), s.data(), s.size() * sizeof(double)), 0);
}

void TestStripeFilter::tinySinogramsSurvive_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("one sample") << 1 << 1;
    QTest::newRow("one column") << 1 << 50;
    QTest::newRow("one projection") << 40 << 1;
    QTest::newRow("three projections") << 40 << 3;
    QTest::newRow("seven columns") << 7 << 40;
}

void TestStripeFilter::tinySinogramsSurvive()
{
    QFETCH(int, width);
    QFETCH(int, height);
    std::vector<double> s(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = std::sin(0.3 * i) + (i % width == 2 ? 0.1 : 0.0);
    for (const char *method : {"all", "sort", "large", "dead"}) {
        std::vector<double> t = s;
        removeStripes(t, width, height, params(QString::fromLatin1(method)));
        QVERIFY(std::all_of(t.begin(), t.end(), [](double v) { return std::isfinite(v); }));
    }
    // A span shorter than the size given is refused, not read beyond.
    std::vector<double> t = s;
    t.pop_back();
    removeStripes(t, width, height, params(QStringLiteral("all")));
    QVERIFY(std::equal(t.begin(), t.end(), s.begin()));
}

void TestStripeFilter::parameters_data()
{
    QTest::addColumn<QString>("items");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("problem"); // a part of the message
    QTest::addColumn<double>("snr");
    QTest::addColumn<int>("large");
    QTest::addColumn<int>("small");
    QTest::newRow("all three") << "snr=2.5 large=51 small=11" << true << "" << 2.5 << 51 << 11;
    QTest::newRow("bounds") << "snr=1 large=3 small=501" << true << "" << 1.0 << 3 << 501;
    QTest::newRow("upper case, commas") << "SNR=4,Small=31," << true << "" << 4.0 << 31 << 31;
    QTest::newRow("even window") << "large=60" << false << "large 60 is not an odd whole number from 3 to 501"
                                 << 3.0 << 31 << 21;
    QTest::newRow("window too large") << "small=503" << false << "from 3 to 501" << 3.0 << 31 << 21;
    QTest::newRow("window not whole") << "small=21.5" << false << "small 21.5" << 3.0 << 31 << 21;
    QTest::newRow("snr too low") << "snr=0.5" << false << "snr 0.5 is outside 1 … 100" << 3.0 << 31 << 21;
    QTest::newRow("snr not a number") << "snr=nan" << false << "snr" << 3.0 << 31 << 21;
    QTest::newRow("snr without a value") << "snr" << false << "snr takes a number" << 3.0 << 31 << 21;
    QTest::newRow("unknown name") << "size=3" << false << "size is not a parameter" << 3.0 << 31 << 21;
    // All or nothing: the good item before the bad one is not taken either.
    QTest::newRow("one bad of two") << "snr=2 large=4" << false << "large 4" << 3.0 << 31 << 21;
}

void TestStripeFilter::parameters()
{
    QFETCH(QString, items);
    QFETCH(bool, ok);
    QFETCH(QString, problem);
    QFETCH(double, snr);
    QFETCH(int, large);
    QFETCH(int, small);
    StripeParams p;
    QString why;
    QCOMPARE(applyStripeParams(items.split(QRegularExpression(QStringLiteral("[ ,]"))), p, why), ok);
    QVERIFY2(why.contains(problem), qPrintable(why));
    QCOMPARE(p.snr, snr);
    QCOMPARE(p.largeSize, large);
    QCOMPARE(p.smallSize, small);
    if (ok) { // written back as read
        StripeParams q;
        QVERIFY(applyStripeParams(stripeParamItems(p), q, why));
        QCOMPARE(q, p);
    }
}

void TestStripeFilter::commandLineOption_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("method");
    QTest::addColumn<int>("small");
    QTest::newRow("all") << "all" << true << int(StripeMethod::All) << 21;
    QTest::newRow("off") << "OFF" << true << int(StripeMethod::Off) << 21;
    QTest::newRow("sort with a window") << "sort:small=11" << true << int(StripeMethod::Sorting) << 11;
    QTest::newRow("unknown method") << "rings" << false << int(StripeMethod::Off) << 21;
    QTest::newRow("bad parameter") << "dead:snr=200" << false << int(StripeMethod::Off) << 21;
}

void TestStripeFilter::commandLineOption()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, method);
    QFETCH(int, small);
    StripeParams p;
    QString why;
    QCOMPARE(parseStripeOption(text, p, why), ok);
    QCOMPARE(int(p.method), method);
    QCOMPARE(p.smallSize, small);
    QCOMPARE(why.isEmpty(), ok);
}

QTEST_APPLESS_MAIN(TestStripeFilter)
#include "tst_stripefilter.moc"
