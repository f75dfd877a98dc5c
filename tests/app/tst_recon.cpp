// Qt
#include <QFileSystemWatcher>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "automation/dataseries.h"
#include "automation/seriesmanifest.h"
#include "ct/corline.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/itexwriter.h"
#include "tests/app/reconcommand.h"
#include "tools/phantom/phantom.h"
#include "tools/scanfile/scanfilewriter.h"
#include <algorithm>
#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A 64-pixel detector with the rotation axis vertical at x = 32, 8 lines, 90 projections.
ScanSetup smallScan()
{
    ScanSetup setup;
    setup.width = 64;
    setup.height = 8;
    setup.cor = 32;
    setup.projections = 90;
    return setup;
}

// A cylinder of 0.02 per pixel, radius 12, 6 pixels off the axis, scanned by `setup`: the images in
// dir/p, I0 and BG dir/i0.img and dir/bg.img.
bool writeCylinder(const QString &dir, const ScanSetup &setup)
{
    Phantom cylinder;
    cylinder.parts.push_back({6, 0, 0, 12, 12, 100, 0.0, 0.02});
    return writeScan(cylinder, setup, dir + u"/p"_s, u"p"_s, dir + u"/i0.img"_s, dir + u"/bg.img"_s);
}

// The number after `prefix` at the start of a line of `text`, NaN when there is none.
double printed(const QString &text, const QString &prefix)
{
    const QRegularExpression re(
        u"^"_s + QRegularExpression::escape(prefix) + u"(\\S+)$"_s, QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : qQNaN();
}

} // namespace

/// The reconstruction command: its options, slices and files, centres of rotation, and on a CT-XAFS
/// series the list of sets, the tasks of a job array and the memory it needs.
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
    void singlePrecisionStaysClose();
    void ringRemovalOnlyWhenAsked();
    void blocksOfColumnsGiveTheFilesOfSingleSlices_data();
    void blocksOfColumnsGiveTheFilesOfSingleSlices();
    void refusesMismatchedInputs_data();
    void refusesMismatchedInputs();
    void largeRegionOnASmallImage();
    void scanFileGivesTheFilesOfImageFiles_data();
    void scanFileGivesTheFilesOfImageFiles();
    void corScanTrialsAreTheSlices();
    void guessPrintsBothMethods_data();
    void guessPrintsBothMethods();
    void corLineGivesEachSliceItsCentre();

    void listsTheSets_data();
    void listsTheSets();
    void tasksTogetherMakeTheWholeRun();
    void taskNumbersAreChecked_data();
    void taskNumbersAreChecked();
    void guessOnlyWritesNothing();
    void faultsOfASeries_data();
    void faultsOfASeries();
    void i0ChoiceKeepsTheAttenuationRatios();
    void aKilledRunResumes();
    void memoryStaysWithTheBlock();
    void scanFilesMakeASeries();

private:
    static int run(const QStringList &args, QString *out = nullptr) { return runRecon(args, out); }
    QTemporaryDir data_;
    QString projections_;
    QString series_, seriesI0_, seriesBg_; // a CT-XAFS series of three energies
};

void TestRecon::initTestCase()
{
    ScanSetup setup = smallScan();
    setup.noise = 0;
    projections_ = data_.filePath(u"p"_s);
    QVERIFY(writeCylinder(data_.path(), setup));
    XafsSeriesSetup series;
    series.scan.width = 48;
    series.scan.height = 10;
    series.scan.cor = 24.5;
    series.scan.projections = 40;
    series.energies = 3;
    series_ = data_.filePath(u"series"_s);
    seriesI0_ = data_.filePath(u"seriesI0"_s);
    seriesBg_ = data_.filePath(u"seriesBg.img"_s);
    QVERIFY(writeXafsSeries(series, series_, seriesI0_, seriesBg_));
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
    // Centres of rotation.
    QTest::newRow("cor method") << QStringList {u"d"_s, u"--cor-method"_s, u"vo"_s};
    QTest::newRow("guess-line of one") << QStringList {u"d"_s, u"--cor"_s, u"guess-line 1"_s};
    QTest::newRow("guess-line of nothing") << QStringList {u"d"_s, u"--cor"_s, u"guess-line"_s};
    QTest::newRow("cor line at one slice") << QStringList {u"d"_s, u"--cor-line"_s, u"5:31,5:32"_s};
    QTest::newRow("cor line, one record") << QStringList {u"d"_s, u"--cor-line"_s, u"5:31"_s};
    QTest::newRow("cor line, slice not whole") << QStringList {u"d"_s, u"--cor-line"_s, u"0.5:31,5:32"_s};
    QTest::newRow("cor line and cor")
        << QStringList {u"d"_s, u"--cor-line"_s, u"0:31,5:32"_s, u"--cor"_s, u"3"_s};
    QTest::newRow("scan step 0") << QStringList {u"d"_s, u"--cor-scan"_s, u"30:34:0"_s};
    QTest::newRow("scan of 10^6 trials") << QStringList {u"d"_s, u"--cor-scan"_s, u"0:1000000:1"_s};
    QTest::newRow("scan, nan") << QStringList {u"d"_s, u"--cor-scan"_s, u"nan:34:1"_s};
    QTest::newRow("scan of slices") << QStringList {
        u"d"_s, u"--cor-scan"_s, u"30:34:1"_s, u"--slices"_s, u"1:3"_s};
    QTest::newRow("scan and cor") << QStringList {
        u"d"_s, u"--cor-scan"_s, u"30:34:1"_s, u"--cor"_s, u"guess"_s};
    QTest::newRow("rings: unknown method") << QStringList {u"d"_s, u"--rings"_s, u"rings"_s};
    QTest::newRow("rings: even window") << QStringList {u"d"_s, u"--rings"_s, u"all:large=60"_s};
    QTest::newRow("rings: snr out of range") << QStringList {u"d"_s, u"--rings"_s, u"sort:snr=0"_s};
    // Series and job arrays.
    QTest::newRow("series and a folder") << QStringList {u"--series"_s, u"s"_s, u"d"_s};
    QTest::newRow("layout") << QStringList {u"--series"_s, u"s"_s, u"--layout"_s, u"flat"_s};
    QTest::newRow("sets from 0") << QStringList {u"--series"_s, u"s"_s, u"--sets"_s, u"0:3"_s};
    QTest::newRow("sets not numbers") << QStringList {u"--series"_s, u"s"_s, u"--sets"_s, u"a:b"_s};
    QTest::newRow("sets one number") << QStringList {u"--series"_s, u"s"_s, u"--sets"_s, u"2"_s};
    QTest::newRow("block 0") << QStringList {u"d"_s, u"--block"_s, u"0"_s};
    QTest::newRow("negative task") << QStringList {u"d"_s, u"--task"_s, u"-1"_s};
    QTest::newRow("tasks-of alone") << QStringList {u"d"_s, u"--tasks-of"_s, u"4"_s};
    QTest::newRow("tasks-of 0") << QStringList {u"d"_s, u"--task"_s, u"0"_s, u"--tasks-of"_s, u"0"_s};
    QTest::newRow("i0 and i0-files") << QStringList {
        u"--series"_s, u"s"_s, u"--i0"_s, u"a.img"_s, u"--i0-files"_s, u"i"_s};
    QTest::newRow("pattern without series") << QStringList {u"d"_s, u"--pattern"_s, u"*.img"_s};
    QTest::newRow("sets without series") << QStringList {u"d"_s, u"--sets"_s, u"1:2"_s};
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
    QVERIFY(sameFiles(one.path(), two.path(), files));
}

