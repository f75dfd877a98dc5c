// Qt
#include <QDir>
#include <QTest>

// Local
#include "ct/ctimagefile.h"
#include "ct/savenaming.h"
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Region)

class TestCtImageFile : public QObject
{
    Q_OBJECT
private slots:
    void formatLikePrintf_data();
    void formatLikePrintf();
    void formatLikePrintfEverywhere();
    void headerAndLines();
    void regionLargerThanTheImage();
    void windowAndOffset_data();
    void windowAndOffset();
    void regionBoundIsMemoryNotImageSize_data();
    void regionBoundIsMemoryNotImageSize();
    void boundCanBeLowered();
    void regionWhosePixelCountOverflowsIsRefused_data();
    void regionWhosePixelCountOverflowsIsRefused();
    void regionWithoutAWholePixelHasNoLines_data();
    void regionWithoutAWholePixelHasNoLines();
    void fileNames_data();
    void fileNames();
    void subFolders_data();
    void subFolders();
};

void TestCtImageFile::formatLikePrintf_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("0") << 0.0;
    QTest::newRow("2047") << 2047.0;
    QTest::newRow("1e-05") << 1e-05;
    QTest::newRow("123456789") << 123456789.0;
    QTest::newRow("negative") << -3.25;
    QTest::newRow("6 digits rounding") << 10.1234567;
    QTest::newRow("tiny") << 1.5e-300;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinity") << -std::numeric_limits<double>::infinity();
    QTest::newRow("halfway") << 0.0001234565;
}

void TestCtImageFile::formatLikePrintf()
{
    QFETCH(double, value);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", value);
    QCOMPARE(QString::fromStdString(formatG(value)), QString::fromLatin1(buf));
}

void TestCtImageFile::formatLikePrintfEverywhere()
{
    // The fast path rounds by multiplication; compare it with printf over many magnitudes and on the
    // rounding boundaries, where a wrong rounding would show.
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> exponent(-7.0, 8.0), sign(-1.0, 1.0);
    std::vector<double> values;
    for (int i = 0; i < 200000; ++i)
        values.push_back(std::copysign(std::pow(10.0, exponent(rng)), sign(rng)));
    std::uniform_int_distribution<int> six(100000, 999999);
    for (int i = 0; i < 20000; ++i) {
        const double tie = (six(rng) + 0.5) * std::pow(10.0, std::uniform_int_distribution<int>(-10, 1)(rng));
        values.insert(values.end(), {tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1e300)});
    }
    for (double v :
        {9.999995, 9.9999949999, 99999.95, 999999.5, 999999.4999, 0.0001, 0.000099999950, 0.00009999994, 1e-5,
            1e6, 10.0, 100000.0, 0.1, 0.2, 0.3, 1.0 / 3.0, 2.0 / 3.0, -0.0, 5e-324, 1e308})
        values.push_back(v);
    for (double v : values) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", v);
        if (formatG(v) != buf)
            QFAIL(qPrintable(QStringLiteral("%1: %2 instead of %3")
                                 .arg(v, 0, 'g', 17)
                                 .arg(QString::fromStdString(formatG(v)), QString::fromLatin1(buf))));
    }
}

void TestCtImageFile::headerAndLines()
{
    // A 4 × 4 image with pixel (x, z) = x + 10·z; region (10.5, 20)–(12, 21) lies outside it.
    std::vector<double> image(16);
    for (int z = 0; z < 4; ++z)
        for (int x = 0; x < 4; ++x)
            image[z * 4 + x] = x + 10 * z;
    QByteArray text = ctImageDataText(image, 4, Region {10.5, 20, 12, 21}, DataWindow {});
    QCOMPARE(text,
        QByteArray("#QRVL-CTImg\n"
                   "# Range_X0       : 10.5\n"
                   "# Range_Y0       : 20\n"
                   "# Range_X1       : 11\n"
                   "# Range_Y1       : 20\n"
                   "# sx,sy, ex,ey   : 10.5\t20\t11\t20\n"
                   "10\t20\t10\n"
                   "11\t20\t10\n"));
    text = ctImageDataText(image, 4, Region {1, 2, 3, 3}, DataWindow {100, -100, 0.5});
    QVERIFY(text.endsWith("# sx,sy, ex,ey   : 1\t2\t2\t2\n1\t2\t21.5\n2\t2\t22.5\n"));
    const std::vector<double> big(512 * 512, 0.0);
    text = ctImageDataText(big, 512, Region {0, 0, 2048, 2048}, DataWindow {});
    QVERIFY(text.contains("# Range_X1       : 2047\n"));
    QVERIFY(text.contains("# sx,sy, ex,ey   : 0\t0\t2047\t2047\n"));
    QVERIFY(text.endsWith("\n2047\t2047\t10\n"));
    QCOMPARE(text.count('\n'), 6 + 2048 * 2048);
}

