// Qt
#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/recon/reconoptions.h"
#include "app/recon/reconrun.h"
#include "imagedata/itexwriter.h"
#include "tools/phantom/phantom.h"
#include <algorithm>
#include <cmath>
#include <tiffio.h>
#include <vector>

using namespace Qt::StringLiterals;

class TestRecon : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void badArguments_data();
    void badArguments();
    void sliceLists_data();
    void sliceLists();
    void reconstructsACylinder();
    void threadsDoNotChangeTheFiles();
    void subFoldersBoth();
    void tiffHoldsTheComputedValues();
    void ringRemovalOnlyWhenAsked();
    void blocksOfColumnsGiveTheFilesOfSingleSlices_data();
    void blocksOfColumnsGiveTheFilesOfSingleSlices();
    void refusesMismatchedInputs_data();
    void refusesMismatchedInputs();
    void largeRegionOnASmallImage();
    void refusesUnusableCountsBeforeComputing_data();
    void refusesUnusableCountsBeforeComputing();

private:
    int run(const QStringList &args, QString *out = nullptr);
    QTemporaryDir data_;
    QString projections_;
};

void TestRecon::initTestCase()
{
    // A cylinder of 0.02 per pixel, radius 12, 6 pixels off the axis, on a 64-pixel detector with the
    // rotation axis vertical at x = 32; no noise.
    Phantom cylinder;
    cylinder.parts.push_back({6, 0, 0, 12, 12, 100, 0.0, 0.02});
    ScanSetup setup;
    setup.width = 64;
    setup.height = 8;
    setup.cor = 32;
    setup.projections = 90;
    setup.noise = 0;
    projections_ = data_.filePath(u"proj"_s);
    QVERIFY(writeScan(
        cylinder, setup, projections_, u"p"_s, data_.filePath(u"i0.img"_s), data_.filePath(u"bg.img"_s)));
}

int TestRecon::run(const QStringList &args, QString *out)
{
    ReconOptions options;
    QString error;
    if (!parseReconOptions(args, options, error))
        return 2;
    QString text, errors;
    QTextStream o(&text), e(&errors);
    const int code = ReconRun(options, o, e).exec();
    if (out)
        *out = text + errors;
    return code;
}