void TestRecon::blocksOfColumnsGiveTheFilesOfSingleSlices_data()
{
    QTest::addColumn<QString>("slices");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("block"); // slices read together (the next block is read during this one)
    QTest::addColumn<QString>("rings");
    QTest::newRow("one block") << u"10:25"_s << 1 << 64 << u"off"_s;
    QTest::newRow("falling, step 3, two workers") << u"40:22:3"_s << 2 << 64 << u"off"_s;
    QTest::newRow("small blocks at the end") << u"50:53"_s << 3 << 64 << u"off"_s;
    QTest::newRow("blocks read while others are reconstructed") << u"3:40"_s << 2 << 5 << u"off"_s;
    QTest::newRow("a block per slice, three workers") << u"30:21:1"_s << 3 << 1 << u"off"_s;
    // Each sinogram of a block has its stripes taken out once, as a single slice's would.
    QTest::newRow("ring removal, two workers") << u"12:21"_s << 2 << 64 << u"all"_s;
}

void TestRecon::blocksOfColumnsGiveTheFilesOfSingleSlices()
{
    // With the axis horizontal the slices are image columns, and a worker builds the sinograms of
    // its block of slices in one pass: the files must be those of the slices run one at a time.
    QFETCH(QString, slices);
    QFETCH(int, threads);
    QFETCH(int, block);
    QFETCH(QString, rings);
    static QTemporaryDir scan;
    static bool written = false;
    if (!written) {
        ScanSetup setup = smallScan();
        setup.axisVertical = false;
        setup.height = 40;
        setup.cor = 20;
        setup.projections = 30;
        setup.faults.gains = {{15, 1.03}, {26, 0.97}};
        QVERIFY(writeCylinder(scan.path(), setup));
        written = true;
    }
    const QStringList common {scan.filePath(u"p"_s), u"--axis"_s, u"h"_s, u"--cor"_s, u"19.6"_s, u"--i0"_s,
        scan.filePath(u"i0.img"_s), u"--bg"_s, scan.filePath(u"bg.img"_s), u"--rings"_s, rings};
    QTemporaryDir blocks, single;
    QCOMPARE(run(common
                 + QStringList {u"--slices"_s, slices, u"--threads"_s, QString::number(threads), u"--block"_s,
                     QString::number(block), u"--out"_s, blocks.path()}),
        0);
    const QStringList files = QDir(blocks.path()).entryList(QDir::Files);
    QVERIFY(!files.isEmpty());
    for (const QString &name : files) {
        if (!name.endsWith(u".dat"_s))
            continue;
        const QString slice = QString::number(name.section(u'-', -1).section(u'.', 0, 0).toInt());
        QCOMPARE(run(common + QStringList {u"--slice"_s, slice, u"--out"_s, single.path()}), 0);
        const QString stem = name.section(u'.', 0, 0);
        QVERIFY(sameFiles(blocks.path(), single.path(), {stem + u".dat"_s, stem + u".png"_s}));
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
    QVERIFY(sameFiles(plain.path(), shifted.path(), {u"t-00004.tif"_s}));

    QSize size;
    const auto pages = tiffPages(plain.filePath(u"t-00004.tif"_s), nullptr, &size);
    QCOMPARE(pages.size(), size_t(1));
    QCOMPARE(size, QSize(45, 33)); // the region's size
    const std::vector<float> &pixels = pages[0];
    const int w = size.width();
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

double rmsDifference(const std::vector<float> &a, const std::vector<float> &b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        sum += double(a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum / std::max<size_t>(a.size(), 1));
}

} // namespace

void TestRecon::singlePrecisionStaysClose()
{
    // --single gives other numbers than the default, within 1e-5 of the slice's value range.
    QTemporaryDir doubles, singles;
    const QStringList common {projections_, u"--axis"_s, u"v"_s, u"--cor"_s, u"32"_s, u"--slice"_s, u"4"_s,
        u"--tiff"_s, u"--no-png"_s, u"--no-data"_s, u"--tag"_s, u"t"_s};
    QCOMPARE(run(common + QStringList {u"--out"_s, doubles.path()}), 0);
    QCOMPARE(run(common + QStringList {u"--single"_s, u"--out"_s, singles.path()}), 0);
    const std::vector<float> a = tiffValues(doubles.filePath(u"t-00004.tif"_s));
    const std::vector<float> b = tiffValues(singles.filePath(u"t-00004.tif"_s));
    QCOMPARE(a.size(), size_t(60 * 60));
    QCOMPARE(b.size(), a.size());
    const auto [lo, hi] = std::minmax_element(a.begin(), a.end());
    double worst = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, double(std::abs(a[i] - b[i])));
    QVERIFY(worst > 0.0);
    QVERIFY2(worst <= 1e-5 * (*hi - *lo), qPrintable(QString::number(worst)));
}

void TestRecon::ringRemovalOnlyWhenAsked()
{
    // The cylinder scanned with noise, once by a sound detector and once with three columns off by
    // 3 % and a dead one. Without --rings, and with "--rings off", the files are the same bytes; with
    // "--rings all" the slice comes much closer to the sound detector's.
    QTemporaryDir scans;
    ScanSetup setup = smallScan();
    setup.flatNoise = 0.0;
    QVERIFY(writeCylinder(scans.filePath(u"sound"_s), setup));
    setup.faults.gains = {{14, 1.03}, {27, 0.97}, {40, 1.03}};
    setup.faults.dead = {22};
    QVERIFY(writeCylinder(scans.filePath(u"faulty"_s), setup));
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
    QVERIFY(sameFiles(plain.path(), off.path(), {u"t-00004.dat"_s, u"t-00004.tif"_s}));
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
    // Inputs that cannot be used with a copy of the 90 projections of 64 × 8, refused once they are
    // loaded and before any slice is computed: a change made to the copy or the output folder
    // (`problem`), the options added and what the message says.
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::newRow("projection of another size") << u"size"_s << QStringList {} << QString();
    QTest::newRow("I0 of another size") << u"i0"_s << QStringList {} << QString();
    // Found before any slice is computed (before, each file failed after its slice).
    QTest::newRow("output folder that takes no files") << u"out"_s << QStringList {} << QString();
    QTest::newRow("centre of rotation at the edge")
        << QString() << QStringList {u"--cor"_s, u"0.5"_s} << QString();
    // Between L − 2 and L − 1: inside the line, but no sample on the right of the axis.
    QTest::newRow("centre of rotation between the last two pixels")
        << QString() << QStringList {u"--cor"_s, u"62.5"_s} << QString();
    QTest::newRow("slice outside") << QString() << QStringList {u"--slices"_s, u"4:8"_s} << QString();
    QTest::newRow("slices far beyond the images")
        << QString() << QStringList {u"--slices"_s, u"0:200000000"_s}
        << u"slice 200000000 is outside 0 … 7"_s;
    QTest::newRow("no matching file") << QString() << QStringList {u"*.tif"_s} << QString();
    QTest::newRow("guess without a facing image")
        << QString() << QStringList {u"--cor"_s, u"guess"_s, u"--partial"_s, u"10:80"_s} << QString();
    QTest::newRow("partial count above the images loaded")
        << QString() << QStringList {u"--partial"_s, u"0:2000000000"_s}
        << u"--partial: 2000000000 images of the 90 loaded"_s;
    QTest::newRow("partial set of more images than loaded")
        << QString() << QStringList {u"--partial"_s, u"3:91"_s} << QString();
    QTest::newRow("partial count below minus the images loaded")
        << QString() << QStringList {u"--partial"_s, u"3:-91"_s}
        << u"--partial: -91 images of the 90 loaded"_s;
    QTest::newRow("partial start after the last image")
        << QString() << QStringList {u"--partial"_s, u"90:10"_s}
        << u"--partial: image 90 is outside 0 … 89"_s;
}

