// Qt
#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "imagedata/tiffwriter.h"
#include "tests/common/debuglog.h"
#include "view3d/slicereaders.h"
#include "view3d/textfields.h"
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

class TestSliceReaders : public QObject
{
    Q_OBJECT
private slots:
    void fields_data();
    void fields();
    void numbers_data();
    void numbers();
    void ctGrid_data();
    void ctGrid();
    void ctHugeRegionIsNotAllocated();
    void xyvGrid_data();
    void xyvGrid();
    void refused_data();
    void refused();
    void rasterGreyAndColour();
    void readerChosenByContent_data();
    void readerChosenByContent();
    void tiffKeepsItsValues_data();
    void tiffKeepsItsValues();
    void tiffRefused();

private:
    QTemporaryDir dir_;
    QString write(const QString &name, const QByteArray &bytes);
};

QString TestSliceReaders::write(const QString &name, const QByteArray &bytes)
{
    const QString path = dir_.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write the test file");
    return path;
}

void TestSliceReaders::fields_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("commas");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("third");
    QTest::newRow("tabs") << "1\t2\t3.5"_ba << false << 3 << "3.5"_ba;
    QTest::newRow("runs and ends") << "  1 \t  2   x  \r"_ba << false << 3 << "x"_ba;
    QTest::newRow("commas kept") << "1,2,3"_ba << false << 1 << ""_ba;
    QTest::newRow("commas split") << "1,2,3"_ba << true << 3 << "3"_ba;
    QTest::newRow("comma and blank mix") << " 1 ,2, \t,3,"_ba << true << 3 << "3"_ba;
    QTest::newRow("blank") << " \t "_ba << true << 0 << ""_ba;
    QTest::newRow("more than kept") << "a b c d e f"_ba << false << 6 << "c"_ba;
}

void TestSliceReaders::fields()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, commas);
    QFETCH(int, count);
    QFETCH(QByteArray, third);
    const LineFields f = splitFields(std::string_view(line.constData(), line.size()), commas);
    QCOMPARE(f.count, count);
    if (count >= 3)
        QCOMPARE(QByteArray(f.field[2].data(), qsizetype(f.field[2].size())), third);
}

void TestSliceReaders::numbers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("integer");
    QTest::addColumn<double>("number");
    QTest::newRow("plain") << "42"_ba << 42 << 42.0;
    QTest::newRow("signs") << "+7"_ba << 7 << 7.0;
    QTest::newRow("negative") << "-13"_ba << -13 << -13.0;
    QTest::newRow("decimal point") << "10.5"_ba << 0 << 10.5;
    QTest::newRow("exponent") << "1e3"_ba << 0 << 1000.0;
    QTest::newRow("leading zeros") << "000000000012"_ba << 12 << 12.0;
    QTest::newRow("beyond 32 bits") << "2147483648"_ba << 0 << 2147483648.0;
    QTest::newRow("double sign") << "+-1"_ba << 0 << 0.0;
    QTest::newRow("text") << "abc"_ba << 0 << 0.0;
    QTest::newRow("trailing text") << "12abc"_ba << 0 << 0.0;
    QTest::newRow("empty") << ""_ba << 0 << 0.0;
    QTest::newRow("overflowing double") << "1e999"_ba << 0 << 0.0;
}

void TestSliceReaders::numbers()
{
    QFETCH(QByteArray, text);
    QFETCH(int, integer);
    QFETCH(double, number);
    const std::string_view field(text.constData(), text.size());
    QCOMPARE(fieldToInt(field), integer);
    QCOMPARE(fieldToDouble(field), number);
    // The same answers as the toolkit's own conversions of a field.
    QCOMPARE(fieldToInt(field), QString::fromLatin1(text).toInt());
}

