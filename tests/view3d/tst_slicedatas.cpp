// Qt
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

// Local
#include "ct/ctimagefile.h"
#include "ct/datasaver.h"
#include "ct/savenaming.h"
#include "view3d/slicedatas.h"
#include "view3d/slicehistogram.h"
#include "view3d/slicereaders.h"
#include <cmath>
#include <random>

using namespace Qt::StringLiterals;

class TestSliceDatas : public QObject
{
    Q_OBJECT
private slots:
    void sizeRuleKeepsFileOrder_data();
    void sizeRuleKeepsFileOrder();
    void noFileClearsAndFinishes_data();
    void noFileClearsAndFinishes();
    void blockRanges();
    void histogramBins_data();
    void histogramBins();
    void histogramImage();
    void histogramOfTheStack();
    void stackBeyondMemoryIsRefused();
    void loadsOnItsThreadInOrder();
    void destroyedWhileLoading();
    void roundTripThroughTheSaver_data();
    void roundTripThroughTheSaver();

private:
    QTemporaryDir dir_;
    /// A CT image data file of nx × ny values, value(x, y) = base + x + 10·y (constant: base).
    QString ctFile(const QString &name, int nx, int ny, double base, bool constant = false);
    QStringList load(SliceDatas &datas, const QStringList &files);
};

QString TestSliceDatas::ctFile(const QString &name, int nx, int ny, double base, bool constant)
{
    QByteArray text = "#QRVL-CTImg\n# Range_X0       : 0\n# Range_Y0       : 0\n";
    text += "# Range_X1       : " + QByteArray::number(nx - 1) + "\n";
    text += "# Range_Y1       : " + QByteArray::number(ny - 1) + "\n";
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            text += QByteArray::number(x) + '\t' + QByteArray::number(y) + '\t'
                + QByteArray::number(constant ? base : base + x + 10 * y) + '\n';
    const QString path = dir_.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        qFatal("cannot write a test file");
    return path;
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
}

void TestSliceDatas::sizeRuleKeepsFileOrder()
{
    QFETCH(QStringList, files);
    QFETCH(QList<int>, kept);
    QFETCH(QSize, size);
    SliceDatas datas;
    QSignalSpy cleared(&datas, &SliceDatas::cleared);
    const QStringList names = load(datas, files);
    QCOMPARE(cleared.count(), 1);
    QStringList expected;
    for (int i : kept)
        expected << files[i];
    QCOMPARE(names, expected);
    const SliceStackPtr stack = datas.stack();
    QCOMPARE(stack->count(), int(kept.size()));
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
    QVERIFY(stack->histogram.ready);
}

void TestSliceDatas::noFileClearsAndFinishes_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::newRow("no file selected") << QStringList {};
    QTest::newRow("no usable file") << QStringList {
        dir_.filePath(u"missing.dat"_s), ctFile(u"flat2.dat"_s, 3, 3, 1, true)};
}

