// Qt
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "ct/sgmgeometry.h"
#include "ct/sinogramcache.h"
#include "ct/sinogramgen.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/projectionset.h"
#include "imagedata/transmission.h"
#include "tests/imagedata/numitexfile.h"
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

/// Sinograms from a set of projections.
class TestSinogramGen : public QObject
{
    Q_OBJECT
private slots:
    void resampleBetweenPixels();
    void corAtTheEdgesLeavesTheSinogram_data();
    void corAtTheEdgesLeavesTheSinogram();
    void usingImagesIsBoundByTheSet_data();
    void usingImagesIsBoundByTheSet();
    void columnsForAHorizontalAxis();
    void blockEqualsTheDefinition_data();
    void blockEqualsTheDefinition();
    void cacheServesOnlyItsOwnBlock();
    void i0NotAboveBg_data();
    void i0NotAboveBg();

private:
    // Image k has pixel (x, y) = 1000 + 10·k + x + 100·y (16-bit).
    void makeSet(int count, int w, int h);
    QTemporaryDir dir_;
    ProjectionSet set_;
};

void TestSinogramGen::makeSet(int count, int w, int h)
{
    set_ = ProjectionSet();
    set_.width = w;
    set_.height = h;
    for (int k = 0; k < count; ++k) {
        const auto pixel = [k](int x, int y) { return 1000 + 10 * k + x + 100 * y; };
        set_.images.push_back(openImgData(writeItexImage(dir_.filePath(u"p%1.img"_s.arg(k)), w, h, pixel)));
        QVERIFY(set_.images.back());
    }
}

void TestSinogramGen::resampleBetweenPixels()
{
    std::vector<double> line(2048);
    for (size_t i = 0; i < line.size(); ++i)
        line[i] = double(i * i);
    const SgmGeometry g = makeSgmGeometry(true, 2048, 1000.5);
    std::vector<double> out(static_cast<size_t>(g.width));
    resampleLine(line, out, g);
    QCOMPARE(out[999], (1000.0 * 1000.0 + 1001.0 * 1001.0) / 2.0); // the sample on the axis
    QCOMPARE(out[0], (1.0 + 4.0) / 2.0);
    QCOMPARE(out[1998], (1999.0 * 1999.0 + 2000.0 * 2000.0) / 2.0);

    // A grid that would reach past the line is refused, never read out of bounds.
    std::vector<double> shortLine(100, 1.0), sink(1999, -5.0);
    resampleLine(shortLine, sink, g);
    QCOMPARE(sink[0], -5.0);
}

void TestSinogramGen::corAtTheEdgesLeavesTheSinogram_data()
{
    // On lines of 10 pixels: the half width and sinogram width of the centre, and what comes of it.
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("slice");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("half");
    QTest::addColumn<int>("width");
    const int generated = int(SinogramStatus::Generated), outside = int(SinogramStatus::CorOutOfRange);
    QTest::newRow("cor 4.5") << 4.5 << 1 << generated << 4 << 7;
    QTest::newRow("cor 6: bound by the right") << 6.0 << 1 << generated << 3 << 5;
    QTest::newRow("cor 1.0: one sample") << 1.0 << 1 << generated << 1 << 1;
    QTest::newRow("cor 0.999") << 0.999 << 1 << outside << 0 << -1;
    QTest::newRow("cor 0.7") << 0.7 << 1 << outside << 0 << -1;
    QTest::newRow("cor 9.2") << 9.2 << 1 << outside << -1 << -3;
    // Between L − 2 and L − 1 the centre lies inside the line but leaves no sample on its right. Once
    // an allocation of (2·0 − 1) · rows samples, and the program aborted.
    QTest::newRow("cor 8.5") << 8.5 << 1 << outside << 0 << -1;
    QTest::newRow("cor 8.01") << 8.01 << 1 << outside << 0 << -1;
    QTest::newRow("cor 8: the last one") << 8.0 << 1 << generated << 1 << 1;
    QTest::newRow("cor infinite") << std::numeric_limits<double>::infinity() << 1 << outside << 0 << 0;
    QTest::newRow("cor NaN") << std::nan("") << 1 << outside << 0 << 0;
    QTest::newRow("slice -1") << 4.0 << -1 << int(SinogramStatus::SliceOutOfRange) << 4 << 7;
    QTest::newRow("slice past the image") << 4.0 << 3 << int(SinogramStatus::SliceOutOfRange) << 4 << 7;
}

