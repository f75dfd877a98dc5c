// Qt
#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

// Local
#include "ct/ctimagefile.h"
#include "ct/datasaver.h"
#include "ct/savenaming.h"
#include "imagedata/tiffwriter.h"
#include "tests/common/debuglog.h"
#include "view3d/slicedatas.h"
#include "view3d/slicehistogram.h"
#include "view3d/slicereaders.h"
#include "view3d/textfields.h"
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

using namespace Qt::StringLiterals;

/// The readers of slice files (the fields and numbers of a text line, CT image data, XYV, raster
/// and TIFF files) and the loader that stacks them on its thread.
class TestSliceDatas : public QObject
{
    Q_OBJECT
private slots:
    void fields_data();
    void fields();
    void numbers_data();
    void numbers();
    void ctGrid_data();
    void ctGrid();
    void xyvGrid_data();
    void xyvGrid();
    void refused_data();
    void refused();
    void readerChosenByContent_data();
    void readerChosenByContent();
    void tiffKeepsItsValues_data();
    void tiffKeepsItsValues();
    void refusedBeyondTheLimitsOrCutShort();
    void sizeRuleKeepsFileOrder_data();
    void sizeRuleKeepsFileOrder();
    void blockRanges();
    void histogramBins_data();
    void histogramBins();
    void histogramImage();
    void stackBeyondMemoryIsRefused();
    void loadsOnItsThreadInOrder();
    void roundTripThroughTheSaver_data();
    void roundTripThroughTheSaver();

private:
    QTemporaryDir dir_;
    QString write(const QString &name, const QByteArray &bytes);
    /// A CT image data file of nx × ny values, value(x, y) = base + x + 10·y (constant: base).
    QString ctFile(const QString &name, int nx, int ny, double base, bool constant = false);
    QStringList load(SliceDatas &datas, const QStringList &files);
};

QString TestSliceDatas::write(const QString &name, const QByteArray &bytes)
{
    const QString path = dir_.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write a test file");
    return path;
}

QString TestSliceDatas::ctFile(const QString &name, int nx, int ny, double base, bool constant)
{
    QByteArray text = "#QRVL-CTImg\n# Range_X0       : 0\n# Range_Y0       : 0\n";
    text += "# Range_X1       : " + QByteArray::number(nx - 1) + "\n";
    text += "# Range_Y1       : " + QByteArray::number(ny - 1) + "\n";
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            text += QByteArray::number(x) + '\t' + QByteArray::number(y) + '\t'
                + QByteArray::number(constant ? base : base + x + 10 * y) + '\n';
    return write(name, text);
}

QStringList TestSliceDatas::load(SliceDatas &datas, const QStringList &files)
{
    QSignalSpy loaded(&datas, &SliceDatas::loadedNewFile);
    QSignalSpy finished(&datas, &SliceDatas::loadFilesFinished);
    datas.filesSelected(files);
    if (finished.count() != 1)
        qFatal("a load reports its end once");
    QStringList names;
    for (const auto &args : loaded)
        names << args.at(0).toString();
    return names;
}

void TestSliceDatas::sizeRuleKeepsFileOrder_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QList<int>>("kept"); // indices into files
    QTest::addColumn<QSize>("size");
    const QString a = ctFile(u"a.dat"_s, 4, 3, 0), b = ctFile(u"b.dat"_s, 5, 3, 100),
                  c = ctFile(u"c.dat"_s, 4, 3, 50);
    const QString flat = ctFile(u"flat.dat"_s, 5, 3, 7, true), junk = dir_.filePath(u"junk.dat"_s);
    QFile(junk).open(QIODevice::WriteOnly);
    QTest::newRow("second of another size") << QStringList {a, b, c} << QList<int> {0, 2} << QSize(4, 3);
    QTest::newRow("unreadable first") << QStringList {junk, b, a} << QList<int> {1} << QSize(5, 3);
    // A constant slice is dropped, but as the first readable file it has fixed the size.
    QTest::newRow("constant first fixes the size")
        << QStringList {flat, a, b} << QList<int> {2} << QSize(5, 3);
    QTest::newRow("same file twice") << QStringList {c, c} << QList<int> {0, 1} << QSize(4, 3);
    QTest::newRow("no file selected") << QStringList {} << QList<int> {} << QSize();
    QTest::newRow("no usable file") << QStringList {junk, flat} << QList<int> {} << QSize();
}