void TestRecon::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no folder") << QStringList {};
    QTest::newRow("axis") << QStringList {u"d"_s, u"--axis"_s, u"x"_s};
    QTest::newRow("cor") << QStringList {u"d"_s, u"--cor"_s, u"middle"_s};
    QTest::newRow("slices") << QStringList {u"d"_s, u"--slices"_s, u"5"_s};
    QTest::newRow("slice and slices") << QStringList {u"d"_s, u"--slice"_s, u"5"_s, u"--slices"_s, u"1:2"_s};
    QTest::newRow("region") << QStringList {u"d"_s, u"--region"_s, u"0,0,10"_s};
    QTest::newRow("sub-folders") << QStringList {u"d"_s, u"--sub-folders"_s, u"all"_s};
    QTest::newRow("threads 0") << QStringList {u"d"_s, u"--threads"_s, u"0"_s};
    QTest::newRow("nothing to write") << QStringList {u"d"_s, u"--no-png"_s, u"--no-data"_s};
    QTest::newRow("unknown option") << QStringList {u"d"_s, u"--colour"_s};
    // Names and tags that would place files outside --out.
    QTest::newRow("name going up") << QStringList {u"d"_s, u"--name"_s, u"../../x"_s};
    QTest::newRow("tag with a separator") << QStringList {u"d"_s, u"--tag"_s, u"a/b"_s};
    QTest::newRow("tag going up") << QStringList {
        u"d"_s, u"--tag"_s, u".."_s, u"--sub-folders"_s, u"energy"_s};
    QTest::newRow("name with a backslash") << QStringList {u"d"_s, u"--name"_s, u"a\\b"_s};
    // Numbers that parse but cannot be computed with.
    QTest::newRow("region whose pixel count overflows")
        << QStringList {u"d"_s, u"--region"_s, u"0,0,4294967296,4294967296"_s};
    QTest::newRow("region not a number") << QStringList {u"d"_s, u"--region"_s, u"0,0,nan,10"_s};
    QTest::newRow("region upside down") << QStringList {u"d"_s, u"--region"_s, u"10,0,5,10"_s};
    QTest::newRow("partial count -2^31") << QStringList {u"d"_s, u"--partial"_s, u"0:-2147483648"_s};
    QTest::newRow("partial count 0") << QStringList {u"d"_s, u"--partial"_s, u"0:0"_s};
    QTest::newRow("partial count beyond 32 bits") << QStringList {u"d"_s, u"--partial"_s, u"0:4294967296"_s};
    QTest::newRow("partial start negative") << QStringList {u"d"_s, u"--partial"_s, u"-1:10"_s};
    QTest::newRow("slices from nan") << QStringList {u"d"_s, u"--slices"_s, u"nan:1"_s};
    QTest::newRow("slices to inf") << QStringList {u"d"_s, u"--slices"_s, u"1:inf"_s};
    QTest::newRow("slices step 2^32") << QStringList {u"d"_s, u"--slices"_s, u"0:10:4294967296"_s};
    QTest::newRow("slices not whole") << QStringList {u"d"_s, u"--slices"_s, u"0:10.5"_s};
    QTest::newRow("slices negative") << QStringList {u"d"_s, u"--slices"_s, u"-3:10"_s};
    QTest::newRow("slice negative") << QStringList {u"d"_s, u"--slice"_s, u"-1"_s};
    QTest::newRow("range nan") << QStringList {u"d"_s, u"--range"_s, u"nan"_s};
    QTest::newRow("angle origin inf") << QStringList {u"d"_s, u"--angle-origin"_s, u"inf"_s};
    QTest::newRow("cor nan") << QStringList {u"d"_s, u"--cor"_s, u"nan"_s};
    QTest::newRow("cor -inf") << QStringList {u"d"_s, u"--cor"_s, u"-inf"_s};
    QTest::newRow("upper nan") << QStringList {u"d"_s, u"--upper"_s, u"nan"_s};
    QTest::newRow("offset inf") << QStringList {u"d"_s, u"--offset"_s, u"inf"_s};
    QTest::newRow("colour range nan") << QStringList {u"d"_s, u"--color-range"_s, u"nan,1"_s};
    QTest::newRow("threads 2·10^9") << QStringList {u"d"_s, u"--threads"_s, u"2000000000"_s};
    QTest::newRow("rings: unknown method") << QStringList {u"d"_s, u"--rings"_s, u"rings"_s};
    QTest::newRow("rings: even window") << QStringList {u"d"_s, u"--rings"_s, u"all:large=60"_s};
    QTest::newRow("rings: snr out of range") << QStringList {u"d"_s, u"--rings"_s, u"sort:snr=0"_s};
}

void TestRecon::badArguments()
{
    QFETCH(QStringList, args);
    ReconOptions options;
    QString error;
    QVERIFY(!parseReconOptions(args, options, error));
    QVERIFY(!error.isEmpty());
}

void TestRecon::sliceLists_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("step");
    QTest::addColumn<QList<int>>("slices");
    QTest::newRow("10..20 step 5") << 10 << 20 << 5 << QList<int> {10, 15, 20};
    QTest::newRow("20..10 step 5") << 20 << 10 << 5 << QList<int> {20, 15, 10};
    QTest::newRow("negative step upwards") << 0 << 3 << -2 << QList<int> {0, 2};
    QTest::newRow("step 0 reads as 1") << 4 << 6 << 0 << QList<int> {4, 5, 6};
    QTest::newRow("from = to") << 7 << 7 << 3 << QList<int> {7};
    QTest::newRow("step -2^31 near the top")
        << 2147483640 << 2147483647 << int(-2147483647 - 1) << QList<int> {2147483640};
    QTest::newRow("up to 2^31 - 1") << 2147483645 << 2147483647 << 1
                                    << QList<int> {2147483645, 2147483646, 2147483647};
}