void TestSinogramGen::corAtTheEdgesLeavesTheSinogram()
{
    QFETCH(double, cor);
    QFETCH(int, slice);
    QFETCH(int, status);
    QFETCH(int, half);
    QFETCH(int, width);
    QCOMPARE(corInsideLine(cor, 10), status != int(SinogramStatus::CorOutOfRange));
    if (std::isfinite(cor)) {
        const SgmGeometry g = makeSgmGeometry(true, 10, cor);
        QCOMPARE(g.half, half);
        QCOMPARE(g.width, width);
    }
    makeSet(3, 10, 3);
    SinogramData s;
    QCOMPARE(genSinogram0(s, set_, {true, 4.5, 0, false, 0, 0}), SinogramStatus::Generated);
    const SinogramData before = s;
    QCOMPARE(int(genSinogram0(s, set_, {true, cor, slice, false, 0, 0})), status);
    if (status == int(SinogramStatus::Generated)) {
        QCOMPARE(s.width, width);
        QCOMPARE(s.rawRow(2)[half - 1], 1000.0 + 10 * 2 + cor + 100); // column half − 1 is the CoR
        return;
    }
    QVERIFY(!sinogramProblem(SinogramStatus(status), set_, {true, cor, slice, false, 0, 0}).isEmpty());
    QCOMPARE(s.raw, before.raw);
    QCOMPARE(s.att, before.att);
    QCOMPARE(s.sliceNo, before.sliceNo);
}

void TestSinogramGen::usingImagesIsBoundByTheSet_data()
{
    // A partial data set of the 12 images: its start and count, the rows made and the image of the
    // first row.
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("usingImages");
    QTest::addColumn<int>("rows"); // −1: refused, 0: none
    QTest::addColumn<int>("first");
    QTest::newRow("all of them from 0") << 0 << 12 << 12 << 0;
    QTest::newRow("all of them, wrapping") << 5 << 12 << 12 << 5;
    QTest::newRow("negative: its magnitude") << 5 << -12 << 12 << 5;
    QTest::newRow("wrapping round the end") << 10 << 7 << 7 << 10;
    QTest::newRow("a start after the last image: from image 0") << 12 << -3 << 3 << 0;
    QTest::newRow("a negative start: from image 0") << -1 << 3 << 3 << 0;
    QTest::newRow("one too many") << 0 << 13 << -1 << 0;
    QTest::newRow("one too many, negative") << 0 << -13 << -1 << 0;
    // Once an allocation of 2·10⁹ rows, and the program aborted.
    QTest::newRow("two thousand million") << 0 << 2000000000 << -1 << 0;
    QTest::newRow("the smallest int") << 3 << std::numeric_limits<int>::min() << -1 << 0;
    QTest::newRow("no image used") << 0 << 0 << 0 << 0;
}

void TestSinogramGen::usingImagesIsBoundByTheSet()
{
    QFETCH(int, start);
    QFETCH(int, usingImages);
    QFETCH(int, rows);
    QFETCH(int, first);
    makeSet(12, 10, 3);
    SinogramData s;
    QCOMPARE(genSinogram0(s, set_, {true, 4.0, 1, false, 0, 0}), SinogramStatus::Generated);
    const SinogramRequest request {true, 4.5, 1, true, start, usingImages};
    const SinogramStatus status = genSinogram0(s, set_, request);
    if (rows < 0) {
        QCOMPARE(status, SinogramStatus::TooManyImages);
        QCOMPARE(s.height, 12); // the earlier sinogram stays
        QCOMPARE(s.width, 2 * 4 - 1);
        QVERIFY(sinogramProblem(status, set_, request).contains(u"12 images loaded"_s));
        return;
    }
    if (rows == 0) { // nothing to make a sinogram of, as from a set without images
        QCOMPARE(status, SinogramStatus::NoProjections);
        QVERIFY(!s.hasData());
        ProjectionSet empty = set_;
        empty.images.clear();
        QCOMPARE(genSinogram0(s, empty, {true, 4.0, 1, false, 0, 0}), SinogramStatus::NoProjections);
        return;
    }
    QCOMPARE(status, SinogramStatus::Generated);
    QCOMPARE(s.height, rows);
    for (int k = 0; k < rows; ++k) // column half − 1 is the CoR
        QCOMPARE(s.rawRow(k)[3], 1000.0 + 10 * ((first + k) % 12) + 4.5 + 100);
}

