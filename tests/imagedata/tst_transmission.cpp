// Qt
#include <QTest>

// Local
#include "imagedata/transmission.h"
#include <cmath>
#include <limits>
#include <vector>

class TestTransmission : public QObject
{
    Q_OBJECT
private slots:
    void attenuation_data();
    void attenuation();
    void lineMatchesSamples();
};

void TestTransmission::attenuation_data()
{
    QTest::addColumn<double>("i0");
    QTest::addColumn<double>("bg");
    QTest::addColumn<double>("raw");
    QTest::addColumn<double>("expected");

    // Without I0 and BG images the lines are 1.0 and 0.0.
    QTest::newRow("no I0/BG") << 1.0 << 0.0 << 100.0 << -std::log(100.0);
    QTest::newRow("no I0/BG, raw 0") << 1.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("hand computed ln 2") << 1000.0 << 100.0 << 550.0 << std::log(2.0);
    QTest::newRow("raw below BG: denominator 1") << 1000.0 << 100.0 << 50.0 << std::log(900.0);
    QTest::newRow("raw at BG") << 1000.0 << 100.0 << 100.0 << std::log(900.0);
    QTest::newRow("I0 below BG: numerator 1") << 90.0 << 100.0 << 550.0 << -std::log(450.0);
    QTest::newRow("both non-positive") << 100.0 << 100.0 << 100.0 << 0.0;
    QTest::newRow("more than I0 counts") << 1000.0 << 100.0 << 1900.0 << std::log(0.5);
}

void TestTransmission::attenuation()
{
    QFETCH(double, i0);
    QFETCH(double, bg);
    QFETCH(double, raw);
    QFETCH(double, expected);
    QCOMPARE(::attenuation(i0, bg, raw), expected);
}

void TestTransmission::lineMatchesSamples()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> i0 {1000, 1000, 1000, nan};
    const std::vector<double> bg {100, 100, 2000, 0};
    const std::vector<double> raw {550, nan, 10, 5};
    std::vector<double> att(4, -99.0);
    attenuationLine(i0, bg, raw, att);
    QCOMPARE(att[0], std::log(2.0));
    QVERIFY(std::isnan(att[1])); // a NaN passes the clamp unchanged
    QCOMPARE(att[2], 0.0);
    QVERIFY(std::isnan(att[3]));

    // Shorter output: nothing is written past its end.
    std::vector<double> two(3, -1.0);
    attenuationLine(i0, bg, raw, std::span<double>(two.data(), 2));
    QCOMPARE(two[2], -1.0);
}

QTEST_APPLESS_MAIN(TestTransmission)
#include "tst_transmission.moc"
