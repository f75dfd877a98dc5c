// Qt
#include <QTest>

// Local
#include "ct/columnmedian.h"
#include "ct/columnsort.h"
#include "ct/stripefilter.h"
#include "ct/stripeparams.h"
#include "ct/stripeprofile.h"
#include "tools/phantom/phantom.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

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
    bool blob = false; // no body, a Gaussian blob on the axis (σ 20 columns): falls 0.007 a column 40 out
};

std::vector<double> sinogram(const Scene &scene)
{
    Phantom p;
    if (!scene.blob)
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
                = p.lineIntegral(j - (W - 1) / 2.0, 0.0, std::numbers::pi * k / H) + noise(rng)
                + (scene.blob ? 0.5 * std::exp(-0.5 * std::pow((j - (W - 1) / 2) / 20.0, 2)) : 0.0);
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

// The RMS over the projections of column j's difference between two sinograms.
double columnRms(const std::vector<double> &a, const std::vector<double> &b, int j)
{
    double sum = 0.0;
    for (int k = 0; k < H; ++k)
        sum += std::pow(at(a, k, j) - at(b, k, j), 2);
    return std::sqrt(sum / H);
}

StripeParams params(const QString &word)
{
    StripeParams p;
    stripeMethodFromWord(word, p.method);
    return p;
}

} // namespace

/// Stripe (ring) removal: the medians it compares columns with, the stripes it takes out, and what it
/// leaves of a sample without stripes, over the rotation axis too.
class TestStripeFilter : public QObject
{
    Q_OBJECT
private slots:
    void medianOfTheNeighbours_data();
    void medianOfTheNeighbours();
    void sortedColumnsAndTheirRows();
    void curvatureOfTheMeanProfile_data();
    void curvatureOfTheMeanProfile();
    void stripesRemoved_data();
    void stripesRemoved();
    void onTheAxis_data();
    void onTheAxis();
    void everyMethodKeepsTheSampleAndBearsBadInput_data();
    void everyMethodKeepsTheSampleAndBearsBadInput();
    void parameters_data();
    void parameters();
};

void TestStripeFilter::medianOfTheNeighbours_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("curved"); // each neighbour lowered by the parabola of its column
    for (const bool curved : {false, true}) {
        const char *kind = curved ? "curved" : "plain";
        QTest::addRow("%s, window 3", kind) << 40 << 3 << 0 << -1 << curved;
        QTest::addRow("%s, window 9", kind) << 40 << 9 << 0 << -1 << curved;
        QTest::addRow("%s, window 21", kind) << 60 << 21 << 0 << -1 << curved;
        QTest::addRow("%s, window 41", kind) << 60 << 41 << 0 << -1 << curved;
        QTest::addRow("%s, window wider than the sinogram: mirrored again and again", kind)
            << 5 << 21 << 0 << -1 << curved;
        QTest::addRow("%s, one column", kind) << 1 << 5 << 0 << -1 << curved;
        QTest::addRow("%s, a run of columns only", kind) << 50 << 11 << 17 << 29 << curved;
    }
    QTest::newRow("curved, window 99: a row at a time") << 120 << 99 << 0 << -1 << true;
}

void TestStripeFilter::medianOfTheNeighbours()
{
    QFETCH(int, columns);
    QFETCH(int, window);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, curved);
    const size_t stride = 32;
    std::vector<float> in(columns * stride), out(columns * stride, -1.0f);
    std::mt19937 rng(2);
    std::uniform_int_distribution<int> value(0, 20); // many equal values
    for (float &v : in)
        v = float(value(rng));
    std::vector<double> curvature(static_cast<size_t>(columns), 0.0);
    for (int j = 0; curved && j < columns; ++j)
        curvature[j] = 0.25 * std::sin(0.7 * j);
    if (curved)
        medianAcrossColumnsCurved(in.data(), out.data(), columns, stride, window, curvature, first, last);
    else
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
                    v.push_back(in[reflectedColumn(j + d, columns) * stride + k]
                        - static_cast<float>(0.5 * curvature[j] * d * d));
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