void TestSliceDatas::sizeRuleKeepsFileOrder()
{
    QFETCH(QStringList, files);
    QFETCH(QList<int>, kept);
    QFETCH(QSize, size);
    SliceDatas datas;
    load(datas, {ctFile(u"before.dat"_s, 4, 4, 3)}); // replaced by every selection, even an empty one
    QSignalSpy cleared(&datas, &SliceDatas::cleared);
    QSignalSpy stacks(&datas, &SliceDatas::stackLoaded);
    const QStringList names = load(datas, files);
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(stacks.count(), 1);
    QStringList expected;
    for (int i : kept)
        expected << files[i];
    QCOMPARE(names, expected);
    const SliceStackPtr stack = datas.stack();
    QCOMPARE(stack->count(), int(kept.size()));
    if (kept.isEmpty()) {
        QVERIFY(!stack->loaded());
        QCOMPARE(stack->valueMin, 0.0);
        QCOMPARE(stack->valueMax, 1.0);
        QVERIFY(!stack->histogram.ready);
        return;
    }
    QCOMPARE(QSize(stack->nx, stack->ny), size);
    // Values in file order; the range covers every kept slice.
    double min = 1e300, max = -1e300;
    for (int k = 0; k < stack->count(); ++k) {
        const auto base = readCtImgFile(files[kept[k]]);
        QCOMPARE(stack->slices[size_t(k)].values, base->values);
        QVERIFY(stack->slices[size_t(k)].hasBlockRanges()); // the renderer's skipping is on
        min = std::min(min, base->min);
        max = std::max(max, base->max);
    }
    QCOMPARE(stack->valueMin, min);
    QCOMPARE(stack->valueMax, max);
    // The histogram is over all values of all kept slices, across their range.
    const SliceHistogram &h = stack->histogram;
    QVERIFY(h.ready);
    QCOMPARE(std::accumulate(h.counts.begin(), h.counts.end(), 0), stack->count() * stack->nx * stack->ny);
    QCOMPARE(h.binWidth, (max - min) / 49);
}

void TestSliceDatas::blockRanges()
{
    // 10 × 9: blocks of 8 × 8, 2 × 8, 8 × 1 and 2 × 1 values.
    SliceData s;
    s.makeGrid(10, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 10; ++x)
            s.values[size_t(y) * 10 + x] = x + 10 * y;
    const double inf = std::numeric_limits<double>::infinity();
    s.values[size_t(3) * 10 + 9] = std::nan(""); // no effect beside finite values
    s.values[size_t(2) * 10 + 8] = -inf; // infinities count: they are values
    s.values[size_t(8) * 10 + 8] = std::nan(""); // the last block: all NaN
    s.values[size_t(8) * 10 + 9] = std::nan("");
    s.summarizeBlocks();
    QVERIFY(s.hasBlockRanges());
    const std::vector<double> expected {0, 77, -inf, 79, 80, 87, inf, -inf};
    QCOMPARE(s.blockRanges, expected);
    s.makeGrid(17, 9); // a grid of another size does not match the ranges
    QVERIFY(!s.hasBlockRanges());
}

void TestSliceDatas::histogramBins_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QList<int>>("binOf"); // the bin each value falls into
    // Range 0 … 49 over 50 bins: width 1, bin k centred on k.
    QTest::newRow("rounded to the nearest centre")
        << QList<double> {0, 0.49, 0.5, 1.49, 25.5, 48.6, 49} << QList<int> {0, 0, 1, 1, 26, 49, 49};
    // Range −1 … 1: width 2/49; the last bin is centred on the maximum.
    QTest::newRow("last bin centred on the maximum")
        << QList<double> {-1, 1, 1 - 1.0 / 49, 1 - 0.9 / 49} << QList<int> {0, 49, 49, 49};
}