void TestRecon::sliceLists()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, step);
    QFETCH(QList<int>, slices);
    QCOMPARE(sliceList(from, to, step), slices);
}

void TestRecon::reconstructsACylinder()
{
    QTemporaryDir out;
    QString text;
    QCOMPARE(run({projections_, u"--i0"_s, data_.filePath(u"i0.img"_s), u"--bg"_s,
                     data_.filePath(u"bg.img"_s), u"--axis"_s, u"v"_s, u"--cor"_s, u"32"_s, u"--slices"_s,
                     u"2:4:2"_s, u"--out"_s, out.path(), u"--name"_s, u"cyl"_s, u"--tag"_s, u"E1"_s},
                 &text),
        0);
    QVERIFY2(text.startsWith(u"centre of rotation: 32\n"_s), qPrintable(text));
    QVERIFY(text.contains(u"wrote "_s + out.filePath(u"cyl-E1-00002.dat"_s)));
    QVERIFY(text.contains(u"progress: 2/2 slices"_s));
    // Every progress line says the time left; the last one that nothing is left.
    const QRegularExpression progress(u"^progress: (\\d)/2 slices, [0-9.]+ s elapsed, (\\d+:\\d\\d) left$"_s,
        QRegularExpression::MultilineOption);
    QStringList lefts;
    for (auto it = progress.globalMatch(text); it.hasNext();)
        lefts << it.next().captured(2);
    QCOMPARE(lefts.size(), 2);
    QCOMPARE(lefts.last(), u"0:00"_s);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files),
        QStringList(
            {u"cyl-E1-00002.dat"_s, u"cyl-E1-00002.png"_s, u"cyl-E1-00004.dat"_s, u"cyl-E1-00004.png"_s}));

    // half = ⌊min(32, 64 − 32 − 1)⌋ = 31, so N = 60 with the axis at 30: the cylinder's centre is
    // pixel (36, 30) and holds 2μ + offset.
    QFile f(out.filePath(u"cyl-E1-00004.dat"_s));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 6 + 60 * 60 + 1);
    const QList<QByteArray> centre = lines[6 + 30 * 60 + 36].split('\t');
    QCOMPARE(centre[0], QByteArray("36"));
    QCOMPARE(centre[1], QByteArray("30"));
    // A disk of a fifth of N comes out some per cent low (no zero padding in the ramp filter).
    const double ratio = (centre[2].toDouble() - 10) / (2 * 0.02);
    QVERIFY2(ratio > 0.88 && ratio < 1.02, centre[2].constData());
    const QImage png(out.filePath(u"cyl-E1-00004.png"_s));
    QCOMPARE(png.size(), QSize(60, 60));
    QVERIFY(qGray(png.pixel(36, 30)) > 200);
}

void TestRecon::threadsDoNotChangeTheFiles()
{
    QTemporaryDir one, two;
    const QStringList common {
        projections_, u"--axis"_s, u"v"_s, u"--cor"_s, u"guess"_s, u"--slices"_s, u"0:7"_s};
    QCOMPARE(run(common + QStringList {u"--threads"_s, u"1"_s, u"--out"_s, one.path()}), 0);
    QCOMPARE(run(common + QStringList {u"--threads"_s, u"2"_s, u"--out"_s, two.path()}), 0);
    const QStringList files = QDir(one.path()).entryList(QDir::Files);
    QCOMPARE(files.size(), 16);
    for (const QString &name : files) {
        QFile a(one.filePath(name)), b(two.filePath(name));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY2(a.readAll() == b.readAll(), qPrintable(name));
    }
}