void TestStripeFilter::curvatureOfTheMeanProfile_data()
{
    QTest::addColumn<QString>("profile");
    // A parabola 0.3 + 0.01·t − 0.0004·t² (t from the axis): its curvature −0.0008 about the axis.
    QTest::newRow("parabola") << u"parabola"_s;
    // The same with a stripe of 0.05 at 7 columns from the axis and a group of five at −20: a stripe
    // is no curvature.
    QTest::newRow("parabola with stripes") << u"stripes"_s;
    // Flat for t ≥ 4, the parabola below: beside the edge, where a fit across it would bend, none.
    QTest::newRow("an edge at t = 4") << u"edge"_s;
}

void TestStripeFilter::curvatureOfTheMeanProfile()
{
    QFETCH(QString, profile);
    const int w = 121, axis = 60, window = 31;
    std::vector<double> mean(w), noise(w, 0.004);
    for (int j = 0; j < w; ++j) {
        const double t = j - axis;
        mean[j] = 0.3 + 0.01 * t - 0.0004 * t * t;
        if (profile == u"stripes"_s && (t == 7 || (t >= -22 && t <= -18)))
            mean[j] += 0.05;
        if (profile == u"edge"_s && t >= 4)
            mean[j] = 0.3 + 0.04 - 0.0064;
    }
    const std::vector<double> c = profileCurvature(mean, noise, 400, window, 3.0);
    for (int j = 0; j < w; ++j) {
        const int t = j - axis;
        if (std::abs(t) > 2 * (window / 2)) {
            QCOMPARE(c[j], 0.0); // away from the axis the sample's features move: none
            continue;
        }
        if (profile == u"edge"_s) {
            if (t >= 4)
                QVERIFY2(std::abs(c[j]) < 1e-9, qPrintable(u"t %1: %2"_s.arg(t).arg(c[j])));
            continue;
        }
        if (profile == u"stripes"_s && (t == 7 || (t >= -22 && t <= -18)))
            continue;
        QVERIFY2(std::abs(c[j] + 0.0008) < 1e-9, qPrintable(u"t %1: %2"_s.arg(t).arg(c[j])));
    }
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
        // Off by 0.005 where the blob's profile falls by 0.007 a column at every angle: the column lies
        // between its neighbours in nearly every row, and a median that keeps such a value finds none.
        QTest::addRow("%s: stripe on a slope steeper than itself", method) << method << "slope" << 5.0;
    }
    QTest::newRow("sort: single stripe through the sample") << u"sort"_s << u"single"_s << 5.0;
    QTest::newRow("dead: dead column") << u"dead"_s << u"dead"_s << 10.0;
    QTest::newRow("all: dead column") << u"all"_s << u"dead"_s << 10.0;
    QTest::newRow("dead: run of three dead columns") << u"dead"_s << u"dead run"_s << 10.0;
    // A column in the air seven times as noisy as the others (its RMS difference from the clean one).
    QTest::newRow("dead: noisy column") << u"dead"_s << u"noisy"_s << 3.0;
    QTest::newRow("all: noisy column") << u"all"_s << u"noisy"_s << 3.0;
    QTest::newRow("all: noisy column 20 from the axis") << u"all"_s << u"noisy by the axis"_s << 3.0;
}

