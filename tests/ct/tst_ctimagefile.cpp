// Qt
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "ct/atomicfile.h"
#include "ct/ctimagefile.h"
#include "ct/ctimagetiff.h"
#include "ct/savenaming.h"
#include <cmath>
#include <csignal>
#include <cstdio>
#include <limits>
#include <random>
#include <sys/mount.h>
#include <sys/resource.h>
#include <tiffio.h>
#include <vector>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Region)
Q_DECLARE_METATYPE(SubFolderRule)

/// The files of a slice: data file, float TIFF, picture, their names and folders, and writing them
/// whole or not at all.
class TestCtImageFile : public QObject
{
    Q_OBJECT
private slots:
    void formatLikePrintfEverywhere();
    void headerAndLines();
    void windowAndOffset_data();
    void windowAndOffset();
    void regionBoundIsMemoryNotImageSize_data();
    void regionBoundIsMemoryNotImageSize();
    void boundCanBeLowered();
    void fileNamesAndFolders_data();
    void fileNamesAndFolders();
    void readsBackTheEngineValues_data();
    void readsBackTheEngineValues();
    void imagesReadBackAsTheyWere_data();
    void imagesReadBackAsTheyWere();
    void shortWriteNamesItsCause_data();
    void shortWriteNamesItsCause();
    void unusableDirectoryIsFoundBeforeWriting_data();
    void unusableDirectoryIsFoundBeforeWriting();
};

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
    for (double v : {9.999995, 9.9999949999, 99999.95, 999999.5, 999999.4999, 0.0001, 0.000099999950,
             0.00009999994, 1e-5, 1e6, 10.0, 100000.0, 0.1, 0.2, 0.3, 1.0 / 3.0, 2.0 / 3.0, -0.0, 5e-324,
             1e308, 0.0, 2047.0, 123456789.0, -3.25, 10.1234567, 1.5e-300, 0.0001234565,
             std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity()})
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
    // A region larger than a 2 × 2 image: 0 (plus the offset) outside it.
    text = ctImageDataText(std::vector<double>(4, 1.0), 2, Region {-1, 0, 3, 1}, DataWindow {});
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
    QTest::newRow("on the lower limit") << -10.0 << 10.0 << -10.0 << QByteArray("0");
    QTest::newRow("on the upper limit") << 10.0 << 10.0 << -10.0 << QByteArray("20");
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
    // Sides whose product does not fit in 64 bits (it wrapped to 0 or below and passed the bound).
    QTest::newRow("2^32 x 2^32") << 64 << Region {0, 0, 4294967296.0, 4294967296.0} << qint64(-1);
    QTest::newRow("±10^15 both ways") << 64 << Region {-1e15, -1e15, 1e15, 1e15} << qint64(-1);
    QTest::newRow("2^33 x 2^31") << 64 << Region {0, 0, 8589934592.0, 2147483648.0} << qint64(-1);
    // One side holds no whole pixel, the other 10^15: the header only (found by fuzzing the command's
    // options: the rows, or the column table, of the empty product were still walked or allocated).
    QTest::newRow("no column, endless rows") << 64 << Region {-0.3, -31.0, 0.0, 1e15} << qint64(0);
    QTest::newRow("endless columns, no row") << 64 << Region {0.0, 5.0, 1e15, 5.0} << qint64(0);
}

void TestCtImageFile::regionBoundIsMemoryNotImageSize()
{
    QFETCH(int, n);
    QFETCH(Region, region);
    QFETCH(qint64, lines);
    const std::vector<double> image(static_cast<size_t>(n) * n, 1.0);
    const QByteArray text = ctImageDataText(image, n, region, DataWindow {});
    // Made in the room of an earlier, longer text of other bytes, it is the same; made there again,
    // it stays in that room (a run's slices use one array).
    QByteArray room(1 << 20, 'x');
    QCOMPARE(ctImageDataTextInto(image, n, region, DataWindow {}, room), lines >= 0);
    QCOMPARE(room, text);
    const char *const first = room.constData();
    ctImageDataTextInto(image, n, region, DataWindow {}, room);
    QCOMPARE(room, text);
    if (lines > 0)
        QCOMPARE(room.constData(), first);
    if (lines < 0) {
        QVERIFY(text.isEmpty());
        return;
    }
    QVERIFY(text.startsWith("#QRVL-CTImg\n"));
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

void TestCtImageFile::fileNamesAndFolders_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("slice");
    QTest::addColumn<SubFolderRule>("rule");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("dirs");
    QTest::newRow("name and tag, no sub-folders")
        << u"ct"_s << u"E01"_s << 12 << SubFolderRule {false, true, true} << u"ct-E01-00012.dat"_s
        << QStringList {u"/d"_s};
    QTest::newRow("no name; neither folder: the slice's")
        << QString() << u"E01"_s << 12 << SubFolderRule {true, false, false} << u"E01-00012.dat"_s
        << QStringList {u"/d/00012"_s};
    QTest::newRow("empty tag kept, slice folder")
        << u"ct"_s << QString() << 7 << SubFolderRule {true, false, true} << u"ct--00007.dat"_s
        << QStringList {u"/d/00007"_s};
    QTest::newRow("six digits, energy folder only")
        << u"ct"_s << u"E"_s << 123456 << SubFolderRule {true, true, false} << u"ct-E-123456.dat"_s
        << QStringList {u"/d/E"_s};
    QTest::newRow("both folders") << u"ct"_s << u"E01"_s << 7 << SubFolderRule {true, true, true}
                                  << u"ct-E01-00007.dat"_s << QStringList {u"/d/E01"_s, u"/d/00007"_s};
}

