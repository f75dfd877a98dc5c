// Qt
#include <QTemporaryDir>
#include <QTest>

// Local
#include "ct/corguess.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"
#include "tools/phantom/phantom.h"
#include <cmath>
#include <numbers>
#include <vector>

class TestCorGuess : public QObject
{
    Q_OBJECT
private slots:
    void oppositeImage_data();
    void oppositeImage();
    void scoreMirrorsAboutCMinusHalf();
    void zeroWindowKeepsTheStart();
    void findsTheAxisOfAnOffCentreObject_data();
    void findsTheAxisOfAnOffCentreObject();
};

void TestCorGuess::oppositeImage_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("range");
    QTest::addColumn<int>("opposite");
    QTest::newRow("360 over 180: one before the end") << 0 << 360 << 180.0 << 359;
    QTest::newRow("360 over 360") << 0 << 360 << 360.0 << 180;
    QTest::newRow("partial start wraps") << 350 << 360 << 360.0 << 170;
    QTest::newRow("180 over 180") << 0 << 180 << 180.0 << 179;
}

void TestCorGuess::oppositeImage()
{
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(double, range);
    QFETCH(int, opposite);
    QCOMPARE(::oppositeImage(first, count, range), opposite);
}

void TestCorGuess::scoreMirrorsAboutCMinusHalf()
{
    // b is a mirrored about 20.0: the best trial c is 20.5.
    const int L = 48;
    std::vector<double> a(L), b(L);
    for (int x = 0; x < L; ++x) {
        a[x] = std::exp(-0.02 * (x - 14) * (x - 14)) + 0.3 * std::exp(-0.1 * (x - 30) * (x - 30));
        const double m = 40 - x;
        b[x] = std::exp(-0.02 * (m - 14) * (m - 14)) + 0.3 * std::exp(-0.1 * (m - 30) * (m - 30));
    }
    const double w = 0.35 * L;
    QVERIFY(corScore(a, b, 20.5, L, w) > corScore(a, b, 20.0, L, w));
    QVERIFY(corScore(a, b, 20.5, L, w) > corScore(a, b, 21.0, L, w));
    QCOMPARE(guessCorPosition(a, b, L, 17.0, w), 20.5);
}

void TestCorGuess::zeroWindowKeepsTheStart()
{
    const std::vector<double> a(32, 5.0);
    QCOMPARE(corScore(a, a, 16.0, 32, 0.0), 0.0);
    QCOMPARE(guessCorPosition(a, a, 32, 16.25, 0.0), 16.25);
    QCOMPARE(corScore(a, a, 16.0, 0, 10.0), 0.0);
}

void TestCorGuess::findsTheAxisOfAnOffCentreObject_data()
{
    QTest::addColumn<int>("projections");
    QTest::addColumn<double>("range");
    QTest::addColumn<double>("cor");
    QTest::addColumn<double>("tolerance");
    // 360 over 360 degrees compares images exactly 180 degrees apart; 180 over 180 compares 0 and 179.
    // Interpolated samples score a little lower than whole-pixel ones, so the search favours trial
    // positions on whole pixels: an axis at 70.3 is found at 71, not at 70.8.
    QTest::newRow("360 over 360, axis 70.5") << 360 << 360.0 << 70.5 << 0.05;
    QTest::newRow("360 over 360, axis 70.3") << 360 << 360.0 << 70.3 << 0.5;
    QTest::newRow("180 over 180, axis 57") << 180 << 180.0 << 57.0 << 1.0;
}

void TestCorGuess::findsTheAxisOfAnOffCentreObject()
{
    QFETCH(int, projections);
    QFETCH(double, range);
    QFETCH(double, cor);
    QFETCH(double, tolerance);
    QTemporaryDir dir;
    Phantom phantom;
    phantom.parts.push_back({18, -9, 0, 14, 9, 30, 0.4, 0.03});
    phantom.parts.push_back({-10, 6, 0, 4, 4, 30, 0.0, 0.08});
    ScanSetup setup;
    setup.width = 128;
    setup.height = 4;
    setup.cor = cor;
    setup.projections = projections;
    setup.rangeDeg = range;
    setup.noise = 0.0;
    setup.flatRipple = 0.0;
    // Only the two facing projections are needed; write them all to keep the set realistic.
    QVERIFY(writeScan(phantom, setup, dir.path(), QStringLiteral("p"), dir.filePath(QStringLiteral("i0.img")),
        dir.filePath(QStringLiteral("bg.img"))));
    const int opposite = ::oppositeImage(0, projections, range);
    auto first = openImgData(dir.filePath(QStringLiteral("p0000.img")));
    auto facing = openImgData(dir.filePath(QStringLiteral("p%1.img").arg(opposite, 4, 10, QLatin1Char('0'))));
    QVERIFY(first && facing);
    std::vector<double> a(128), b(128);
    first->getRow(2, a.data());
    facing->getRow(2, b.data());
    // The search mirrors about c − 0.5, so it lands half a pixel above the axis.
    const double guess = guessCorPosition(a, b, 128, 64.0, 0.35 * 128);
    QVERIFY2(std::abs(guess - (cor + 0.5)) <= tolerance, qPrintable(QString::number(guess)));
}

QTEST_APPLESS_MAIN(TestCorGuess)
#include "tst_corguess.moc"