void TestStripeFilter::stripesRemoved()
{
    QFETCH(QString, method);
    QFETCH(QString, kind);
    QFETCH(double, reduction);
    const std::vector<double> clean = sinogram({.point = false, .blob = kind == QLatin1String("slope")});
    std::vector<double> striped = clean;
    const bool air = kind == QLatin1String("air") || kind == QLatin1String("noisy");
    std::vector<int> columns {air ? 150 : kind == QLatin1String("slope") ? 120 : 48};
    if (kind == QLatin1String("noisy by the axis"))
        columns = {100};
    if (kind == QLatin1String("group"))
        columns = {8, 9, 10, 11, 12, 13};
    else if (kind == QLatin1String("dead run"))
        columns = {47, 48, 49};
    std::mt19937 rng(11);
    std::normal_distribution<double> extra(0.0, 0.02);
    for (int k = 0; k < H; ++k) {
        for (int j : columns) {
            double &v = striped[static_cast<size_t>(k) * W + j];
            if (kind.startsWith(QLatin1String("dead")))
                v = 0.4;
            else if (kind.startsWith(QLatin1String("noisy")))
                v += extra(rng);
            else
                v += kind == QLatin1String("slope") ? 0.005 : 0.02;
        }
    }
    std::vector<double> cleaned = striped;
    removeStripes(cleaned, W, H, params(method));
    const auto off = [&](const std::vector<double> &s, int j) {
        return kind.startsWith(QLatin1String("noisy")) ? columnRms(s, clean, j) : std::abs(columnOffset(s, clean, j));
    };
    for (int j : columns) {
        const double before = off(striped, j);
        const double after = off(cleaned, j);
        QVERIFY2(after * reduction <= before,
            qPrintable(QStringLiteral("column %1: %2 before, %3 after").arg(j).arg(before).arg(after)));
    }
    // A run (widened by the filter) is filled along the cubic through the two nearest live columns on
    // either side, which it left as they were, each column at its own place.
    for (int k = 0; kind == QLatin1String("dead run") && k < H; ++k) {
        const double *row = cleaned.data() + static_cast<size_t>(k) * W;
        const double *input = striped.data() + static_cast<size_t>(k) * W;
        int l = columns.front(), r = columns.back();
        while (l > 0 && row[l] != input[l])
            --l;
        while (r < W - 1 && row[r] != input[r])
            ++r;
        QVERIFY(row[l - 1] == input[l - 1] && row[r + 1] == input[r + 1]);
        const double x[4] = {double(l - 1), double(l), double(r), double(r + 1)};
        for (int j = l + 1; j < r; ++j) {
            double cubic = 0.0;
            for (int a = 0; a < 4; ++a) {
                double weight = 1.0;
                for (int b = 0; b < 4; ++b)
                    if (b != a)
                        weight *= (j - x[b]) / (x[a] - x[b]);
                cubic += weight * row[static_cast<int>(x[a])];
            }
            QVERIFY(std::abs(row[j] - cubic) < 1e-12);
        }
    }
    // The neighbours are not dragged along.
    for (int j : {columns.front() - 4, columns.back() + 4})
        QVERIFY2(std::abs(columnOffset(cleaned, clean, j)) < 0.002,
            qPrintable(QStringLiteral("%1: %2").arg(j).arg(columnOffset(cleaned, clean, j))));
}

void TestStripeFilter::onTheAxis_data()
{
    QTest::addColumn<int>("column"); // from the axis
    QTest::addColumn<double>("offset");
    QTest::addColumn<bool>("taken");
    // In air with noise 0.003 over 240 rows the median of a quarter of a column's offsets spreads by
    // 0.00049: a stripe stands out in every quarter from 0.00146 (snr 3), on the axis column from
    // twice that, 0.0029.
    QTest::newRow("one column beside the axis") << 1 << 0.004 << true;
    QTest::newRow("two columns beside the axis") << -2 << 0.004 << true;
    QTest::newRow("on the axis, unmistakable") << 0 << 0.006 << true;
    QTest::newRow("on the axis, within twice the margin") << 0 << 0.0018 << false;
}