void TestRecon::refusesMismatchedInputs()
{
    QFETCH(QString, problem);
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    QTemporaryDir dir, out;
    QVERIFY(copyFolder(projections_, dir.path()));
    const std::vector<uint32_t> px(32 * 8, 1000);
    QStringList all {dir.path(), u"--axis"_s, u"v"_s, u"--out"_s, out.filePath(u"o"_s)};
    if (problem == u"size"_s) {
        QVERIFY(writeItexFile(dir.filePath(u"p0045b.img"_s), {32, 8, 2, 1.0, px}));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Mismatch image size"_s));
    } else if (problem == u"i0"_s) {
        QVERIFY(writeItexFile(out.filePath(u"i0.img"_s), {32, 8, 2, 1.0, px}));
        all << u"--i0"_s << out.filePath(u"i0.img"_s);
    } else if (problem == u"out"_s) {
        all[4] = u"/proc"_s; // exists, but no one makes files there
    }
    QString text;
    QCOMPARE(run(all + args, &text), 1);
    QVERIFY2(text.contains(u"quorvel-recon: "_s + says), qPrintable(text));
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

void TestRecon::scanFileGivesTheFilesOfImageFiles_data()
{
    QTest::addColumn<bool>("exchange");
    QTest::addColumn<bool>("endAngle"); // the scan ends at 180 degrees, facing its first projection
    QTest::addColumn<QString>("axis");
    QTest::newRow("NXtomo, flats and darks between the projections") << false << false << u"v"_s;
    QTest::newRow("Data Exchange, float gzip chunks, slices as columns") << true << false << u"h"_s;
    QTest::newRow("NXtomo ending at the end angle") << false << true << u"v"_s;
}

void TestRecon::scanFileGivesTheFilesOfImageFiles()
{
    // The same projections, I0 and BG as image files and as one scan file (three identical flats,
    // two identical darks, an invalid frame) give the same data files and images, byte for byte.
    QFETCH(bool, exchange);
    QFETCH(bool, endAngle);
    QFETCH(QString, axis);
    QTemporaryDir dir;
    ScanSetup setup = smallScan();
    setup.projections = endAngle ? 91 : 90; // 2 degrees apart
    setup.rangeDeg = endAngle ? 182.0 : 180.0;
    QVERIFY(writeCylinder(dir.path(), setup));
    QStringList files;
    for (const QString &name : QDir(dir.filePath(u"p"_s)).entryList(QDir::Files, QDir::Name))
        files << dir.filePath(u"p/"_s + name);
    std::vector<std::shared_ptr<ImgData>> images;
    for (const QString &file : files + QStringList {dir.filePath(u"i0.img"_s), dir.filePath(u"bg.img"_s)})
        images.push_back(openImgData(file));
    QVERIFY(std::all_of(images.cbegin(), images.cend(), [](const auto &i) { return bool(i); }));

    ScanFileRecipe spec;
    spec.width = setup.width;
    spec.height = setup.height;
    const int n = setup.projections;
    if (exchange) {
        spec.layout = ScanFileRecipe::Layout::DataExchange;
        spec.type = ScanFileRecipe::Type::F32;
        spec.gzip = 4;
        spec.projections = n;
        spec.flats = 3;
        spec.darks = 2;
    } else {
        spec.keys = {2, 1, 1};
        for (int k = 0; k < n; ++k) {
            if (k == n / 2)
                spec.keys.insert(spec.keys.end(), {3, 1, 2});
            spec.keys.push_back(0);
        }
    }
    int projection = 0;
    for (size_t f = 0; f < (exchange ? size_t(n) : spec.keys.size()); ++f)
        spec.angles.push_back(!exchange && spec.keys[f] != 0 ? -1.0 : 2.0 * projection++);
    spec.fill = [&](int kind, int index, int y, double *row) {
        const size_t image = kind == 0 ? size_t(index) : kind == 1 ? images.size() - 2 : images.size() - 1;
        images[image]->getRow(y, row);
    };
    const QString scanFile = dir.filePath(u"scan.nxs"_s);
    QVERIFY(writeScanFile(scanFile, spec));

    QTemporaryDir fromImages, fromScan;
    const QStringList common {u"--axis"_s, axis, u"--cor"_s, u"guess"_s, u"--slices"_s,
        axis == u"v"_s ? u"1:6:5"_s : u"20:40:10"_s, u"--range"_s, endAngle ? u"182"_s : u"180"_s};
    QString text;
    QCOMPARE(run(QStringList {dir.filePath(u"p"_s), u"--i0"_s, dir.filePath(u"i0.img"_s), u"--bg"_s,
                     dir.filePath(u"bg.img"_s), u"--out"_s, fromImages.path()}
                     + common,
                 &text),
        0);
    QCOMPARE(
        run(QStringList {scanFile, u"--out"_s, fromScan.path(), u"--range"_s, u"180"_s} + common.mid(0, 6),
            &text),
        0);
    QVERIFY2(text.contains(u"I0: "_s + scanFile + u": mean of 3 flats"_s), qPrintable(text));
    QVERIFY2(text.contains(u"BG: "_s + scanFile + u": mean of 2 darks"_s), qPrintable(text));
    QVERIFY2(text.contains(endAngle ? u"91 projections 2° apart over 180°, the last at the end angle"_s
                                    : u"90 projections 2° apart over 180°"_s),
        qPrintable(text));
    const QStringList written = QDir(fromImages.path()).entryList(QDir::Files);
    QVERIFY(written.size() >= 4); // two or three slices, data files and images
    QCOMPARE(QDir(fromScan.path()).entryList(QDir::Files), written);
    QVERIFY(sameFiles(fromImages.path(), fromScan.path(), written));

    // Angles that do not step evenly refuse the scan before anything is computed.
    spec.angles[spec.angles.size() - 3] += 1.0;
    QVERIFY(writeScanFile(scanFile, spec));
    QTemporaryDir uneven;
    QCOMPARE(run(QStringList {scanFile, u"--out"_s, uneven.path()} + common.mid(0, 6), &text), 1);
    QVERIFY2(text.contains(u"are not evenly spaced: from projection"_s), qPrintable(text));
    QVERIFY(QDir(uneven.path()).isEmpty());
}

void TestRecon::corScanTrialsAreTheSlices()
{
    QTemporaryDir scan, single;
    const QStringList common {projections_, u"--i0"_s, data_.filePath(u"i0.img"_s), u"--bg"_s,
        data_.filePath(u"bg.img"_s), u"--axis"_s, u"v"_s, u"--slice"_s, u"4"_s, u"--tag"_s, u"t"_s};
    QString text;
    QCOMPARE(run(common + QStringList {u"--cor-scan"_s, u"30:34:0.5"_s, u"--out"_s, scan.path()}, &text), 0);
    QCOMPARE(QDir(scan.path()).entryList(QDir::Files),
        QStringList({u"t-corscan-00004.png"_s, u"t-corscan-00004.tif"_s, u"t-corscan-00004.txt"_s}));
    const double best = printed(text, u"best centre of rotation: "_s);
    QVERIFY2(std::abs(best - 32.0) <= 0.5, qPrintable(text));
    // The table: a line per trial, the best one marked.
    QFile table(scan.filePath(u"t-corscan-00004.txt"_s));
    QVERIFY(table.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(table.readAll()).trimmed().split(u'\n');
    QCOMPARE(rows.size(), 2 + 9);
    QCOMPARE(rows.filter(u"best"_s).size(), 1);
    QVERIFY(rows.filter(u"best"_s).first().startsWith(QString::number(best) + u'\t'));
    QCOMPARE(QImage(scan.filePath(u"t-corscan-00004.png"_s)).size(), QSize(8 + 7 * 168, 8 + 2 * 188));

    // Page k is the slice reconstructed at 30 + k/2 by a plain run, to the bit.
    QStringList descriptions;
    const auto pages = tiffPages(scan.filePath(u"t-corscan-00004.tif"_s), &descriptions);
    QCOMPARE(pages.size(), size_t(9));
    for (int k : {1, 4, 7}) {
        const QString cor = QString::number(30 + 0.5 * k);
        QVERIFY2(descriptions[k].startsWith(u"slice 4, centre of rotation "_s + cor + u","_s),
            qPrintable(descriptions[k]));
        const QString dir = single.filePath(cor);
        QCOMPARE(
            run(common
                + QStringList {u"--cor"_s, cor, u"--tiff"_s, u"--no-png"_s, u"--no-data"_s, u"--out"_s, dir}),
            0);
        const auto plain = tiffPages(QDir(dir).filePath(u"t-00004.tif"_s));
        QCOMPARE(plain.size(), size_t(1));
        QVERIFY2(plain[0] == pages[size_t(k)], qPrintable(cor));
    }
}

void TestRecon::guessPrintsBothMethods_data()
{
    QTest::addColumn<QString>("method");
    QTest::newRow("mirror by default") << QString();
    QTest::newRow("fourier chosen") << u"fourier"_s;
}

void TestRecon::guessPrintsBothMethods()
{
    QFETCH(QString, method);
    QStringList args {projections_, u"--i0"_s, data_.filePath(u"i0.img"_s), u"--bg"_s,
        data_.filePath(u"bg.img"_s), u"--axis"_s, u"v"_s, u"--cor"_s, u"guess"_s, u"--no-png"_s,
        u"--no-data"_s};
    if (!method.isEmpty())
        args << u"--cor-method"_s << method;
    QString text;
    QCOMPARE(run(args, &text), 0);
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith(u"centre of rotation: "_s));
    QVERIFY(lines[1].startsWith(u"centre of rotation (mirror): "_s));
    QVERIFY(lines[2].startsWith(u"centre of rotation (fourier): "_s));
    const double chosen = printed(text, u"centre of rotation: "_s);
    const double mirror = printed(text, u"centre of rotation (mirror): "_s);
    const double fourier = printed(text, u"centre of rotation (fourier): "_s);
    QCOMPARE(chosen, method.isEmpty() ? mirror : fourier);
    QVERIFY2(std::abs(mirror - 32.0) <= 0.2 && std::abs(fourier - 32.0) <= 0.2, qPrintable(text));
}

void TestRecon::corLineGivesEachSliceItsCentre()
{
    const QStringList common {projections_, u"--axis"_s, u"v"_s, u"--tag"_s, u"t"_s};
    // Every slice of the line is the slice reconstructed alone at its interpolated centre.
    QTemporaryDir line, single;
    const CorLine records {0, 31.5, 7, 32.9};
    QCOMPARE(run(common
                 + QStringList {u"--cor-line"_s, u"0:31.5,7:32.9"_s, u"--slices"_s, u"1:5:2"_s, u"--out"_s,
                     line.path()}),
        0);
    for (int slice : {1, 3, 5}) {
        const QString dir = single.filePath(QString::number(slice));
        QCOMPARE(run(common
                     + QStringList {u"--cor"_s, QString::number(records.at(slice), 'g', 17), u"--slice"_s,
                         QString::number(slice), u"--out"_s, dir}),
            0);
        const QString stem = u"t-0000%1."_s.arg(slice);
        QVERIFY(sameFiles(line.path(), dir, {stem + u"dat"_s, stem + u"png"_s}));
    }
    // A level line is no line at all: the files of the plain run, byte for byte.
    QTemporaryDir level, plain;
    QCOMPARE(run(common
                 + QStringList {u"--cor-line"_s, u"0:32,7:32"_s, u"--slices"_s, u"0:7"_s, u"--out"_s,
                     level.path()}),
        0);
    QCOMPARE(
        run(common + QStringList {u"--cor"_s, u"32"_s, u"--slices"_s, u"0:7"_s, u"--out"_s, plain.path()}),
        0);
    const QStringList files = QDir(plain.path()).entryList(QDir::Files);
    QCOMPARE(QDir(level.path()).entryList(QDir::Files), files);
    QVERIFY(sameFiles(level.path(), plain.path(), files));

    // Guessed along the range ("3" apart, as a shell hands it over): the line lies on the axis, and
    // nothing is written.
    QTemporaryDir guessed;
    QString text;
    QCOMPARE(run(common
                     + QStringList {u"--cor"_s, u"guess-line"_s, u"3"_s, u"--slices"_s, u"0:7"_s,
                         u"--no-png"_s, u"--no-data"_s, u"--out"_s, guessed.path()},
                 &text),
        0);
    QCOMPARE(text.count(u"centre of rotation at slice "_s), 3);
    const QRegularExpression fitted(u"^centre of rotation line: (\\S+) at slice 0, (\\S+) at slice 7 "_s,
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = fitted.match(text);
    QVERIFY2(m.hasMatch(), qPrintable(text));
    QVERIFY2(
        std::abs(m.captured(1).toDouble() - 32.0) < 0.2 && std::abs(m.captured(2).toDouble() - 32.0) < 0.2,
        qPrintable(text));
    QVERIFY(QDir(guessed.path()).entryList(QDir::Files).isEmpty());
}

void TestRecon::listsTheSets_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QStringList>("lines");
    const QString i0 = u"%1/I0-%2-0001.img"_s;
    QTest::newRow("all, I0 by energy")
        << QStringList {u"--i0-files"_s, u"I0DIR"_s}
        << QStringList {u"1\tdemo 7090eV\t7090\t40\t"_s + i0.arg(u"I0DIR"_s, u"7090eV"_s) + u"\t7090\tok"_s,
               u"2\tdemo 7115eV\t7115\t40\t"_s + i0.arg(u"I0DIR"_s, u"7115eV"_s) + u"\t7115\tok"_s,
               u"3\tdemo 7140eV\t7140\t40\t"_s + i0.arg(u"I0DIR"_s, u"7140eV"_s) + u"\t7140\tok"_s};
    // I0 files of two energies only: 7115 eV lies half-way, the first one wins, and is marked as
    // further away than half the spacing of the series.
    QTest::newRow("tie between two I0: the first, marked far")
        << QStringList {u"--i0-files"_s, u"I0DIR"_s, u"--i0-pattern"_s, u"*7090eV* *7140eV*"_s, u"--sets"_s,
               u"2:9"_s}
        << QStringList {u"2\tdemo 7115eV\t7115\t40\t"_s + i0.arg(u"I0DIR"_s, u"7090eV"_s)
                   + u"\t7090\tits I0 (7090 eV) is 25 eV from its energy 7115 eV, more than 12.5 eV (half "
                     u"the "
                     "series' energy spacing)"_s,
               u"3\tdemo 7140eV\t7140\t40\t"_s + i0.arg(u"I0DIR"_s, u"7140eV"_s) + u"\t7140\tok"_s};
    QTest::newRow("to below from: from alone")
        << QStringList {u"--sets"_s, u"2:1"_s} << QStringList {u"2\tdemo 7115eV\t7115\t40\t-\t-\tok"_s};
}

void TestRecon::listsTheSets()
{
    QFETCH(QStringList, extra);
    QFETCH(QStringList, lines);
    extra.replaceInStrings(u"I0DIR"_s, seriesI0_);
    lines.replaceInStrings(u"I0DIR"_s, QDir(seriesI0_).absolutePath());
    QString text;
    QCOMPARE(run(QStringList {u"--series"_s, series_, u"--list-sets"_s} + extra, &text), 0);
    QStringList got = text.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(got.takeFirst(), u"# set\tname\tenergy\tfiles\tI0\tI0 energy\tcheck"_s);
    QCOMPARE(got, lines);
}

void TestRecon::tasksTogetherMakeTheWholeRun()
{
    QTemporaryDir whole, tasks;
    const QStringList common {u"--series"_s, series_, u"--i0-files"_s, seriesI0_, u"--bg"_s, seriesBg_,
        u"--axis"_s, u"v"_s, u"--cor"_s, u"guess"_s, u"--slices"_s, u"1:8"_s, u"--sub-folders"_s, u"energy"_s,
        u"--name"_s, u"s"_s};
    QCOMPARE(run(common + QStringList {u"--out"_s, whole.path()}), 0);
    QStringList expected;
    for (const QString &e : {u"7090eV"_s, u"7115eV"_s, u"7140eV"_s})
        for (int s = 1; s <= 8; ++s)
            for (const QString &ext : {u"dat"_s, u"png"_s})
                expected << u"%1/s-%1-%2.%3"_s.arg(e, sliceText(s), ext);
    expected.sort();
    QCOMPARE(filesUnder(whole.path()), QStringList(expected) << u"series-manifest.tsv"_s);

    // Blocks of 3 slices: 3 blocks per set, 9 tasks, set after set.
    const QStringList blocked = common + QStringList {u"--block"_s, u"3"_s};
    QString list;
    QCOMPARE(run(blocked + QStringList {u"--list-tasks"_s}, &list), 0);
    const QStringList lines = list.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2 + 9);
    QVERIFY2(lines[0].startsWith(u"# tasks 9 fingerprint "_s), qPrintable(lines[0]));
    QCOMPARE(lines[2], u"0\t1\tdemo 7090eV\t0\t1:3"_s);
    QCOMPARE(lines[7], u"5\t2\tdemo 7115eV\t2\t7:8"_s);
    // In any order, and one of them twice (a scheduler's retry): the same files as the whole run.
    for (int k : {8, 0, 4, 2, 6, 1, 3, 7, 5, 4}) {
        QString text;
        QCOMPARE(run(blocked
                         + QStringList {u"--task"_s, QString::number(k), u"--tasks-of"_s, u"9"_s, u"--out"_s,
                             tasks.path()},
                     &text),
            0);
        QVERIFY2(text.startsWith(u"task %1: data set %2"_s.arg(k).arg(k / 3 + 1)), qPrintable(text));
    }
    QStringList files = filesUnder(tasks.path());
    // Each task's own manifest says what it did: its set and its slices.
    const QStringList manifests = files.filter(QRegularExpression(u"^series-tasks/"_s));
    QCOMPARE(manifests.size(), 9);
    for (const QString &m : manifests) {
        const std::vector<ManifestEntry> entries = readManifest(tasks.filePath(m));
        QCOMPARE(entries.size(), size_t(1));
        QVERIFY(entries[0].done());
        QCOMPARE(u"series-tasks/%1-%2.tsv"_s.arg(
                     entries[0].tag, sliceText(entries[0].slices.section(u':', 0, 0).toInt())),
            m);
        QCOMPARE(entries[0].files, entries[0].slices.startsWith(u"7:"_s) ? 4 : 6);
    }
    files.removeIf([](const QString &f) { return f.startsWith(u"series-"_s); });
    QCOMPARE(files, expected);
    QVERIFY(sameFiles(whole.path(), tasks.path(), expected));
}