void TestCtImageFile::fileNamesAndFolders()
{
    QFETCH(QString, name);
    QFETCH(QString, tag);
    QFETCH(int, slice);
    QFETCH(SubFolderRule, rule);
    QFETCH(QString, file);
    QFETCH(QStringList, dirs);
    QCOMPARE(ctFileName(name, tag, sliceText(slice), u"dat"_s), file);
    QCOMPARE(targetDirs(u"/d"_s, tag, sliceText(slice), rule), dirs);
}

void TestCtImageFile::readsBackTheEngineValues_data()
{
    QTest::addColumn<Region>("region");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height"); // 0: refused
    QTest::newRow("the whole image") << Region {0, 0, 40, 40} << 40 << 40;
    QTest::newRow("a part, from 10.7") << Region {10.7, 3, 20.2, 9} << 11 << 6;
    QTest::newRow("larger than the image") << Region {-3, -2, 45, 41} << 48 << 43;
    QTest::newRow("one pixel") << Region {39, 0, 40, 1} << 1 << 1;
    // More than 16 · 64² pixels on a slice of 40: bound by memory, as data files are.
    QTest::newRow("far larger than a small slice") << Region {-130, -130, 170, 170} << 300 << 300;
    QTest::newRow("empty") << Region {5, 5, 5, 9} << 0 << 0;
    QTest::newRow("NaN") << Region {std::nan(""), 0, 10, 10} << 0 << 0;
    QTest::newRow("absurdly large") << Region {0, 0, 1e7, 1e7} << 0 << 0;
}

void TestCtImageFile::readsBackTheEngineValues()
{
    // Values as the engine computed them, rounded to float and nothing else: negative ones, large
    // ones, a NaN (no value window), and 0 outside the image.
    QFETCH(Region, region);
    QFETCH(int, width);
    QFETCH(int, height);
    const int n = 40;
    std::vector<double> image(static_cast<size_t>(n) * n);
    std::mt19937 rng(4);
    std::normal_distribution<double> values(0.0, 30.0);
    for (double &v : image)
        v = values(rng);
    image[5 * n + 12] = std::numeric_limits<double>::quiet_NaN();
    QString why;
    const QByteArray bytes = ctImageTiff(image, n, region, 12, &why);
    if (height == 0) {
        QVERIFY(bytes.isEmpty());
        QVERIFY(!why.isEmpty());
        return;
    }
    QVERIFY2(!bytes.isEmpty(), qPrintable(why));

    QTemporaryDir dir;
    const QString path = dir.filePath(u"slice.tif"_s);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
    QVERIFY(tif);
    uint32_t w = 0, h = 0;
    uint16_t bits = 0, format = 0, samples = 0;
    char *description = nullptr;
    QVERIFY(TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) && TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h));
    QVERIFY(
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits) && TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &format));
    QVERIFY(TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples));
    QVERIFY(TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &description));
    QCOMPARE(int(w), width);
    QCOMPARE(int(h), height);
    QCOMPARE(bits, uint16_t(32));
    QCOMPARE(format, uint16_t(SAMPLEFORMAT_IEEEFP));
    QCOMPARE(samples, uint16_t(1));
    QVERIFY(QByteArray(description).startsWith("slice 12, region x "));
    const int x0 = static_cast<int>(std::trunc(region.x0)), z0 = static_cast<int>(std::trunc(region.z0));
    std::vector<float> line(w);
    for (uint32_t row = 0; row < h; ++row) {
        QCOMPARE(TIFFReadScanline(tif, line.data(), row, 0), 1);
        for (uint32_t col = 0; col < w; ++col) {
            const int x = x0 + int(col), z = z0 + int(row);
            const bool inside = x >= 0 && x < n && z >= 0 && z < n;
            const float expected = inside ? static_cast<float>(image[static_cast<size_t>(z) * n + x]) : 0.0f;
            if (!(line[col] == expected || (std::isnan(line[col]) && std::isnan(expected))))
                QFAIL(qPrintable(
                    u"pixel (%1, %2): %3 instead of %4"_s.arg(x).arg(z).arg(line[col]).arg(expected)));
        }
    }
    TIFFClose(tif);
}