void TestRecon::blocksOfColumnsGiveTheFilesOfSingleSlices_data()
{
    QTest::addColumn<QString>("slices");
    QTest::addColumn<int>("threads");
    QTest::addColumn<QString>("rings");
    QTest::newRow("one block") << u"10:25"_s << 1 << u"off"_s;
    QTest::newRow("falling, step 3, two workers") << u"40:22:3"_s << 2 << u"off"_s;
    QTest::newRow("small blocks at the end") << u"50:53"_s << 3 << u"off"_s;
    // Each sinogram of a block has its stripes taken out once, as a single slice's would.
    QTest::newRow("ring removal, two workers") << u"12:21"_s << 2 << u"all"_s;
}

void TestRecon::blocksOfColumnsGiveTheFilesOfSingleSlices()
{
    // With the axis horizontal the slices are image columns, and a worker builds the sinograms of
    // its block of slices in one pass: the files must be those of the slices run one at a time.
    QFETCH(QString, slices);
    QFETCH(int, threads);
    QFETCH(QString, rings);
    static QTemporaryDir scan;
    static bool written = false;
    if (!written) {
        Phantom cylinder;
        cylinder.parts.push_back({6, 0, 0, 12, 12, 100, 0.0, 0.02});
        ScanSetup setup;
        setup.axisVertical = false;
        setup.width = 64;
        setup.height = 40;
        setup.cor = 20;
        setup.projections = 30;
        setup.faults.gains = {{15, 1.03}, {26, 0.97}};
        QVERIFY(writeScan(cylinder, setup, scan.filePath(u"p"_s), u"p"_s, scan.filePath(u"i0.img"_s),
            scan.filePath(u"bg.img"_s)));
        written = true;
    }
    const QStringList common {scan.filePath(u"p"_s), u"--axis"_s, u"h"_s, u"--cor"_s, u"19.6"_s, u"--i0"_s,
        scan.filePath(u"i0.img"_s), u"--bg"_s, scan.filePath(u"bg.img"_s), u"--rings"_s, rings};
    QTemporaryDir blocks, single;
    QCOMPARE(run(common
                 + QStringList {u"--slices"_s, slices, u"--threads"_s, QString::number(threads), u"--out"_s,
                     blocks.path()}),
        0);
    const QStringList files = QDir(blocks.path()).entryList(QDir::Files);
    QVERIFY(!files.isEmpty());
    for (const QString &name : files) {
        if (!name.endsWith(u".dat"_s))
            continue;
        const QString slice = QString::number(name.section(u'-', -1).section(u'.', 0, 0).toInt());
        QCOMPARE(run(common + QStringList {u"--slice"_s, slice, u"--out"_s, single.path()}), 0);
        for (const QString &kind : {u".dat"_s, u".png"_s}) {
            const QString file = name.section(u'.', 0, 0) + kind;
            QFile a(blocks.filePath(file)), b(single.filePath(file));
            QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            QVERIFY2(a.readAll() == b.readAll(), qPrintable(file));
        }
    }
}