void TestRecon::taskNumbersAreChecked_data()
{
    // FP stands for the fingerprint of the series at submission; `change` is made after it.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("status");
    QTest::newRow("beyond the tasks") << QStringList {u"--task"_s, u"6"_s} << QString() << 2;
    QTest::newRow("array made for another count")
        << QStringList {u"--task"_s, u"1"_s, u"--tasks-of"_s, u"4"_s} << QString() << 2;
    QTest::newRow("the last task") << QStringList {u"--task"_s, u"5"_s, u"--tasks-of"_s, u"6"_s} << QString()
                                   << 0;
    const QStringList submitted {u"--task"_s, u"5"_s, u"--tasks-of"_s, u"6"_s, u"--fingerprint"_s, u"FP"_s};
    QTest::newRow("the series as submitted") << submitted << QString() << 0;
    QTest::newRow("a file rewritten since") << submitted << u"grow"_s << 2;
    QTest::newRow("a file renamed since") << submitted << u"rename"_s << 2;
    QTest::newRow("its I0 rewritten since") << submitted << u"i0"_s << 2;
}

void TestRecon::taskNumbersAreChecked()
{
    QFETCH(QStringList, args);
    QFETCH(QString, change);
    QFETCH(int, status);
    QTemporaryDir series, out;
    const QString p = series.filePath(u"p"_s), i0 = series.filePath(u"i0"_s);
    QVERIFY(copyFolder(series_, p) && copyFolder(seriesI0_, i0));
    // 3 sets × 2 blocks of 4 slices = 6 tasks.
    const QStringList common {u"--series"_s, p, u"--i0-files"_s, i0, u"--axis"_s, u"v"_s, u"--slices"_s,
        u"0:7"_s, u"--block"_s, u"4"_s, u"--no-png"_s, u"--out"_s, out.path()};
    QString list;
    QCOMPARE(run(common + QStringList {u"--list-tasks"_s}, &list), 0);
    args.replaceInStrings(u"FP"_s, list.section(u' ', 4, 4).section(u'\n', 0, 0));
    if (change == u"grow"_s) { // the same name, the same count: another size
        QFile f(QDir(p).filePath(u"demo-7140eV-0003.img"_s));
        QVERIFY(f.open(QIODevice::Append) && f.write("more") == 4);
    } else if (change == u"rename"_s) {
        QVERIFY(QFile::rename(
            QDir(p).filePath(u"demo-7090eV-0003.img"_s), QDir(p).filePath(u"demo-7090eV-0099.img"_s)));
    } else if (change == u"i0"_s) {
        QFile f(QDir(i0).filePath(u"I0-7140eV-0001.img"_s));
        QVERIFY(f.resize(f.size() + 2));
    }
    QString text;
    QCOMPARE(run(common + args, &text), status);
    if (!change.isEmpty())
        QVERIFY2(text.contains(u"the series has changed since the job array was made"_s), qPrintable(text));
    QStringList files = filesUnder(out.path());
    QCOMPARE(files,
        status == 0 ? QStringList({u"7140eV-00004.dat"_s, u"7140eV-00005.dat"_s, u"7140eV-00006.dat"_s,
            u"7140eV-00007.dat"_s, u"series-tasks/7140eV-00004.tsv"_s})
                    : QStringList());
}