void TestSliceDatas::noFileClearsAndFinishes()
{
    QFETCH(QStringList, files);
    SliceDatas datas;
    load(datas, {ctFile(u"before.dat"_s, 4, 4, 3)});
    QCOMPARE(datas.stack()->count(), 1);
    QSignalSpy cleared(&datas, &SliceDatas::cleared);
    QSignalSpy stacks(&datas, &SliceDatas::stackLoaded);
    QVERIFY(load(datas, files).isEmpty());
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(stacks.count(), 1);
    const SliceStackPtr stack = datas.stack();
    QVERIFY(!stack->loaded());
    QCOMPARE(stack->valueMin, 0.0);
    QCOMPARE(stack->valueMax, 1.0);
    QVERIFY(!stack->histogram.ready);
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
    auto topOf = [&h, pen](int column) {
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

void TestSliceDatas::histogramOfTheStack()
{
    // Over all values of all slices: two 4 × 3 slices of 0 … 23 and 50 … 73.
    SliceDatas datas;
    load(datas, {ctFile(u"h1.dat"_s, 4, 3, 0), ctFile(u"h2.dat"_s, 4, 3, 50)});
    const SliceHistogram &h = datas.stack()->histogram;
    int total = 0;
    for (int c : h.counts)
        total += c;
    QCOMPARE(total, 24);
    QCOMPARE(h.counts.front(), 1); // only the 0; the maximum 73 alone in the last bin
    QCOMPARE(h.counts.back(), 1);
    QCOMPARE(h.binWidth, 73.0 / 49);
}

void TestSliceDatas::stackBeyondMemoryIsRefused()
{
    SliceDatas datas;
    // Three files of 40 × 30 need 3 · (40 · 30 + 2 · 5 · 4) · 8 = 29760 bytes: the values and the
    // ranges of their blocks of 8 × 8.
    const QStringList files {
        ctFile(u"m1.dat"_s, 40, 30, 0), ctFile(u"m2.dat"_s, 40, 30, 1), ctFile(u"m3.dat"_s, 40, 30, 2)};
    datas.setMemoryLimit(20000);
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(u"Refused the slice stack: 3 files of 40 x 30 need 0 MB"_s));
    QVERIFY(load(datas, files).isEmpty());
    QVERIFY(!datas.stack()->loaded());
    datas.setMemoryLimit(29759);
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(u"Refused the slice stack: 3 files of 40 x 30 need 0 MB"_s));
    QVERIFY(load(datas, files).isEmpty());
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

void TestSliceDatas::destroyedWhileLoading()
{
    QStringList files;
    const QString one = ctFile(u"big.dat"_s, 256, 256, 1);
    for (int i = 0; i < 200; ++i)
        files << one;
    QThread thread;
    auto *datas = new SliceDatas;
    datas->moveToThread(&thread);
    thread.start();
    QSignalSpy loaded(datas, &SliceDatas::loadedNewFile);
    QMetaObject::invokeMethod(
        datas, [datas, files] { datas->filesSelected(files); }, Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 20000);
    datas->abort();
    thread.quit();
    QVERIFY(thread.wait(20000));
    QVERIFY(loaded.count() < files.size());
    delete datas;
}

void TestSliceDatas::roundTripThroughTheSaver_data()
{
    QTest::addColumn<bool>("subFolders");
    QTest::addColumn<bool>("ofEnergy");
    QTest::addColumn<bool>("ofSlice");
    QTest::addColumn<bool>("images");
    QTest::addColumn<QRect>("region"); // columns and rows written
    const QRect whole(0, 0, 24, 24);
    QTest::newRow("flat") << false << false << true << false << whole;
    QTest::newRow("slice folders") << true << false << true << false << whole;
    QTest::newRow("energy folder") << true << true << false << false << whole;
    QTest::newRow("both folders") << true << true << true << false << whole;
    QTest::newRow("PNG images") << true << false << true << true << whole;
    // The grid has the region's size and is indexed by the x and z written: what lies beyond the
    // grid is not read back, what the region leaves out of it stays 0.
    QTest::newRow("region off the origin") << false << false << true << false << QRect(2, 3, 19, 16);
}

void TestSliceDatas::roundTripThroughTheSaver()
{
    QFETCH(bool, subFolders);
    QFETCH(bool, ofEnergy);
    QFETCH(bool, ofSlice);
    QFETCH(bool, images);
    QFETCH(QRect, region);
    const SubFolderRule rule {subFolders, ofEnergy, ofSlice};
    QTemporaryDir out;
    DataSaver saver;
    saver.setSubFolderRule(rule);
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
            saver.saveImg(&record);
            files << QDir(targetDirs(out.path(), u"E01"_s, slice, rule).last())
                         .filePath(ctFileName(u"ct"_s, u"E01"_s, slice, u"png"_s));
        } else {
            SavingData record {
                out.path(), u"ct"_s, u"E01"_s, slice, ctImageDataText(image, n, written0, window)};
            saver.saveData(&record);
            files << QDir(targetDirs(out.path(), u"E01"_s, slice, rule).last())
                         .filePath(ctFileName(u"ct"_s, u"E01"_s, slice, u"dat"_s));
        }
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

QTEST_GUILESS_MAIN(TestSliceDatas)
#include "tst_slicedatas.moc"