void TestSliceDatas::histogramBins()
{
    QFETCH(QList<double>, values);
    QFETCH(QList<int>, binOf);
    SliceData slice;
    slice.makeGrid(int(values.size()), 1);
    std::copy(values.begin(), values.end(), slice.values.begin());
    const double min = *std::min_element(values.begin(), values.end());
    const double max = *std::max_element(values.begin(), values.end());
    const SliceHistogram h = buildHistogram({slice}, min, max);
    QCOMPARE(h.bins, 50);
    QCOMPARE(h.binWidth, (max - min) / 49);
    std::vector<int> expected(50, 0);
    for (int b : binOf)
        ++expected[size_t(b)];
    QCOMPARE(h.counts, expected);
    QCOMPARE(h.countMax, double(*std::max_element(expected.begin(), expected.end())));
}

void TestSliceDatas::histogramImage()
{
    // Bin 0 holds 4 values, bin 49 two, bin 10 one: lines of 99, 49.5 and 24.75 rows above the
    // bottom row, cut to whole rows.
    SliceData slice;
    slice.makeGrid(8, 1);
    const double values[] = {0, 0, 0, 0, 10, 49, 49, std::nan("")};
    std::copy(std::begin(values), std::end(values), slice.values.begin());
    const SliceHistogram h = buildHistogram({slice}, 0, 49);
    QCOMPARE(h.counts[0], 4);
    QCOMPARE(h.counts[10], 1);
    QCOMPARE(h.counts[49], 2); // the NaN counts nowhere
    QCOMPARE(h.image.size(), QSize(50, 100));
    const QRgb pen = qRgb(0, 220, 160), white = qRgb(255, 255, 255);
    auto topOf = [&](int column) {
        int y = 0;
        while (y < h.height && (h.image.pixel(column, y) & 0xffffff) != (pen & 0xffffff))
            ++y;
        return y;
    };
    QCOMPARE(topOf(0), 0);
    QCOMPARE(topOf(49), int(std::trunc(99 - 2.0 / 4 * 99)));
    QCOMPARE(topOf(10), int(std::trunc(99 - 1.0 / 4 * 99)));
    QCOMPARE(topOf(5), 99); // an empty bin still marks the bottom row
    QCOMPARE(h.image.pixel(10, topOf(10) - 1), white);
    QCOMPARE(h.image.pixel(10, 99), pen);
}

void TestSliceDatas::stackBeyondMemoryIsRefused()
{
    SliceDatas datas;
    // Three files of 40 × 30 need 3 · (40 · 30 + 2 · 5 · 4) · 8 = 29760 bytes: the values and the
    // ranges of their blocks of 8 × 8.
    const QStringList files {
        ctFile(u"m1.dat"_s, 40, 30, 0), ctFile(u"m2.dat"_s, 40, 30, 1), ctFile(u"m3.dat"_s, 40, 30, 2)};
    datas.setMemoryLimit(29759);
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(u"Refused the slice stack: 3 files of 40 x 30 need 0 MB"_s));
    QVERIFY(load(datas, files).isEmpty());
    QVERIFY(!datas.stack()->loaded());
    datas.setMemoryLimit(29760);
    QCOMPARE(load(datas, files).size(), 3);
}

