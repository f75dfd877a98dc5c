// Qt
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "ct/ctimagetiff.h"
#include <cmath>
#include <limits>
#include <random>
#include <tiffio.h>
#include <vector>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Region)

class TestCtImageTiff : public QObject
{
    Q_OBJECT
private slots:
    void readsBackTheEngineValues_data();
    void readsBackTheEngineValues();
    void refusesWhatCannotBeAnImage_data();
    void refusesWhatCannotBeAnImage();
};

void TestCtImageTiff::readsBackTheEngineValues_data()
{
    QTest::addColumn<Region>("region");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("the whole image") << Region {0, 0, 40, 40} << 40 << 40;
    QTest::newRow("a part, from 10.7") << Region {10.7, 3, 20.2, 9} << 11 << 6;
    QTest::newRow("larger than the image") << Region {-3, -2, 45, 41} << 48 << 43;
    QTest::newRow("one pixel") << Region {39, 0, 40, 1} << 1 << 1;
    // More than 16 · 64² pixels on a slice of 40: bound by memory, as data files are.
    QTest::newRow("far larger than a small slice") << Region {-130, -130, 170, 170} << 300 << 300;
}

void TestCtImageTiff::readsBackTheEngineValues()
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

void TestCtImageTiff::refusesWhatCannotBeAnImage_data()
{
    QTest::addColumn<Region>("region");
    QTest::newRow("empty") << Region {5, 5, 5, 9};
    QTest::newRow("NaN") << Region {std::nan(""), 0, 10, 10};
    QTest::newRow("absurdly large") << Region {0, 0, 1e7, 1e7};
}

void TestCtImageTiff::refusesWhatCannotBeAnImage()
{
    QFETCH(Region, region);
    const std::vector<double> image(64 * 64, 1.0);
    QString why;
    QVERIFY(ctImageTiff(image, 64, region, 1, &why).isEmpty());
    QVERIFY(!why.isEmpty());
}

QTEST_APPLESS_MAIN(TestCtImageTiff)
#include "tst_ctimagetiff.moc"