void TestSliceReaders::ctGrid_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("nx");
    QTest::addColumn<QList<double>>("values"); // row after row
    QTest::addColumn<double>("min"); // of the values read, not of the grid
    QTest::addColumn<double>("max");
    // The header of a region 0 … 3 × 0 … 1 as the program writes it, values in tab-separated lines.
    QTest::newRow("as written") << "#QRVL-CTImg\n# Range_X0       : 0\n# Range_Y0       : 0\n"
                                   "# Range_X1       : 3\n# Range_Y1       : 1\n"
                                   "# sx,sy, ex,ey   : 0\t0\t3\t1\n"
                                   "0\t0\t10\n1\t0\t11\n2\t0\t12\n3\t0\t13\n"
                                   "0\t1\t20\n1\t1\t21\n2\t1\t22.5\n3\t1\t-4\n"_ba
                                << 4 << QList<double> {10, 11, 12, 13, 20, 21, 22.5, -4} << -4.0 << 22.5;
    // A region 10 … 13 × 20 … 21 makes a 4 × 2 grid, and x, y index it as written: the region's own
    // lines fall outside and are ignored, lines inside the grid land where they say. Short lines,
    // negative indices and a value that is no number change nothing or give 0.
    QTest::newRow("indices as written")
        << "#QRVL-CTImg\r\n# Range_X0       : 10\r\n# Range_Y0       : 20\r\n"
           "# Range_X1       : 13\r\n# Range_Y1       : 21\r\n"
           "10\t20\t5\r\n13  21   6\r\n1 1 7.25\r\n-1 0 99\r\n0 -1 99\r\n4 0 99\r\n0 2 99\r\n"
           "2 0\r\n3 0 x\r\n"_ba
        << 4 << QList<double> {0, 0, 0, 0, 0, 7.25, 0, 0} << 0.0 << 7.25;
    // "10.5" is not an integer: Range_X0 reads as 0 and the grid has X1 + 1 columns.
    QTest::newRow("header numbers are integers")
        << "#QRVL-CTImg\n# Range_X0 : 10.5\n# Range_Y0 : 20\n# Range_X1 : 11\n# Range_Y1 : 20\n"
           "# sx,sy, ex,ey : 10.5\t20\t11\t20\n10\t0\t1\n11\t0\t2\n"_ba
        << 12 << QList<double> {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2} << 1.0 << 2.0;
}

void TestSliceReaders::ctGrid()
{
    QFETCH(QByteArray, text);
    QFETCH(int, nx);
    QFETCH(QList<double>, values);
    QFETCH(double, min);
    QFETCH(double, max);
    const auto slice = readCtImgText(std::string_view(text.constData(), text.size()));
    QVERIFY(slice);
    QCOMPARE(slice->nx, nx);
    QCOMPARE(slice->ny, int(values.size()) / nx);
    QVERIFY(!slice->isImage);
    QCOMPARE(slice->values, std::vector<double>(values.cbegin(), values.cend()));
    QCOMPARE(slice->min, min);
    QCOMPARE(slice->max, max);
}

void TestSliceReaders::ctHugeRegionIsNotAllocated()
{
    const QByteArray text = "#QRVL-CTImg\n# Range_X1 : 2000000000\n# Range_Y1 : 2000000000\n0 0 1\n"_ba;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"too large.*2000000001 x 2000000001"_s));
    QVERIFY(!readCtImgText(std::string_view(text.constData(), text.size()), SliceReadLimits {1 << 20}));
}

void TestSliceReaders::xyvGrid_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("nx");
    QTest::addColumn<int>("ny");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<double>("value");
    const QByteArray head
        = "## 240301\n# Format1 : XYV\n# Format2 : SPACE-Separated\n# X-NUM 5\n# Y-NUM 3\n"_ba;
    QTest::newRow("X-NUM 5 gives rows of 4")
        << head + "0 0 1\n3 0 4\n0 1 5\n3 1 8.5\n"_ba << 4 << 2 << QPoint(3, 1) << 8.5;
    QTest::newRow("commas and blanks mixed")
        << head + "0,0,1\n1 0 2\n2, 0 ,3\n3\t,0,\t4\n1,,1 ,,6\n"_ba << 4 << 2 << QPoint(1, 1) << 6.0;
    QTest::newRow("origin from the first data line")
        << head + "10,20,1\n12,21,7\n"_ba << 4 << 2 << QPoint(2, 1) << 7.0;
    QTest::newRow("points beyond the grid ignored")
        << head + "10,20,1\n14,20,9\n9,20,9\n10,22,9\n13,21,3\n"_ba << 4 << 2 << QPoint(3, 1) << 3.0;
    QTest::newRow("blank lines skipped")
        << "## 240301\n# X-NUM 3\n\n# Y-NUM 3\n\n1 1 2\n2 2 5\n"_ba << 2 << 2 << QPoint(1, 1) << 5.0;
    QTest::newRow("header sizes after data lines")
        << "## 240301\n0 0 7\n# X-NUM 3\n# Y-NUM 2\n5 5 1\n6 5 2\n"_ba << 2 << 1 << QPoint(1, 0) << 2.0;
}

void TestSliceReaders::xyvGrid()
{
    QFETCH(QByteArray, text);
    QFETCH(int, nx);
    QFETCH(int, ny);
    QFETCH(QPoint, at);
    QFETCH(double, value);
    const auto slice = readXyvText(std::string_view(text.constData(), text.size()));
    QVERIFY(slice);
    QCOMPARE(slice->nx, nx);
    QCOMPARE(slice->ny, ny);
    QCOMPARE(slice->values.size(), size_t(nx) * ny);
    QCOMPARE(slice->value(at.x(), at.y()), value);
    QCOMPARE(slice->max, value);
}