void TestRecon::guessOnlyWritesNothing()
{
    QTemporaryDir out;
    QString text;
    QCOMPARE(run({u"--series"_s, series_, u"--i0-files"_s, seriesI0_, u"--axis"_s, u"v"_s, u"--cor"_s,
                     u"guess"_s, u"--no-png"_s, u"--no-data"_s, u"--out"_s, out.filePath(u"o"_s)},
                 &text),
        0);
    const QStringList cors = text.split(u'\n').filter(u"centre of rotation: "_s);
    QCOMPARE(cors.size(), 3);
    for (const QString &line : cors) {
        const double c = line.section(u": "_s, 1).toDouble();
        // A usable axis of the 48-pixel lines. (The guess compares two raw lines; on lines this short
        // it is not within a pixel of the axis at 24.5: the guess itself is tested on wider images.)
        QVERIFY2(c >= 1.0 && c <= 46.0, qPrintable(line));
    }
    QVERIFY(!QFileInfo::exists(out.filePath(u"o"_s)));
}

void TestRecon::faultsOfASeries_data()
{
    // The series of three energies with a fault (`fault`, made by the test), run with `extra`
    // options: the exit status, a pattern of the run's messages, a pattern of its --list-sets and
    // the tags of the sets written (and recorded done in the manifest).
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QStringList>("written");
    const QStringList all {u"7090eV"_s, u"7115eV"_s, u"7140eV"_s};
    QTest::newRow("none") << QString() << QStringList {} << 0 << QString() << u"\\tok\n3\\t"_s << all;
    // Fe2-7090eV-* beside demo-7090eV-*: both would write 7090eV-00003.dat.
    QTest::newRow("two sets share a tag")
        << u"shared tag"_s << QStringList {} << 2
        << u"refused: the files of sets that share a tag would overwrite each other \\(sets 1 \\(Fe2\\), 2 "
           "\\(demo\\) share the tag 7090eV\\)"_s
        << u"\\n2\\tdemo 7090eV\\t7090\\t40\\t.*\\tits tag 7090eV is also that of set 1\\n"_s
        << QStringList {};
    QTest::newRow("two sets share an energy, tagged by name")
        << u"shared tag"_s << QStringList {u"--tag"_s, u"name-energy"_s} << 0 << QString()
        << u"\\n2\\tdemo-7090eV\\t7090\\t40\\t.*\\tok\\n"_s
        << QStringList {u"Fe2-7090eV"_s, u"demo-7090eV"_s, u"demo-7115eV"_s, u"demo-7140eV"_s};
    QTest::newRow("a projection missing")
        << u"missing 11"_s << QStringList {} << 1
        << u"data set 2 \\(demo 7115eV\\) is not reconstructed: 39 images where the series has 40, number 11 "
           "missing"_s
        << u"\\n2\\tdemo 7115eV\\t7115\\t39\\t.*\\t39 images where the series has 40, number 11 missing\\n"_s
        << QStringList {u"7090eV"_s, u"7140eV"_s};
    QTest::newRow("a projection of another size")
        << u"small 11"_s << QStringList {} << 1 << u"demo-7115eV-0011.img"_s << QString()
        << QStringList {u"7090eV"_s, u"7140eV"_s};
    QTest::newRow("the last projection missing")
        << u"missing 39"_s << QStringList {} << 1 << u"39 images where the series has 40, number 39 missing"_s
        << u"number 39 missing"_s << QStringList {u"7090eV"_s, u"7140eV"_s};
    QTest::newRow("two projections missing, uneven sets allowed")
        << u"missing 11 12"_s << QStringList {u"--allow-uneven-sets"_s} << 0 << QString()
        << u"\\t38\\t.*\\tok\\n"_s << all;
    QTest::newRow("a gap with a stray file: the count is right")
        << u"missing 11, stray 40"_s << QStringList {} << 1 << u"number 11 missing"_s
        << u"\\t40\\t.*\\tnumber 11 missing\\n"_s << QStringList {u"7090eV"_s, u"7140eV"_s};
    QTest::newRow("no I0 of the last energy")
        << u"no I0 7140"_s << QStringList {} << 2
        << u"refused: set 3 \\(demo 7140eV\\): its I0 \\(7115 eV\\) is 25 eV from its energy 7140 eV, more "
           u"than "
           "12.5 eV"_s
        << u"\\t7115\\tits I0 \\(7115 eV\\) is 25 eV"_s << QStringList {};
    QTest::newRow("no I0 of the last energy, allowed")
        << u"no I0 7140"_s << QStringList {u"--allow-far-i0"_s} << 0 << u"warning: set 3 \\(demo 7140eV\\)"_s
        << QString() << all;
    QTest::newRow("an I0 that cannot be read")
        << u"bad I0 7115"_s << QStringList {} << 1 << u"cannot read the I0 image .*I0-7115eV-0001.img"_s
        << QString() << QStringList {u"7090eV"_s, u"7140eV"_s};
    // Sub-folders named with their unit: energies in eV, each set with its own I0.
    QTest::newRow("sub-folders in keV")
        << u"subdirs keV"_s << QStringList {u"--layout"_s, u"subdirs"_s} << 0 << QString()
        << u"^# .*\\n1\\t7_09keV\\t7090\\t40\\t.*I0-7090eV-0001.img\\t7090\\tok\\n"_s
        << QStringList {u"7_09keV"_s, u"7_115keV"_s, u"7_14keV"_s};
    QTest::newRow("sub-folders without an energy")
        << u"subdirs named"_s << QStringList {u"--layout"_s, u"subdirs"_s} << 2
        << u"refused: set 1 \\(Fe_7090eV\\): no energy in its name \\(0 eV\\), its I0 \\(7090 eV\\) is 7090 eV"_s
        << u"\\tno energy in its name"_s << QStringList {};
}