void TestSinogramGen::columnsForAHorizontalAxis()
{
    makeSet(2, 5, 9);
    SinogramData s;
    // Slice = column 3, line along y (length 9), CoR 4.25: half = ⌊min(4.25, 3.75)⌋ = 3.
    QCOMPARE(genSinogram0(s, set_, {false, 4.25, 3, false, 0, 0}), SinogramStatus::Generated);
    QCOMPARE(s.width, 2 * 3 - 1);
    // Column half − 1 = 2 samples y = 4.25: between rows 4 and 5.
    QCOMPARE(s.rawRow(1)[2], 1000.0 + 10 + 3 + 100 * 4.25);
}

void TestSinogramGen::blockEqualsTheDefinition_data()
{
    QTest::addColumn<bool>("rowLines");
    QTest::addColumn<int>("bytes"); // per pixel
    QTest::addColumn<bool>("references"); // I0 and BG images
    QTest::addColumn<bool>("partial");
    QTest::addColumn<double>("cor");
    QTest::addColumn<QList<int>>("slices");
    const QList<int> block {3, 4, 5, 6, 7, 8, 9, 10};
    QTest::newRow("columns, I0/BG") << false << 2 << true << false << 17.3 << block;
    QTest::newRow("columns, none") << false << 2 << false << false << 17.3 << block;
    QTest::newRow("columns, partial, 32-bit")
        << false << 4 << true << true << 20.0 << QList<int> {0, 2, 4, 6};
    QTest::newRow("columns, scattered, one outside")
        << false << 2 << true << false << 11.75 << QList<int> {22, 1, 40, 9, 22};
    QTest::newRow("rows, I0/BG") << true << 2 << true << false << 12.6 << QList<int> {5, 6, 7};
    QTest::newRow("rows, partial, none") << true << 2 << false << true << 12.6 << QList<int> {0, 30};
    QTest::newRow("one slice") << false << 2 << true << false << 17.3 << QList<int> {12};
}