void TestRecon::tiffHoldsTheComputedValues()
{
    // The float TIFF holds what the data file holds before its window and offset: with a window that
    // lets everything through and no offset, the same numbers to the data file's six digits; and
    // another window or offset does not change it.
    QTemporaryDir plain, shifted;
    const QStringList common {projections_, u"--axis"_s, u"v"_s, u"--cor"_s, u"32"_s, u"--slice"_s, u"4"_s,
        u"--region"_s, u"5,7,50,40"_s, u"--tiff"_s, u"--no-png"_s, u"--tag"_s, u"t"_s};
    QCOMPARE(run(common
                 + QStringList {u"--upper"_s, u"1e9"_s, u"--lower"_s, u"-1e9"_s, u"--offset"_s, u"0"_s,
                     u"--out"_s, plain.path()}),
        0);
    QCOMPARE(run(common + QStringList {u"--upper"_s, u"0.01"_s, u"--out"_s, shifted.path()}), 0);
    QFile a(plain.filePath(u"t-00004.tif"_s)), b(shifted.filePath(u"t-00004.tif"_s));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll(), b.readAll());
    a.close();

    TIFF *tif = TIFFOpen(a.fileName().toLocal8Bit().constData(), "r");
    QVERIFY(tif);
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    QCOMPARE(QSize(int(w), int(h)), QSize(45, 33)); // the region's size
    std::vector<float> pixels(size_t(w) * h);
    for (uint32_t row = 0; row < h; ++row)
        QCOMPARE(TIFFReadScanline(tif, pixels.data() + size_t(row) * w, row, 0), 1);
    TIFFClose(tif);
    QFile dat(plain.filePath(u"t-00004.dat"_s));
    QVERIFY(dat.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = dat.readAll().split('\n');
    int nonZero = 0;
    for (qsizetype i = 6; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split('\t');
        if (f.size() != 3)
            continue;
        const int x = f[0].toInt() - 5, z = f[1].toInt() - 7;
        const double value = f[2].toDouble();
        const float stored = pixels[size_t(z) * w + x];
        nonZero += stored != 0.0f;
        QVERIFY2(std::abs(stored - value) <= 1e-5 * std::max(1e-3, std::abs(value)), f[2].constData());
    }
    QVERIFY(nonZero > 500);
}

namespace {

std::vector<float> tiffValues(const QString &path)
{
    std::vector<float> pixels;
    TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!tif)
        return pixels;
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    pixels.resize(size_t(w) * h);
    for (uint32_t row = 0; row < h; ++row)
        TIFFReadScanline(tif, pixels.data() + size_t(row) * w, row, 0);
    TIFFClose(tif);
    return pixels;
}

double rmsDifference(const std::vector<float> &a, const std::vector<float> &b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        sum += double(a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum / std::max<size_t>(a.size(), 1));
}

} // namespace

void TestRecon::ringRemovalOnlyWhenAsked()
{
    // The cylinder scanned with noise, once by a sound detector and once with three columns off by
    // 3 % and a dead one. Without --rings, and with "--rings off", the files are the same bytes; with
    // "--rings all" the slice comes much closer to the sound detector's.
    QTemporaryDir scans;
    Phantom cylinder;
    cylinder.parts.push_back({6, 0, 0, 12, 12, 100, 0.0, 0.02});
    ScanSetup setup;
    setup.width = 64;
    setup.height = 8;
    setup.cor = 32;
    setup.projections = 90;
    setup.flatNoise = 0.0;
    for (const char *kind : {"sound", "faulty"}) {
        if (QByteArray(kind) == "faulty") {
            setup.faults.gains = {{14, 1.03}, {27, 0.97}, {40, 1.03}};
            setup.faults.dead = {22};
        }
        const QString dir = scans.filePath(QString::fromLatin1(kind));
        QVERIFY(writeScan(cylinder, setup, dir + u"/p"_s, u"p"_s, dir + u"/i0.img"_s, dir + u"/bg.img"_s));
    }
    const auto common = [&](const char *kind) {
        const QString dir = scans.filePath(QString::fromLatin1(kind));
        return QStringList {dir + u"/p"_s, u"--i0"_s, dir + u"/i0.img"_s, u"--bg"_s, dir + u"/bg.img"_s,
            u"--axis"_s, u"v"_s, u"--cor"_s, u"32"_s, u"--slice"_s, u"4"_s, u"--tiff"_s, u"--no-png"_s,
            u"--tag"_s, u"t"_s};
    };
    QTemporaryDir sound, plain, off, all;
    QString printed;
    QCOMPARE(run(common("sound") + QStringList {u"--out"_s, sound.path()}), 0);
    QCOMPARE(run(common("faulty") + QStringList {u"--out"_s, plain.path()}), 0);
    QCOMPARE(
        run(common("faulty") + QStringList {u"--rings"_s, u"off"_s, u"--out"_s, off.path()}, &printed), 0);
    QVERIFY(!printed.contains(u"ring removal"_s));
    QCOMPARE(
        run(common("faulty") + QStringList {u"--rings"_s, u"all"_s, u"--out"_s, all.path()}, &printed), 0);
    QVERIFY2(printed.contains(u"ring removal: all snr=3 large=31 small=21"_s), qPrintable(printed));
    for (const QString &name : {u"t-00004.dat"_s, u"t-00004.tif"_s}) {
        QFile a(plain.filePath(name)), b(off.filePath(name));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(a.readAll(), b.readAll());
    }
    const std::vector<float> truth = tiffValues(sound.filePath(u"t-00004.tif"_s));
    QVERIFY(!truth.empty());
    const double before = rmsDifference(tiffValues(off.filePath(u"t-00004.tif"_s)), truth);
    const double after = rmsDifference(tiffValues(all.filePath(u"t-00004.tif"_s)), truth);
    QVERIFY2(after * 3 < before, qPrintable(u"%1 before, %2 after"_s.arg(before).arg(after)));
}