void TestStripeFilter::onTheAxis()
{
    QFETCH(int, column);
    QFETCH(double, offset);
    QFETCH(bool, taken);
    std::vector<double> clean(static_cast<size_t>(W) * H);
    std::mt19937 rng(9);
    std::normal_distribution<double> noise(0.0, 0.003);
    for (double &v : clean)
        v = noise(rng);
    const int j = (W - 1) / 2 + column;
    for (const char *method : {"all", "large", "sort"}) {
        std::vector<double> striped = clean;
        for (int k = 0; k < H; ++k)
            striped[static_cast<size_t>(k) * W + j] += offset;
        removeStripes(striped, W, H, params(QLatin1String(method)));
        const double left = std::abs(columnOffset(striped, clean, j));
        QVERIFY2(taken ? left < 0.25 * offset : left == offset || std::abs(left - offset) < 1e-12,
            qPrintable(u"%1: %2 of %3 left"_s.arg(QLatin1String(method)).arg(left).arg(offset)));
    }
}

void TestStripeFilter::everyMethodKeepsTheSampleAndBearsBadInput_data()
{
    QTest::addColumn<QString>("method");
    for (const char *method : {"all", "sort", "large", "dead"})
        QTest::newRow(method) << method;
}

void TestStripeFilter::everyMethodKeepsTheSampleAndBearsBadInput()
{
    // Without stripes nothing stands out of the noise: the sample's edges and the point, which each
    // column meets in a few projections, stay as they are, and so do the columns about the axis, where
    // the body looks nearly the same from every angle, as a faulty column does; nor do the steep sides
    // of a smooth sample on the axis.
    QFETCH(QString, method);
    const std::pair<Scene, QString> scenes[] = {{{.disc = false}, u"without the disc"_s},
        {{.disc = true}, u"with the disc"_s}, {{.disc = false, .point = false, .blob = true}, u"blob"_s}};
    for (const auto &[scene, name] : scenes) {
        const std::vector<double> clean = sinogram(scene);
        std::vector<double> cleaned = clean;
        removeStripes(cleaned, W, H, params(method));
        QVERIFY2(cleaned == clean, qPrintable(name));
    }

    // With stripes elsewhere, the disc's edge (the same in every projection, as a stripe is, but at
    // both sides of the axis alike), its round top over the axis and the point are still there.
    const std::vector<double> withDisc = sinogram({});
    std::vector<double> striped = withDisc;
    for (int k = 0; k < H; ++k)
        for (int j : {30, 110, 140})
            striped[static_cast<size_t>(k) * W + j] += 0.015;
    removeStripes(striped, W, H, params(method));
    const int c = (W - 1) / 2;
    for (int j = c - 14; j <= c + 14; ++j)
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

    // Samples that are not finite are interpolated: a column of NaN (a bad pixel of a float image),
    // infinities, one at the edge, and a whole row of NaN.
    std::vector<double> bad = withDisc;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (int k = 0; k < H; ++k)
        bad[static_cast<size_t>(k) * W + 50] = nan;
    bad[7] = inf;
    bad[static_cast<size_t>(9) * W + W - 1] = -inf;
    for (int j = 0; j < W; ++j)
        bad[static_cast<size_t>(11) * W + j] = nan;
    std::vector<double> t = bad;
    removeStripes(t, W, H, params(method));
    QVERIFY(std::all_of(t.begin(), t.end(), [](double v) { return std::isfinite(v); }));
    QVERIFY(std::abs(columnOffset(t, withDisc, 50)) < 0.005); // between its neighbours
    // Off leaves every byte, the NaN and infinities included.
    t = bad;
    removeStripes(t, W, H, StripeParams());
    QCOMPARE(std::memcmp(t.data(), bad.data(), bad.size() * sizeof(double)), 0);

    // Tiny sinograms survive; a span shorter than the size given is refused, not read beyond.
    for (const QSize size : {QSize(1, 1), QSize(1, 50), QSize(40, 1), QSize(40, 3), QSize(7, 40)}) {
        std::vector<double> tiny(static_cast<size_t>(size.width()) * size.height());
        for (size_t i = 0; i < tiny.size(); ++i)
            tiny[i] = std::sin(0.3 * i) + (i % size.width() == 2 ? 0.1 : 0.0);
        t = tiny;
        removeStripes(t, size.width(), size.height(), params(method));
        QVERIFY(std::all_of(t.begin(), t.end(), [](double v) { return std::isfinite(v); }));
        t.pop_back();
        const std::vector<double> cut = t;
        removeStripes(t, size.width(), size.height(), params(method));
        QCOMPARE(t, cut);
    }
}