void TestCtImageFile::regionLargerThanTheImage()
{
    const std::vector<double> image(4, 1.0); // 2 × 2
    const QByteArray text = ctImageDataText(image, 2, Region {-1, 0, 3, 1}, DataWindow {});
    QVERIFY(text.endsWith("-1\t0\t10\n0\t0\t11\n1\t0\t11\n2\t0\t10\n"));
}

void TestCtImageFile::windowAndOffset_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("upper");
    QTest::addColumn<double>("lower");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("inside") << 3.5 << 10.0 << -10.0 << QByteArray("13.5");
    QTest::newRow("above") << 10.5 << 10.0 << -10.0 << QByteArray("10");
    QTest::newRow("on the limit") << -10.0 << 10.0 << -10.0 << QByteArray("0");
    QTest::newRow("upper below lower") << 1.0 << -1.0 << 1.0 << QByteArray("10");
    QTest::newRow("NaN passes") << std::nan("") << 10.0 << -10.0 << QByteArray("nan");
}

void TestCtImageFile::windowAndOffset()
{
    QFETCH(double, value);
    QFETCH(double, upper);
    QFETCH(double, lower);
    QFETCH(QByteArray, written);
    const std::vector<double> image {value};
    const QByteArray text = ctImageDataText(image, 1, Region {0, 0, 1, 1}, DataWindow {upper, lower, 10.0});
    QVERIFY2(text.endsWith("\n0\t0\t" + written + "\n"), text.constData());
}

void TestCtImageFile::regionBoundIsMemoryNotImageSize_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<Region>("region");
    QTest::addColumn<qint64>("lines"); // −1: refused
    // Before, a region of more than 16·max(N, 64)² lines was refused whatever the memory: a CoR near
    // the edge of a 2048-pixel line makes a small N with a region of the whole line.
    QTest::newRow("300 x 300 on N = 40") << 40 << Region {0, 0, 300, 300} << qint64(300 * 300);
    QTest::newRow("2047 x 2047 on N = 510") << 510 << Region {0, 0, 2047, 2047} << qint64(2047) * 2047;
    QTest::newRow("one line") << 4 << Region {3, 3, 4, 4} << qint64(1);
    QTest::newRow("empty") << 4 << Region {3, 3, 3, 9} << qint64(0);
    QTest::newRow("beyond any memory") << 64 << Region {0, 0, 1e7, 1e7} << qint64(-1);
    QTest::newRow("one row beyond any memory") << 64 << Region {0, 0, 1e15, 1} << qint64(-1);
    QTest::newRow("beyond a double's integers") << 64 << Region {0, 0, 1e300, 1} << qint64(-1);
}

void TestCtImageFile::regionBoundIsMemoryNotImageSize()
{
    QFETCH(int, n);
    QFETCH(Region, region);
    QFETCH(qint64, lines);
    const std::vector<double> image(static_cast<size_t>(n) * n, 1.0);
    const QByteArray text = ctImageDataText(image, n, region, DataWindow {});
    if (lines < 0) {
        QVERIFY(text.isEmpty());
        return;
    }
    QCOMPARE(qint64(text.count('\n')), 6 + lines);
    // The text waits in the saver's queue: it holds no room beyond its own bytes (before, a 2048²
    // region kept 3.8 times its text).
    QCOMPARE(text.capacity(), text.size());
}

void TestCtImageFile::boundCanBeLowered()
{
    // A text near the bound may still not be allocatable: the fuzz targets lower the bound so that
    // no text outgrows their memory (a column of 9.5·10^8 lines did, at 24 GB).
    const std::vector<double> image(64 * 64, 1.0);
    setDataFileByteLimit(1 << 20);
    const QByteArray small = ctImageDataText(image, 64, Region {0, 0, 64, 64}, DataWindow {});
    const QByteArray large = ctImageDataText(image, 64, Region {-0.3, -31, 1, 951721817}, DataWindow {});
    setDataFileByteLimit(0);
    QCOMPARE(small.count('\n'), 6 + 64 * 64);
    QVERIFY(large.isEmpty());
    QVERIFY(dataFileByteLimit() > (qint64(1) << 20));
}