void TestRecon::faultsOfASeries()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, extra);
    QFETCH(int, status);
    QFETCH(QString, said);
    QFETCH(QString, listed);
    QFETCH(QStringList, written);
    QTemporaryDir series, out;
    const QString p = series.filePath(u"p"_s), i0 = series.filePath(u"i0"_s);
    QVERIFY(copyFolder(series_, p) && copyFolder(seriesI0_, i0));
    const QDir dir(p);
    if (fault == u"shared tag"_s) {
        for (const QString &name : dir.entryList({u"demo-7090eV-*"_s}))
            QVERIFY(QFile::copy(dir.filePath(name), dir.filePath(u"Fe2"_s + name.mid(4))));
    } else if (fault.startsWith(u"missing "_s)) {
        for (const QString &n : fault.mid(8).split(QRegularExpression(u"[ ,]+"_s))) {
            if (n == u"stray"_s)
                continue;
            const QString name = dir.filePath(u"demo-7115eV-%1.img"_s.arg(n.toInt(), 4, 10, QChar(u'0')));
            if (fault.contains(u"stray "_s + n))
                QVERIFY(QFile::copy(dir.filePath(u"demo-7115eV-0039.img"_s), name));
            else
                QVERIFY(QFile::remove(name));
        }
    } else if (fault == u"small 11"_s) {
        const QString name = dir.filePath(u"demo-7115eV-0011.img"_s);
        QVERIFY(
            QFile::remove(name) && writeItexFile(name, {8, 8, 2, 1.0, std::vector<uint32_t>(8 * 8, 1000)}));
    } else if (fault == u"no I0 7140"_s) {
        QVERIFY(QFile::remove(QDir(i0).filePath(u"I0-7140eV-0001.img"_s)));
    } else if (fault == u"bad I0 7115"_s) {
        QFile f(QDir(i0).filePath(u"I0-7115eV-0001.img"_s));
        QVERIFY(f.resize(f.size() / 2));
    } else if (fault.startsWith(u"subdirs"_s)) {
        const QStringList folders = fault.endsWith(u"keV"_s)
            ? QStringList {u"7_09keV"_s, u"7_115keV"_s, u"7_14keV"_s}
            : QStringList {u"Fe_7090eV"_s, u"Fe_7115eV"_s, u"Fe_7140eV"_s};
        const QStringList fields {u"7090eV"_s, u"7115eV"_s, u"7140eV"_s};
        for (int k = 0; k < 3; ++k) {
            QVERIFY(dir.mkdir(folders[k]));
            for (const QString &name : dir.entryList({u"demo-%1-*"_s.arg(fields[k])}, QDir::Files))
                QVERIFY(QFile::rename(dir.filePath(name), dir.filePath(folders[k] + u'/' + name)));
        }
    }
    const QStringList args
        = QStringList {u"--series"_s, p, u"--i0-files"_s, i0, u"--bg"_s, seriesBg_, u"--axis"_s, u"v"_s,
              u"--cor"_s, u"24.5"_s, u"--slices"_s, u"3:4"_s, u"--no-png"_s}
        + extra;
    QString listing;
    QCOMPARE(run(args + QStringList {u"--list-sets"_s}, &listing), 0);
    if (!listed.isEmpty())
        QVERIFY2(listing.contains(QRegularExpression(listed)), qPrintable(listing));
    if (fault.startsWith(u"small"_s))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Mismatch image size"_s));
    QString text;
    QCOMPARE(run(args + QStringList {u"--out"_s, out.path()}, &text), status);
    if (!said.isEmpty())
        QVERIFY2(text.contains(QRegularExpression(said)), qPrintable(text));
    QStringList tags;
    for (const QString &f : filesUnder(out.path())) {
        if (f.endsWith(u".dat"_s) && !tags.contains(beforeLastDash(f)))
            tags << beforeLastDash(f);
    }
    QCOMPARE(tags, written);
    QStringList done;
    for (const ManifestEntry &e : readManifest(out.filePath(u"series-manifest.tsv"_s))) {
        if (e.done())
            done << e.tag;
        else
            QVERIFY2(e.files == 0 && e.outcome.startsWith(u"failed: "_s), qPrintable(e.outcome));
    }
    QCOMPARE(done, written);
}