void TestSinogramGen::blockEqualsTheDefinition()
{
    // Every slice of a block against the generator written out from its definition (slice line,
    // resampling, then the attenuation of each sample): the same bits. The counts straddle the dark
    // level, the flat field lies below it in places, and patches of equal counts make both differences
    // exactly 0, so every branch of the correction is taken.
    QFETCH(bool, rowLines);
    QFETCH(int, bytes);
    QFETCH(bool, references);
    QFETCH(bool, partial);
    QFETCH(double, cor);
    QFETCH(QList<int>, slices);
    const int w = 26, h = 37, count = 9;
    std::mt19937 rng(static_cast<unsigned>(w * h + slices.size()));
    std::uniform_int_distribution<uint32_t> counts(0, bytes == 2 ? 3000 : 3000000);
    // Patches of equal counts in every image: I − BG = 0, I0 − BG = 0.
    const auto pixel = [&](int x, int y) { return (x / 4 + y / 4) % 3 == 0 ? 500 : counts(rng); };
    // The flat field above the dark level but in the patches and on every seventh diagonal, where it may
    // lie below: less than half of any line, which would fail the slice.
    const uint32_t above = bytes == 2 ? 3001 : 3000001;
    const auto flat = [&](int x, int y) {
        return pixel(x, y) + ((x + y) % 7 == 0 || (x / 4 + y / 4) % 3 == 0 ? 0 : above);
    };
    auto writeImage = [&](const QString &name, auto values) {
        return openImgData(writeItexImage(dir_.filePath(name), w, h, values, bytes));
    };
    ProjectionSet set;
    set.width = w;
    set.height = h;
    for (int k = 0; k < count; ++k)
        set.images.push_back(writeImage(u"b%1.img"_s.arg(k), pixel));
    if (references) {
        set.i0 = writeImage(u"bi0.img"_s, flat);
        set.bg = writeImage(u"bbg.img"_s, pixel);
    }
    const SinogramRequest request {rowLines, cor, 0, partial, 6, 5}; // partial: images 6, 7, 8, 0, 1

    std::vector<SinogramData> block(static_cast<size_t>(slices.size()));
    const std::vector<int> list(slices.begin(), slices.end());
    const std::vector<SinogramStatus> status = genSinograms(block, set, request, list);
    QCOMPARE(status.size(), block.size());
    const int L = rowLines ? w : h;
    for (size_t b = 0; b < block.size(); ++b) {
        const int slice = list[b];
        if (slice >= (rowLines ? h : w)) {
            QCOMPARE(status[b], SinogramStatus::SliceOutOfRange);
            QVERIFY(!block[b].hasData());
            continue;
        }
        QCOMPARE(status[b], SinogramStatus::Generated);
        const SgmGeometry g = makeSgmGeometry(rowLines, L, cor);
        std::vector<double> line(static_cast<size_t>(L)), i0(g.width, 1.0), bg(g.width, 0.0), raw(g.width);
        if (references) {
            readSliceLine(*set.i0, rowLines, slice, line.data());
            resampleLine(line, i0, g);
            readSliceLine(*set.bg, rowLines, slice, line.data());
            resampleLine(line, bg, g);
        }
        const std::vector<int> images
            = partial ? std::vector<int> {6, 7, 8, 0, 1} : std::vector<int> {0, 1, 2, 3, 4, 5, 6, 7, 8};
        const SinogramData &s = block[b];
        QCOMPARE(s.sliceNo, slice);
        QCOMPARE(s.width, g.width);
        QCOMPARE(s.height, int(images.size()));
        for (size_t k = 0; k < images.size(); ++k) {
            readSliceLine(*set.images[images[k]], rowLines, slice, line.data());
            resampleLine(line, raw, g);
            for (int i = 0; i < g.width; ++i) {
                // Bit for bit: QCOMPARE would compare doubles fuzzily.
                if (!(s.rawRow(k)[i] == raw[i] && s.attRow(k)[i] == attenuation(i0[i], bg[i], raw[i])))
                    QFAIL(qPrintable(QString::asprintf(
                        "slice %d, row %zu, sample %d: %.17g, %.17g instead of %.17g, %.17g", slice, k, i,
                        s.rawRow(k)[i], s.attRow(k)[i], raw[i], attenuation(i0[i], bg[i], raw[i]))));
            }
        }
        // Without the raw values the attenuation is the same.
        SinogramData attOnly;
        const int one = slice;
        genSinograms(
            std::span<SinogramData>(&attOnly, 1), set, request, std::span<const int>(&one, 1), false);
        QVERIFY(attOnly.raw.empty());
        QVERIFY(attOnly.att == s.att);
    }
}

void TestSinogramGen::cacheServesOnlyItsOwnBlock()
{
    makeSet(3, 12, 6);
    const ProjectionSet a = set_;
    SinogramRequest request {false, 2.5, 4, false, 0, 0};
    auto alone = [&](const ProjectionSet &set, int slice) {
        SinogramData s;
        SinogramRequest r = request;
        r.slice = slice;
        genSinogram0(s, set, r);
        return s.att;
    };
    SinogramCache cache;
    const std::vector<int> block {4, 5, 6};
    const std::uint64_t first = newSinogramBlockId();
    QCOMPARE(cache.take(a, request, block, first), SinogramStatus::Generated);
    QVERIFY(cache.current().att == alone(a, 4));
    QVERIFY(cache.current().raw.empty()); // a worker needs no raw values
    QCOMPARE(cache.kept(), 2);
    request.slice = 6; // out of order
    QCOMPARE(cache.take(a, request, block, first), SinogramStatus::Generated);
    QVERIFY(cache.current().att == alone(a, 6));
    QCOMPARE(cache.kept(), 1);

    // Another data set under another block number: slice 5 is built anew, not taken from the cache.
    makeSet(3, 12, 6);
    set_.images[1]
        = openImgData(writeItexImage(dir_.filePath(u"other.img"_s), 12, 6, [](int, int) { return 777; }));
    QVERIFY(set_.images[1]);
    request.slice = 5;
    const std::uint64_t second = newSinogramBlockId();
    QVERIFY(second != first);
    QCOMPARE(cache.take(set_, request, std::vector<int> {5, 7}, second), SinogramStatus::Generated);
    QVERIFY(cache.current().att == alone(set_, 5));
    QVERIFY(cache.current().att != alone(a, 5));
    // The next slice of that block, built with the memory of the sinograms handed over before.
    request.slice = 7;
    QCOMPARE(cache.take(set_, request, std::vector<int> {5, 7}, second), SinogramStatus::Generated);
    QVERIFY(cache.current().att == alone(set_, 7));
    cache.release();
    QCOMPARE(cache.kept(), 0);
    QVERIFY(cache.current().att.empty());
    // A slice without a block: built alone, and nothing kept.
    QCOMPARE(cache.take(set_, request, {}, 0), SinogramStatus::Generated);
    QVERIFY(cache.current().att == alone(set_, 7));
    QCOMPARE(cache.kept(), 0);
    // Outside the image: reported, as the generator does.
    request.slice = 12;
    QCOMPARE(cache.take(set_, request, std::vector<int> {11, 12}, newSinogramBlockId()),
        SinogramStatus::SliceOutOfRange);
}