void TestSliceDatas::loadsOnItsThreadInOrder()
{
    // Many files read ahead on the pool still arrive in the order of the selection.
    QStringList files;
    for (int i = 0; i < 40; ++i)
        files << ctFile(u"t%1.dat"_s.arg(i), 32, 32, i * 3.0);
    QThread thread;
    auto *datas = new SliceDatas;
    datas->moveToThread(&thread);
    thread.start();
    QSignalSpy loaded(datas, &SliceDatas::loadedNewFile);
    QSignalSpy stacks(datas, &SliceDatas::stackLoaded);
    QSignalSpy finished(datas, &SliceDatas::loadFilesFinished);
    QMetaObject::invokeMethod(
        datas, [datas, files] { datas->filesSelected(files); }, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    QCOMPARE(loaded.count(), files.size());
    for (int i = 0; i < files.size(); ++i)
        QCOMPARE(loaded.at(i).at(0).toString(), files[i]);
    const auto stack = stacks.at(0).at(0).value<SliceStackPtr>();
    QCOMPARE(stack->count(), 40);
    QCOMPARE(stack->slices[39].min, 39 * 3.0);
    thread.quit();
    thread.wait();
    delete datas;
}

void TestSliceDatas::roundTripThroughTheSaver_data()
{
    // Where the saver puts the files for each sub-folder rule is the window's saving tests' concern;
    // here they all go into one folder.
    QTest::addColumn<bool>("images");
    QTest::addColumn<QRect>("region"); // columns and rows written
    QTest::newRow("data files") << false << QRect(0, 0, 24, 24);
    QTest::newRow("PNG images") << true << QRect(0, 0, 24, 24);
    // The grid has the region's size and is indexed by the x and z written: what lies beyond the
    // grid is not read back, what the region leaves out of it stays 0.
    QTest::newRow("region off the origin") << false << QRect(2, 3, 19, 16);
}

void TestSliceDatas::roundTripThroughTheSaver()
{
    QFETCH(bool, images);
    QFETCH(QRect, region);
    QTemporaryDir out;
    DataSaver saver;
    const int n = 24;
    const Region written0 {
        double(region.left()), double(region.top()), double(region.right() + 1), double(region.bottom() + 1)};
    const DataWindow window {5.0, -5.0, 10.0};
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> values(-7.0, 7.0);
    std::vector<std::vector<double>> written;
    std::vector<QImage> pictures;
    QStringList files;
    for (int k = 0; k < 3; ++k) {
        std::vector<double> image(size_t(n) * n);
        for (double &v : image)
            v = values(rng);
        written.push_back(image);
        const QString slice = sliceText(40 + k);
        if (images) {
            QImage grey(n, n, QImage::Format_Grayscale8);
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x)
                    grey.scanLine(y)[x] = uchar((x * 7 + y * 3 + k) % 256);
            pictures.push_back(grey);
            SavingImg record {out.path(), u"ct"_s, u"E01"_s, slice, grey};
            saver.saveImg(record);
        } else {
            SavingData record {
                out.path(), u"ct"_s, u"E01"_s, slice, ctImageDataText(image, n, written0, window)};
            saver.saveData(record);
        }
        files
            << QDir(out.path()).filePath(ctFileName(u"ct"_s, u"E01"_s, slice, images ? u"png"_s : u"dat"_s));
    }
    SliceDatas datas;
    QCOMPARE(load(datas, files), files);
    const SliceStackPtr stack = datas.stack();
    QCOMPARE(stack->count(), 3);
    for (int k = 0; k < 3; ++k) {
        const SliceData &s = stack->slices[size_t(k)];
        if (images) {
            QCOMPARE(QSize(s.nx, s.ny), QSize(n, n));
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x)
                    QCOMPARE(s.value(x, y), double(pictures[size_t(k)].pixelColor(x, y).blue()));
            continue;
        }
        // What was written: windowed, offset and cut to 6 digits.
        QCOMPARE(QSize(s.nx, s.ny), region.size());
        for (int y = 0; y < s.ny; ++y) {
            for (int x = 0; x < s.nx; ++x) {
                double expected = 0.0;
                if (region.contains(x, y)) {
                    double v = written[size_t(k)][size_t(y * n + x)];
                    v = (v >= window.lower && v <= window.upper ? v : 0.0) + window.offset;
                    expected = std::stod(formatG(v));
                }
                QCOMPARE(s.value(x, y), expected);
            }
        }
    }
}

void TestSliceDatas::fields_data()
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

void TestSliceDatas::fields()
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

void TestSliceDatas::numbers_data()
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

void TestSliceDatas::numbers()
{
    QFETCH(QByteArray, text);
    QFETCH(int, integer);
    QFETCH(double, number);
    const std::string_view field(text.constData(), text.size());
    QCOMPARE(fieldToInt(field), integer);
    QCOMPARE(fieldToDouble(field), number);
}