void TestRecon::i0ChoiceKeepsTheAttenuationRatios()
{
    // In slices without the iron inserts everything attenuates as E^-3: the slice at E is the one at
    // 7090 eV times (7090/E)^3. The ratio of their sums over the object says whether each set was
    // corrected with its own I0: the flat field's ripple moves with the energy, so another one leaves
    // its mark on the slice.
    QTemporaryDir data, right, wrong;
    XafsSeriesSetup setup;
    setup.scan.flatRipple = 0.05;
    setup.flatDrift = 0.01;
    setup.scan.width = 96;
    setup.scan.height = 4;
    setup.scan.cor = 48;
    setup.scan.projections = 90;
    setup.energies = 3;
    const QString p = data.filePath(u"p"_s), i0 = data.filePath(u"i0"_s), bg = data.filePath(u"bg.img"_s);
    QVERIFY(writeXafsSeries(setup, p, i0, bg));
    const QStringList common {u"--series"_s, p, u"--bg"_s, bg, u"--axis"_s, u"v"_s, u"--cor"_s, u"48"_s,
        u"--slice"_s, u"2"_s, u"--tiff"_s, u"--no-png"_s, u"--no-data"_s};
    QCOMPARE(run(common + QStringList {u"--i0-files"_s, i0, u"--out"_s, right.path()}), 0);
    // The last energy's I0 lost: it takes the one 25 eV below.
    QVERIFY(QFile::remove(QDir(i0).filePath(u"I0-7140eV-0001.img"_s)));
    QCOMPARE(run(common + QStringList {u"--i0-files"_s, i0, u"--out"_s, wrong.path()}), 2);
    QCOMPARE(
        run(common + QStringList {u"--i0-files"_s, i0, u"--allow-far-i0"_s, u"--out"_s, wrong.path()}), 0);

    const auto ratios = [](const QString &dir) {
        const std::vector<float> base = tiffValues(QDir(dir).filePath(u"7090eV-00002.tif"_s));
        const double top = base.empty() ? 0.0 : *std::max_element(base.begin(), base.end());
        QList<double> r;
        for (const QString &e : {u"7115eV"_s, u"7140eV"_s}) {
            const std::vector<float> v = tiffValues(QDir(dir).filePath(e + u"-00002.tif"_s));
            double a = 0.0, b = 0.0;
            for (size_t i = 0; i < std::min(v.size(), base.size()); ++i) {
                if (base[i] > 0.3 * top) { // the object
                    a += v[i];
                    b += base[i];
                }
            }
            r << (b > 0.0 ? a / b : 0.0);
        }
        return r;
    };
    const QList<double> truth {std::pow(7090.0 / 7115.0, 3), std::pow(7090.0 / 7140.0, 3)};
    const QList<double> good = ratios(right.path()), bad = ratios(wrong.path());
    qInfo() << "ratios to 7090 eV: truth" << truth << "own I0" << good << "7115 eV's I0 for 7140 eV" << bad;
    QCOMPARE(good.size(), 2);
    for (int k = 0; k < 2; ++k)
        QVERIFY2(std::abs(good[k] - truth[k]) < 0.005, qPrintable(QString::number(good[k])));
    QCOMPARE(bad[0], good[0]);
    QVERIFY2(std::abs(bad[1] - truth[1]) > 0.03, qPrintable(QString::number(bad[1])));
}

