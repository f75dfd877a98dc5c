// Qt
#include <QTest>

// C++
#include <limits>
#include <vector>

// Local
#include "display/greyscale.h"

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
} // namespace

class TestGreyScale : public QObject
{
    Q_OBJECT

private slots:
    void level_data();
    void level();
    void crossedHandlesStayMonotonic();
    void imageOfData_data();
    void imageOfData();
};

void TestGreyScale::level_data()
{
    QTest::addColumn<double>("minV");
    QTest::addColumn<double>("maxV");
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<double>("v");
    QTest::addColumn<int>("grey");
    QTest::newRow("middle") << 0.0 << 1.0 << 0.0 << 1.0 << 0.5 << 128;
    QTest::newRow("truncated, not rounded") << 0.0 << 1.0 << 0.0 << 1.0 << 0.4999 << 127;
    QTest::newRow("at maxV: 256 clamps") << 0.0 << 1.0 << 0.0 << 1.0 << 1.0 << 255;
    QTest::newRow("below minV") << 10.0 << 20.0 << 0.0 << 1.0 << -5.0 << 0;
    QTest::newRow("above maxV") << 10.0 << 20.0 << 0.0 << 1.0 << 1e9 << 255;
    QTest::newRow("offset range") << 10.0 << 20.0 << 0.0 << 1.0 << 12.5 << 64;
    QTest::newRow("window lo..hi") << 0.0 << 1.0 << 0.25 << 0.75 << 0.5 << 128;
    QTest::newRow("+inf") << 0.0 << 1.0 << 0.0 << 1.0 << kInf << 255;
    QTest::newRow("-inf") << 0.0 << 1.0 << 0.0 << 1.0 << -kInf << 0;
    QTest::newRow("NaN") << 0.0 << 1.0 << 0.0 << 1.0 << kNaN << 0;
    QTest::newRow("maxV == minV, above") << 3.0 << 3.0 << 0.0 << 1.0 << 4.0 << 255;
    QTest::newRow("maxV == minV, below") << 3.0 << 3.0 << 0.0 << 1.0 << 2.0 << 0;
    QTest::newRow("maxV == minV, on it (0/0)") << 3.0 << 3.0 << 0.0 << 1.0 << 3.0 << 0;
    QTest::newRow("hi == lo, above") << 0.0 << 1.0 << 0.5 << 0.5 << 0.6 << 255;
    QTest::newRow("hi == lo, on it (0/0)") << 0.0 << 1.0 << 0.5 << 0.5 << 0.5 << 0;
    QTest::newRow("crossed handles invert") << 0.0 << 1.0 << 0.75 << 0.25 << 0.375 << 192;
}

void TestGreyScale::level()
{
    QFETCH(double, minV);
    QFETCH(double, maxV);
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(double, v);
    QFETCH(int, grey);
    const GreyScale s {minV, maxV, lo, hi, false};
    QCOMPARE(s.level(v), grey);
}

void TestGreyScale::crossedHandlesStayMonotonic()
{
    // A handle dragged past the other turns the ramp round: one-directional, clamped, no wrap.
    const GreyScale s {0.0, 1.0, 0.7, 0.3, false};
    int previous = 255;
    for (int i = -50; i <= 150; ++i) {
        const int g = s.levelOfFraction(i / 100.0);
        QVERIFY(g >= 0 && g <= previous);
        previous = g;
    }
    QCOMPARE(s.levelOfFraction(-0.5), 255);
    QCOMPARE(previous, 0);
}

void TestGreyScale::imageOfData_data()
{
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<double>("minV");
    QTest::addColumn<double>("maxV");
    QTest::addColumn<QList<int>>("greys");
    QTest::newRow("free: takes the range") << false << 10.0 << 50.0 << QList<int> {0, 128, 255, 64};
    QTest::newRow("fixed: keeps 0..100") << true << 0.0 << 100.0 << QList<int> {25, 76, 128, 51};
}

void TestGreyScale::imageOfData()
{
    QFETCH(bool, fixed);
    QFETCH(double, minV);
    QFETCH(double, maxV);
    QFETCH(QList<int>, greys);
    GreyScale s {0.0, 100.0, 0.0, 1.0, fixed};
    // 2 × 2, rows first; the value past width × height must not count towards the range.
    const std::vector<double> v {10.0, 30.0, 50.0, 20.0, 1000.0};
    const QImage img = greyImageOfData(v, 2, 2, s);
    QCOMPARE(s.minV, minV);
    QCOMPARE(s.maxV, maxV);
    QCOMPARE(img.format(), QImage::Format_Grayscale8);
    auto at = [&img](int x, int y) { return int(img.constScanLine(y)[x]); };
    const QList<int> got {at(0, 0), at(1, 0), at(0, 1), at(1, 1)};
    QCOMPARE(got, greys);
    QVERIFY(greyImageOfData(std::span(v).first(3), 2, 2, s).isNull()); // too few values
}

QTEST_APPLESS_MAIN(TestGreyScale)
#include "tst_greyscale.moc"