void TestRecon::subFoldersBoth()
{
    QTemporaryDir out;
    QCOMPARE(run({projections_, u"--axis"_s, u"v"_s, u"--slice"_s, u"3"_s, u"--out"_s, out.path(), u"--tag"_s,
                 u"E7"_s, u"--sub-folders"_s, u"both"_s, u"--no-png"_s}),
        0);
    QVERIFY(QFile::exists(out.filePath(u"E7/E7-00003.dat"_s)));
    QVERIFY(QFile::exists(out.filePath(u"00003/E7-00003.dat"_s)));
    QVERIFY(!QFile::exists(out.filePath(u"00003/E7-00003.png"_s)));
}

void TestRecon::refusesMismatchedInputs_data()
{
    QTest::addColumn<QString>("problem");
    QTest::newRow("projection of another size") << u"size"_s;
    QTest::newRow("I0 of another size") << u"i0"_s;
    QTest::newRow("centre of rotation at the edge") << u"cor"_s;
    QTest::newRow("slice outside") << u"slice"_s;
    QTest::newRow("no matching file") << u"pattern"_s;
    // Between L − 2 and L − 1: inside the line, but no sample on the right of the axis.
    QTest::newRow("centre of rotation between the last two pixels") << u"cor62"_s;
    QTest::newRow("partial set of more images than loaded") << u"partial"_s;
    QTest::newRow("guess without a facing image") << u"guess"_s;
    // Found before any slice is computed (before, each file failed after its slice).
    QTest::newRow("output folder that takes no files") << u"out"_s;
}

void TestRecon::refusesMismatchedInputs()
{
    QFETCH(QString, problem);
    QTemporaryDir dir, out;
    for (const QString &name : QDir(projections_).entryList(QDir::Files))
        QVERIFY(QFile::copy(QDir(projections_).filePath(name), dir.filePath(name)));
    const std::vector<uint32_t> px(32 * 8, 1000);
    QStringList args {dir.path(), u"--axis"_s, u"v"_s, u"--out"_s, out.filePath(u"o"_s)};
    if (problem == u"size"_s) {
        QVERIFY(writeItexFile(dir.filePath(u"p0045b.img"_s), {32, 8, 2, 1.0, px}));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(u"^Mismatch image size"_s));
    } else if (problem == u"i0"_s) {
        QVERIFY(writeItexFile(out.filePath(u"i0.img"_s), {32, 8, 2, 1.0, px}));
        args << u"--i0"_s << out.filePath(u"i0.img"_s);
    } else if (problem == u"cor"_s) {
        args << u"--cor"_s << u"0.5"_s;
    } else if (problem == u"slice"_s) {
        args << u"--slices"_s << u"4:8"_s;
    } else if (problem == u"cor62"_s) {
        args << u"--cor"_s << u"62.5"_s;
    } else if (problem == u"partial"_s) {
        args << u"--partial"_s << u"3:91"_s;
    } else if (problem == u"guess"_s) {
        args << u"--cor"_s << u"guess"_s << u"--partial"_s << u"10:80"_s;
    } else if (problem == u"out"_s) {
        args[4] = u"/proc"_s; // exists, but no one makes files there
    } else {
        args << u"*.tif"_s;
    }
    QString text;
    QCOMPARE(run(args, &text), 1);
    QVERIFY(text.contains(u"quorvel-recon: "_s));
    QVERIFY2(!text.contains(u"progress:"_s), qPrintable(text)); // refused before any slice is computed
    QVERIFY(!QFileInfo::exists(out.filePath(u"o"_s))); // nothing written
}