void TestSliceDatas::ctGrid_data()
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

void TestSliceDatas::ctGrid()
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

void TestSliceDatas::xyvGrid_data()
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

void TestSliceDatas::xyvGrid()
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

void TestSliceDatas::refused_data()
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

void TestSliceDatas::refused()
{
    QFETCH(bool, xyv);
    QFETCH(QByteArray, text);
    const std::string_view view(text.constData(), text.size());
    QVERIFY(!(xyv ? readXyvText(view) : readCtImgText(view)));
}

void TestSliceDatas::readerChosenByContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("image");
    QTest::addColumn<int>("nx");
    QTest::addColumn<double>("min"); // of the values read
    QTest::addColumn<double>("max");
    auto png = [](const QImage &image) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    };
    QImage grey(5, 4, QImage::Format_Grayscale8);
    grey.fill(3);
    // A colour pixel counts by its lowest 8 bits, the blue channel. (Grey pictures are read back
    // pixel by pixel in the saver's round trip.)
    QImage colour(3, 2, QImage::Format_RGB32);
    colour.fill(qRgb(200, 100, 7));
    colour.setPixel(2, 1, qRgb(1, 2, 250));
    const QByteArray ct = "#QRVL-CTImg\n# Range_X1 : 2\n# Range_Y1 : 1\n0 0 1\n"_ba;
    const QByteArray xyv = "## 240301\n# X-NUM 4\n# Y-NUM 2\n0,0,1\n"_ba;
    QTest::newRow("PNG named .dat") << u"image.dat"_s << png(grey) << true << true << 5 << 3.0 << 3.0;
    QTest::newRow("colour PNG") << u"colour.png"_s << png(colour) << true << true << 3 << 7.0 << 250.0;
    QTest::newRow("data file named .png") << u"data.png"_s << ct << true << false << 3 << 1.0 << 1.0;
    QTest::newRow("XYV file") << u"grid.txt"_s << xyv << true << false << 3 << 1.0 << 1.0;
    QTest::newRow("anything else") << u"notes.dat"_s << "hello\n"_ba << false << false << 0 << 0.0 << 0.0;
    QTest::newRow("empty file") << u"empty.dat"_s << QByteArray() << false << false << 0 << 0.0 << 0.0;
}

void TestSliceDatas::readerChosenByContent()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(bool, accepted);
    QFETCH(bool, image);
    QFETCH(int, nx);
    QFETCH(double, min);
    QFETCH(double, max);
    const QString path = write(name, contents);
    DebugLog log;
    const auto slice = readSliceFile(path);
    QCOMPARE(slice.has_value(), accepted);
    if (accepted) {
        QCOMPARE(slice->isImage, image);
        QCOMPARE(slice->nx, nx);
        QCOMPARE(slice->min, min);
        QCOMPARE(slice->max, max);
        // A slice that reads is read quietly: no reader that declined it complains (every data file
        // of a stack said "Unknown file type" before).
        QCOMPARE(log.messages(), QStringList());
    }
    QVERIFY(!readSliceFile(dir_.filePath(u"missing.dat"_s)));
}

void TestSliceDatas::tiffKeepsItsValues_data()
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

void TestSliceDatas::tiffKeepsItsValues()
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

void TestSliceDatas::refusedBeyondTheLimitsOrCutShort()
{
    // A grid beyond the limits is refused before anything is allocated or decoded.
    const QByteArray text = "#QRVL-CTImg\n# Range_X1 : 2000000000\n# Range_Y1 : 2000000000\n0 0 1\n"_ba;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"too large.*2000000001 x 2000000001"_s));
    QVERIFY(!readCtImgText(std::string_view(text.constData(), text.size()), SliceReadLimits {1 << 20}));
    const std::vector<float> values(64 * 64, 1.0f);
    const QString path = dir_.filePath(u"big.tif"_s);
    QVERIFY(writeTiffFile(path, TiffImage {64, 64, 32, true, {}, values}));
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

QTEST_GUILESS_MAIN(TestSliceDatas)
#include "tst_slicedatas.moc"