void TestCtImageFile::regionWhosePixelCountOverflowsIsRefused_data()
{
    // Sides whose product does not fit in 64 bits (it wrapped to 0 or below and passed the bound).
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("xTo");
    QTest::addColumn<double>("zTo");
    QTest::newRow("2^32 x 2^32") << 0.0 << 4294967296.0 << 4294967296.0;
    QTest::newRow("±10^15 both ways") << -1e15 << 1e15 << 1e15;
    QTest::newRow("2^33 x 2^31") << 0.0 << 8589934592.0 << 2147483648.0;
}

void TestCtImageFile::regionWhosePixelCountOverflowsIsRefused()
{
    QFETCH(double, from);
    QFETCH(double, xTo);
    QFETCH(double, zTo);
    const std::vector<double> image(64 * 64, 1.0);
    QVERIFY(ctImageDataText(image, 64, Region {from, from, xTo, zTo}, DataWindow {}).isEmpty());
}

void TestCtImageFile::regionWithoutAWholePixelHasNoLines_data()
{
    // One side holds no whole pixel, the other 10^15 (found by fuzzing the command's options: the
    // rows, or the column table, of the empty product were still walked or allocated).
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("z0");
    QTest::addColumn<double>("x1");
    QTest::addColumn<double>("z1");
    QTest::newRow("no column, endless rows") << -0.3 << -31.0 << 0.0 << 1e15;
    QTest::newRow("endless columns, no row") << 0.0 << 5.0 << 1e15 << 5.0;
}

void TestCtImageFile::regionWithoutAWholePixelHasNoLines()
{
    QFETCH(double, x0);
    QFETCH(double, z0);
    QFETCH(double, x1);
    QFETCH(double, z1);
    const std::vector<double> image(64 * 64, 1.0);
    const QByteArray text = ctImageDataText(image, 64, Region {x0, z0, x1, z1}, DataWindow {});
    QVERIFY(text.startsWith("#QRVL-CTImg\n"));
    QCOMPARE(text.count('\n'), 6); // the header only
}

void TestCtImageFile::fileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("slice");
    QTest::addColumn<QString>("file");
    QTest::newRow("name and tag") << u"ct"_s << u"E01"_s << 12 << u"ct-E01-00012.dat"_s;
    QTest::newRow("no name") << QString() << u"E01"_s << 12 << u"E01-00012.dat"_s;
    QTest::newRow("empty tag kept") << u"ct"_s << QString() << 7 << u"ct--00007.dat"_s;
    QTest::newRow("six digits") << u"ct"_s << u"E"_s << 123456 << u"ct-E-123456.dat"_s;
}

void TestCtImageFile::fileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, tag);
    QFETCH(int, slice);
    QFETCH(QString, file);
    QCOMPARE(ctFileName(name, tag, sliceText(slice), u"dat"_s), file);
}

void TestCtImageFile::subFolders_data()
{
    QTest::addColumn<bool>("sub");
    QTest::addColumn<bool>("energy");
    QTest::addColumn<bool>("slice");
    QTest::addColumn<QStringList>("dirs");
    QTest::newRow("off") << false << true << true << QStringList {u"/d"_s};
    QTest::newRow("neither: slice") << true << false << false << QStringList {u"/d/00007"_s};
    QTest::newRow("slice") << true << false << true << QStringList {u"/d/00007"_s};
    QTest::newRow("energy only") << true << true << false << QStringList {u"/d/E01"_s};
    QTest::newRow("both") << true << true << true << QStringList {u"/d/E01"_s, u"/d/00007"_s};
}

void TestCtImageFile::subFolders()
{
    QFETCH(bool, sub);
    QFETCH(bool, energy);
    QFETCH(bool, slice);
    QFETCH(QStringList, dirs);
    QCOMPARE(targetDirs(u"/d"_s, u"E01"_s, sliceText(7), SubFolderRule {sub, energy, slice}), dirs);
}

QTEST_APPLESS_MAIN(TestCtImageFile)
#include "tst_ctimagefile.moc"