void TestRecon::largeRegionOnASmallImage()
{
    // A centre of rotation 12 pixels from the edge gives N = 22; a data file of a 300 × 300 region
    // (more than 16·64² lines) was refused, and the command wrote no data file and exited 1.
    QTemporaryDir out;
    QString text;
    QCOMPARE(run({projections_, u"--axis"_s, u"v"_s, u"--cor"_s, u"12"_s, u"--slice"_s, u"3"_s, u"--region"_s,
                     u"0,0,300,300"_s, u"--out"_s, out.path(), u"--no-png"_s},
                 &text),
        0);
    QFile dat(out.filePath(u"ct-00003.dat"_s));
    QVERIFY2(dat.open(QIODevice::ReadOnly), qPrintable(text));
    QCOMPARE(dat.readAll().count('\n'), 6 + 300 * 300);
    // A region no memory could hold is a failed write: a message and exit status 1.
    QCOMPARE(run({projections_, u"--axis"_s, u"v"_s, u"--cor"_s, u"12"_s, u"--slice"_s, u"4"_s, u"--region"_s,
                     u"0,0,1e7,1e7"_s, u"--out"_s, out.path(), u"--no-png"_s},
                 &text),
        1);
    QVERIFY2(text.contains(u"too large for a data file"_s), qPrintable(text));
    QVERIFY(!QFile::exists(out.filePath(u"ct-00004.dat"_s)));
}

void TestRecon::refusesUnusableCountsBeforeComputing_data()
{
    // Arguments that parse, checked against the 90 projections of 64 × 8 once they are loaded.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::newRow("partial count above the images loaded") << QStringList {
        u"--partial"_s, u"0:2000000000"_s} << u"--partial: 2000000000 images of the 90 loaded"_s;
    QTest::newRow("partial count below minus the images loaded")
        << QStringList {u"--partial"_s, u"3:-91"_s} << u"--partial: -91 images of the 90 loaded"_s;
    QTest::newRow("partial start after the last image")
        << QStringList {u"--partial"_s, u"90:10"_s} << u"--partial: image 90 is outside 0 … 89"_s;
    QTest::newRow("slices far beyond the images")
        << QStringList {u"--slices"_s, u"0:200000000"_s} << u"slice 200000000 is outside 0 … 7"_s;
}

void TestRecon::refusesUnusableCountsBeforeComputing()
{
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    QTemporaryDir out;
    QString text;
    QCOMPARE(
        run(QStringList {projections_, u"--axis"_s, u"v"_s, u"--out"_s, out.filePath(u"o"_s)} + args, &text),
        1);
    QVERIFY2(text.contains(u"quorvel-recon: "_s + says), qPrintable(text));
    QVERIFY(!text.contains(u"progress"_s)); // no slice was computed
    QVERIFY(!QFileInfo::exists(out.filePath(u"o"_s)));
}

QTEST_GUILESS_MAIN(TestRecon)
#include "tst_recon.moc"