void TestSliceReaders::refused_data()
{
    QTest::addColumn<bool>("xyv"); // else a CT image data file
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("one column at x = 0") << false
                                         << "#QRVL-CTImg\n# Range_X0 : 0\n# Range_Y0 : 0\n# Range_X1 : 0\n"
                                            "# Range_Y1 : 3\n0\t0\t1\n0\t1\t2\n"_ba;
    QTest::newRow("no header") << false << "#QRVL-CTImg\n0\t0\t1\n1\t0\t2\n"_ba;
    QTest::newRow("magic in lower case")
        << false << "#qrvl-ctimg\n# Range_X1 : 3\n# Range_Y1 : 3\n0 0 1\n"_ba;
    QTest::newRow("magic not first") << false << "\n#QRVL-CTImg\n# Range_X1 : 3\n# Range_Y1 : 3\n0 0 1\n"_ba;
    QTest::newRow("start beyond end")
        << false << "#QRVL-CTImg\n# Range_X0 : 9\n# Range_X1 : 3\n# Range_Y1 : 3\n0 0 1\n"_ba;
    QTest::newRow("header keys are case-sensitive")
        << false << "#QRVL-CTImg\n# range_x1 : 3\n# Range_Y1 : 3\n0 0 1\n"_ba;
    QTest::newRow("empty") << false << ""_ba;
    QTest::newRow("XYV: first data line of one field")
        << true << "## 240301\n# X-NUM 5\n# Y-NUM 3\n7\n0 0 1\n"_ba;
    QTest::newRow("XYV: X-NUM not an integer") << true << "## 240301\n# X-NUM 5.0\n# Y-NUM 3\n0 0 1\n"_ba;
    QTest::newRow("XYV: X-NUM of 1 (no columns)") << true << "## 240301\n# X-NUM 1\n# Y-NUM 3\n0 0 1\n"_ba;
    QTest::newRow("XYV: no sizes") << true << "## 240301\n0 0 1\n"_ba;
    QTest::newRow("XYV: size line with a fourth field")
        << true << "## 240301\n# X-NUM 5 x\n# Y-NUM 3\n0 0 1\n"_ba;
    QTest::newRow("XYV: other magic") << true << "## 240302\n# X-NUM 5\n# Y-NUM 3\n0 0 1\n"_ba;
    QTest::newRow("XYV: CT data file") << true << "#QRVL-CTImg\n# Range_X1 : 3\n# Range_Y1 : 1\n0 0 1\n"_ba;
}

void TestSliceReaders::refused()
{
    QFETCH(bool, xyv);
    QFETCH(QByteArray, text);
    const std::string_view view(text.constData(), text.size());
    QVERIFY(!(xyv ? readXyvText(view) : readCtImgText(view)));
}

void TestSliceReaders::rasterGreyAndColour()
{
    QImage grey(16, 16, QImage::Format_Grayscale8);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            grey.scanLine(y)[x] = static_cast<uchar>(y * 16 + x);
    const QString greyPath = dir_.filePath(u"grey.png"_s);
    QVERIFY(grey.save(greyPath));
    auto slice = readRasterSlice(greyPath);
    QVERIFY(slice);
    QVERIFY(slice->isImage);
    QCOMPARE(slice->nx, 16);
    QCOMPARE(slice->min, 0.0);
    QCOMPARE(slice->max, 255.0);
    QCOMPARE(slice->value(5, 3), 53.0);

    // A colour pixel counts by its lowest 8 bits, the blue channel.
    QImage colour(3, 2, QImage::Format_RGB32);
    colour.fill(qRgb(200, 100, 7));
    colour.setPixel(2, 1, qRgb(1, 2, 250));
    const QString colourPath = dir_.filePath(u"colour.png"_s);
    QVERIFY(colour.save(colourPath));
    slice = readRasterSlice(colourPath);
    QVERIFY(slice);
    QCOMPARE(slice->value(0, 0), 7.0);
    QCOMPARE(slice->value(2, 1), 250.0);
}