void TestCtImageFile::imagesReadBackAsTheyWere_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("png, encoded fast") << u"slice.png"_s;
    QTest::newRow("PNG in capitals") << u"slice.PNG"_s;
}

void TestCtImageFile::imagesReadBackAsTheyWere()
{
    // A noisy grey slice, as a reconstruction's picture is: the lossless formats give it back.
    QFETCH(QString, name);
    QImage image(301, 200, QImage::Format_Grayscale8);
    std::mt19937 rng(4);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.scanLine(y)[x] = uchar((x * 3 + y + int(rng() % 40)) & 0xff);
    // Whatever resolution the screen gave the picture, the file says 96 dpi: the window and the
    // command write the same bytes.
    image.setDotsPerMeterX(3937);
    image.setDotsPerMeterY(1234);
    QTemporaryDir dir;
    QString error;
    QVERIFY2(writeImageAtomically(dir.filePath(name), image, &error), qPrintable(error));
    const QImage back(dir.filePath(name));
    QCOMPARE(back.convertToFormat(QImage::Format_Grayscale8), image);
    QCOMPARE(back.dotsPerMeterX(), imageDotsPerMeter);
    QCOMPARE(back.dotsPerMeterY(), imageDotsPerMeter);
}

void TestCtImageFile::shortWriteNamesItsCause_data()
{
    QTest::addColumn<QString>("limit"); // what stops the write
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("cause");
    // A write that stops short sets no error: before, the message read "Unknown error".
    QTest::newRow("file size limit, small file") << u"fsize"_s << 3000 << u"File too large"_s;
    QTest::newRow("file size limit, large file") << u"fsize"_s << 200000 << u"File too large"_s;
    QTest::newRow("full disk, small file") << u"disk"_s << 3000 << u"No space left on device"_s;
    QTest::newRow("full disk, large file") << u"disk"_s << 200000 << u"No space left on device"_s;
}

void TestCtImageFile::shortWriteNamesItsCause()
{
    QFETCH(QString, limit);
    QFETCH(int, bytes);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    QString target = dir.path();
    bool mounted = false;
    rlimit old {};
    if (limit == u"disk"_s) {
        // A file system of 64 KiB, filled but for a little: needs the right to mount one.
        target = dir.filePath(u"small"_s);
        QVERIFY(QDir().mkpath(target));
        if (mount("tmpfs", QFile::encodeName(target).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("No small file system: mounting one needs the right to mount (root)");
        mounted = true;
        QFile filler(QDir(target).filePath(u"filler"_s));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        filler.write(QByteArray(62 * 1024, 'f'));
        filler.close();
    } else {
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 1000;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    QString error;
    const bool written
        = writeFileAtomically(QDir(target).filePath(u"slice.dat"_s), QByteArray(bytes, 'x'), &error);
    const QStringList left = QDir(target).entryList(QDir::Files);
    if (mounted)
        umount2(QFile::encodeName(target).constData(), MNT_DETACH);
    else
        setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(!written);
    QVERIFY2(error.contains(cause), qPrintable(error));
    QVERIFY(!left.contains(u"slice.dat"_s)); // nothing half-written under the file's name
}

void TestCtImageFile::unusableDirectoryIsFoundBeforeWriting_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<bool>("usable");
    QTest::newRow("a temporary folder") << QString() << true;
    QTest::newRow("a file, not a folder") << u"file"_s << false;
    QTest::newRow("missing") << u"missing/folder"_s << false;
    // No one, not even root, makes files in /proc.
    QTest::newRow("a folder that takes no files") << u"/proc"_s << false;
}

void TestCtImageFile::unusableDirectoryIsFoundBeforeWriting()
{
    QFETCH(QString, dir);
    QFETCH(bool, usable);
    QTemporaryDir base;
    QFile file(base.filePath(u"file"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString path = dir.startsWith(u'/') ? dir : base.filePath(dir);
    const QString problem = directoryWriteProblem(path);
    QCOMPARE(problem.isEmpty(), usable);
    if (!usable) {
        QVERIFY2(problem.contains(path), qPrintable(problem));
    } else { // a file written there is whole, its folders made, and nothing else left beside it
        const QByteArray bytes(300000, 'q');
        QString error;
        QVERIFY2(writeFileAtomically(path + u"/a/b/c.dat"_s, bytes, &error), qPrintable(error));
        QFile f(path + u"/a/b/c.dat"_s);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bytes);
        QCOMPARE(QDir(path + u"/a/b"_s).entryList(QDir::Files | QDir::Hidden), QStringList {u"c.dat"_s});
    }
    QCOMPARE(QDir(base.path()).entryList(QDir::Files | QDir::Hidden), QStringList {u"file"_s});
}

QTEST_APPLESS_MAIN(TestCtImageFile)
#include "tst_ctimagefile.moc"