void TestStripeFilter::parameters_data()
{
    QTest::addColumn<QString>("text"); // the command's option: the method, then its parameters
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("problem"); // a part of the message
    QTest::addColumn<int>("method");
    QTest::addColumn<double>("snr");
    QTest::addColumn<int>("large");
    QTest::addColumn<int>("small");
    const int off = int(StripeMethod::Off);
    QTest::newRow("method alone") << "all" << true << "" << int(StripeMethod::All) << 3.0 << 31 << 21;
    QTest::newRow("all three") << "large:snr=2.5,large=51,small=11" << true << "" << int(StripeMethod::Large)
                               << 2.5 << 51 << 11;
    QTest::newRow("bounds") << "sort:snr=1,large=3,small=501" << true << "" << int(StripeMethod::Sorting)
                            << 1.0 << 3 << 501;
    QTest::newRow("upper case, trailing comma")
        << "OFF:SNR=4,Small=31," << true << "" << off << 4.0 << 31 << 31;
    QTest::newRow("unknown method") << "rings" << false << "not \"rings\"" << off << 3.0 << 31 << 21;
    QTest::newRow("even window") << "all:large=60" << false
                                 << "large 60 is not an odd whole number from 3 to 501" << off << 3.0 << 31
                                 << 21;
    QTest::newRow("window too large")
        << "all:small=503" << false << "from 3 to 501" << off << 3.0 << 31 << 21;
    QTest::newRow("window not whole") << "all:small=21.5" << false << "small 21.5" << off << 3.0 << 31 << 21;
    QTest::newRow("snr too low") << "dead:snr=0.5" << false << "snr 0.5 is outside 1 … 100" << off << 3.0
                                 << 31 << 21;
    QTest::newRow("snr not a number") << "all:snr=nan" << false << "snr" << off << 3.0 << 31 << 21;
    QTest::newRow("snr without a value")
        << "all:snr" << false << "snr takes a number" << off << 3.0 << 31 << 21;
    QTest::newRow("unknown name") << "all:size=3" << false << "size is not a parameter" << off << 3.0 << 31
                                  << 21;
    // All or nothing: the good item before the bad one is not taken either.
    QTest::newRow("one bad of two") << "all:snr=2,large=4" << false << "large 4" << off << 3.0 << 31 << 21;
}

void TestStripeFilter::parameters()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, problem);
    QFETCH(int, method);
    QFETCH(double, snr);
    QFETCH(int, large);
    QFETCH(int, small);
    StripeParams p;
    QString why;
    QCOMPARE(parseStripeOption(text, p, why), ok);
    QVERIFY2(why.contains(problem) && why.isEmpty() == ok, qPrintable(why));
    QCOMPARE(int(p.method), method);
    QCOMPARE(p.snr, snr);
    QCOMPARE(p.largeSize, large);
    QCOMPARE(p.smallSize, small);
    // The parameters alone, as a batch command gives them: a refused list changes none of them.
    const qsizetype colon = text.indexOf(u':');
    if (colon >= 0) {
        StripeParams q;
        QCOMPARE(applyStripeParams(text.mid(colon + 1).split(u','), q, why), ok);
        q.method = p.method;
        QCOMPARE(q, p);
    }
    if (ok) { // written back as read
        StripeParams q;
        QVERIFY(applyStripeParams(stripeParamItems(p), q, why));
        q.method = p.method;
        QCOMPARE(q, p);
    }
}

QTEST_APPLESS_MAIN(TestStripeFilter)
#include "tst_stripefilter.moc"