void TestRecon::aKilledRunResumes()
{
    // A run killed in the middle of a series (kill -9) as soon as its manifest shows the first set
    // done, then resumed: the files of an uninterrupted run, the finished set not done again.
    QTemporaryDir data, whole, resumed;
    XafsSeriesSetup setup;
    setup.scan.width = 96;
    setup.scan.height = 40;
    setup.scan.cor = 48;
    setup.scan.projections = 120;
    setup.energies = 4;
    const QString p = data.filePath(u"p"_s), i0 = data.filePath(u"i0"_s), bg = data.filePath(u"bg.img"_s);
    QVERIFY(writeXafsSeries(setup, p, i0, bg));
    const QStringList args {u"--series"_s, p, u"--i0-files"_s, i0, u"--bg"_s, bg, u"--axis"_s, u"v"_s,
        u"--cor"_s, u"48"_s, u"--slices"_s, u"0:39"_s, u"--sub-folders"_s, u"energy"_s, u"--name"_s, u"s"_s,
        u"--no-png"_s, u"--threads"_s, u"1"_s};
    QCOMPARE(run(args + QStringList {u"--out"_s, whole.path()}), 0);

    QProcess recon;
    recon.setProcessChannelMode(QProcess::MergedChannels);
    const QString manifest = resumed.filePath(u"series-manifest.tsv"_s);
    QFileSystemWatcher watcher({resumed.path()});
    size_t doneAtKill = 0;
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, [&] {
        const std::vector<ManifestEntry> entries = readManifest(manifest);
        if (doneAtKill == 0 && !entries.empty() && recon.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(recon.processId()), SIGKILL);
            doneAtKill = entries.size();
        }
    });
    recon.start(QStringLiteral(QUORVEL_RECON), args + QStringList {u"--out"_s, resumed.path()});
    QVERIFY(recon.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(recon.state() == QProcess::NotRunning, 60000);
    QVERIFY2(recon.exitStatus() == QProcess::CrashExit, "the run ended before the test could kill it");
    QVERIFY(doneAtKill >= 1 && doneAtKill < 4);
    QCOMPARE(readManifest(manifest).size(), doneAtKill);

    QString text;
    QCOMPARE(run(args + QStringList {u"--out"_s, resumed.path(), u"--resume"_s}, &text), 0);
    QVERIFY2(text.contains(u"data set 1 (demo 7090eV): its files are complete: skipped"_s), qPrintable(text));
    QVERIFY2(!text.contains(u"wrote "_s + resumed.filePath(u"7090eV"_s)), qPrintable(text));
    QVERIFY2(text.contains(u"wrote "_s + resumed.filePath(u"7140eV"_s)), qPrintable(text));
    const QStringList files = filesUnder(whole.path());
    QCOMPARE(filesUnder(resumed.path()), files);
    QVERIFY(sameFiles(whole.path(), resumed.path(), files.filter(u".dat"_s)));
    const std::vector<ManifestEntry> entries = readManifest(manifest);
    QCOMPARE(entries.size(), size_t(4));
    for (const ManifestEntry &e : entries)
        QVERIFY2(e.done() && e.files == 40 && e.images == 120, qPrintable(e.tag));
}

void TestRecon::memoryStaysWithTheBlock()
{
    // 100 projections of 1024 × 1024: 200 MB of pixels. Slices are image columns, so every file is
    // read whole, but only the two columns of the block are kept.
    QTemporaryDir big;
    const int n = 1024;
    std::vector<uint32_t> px(static_cast<size_t>(n) * n);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = 1000 + static_cast<uint32_t>((i * 2654435761u) >> 20) % 3000;
    for (int k = 0; k < 100; ++k)
        QVERIFY(writeItexFile(big.filePath(u"p%1.img"_s.arg(k, 3, 10, QChar(u'0'))), {n, n, 2, 1.0, px}));
    const qint64 whole = qint64(n) * n * 2 * 100;

    QProcess recon;
    recon.start(QStringLiteral(QUORVEL_RECON),
        {big.path(), u"--slices"_s, u"500:501"_s, u"--block"_s, u"2"_s, u"--threads"_s, u"1"_s, u"--cor"_s,
            u"512"_s, u"--no-data"_s, u"--out"_s, big.filePath(u"out"_s)});
    QVERIFY(recon.waitForFinished(120000));
    QCOMPARE(recon.exitCode(), 0);
    QVERIFY(QFile::exists(big.filePath(u"out/ct-00501.png"_s)));
    rusage usage {};
    QCOMPARE(getrusage(RUSAGE_CHILDREN, &usage), 0);
    const qint64 peak = qint64(usage.ru_maxrss) * 1024; // kilobytes on Linux
    qInfo() << "peak resident memory:" << peak / (1 << 20) << "MB for" << whole / (1 << 20) << "MB of pixels";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("A sanitizer's shadow memory makes the peak no measure of the block");
#endif
    QVERIFY2(peak < whole / 3, qPrintable(u"%1 MB"_s.arg(peak >> 20)));
}

void TestRecon::scanFilesMakeASeries()
{
    // One scan file per energy, named like the image files (sample-energy-number), each with its own
    // flats (that energy's I0) and a dark: the series reconstructs to the files of the image series
    // with its I0 files and BG, as a whole and task by task.
    QTemporaryDir scans;
    const std::vector<SeriesSet> sets = scanSeries(series_, SeriesLayout::OrmelStd, u"*.img"_s);
    QCOMPARE(sets.size(), size_t(3));
    for (const SeriesSet &set : sets) {
        QVERIFY(writeScanOfImages(scans.filePath(u"demo-%1-0001.nxs"_s.arg(set.tag)), set.files,
            QDir(seriesI0_).filePath(u"I0-%1-0001.img"_s.arg(set.tag)), seriesBg_, 4.5));
    }
    const QStringList common {u"--axis"_s, u"v"_s, u"--cor"_s, u"guess"_s, u"--slices"_s, u"1:8"_s,
        u"--sub-folders"_s, u"energy"_s, u"--name"_s, u"s"_s};
    QTemporaryDir fromImages, fromScans, oneTask;
    QCOMPARE(run(QStringList {u"--series"_s, series_, u"--i0-files"_s, seriesI0_, u"--bg"_s, seriesBg_,
                     u"--out"_s, fromImages.path()}
                 + common),
        0);
    const QStringList scanSeriesArgs
        = QStringList {u"--series"_s, scans.path(), u"--pattern"_s, u"*.nxs"_s} + common;
    QString text;
    QCOMPARE(run(scanSeriesArgs + QStringList {u"--out"_s, fromScans.path()}, &text), 0);
    QVERIFY2(text.contains(u"data set 3 (demo 7140eV): 1 files"_s), qPrintable(text));
    // The slices' files; the manifests name other inputs.
    const QRegularExpression slices(u"\\.(dat|png)$"_s);
    const QStringList expected = filesUnder(fromImages.path()).filter(slices);
    QCOMPARE(expected.size(), 3 * 8 * 2);
    QCOMPARE(filesUnder(fromScans.path()).filter(slices), expected);
    QVERIFY(sameFiles(fromImages.path(), fromScans.path(), expected));
    // Task 4 of 9: block 1 (slices 4 … 6) of the second set, read from its scan file alone.
    QCOMPARE(run(scanSeriesArgs
                 + QStringList {u"--block"_s, u"3"_s, u"--task"_s, u"4"_s, u"--tasks-of"_s, u"9"_s,
                     u"--out"_s, oneTask.path()}),
        0);
    const QStringList mine = filesUnder(oneTask.path()).filter(slices);
    QCOMPARE(mine.size(), 3 * 2);
    QVERIFY(mine.first().startsWith(u"7115eV/s-7115eV-00004"_s));
    QVERIFY(sameFiles(fromImages.path(), oneTask.path(), mine));
}

QTEST_GUILESS_MAIN(TestRecon)
#include "tst_recon.moc"
