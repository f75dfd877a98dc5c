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
    void scoreMirrorsAboutTheTrialCentre_data();
    void scoreMirrorsAboutTheTrialCentre();
    void zeroWindowKeepsTheStart();
    void findsTheAxisOfAnOffCentreObject_data();
    void findsTheAxisOfAnOffCentreObject();
};

void TestCorGuess::oppositeImage_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("used");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("range");
    QTest::addColumn<int>("opposite"); // −1: none among the images used
    QTest::newRow("360 over 180: one before the end") << 0 << 360 << 360 << 180.0 << 359;
    QTest::newRow("360 over 360") << 0 << 360 << 360 << 360.0 << 180;
    QTest::newRow("partial start wraps") << 350 << 360 << 360 << 360.0 << 170;
    QTest::newRow("180 over 180") << 0 << 180 << 180 << 180.0 << 179;
    // Before, (180 + 10) − 0 … modulo 180 gave image 10 back: the image compared with itself.
    QTest::newRow("partial 10:170 of 180 over 180") << 10 << 170 << 180 << 180.0 << -1;
    QTest::newRow("partial 10:170 of 360 over 360") << 10 << 170 << 360 << 360.0 << -1;
    QTest::newRow("partial 10:181 of 360 over 360") << 10 << 181 << 360 << 360.0 << 190;
    QTest::newRow("partial 300:200 of 360 over 360 wraps") << 300 << 200 << 360 << 360.0 << 120;
    QTest::newRow("90 degrees hold no facing pair") << 0 << 90 << 90 << 90.0 << -1;
    QTest::newRow("range 0") << 0 << 90 << 90 << 0.0 << -1;
    QTest::newRow("negative range") << 0 << 90 << 90 << -180.0 << -1;
    QTest::newRow("one image") << 0 << 1 << 1 << 180.0 << -1;
}

void TestCorGuess::oppositeImage()
{
    QFETCH(int, first);
    QFETCH(int, used);
    QFETCH(int, count);
    QFETCH(double, range);
    QFETCH(int, opposite);
    const std::optional<int> found = ::oppositeImage(first, used, count, range);
    QCOMPARE(found.value_or(-1), opposite);
}

void TestCorGuess::scoreMirrorsAboutTheTrialCentre_data()
{
    QTest::addColumn<double>("axis");
    QTest::newRow("20") << 20.0;
    QTest::newRow("20.3") << 20.3;
    QTest::newRow("19.7") << 19.7;
}

void TestCorGuess::scoreMirrorsAboutTheTrialCentre()
{
    // b is a mirrored about the axis: the best trial c is the axis itself, where the reconstruction
    // puts its axis (before, the lines were mirrored about c − 0.5 and the guess came out 0.5 off).
    QFETCH(double, axis);
    const int L = 48;
    std::vector<double> a(L), b(L);
    for (int x = 0; x < L; ++x) {
        a[x] = std::exp(-0.02 * (x - 14) * (x - 14)) + 0.3 * std::exp(-0.1 * (x - 30) * (x - 30));
        const double m = 2 * axis - x;
        b[x] = std::exp(-0.02 * (m - 14) * (m - 14)) + 0.3 * std::exp(-0.1 * (m - 30) * (m - 30));
    }
    const double w = 0.35 * L;
    QVERIFY(corScore(a, b, axis, L, w) > corScore(a, b, axis + 0.5, L, w));
    QVERIFY(corScore(a, b, axis, L, w) > corScore(a, b, axis - 0.5, L, w));
    // The guess is the double of the tenth: the field and the log read "20.3", not "20.299999999999997".
    QCOMPARE(QString::number(guessCorPosition(a, b, L, 17.0, w), 'g', QLocale::FloatingPointShortest),
        QString::number(axis));
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
    QTest::addColumn<bool>("demo"); // the demo phantom, else two off-centre ellipses
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("projections");
    QTest::addColumn<double>("range");
    QTest::addColumn<double>("cor");
    // 4 over 360 degrees compares images 0 and 2, exactly 180 degrees apart; 180 over 180 compares 0
    // and 179, one step short. With the lines mirrored about c − 0.5 the guesses came out half a
    // pixel high, and with linear interpolation up to 0.2 pixel towards whole pixels.
    QTest::newRow("4 over 360, axis 70.5") << false << 128 << 4 << 360.0 << 70.5;
    QTest::newRow("4 over 360, axis 70.3") << false << 128 << 4 << 360.0 << 70.3;
    QTest::newRow("4 over 360, axis 63.8") << false << 128 << 4 << 360.0 << 63.8;
    QTest::newRow("4 over 360, axis 64") << false << 128 << 4 << 360.0 << 64.0;
    QTest::newRow("4 over 360, axis 66.3") << false << 128 << 4 << 360.0 << 66.3;
    QTest::newRow("180 over 180, axis 57") << false << 128 << 180 << 180.0 << 57.0;
    QTest::newRow("demo, 180 over 180, axis 127.3") << true << 256 << 180 << 180.0 << 127.3;
    QTest::newRow("demo, 4 over 360, axis 130") << true << 256 << 4 << 360.0 << 130.0;
    QTest::newRow("demo, 4 over 360, axis 121.6") << true << 256 << 4 << 360.0 << 121.6;
}

void TestCorGuess::findsTheAxisOfAnOffCentreObject()
{
    QFETCH(bool, demo);
    QFETCH(int, width);
    QFETCH(int, projections);
    QFETCH(double, range);
    QFETCH(double, cor);
    QTemporaryDir dir;
    Phantom phantom = demoPhantom(width);
    if (!demo) {
        phantom.parts.clear();
        phantom.parts.push_back({18, -9, 0, 14, 9, 30, 0.4, 0.03});
        phantom.parts.push_back({-10, 6, 0, 4, 4, 30, 0.0, 0.08});
    }
    ScanSetup setup;
    setup.width = width;
    setup.height = 4;
    setup.cor = cor;
    setup.projections = projections;
    setup.rangeDeg = range;
    setup.noise = 0.0;
    setup.flatRipple = 0.0;
    // Only the two facing projections are needed; write them all to keep the set realistic.
    QVERIFY(writeScan(phantom, setup, dir.path(), QStringLiteral("p"), dir.filePath(QStringLiteral("i0.img")),
        dir.filePath(QStringLiteral("bg.img"))));
    const std::optional<int> opposite = ::oppositeImage(0, projections, projections, range);
    QVERIFY(opposite);
    auto first = openImgData(dir.filePath(QStringLiteral("p0000.img")));
    auto facing
        = openImgData(dir.filePath(QStringLiteral("p%1.img").arg(*opposite, 4, 10, QLatin1Char('0'))));
    QVERIFY(first && facing);
    std::vector<double> a(width), b(width);
    first->getRow(2, a.data());
    facing->getRow(2, b.data());
    // The axis of the phantom is the axis of the reconstruction: the guess lands on it (the fine
    // search steps by 0.1 from a whole pixel, so 0.1 is the closest it can promise).
    const double guess = guessCorPosition(a, b, width, width / 2, 0.35 * width);
    QVERIFY2(std::abs(guess - cor) <= 0.1 + 1e-9, qPrintable(QString::number(guess, 'g', 10)));
    // ... and is the double of a tenth, which reads "130.1" in the field and the log, not
    // "130.09999999999988".
    QCOMPARE(guess, std::round(guess * 10.0) / 10.0);
}

QTEST_APPLESS_MAIN(TestCorGuess)
#include "tst_corguess.moc"