void TestSliceReaders::readerChosenByContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("image");
    QTest::addColumn<int>("nx");
    QByteArray png;
    {
        QImage img(5, 4, QImage::Format_Grayscale8);
        img.fill(3);
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        img.save(&buffer, "PNG");
    }
    const QByteArray ct = "#QRVL-CTImg\n# Range_X1 : 2\n# Range_Y1 : 1\n0 0 1\n"_ba;
    const QByteArray xyv = "## 240301\n# X-NUM 4\n# Y-NUM 2\n0,0,1\n"_ba;
    QTest::newRow("PNG named .dat") << u"image.dat"_s << png << true << true << 5;
    QTest::newRow("data file named .png") << u"data.png"_s << ct << true << false << 3;
    QTest::newRow("XYV file") << u"grid.txt"_s << xyv << true << false << 3;
    QTest::newRow("anything else") << u"notes.dat"_s << "hello\n"_ba << false << false << 0;
    QTest::newRow("empty file") << u"empty.dat"_s << QByteArray() << false << false << 0;
}

void TestSliceReaders::readerChosenByContent()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(bool, accepted);
    QFETCH(bool, image);
    QFETCH(int, nx);
    const QString path = write(name, contents);
    DebugLog log;
    const auto slice = readSliceFile(path);
    QCOMPARE(slice.has_value(), accepted);
    if (accepted) {
        QCOMPARE(slice->isImage, image);
        QCOMPARE(slice->nx, nx);
        // A slice that reads is read quietly: no reader that declined it complains (every data file
        // of a stack said "Unknown file type" before).
        QCOMPARE(log.messages(), QStringList());
    }
    QVERIFY(!readSliceFile(dir_.filePath(u"missing.dat"_s)));
}

void TestSliceReaders::tiffKeepsItsValues_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("isFloat");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<double>>("values"); // 3 x 2, row after row
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Slices as computed: small, negative, without an offset; a NaN stays in the grid, not the range.
    QTest::newRow("float") << 32 << true << u"s.tif"_s
                           << QList<double> {-0.00125, 0.0, 3.5e-7, 1.25e4, nan, -2.5};
    QTest::newRow("float named .dat, known by content")
        << 32 << true << u"s.dat"_s << QList<double> {1.5, 2.5, 3.5, 4.5, 5.5, 6.5};
    QTest::newRow("16-bit counts") << 16 << false << u"c.tiff"_s
                                   << QList<double> {0, 65535, 1234, 300, 256, 1};
    QTest::newRow("32-bit counts beyond float precision")
        << 32 << false << u"c.tif"_s << QList<double> {16777217, 4000000000, 0, 1, 2, 3};
    QTest::newRow("8-bit grey") << 8 << false << u"g.tif"_s << QList<double> {0, 255, 17, 18, 19, 20};
}

void TestSliceReaders::tiffKeepsItsValues()
{
    QFETCH(int, bits);
    QFETCH(bool, isFloat);
    QFETCH(QString, name);
    QFETCH(QList<double>, values);
    std::vector<float> floats;
    std::vector<uint32_t> counts;
    for (double v : values) {
        floats.push_back(float(v));
        counts.push_back(isFloat ? 0 : uint32_t(v)); // counts only where they are written
    }
    TiffImage image {3, 2, bits, isFloat, counts, floats};
    const QString path = dir_.filePath(name);
    QString error;
    QVERIFY2(writeTiffFile(path, image, &error), qPrintable(error));
    const auto slice = readSliceFile(path);
    QVERIFY(slice);
    QCOMPARE(slice->nx, 3);
    QCOMPARE(slice->ny, 2);
    double lo = std::numeric_limits<double>::max(), hi = -lo;
    for (int i = 0; i < 6; ++i) {
        const double expected = isFloat ? double(floats[size_t(i)]) : values[i];
        const double got = slice->value(i % 3, i / 3);
        if (std::isnan(expected)) {
            QVERIFY(std::isnan(got));
            continue;
        }
        QCOMPARE(got, expected);
        lo = std::min(lo, expected);
        hi = std::max(hi, expected);
    }
    QCOMPARE(slice->min, lo);
    QCOMPARE(slice->max, hi);
}

void TestSliceReaders::tiffRefused()
{
    const std::vector<float> values(64 * 64, 1.0f);
    const QString path = dir_.filePath(u"big.tif"_s);
    QVERIFY(writeTiffFile(path, TiffImage {64, 64, 32, true, {}, values}));
    // Beyond the limits: refused before anything is decoded.
    SliceReadLimits small;
    small.maxValues = 64 * 63;
    QTest::ignoreMessage(QtWarningMsg, "Slice grid too large in TIFF file : 64 x 64");
    QVERIFY(!readTiffSlice(path, small));
    // Cut short: the missing strips refuse the file instead of leaving rows of zeros.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.resize(f.size() / 2));
    f.close();
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const bool read = readTiffSlice(path).has_value();
    qInstallMessageHandler(previous);
    QVERIFY(!read);
}

QTEST_GUILESS_MAIN(TestSliceReaders)
#include "tst_slicereaders.moc"