void TestSinogramGen::i0NotAboveBg_data()
{
    // Lines of 20 pixels, the axis at 10: the sinogram's 17 samples are pixels 2 … 18. The I0 image
    // is `low` below column `below`, 1000 from it on; BG `bg` everywhere (none when negative).
    QTest::addColumn<int>("below");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("bg");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<int>("clamped"); // samples said in the warning; 0: no warning
    QTest::newRow("I0 above BG") << 0 << 0 << 100 << false << 0;
    QTest::newRow("I0 all zero") << 20 << 0 << 100 << true << 0;
    QTest::newRow("BG above every count") << 0 << 0 << 5000 << true << 0;
    QTest::newRow("I0 equal to BG") << 20 << 100 << 100 << true << 0;
    QTest::newRow("below BG at two samples") << 4 << 50 << 100 << false << 2;
    QTest::newRow("below BG at half the samples and one") << 11 << 50 << 100 << true << 0;
    QTest::newRow("below BG at half the samples but one") << 10 << 50 << 100 << false << 8;
    QTest::newRow("I0 alone, all zero") << 20 << 0 << -1 << true << 0;
}

void TestSinogramGen::i0NotAboveBg()
{
    QFETCH(int, below);
    QFETCH(int, low);
    QFETCH(int, bg);
    QFETCH(bool, fails);
    QFETCH(int, clamped);
    makeSet(6, 20, 4);
    set_.i0 = openImgData(writeItexImage(
        dir_.filePath(u"ni0.img"_s), 20, 4, [&](int x, int) { return x < below ? low : 1000; }));
    if (bg >= 0)
        set_.bg
            = openImgData(writeItexImage(dir_.filePath(u"nbg.img"_s), 20, 4, [&](int, int) { return bg; }));
    const SinogramRequest request {true, 10.0, 2};
    if (clamped > 0)
        QTest::ignoreMessage(QtWarningMsg,
            qPrintable(u"I0 is not above BG at %1 pixels of the lines of slice 2: their attenuation is taken "
                       "against 1"_s.arg(clamped)));
    QTest::failOnWarning(QRegularExpression(u"I0 is not above BG"_s));
    SinogramData s;
    const SinogramStatus status = genSinogram0(s, set_, request);
    QCOMPARE(status, fails ? SinogramStatus::I0NotAboveBg : SinogramStatus::Generated);
    QCOMPARE(s.hasData(), !fails);
    if (fails)
        QVERIFY(sinogramProblem(status, set_, request)
                    .startsWith(u"I0 is not above BG: check the I0 and BG images"_s));
    else // where I0 is above BG, ln((I0 − BG)/(I − BG)); image 0's pixel (x, 2) is 1200 + x
        QCOMPARE(s.attRow(0)[16], std::log((1000.0 - std::max(bg, 0)) / (1218.0 - std::max(bg, 0))));
}

QTEST_APPLESS_MAIN(TestSinogramGen)
#include "tst_sinogramgen.moc"
