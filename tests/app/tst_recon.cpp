// Qt
#include <QImage>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "ct/corline.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/itexwriter.h"
#include "imagedata/tiffwriter.h"
#include "recon/slicescheduler.h"
#include "tests/app/reconcommand.h"
#include "tools/phantom/phantom.h"
#include "tools/scanfile/scanfilewriter.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
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

// The projections written by writeCylinder into `dir` with their I0 and BG, then `options`.
QStringList scanIn(const QString &dir, const QString &options)
{
    return QStringList {dir + u"/p"_s, u"--i0"_s, dir + u"/i0.img"_s, u"--bg"_s, dir + u"/bg.img"_s}
    + words(options);
}

double rmsDifference(const std::vector<float> &a, const std::vector<float> &b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        sum += double(a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum / std::max<size_t>(a.size(), 1));
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

/// The reconstruction command: its options, slices and files, and centres of rotation.
class TestRecon : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void badArguments_data();
    void badArguments();
    void settingsDigest_data();
    void settingsDigest();
    void sliceLists_data();
    void sliceLists();
    void schedulerHandsOutEachSliceOnce_data();
    void schedulerHandsOutEachSliceOnce();
    void reconstructsACylinder();
    void tiffHoldsTheComputedValues();
    void partialSetKeepsItsImagesAngles();
    void ringRemovalOnlyWhenAsked();
    void blocksOfColumnsGiveTheFilesOfSingleSlices_data();
    void blocksOfColumnsGiveTheFilesOfSingleSlices();
    void refusesMismatchedInputs_data();
    void refusesMismatchedInputs();
    void strayEntriesAreRefused_data();
    void strayEntriesAreRefused();
    void nonFiniteProjection_data();
    void nonFiniteProjection();
    void largeRegionOnASmallImage();
    void fewerWorkersWhenMemoryIsShort();
    void scanFileGivesTheFilesOfImageFiles_data();
    void scanFileGivesTheFilesOfImageFiles();
    void corScanTrialsAreTheSlices_data();
    void corScanTrialsAreTheSlices();
    void guessPrintsBothMethods_data();
    void guessPrintsBothMethods();
    void corLineGivesEachSliceItsCentre();

private:
    static int run(const QStringList &args, QString *out = nullptr) { return runRecon(args, out); }
    /// The cylinder's projections with its I0 and BG, then `options`.
    QStringList cylinder(const QString &options) const { return scanIn(data_.path(), options); }
    QTemporaryDir data_, columns_;
    QString projections_;
};

void TestRecon::initTestCase()
{
    ScanSetup setup = smallScan();
    setup.noise = 0;
    projections_ = data_.filePath(u"p"_s);
    QVERIFY(writeCylinder(data_.path(), setup));
    // The axis horizontal: the slices are image columns.
    setup = smallScan();
    setup.axisVertical = false;
    setup.height = 40;
    setup.cor = 20;
    setup.projections = 30;
    setup.faults.gains = {{15, 1.03}, {26, 0.97}};
    QVERIFY(writeCylinder(columns_.path(), setup));
}

void TestRecon::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no folder") << QStringList {};
    QTest::newRow("axis") << words(u"d --axis x"_s);
    QTest::newRow("cor") << words(u"d --cor middle"_s);
    QTest::newRow("slices") << words(u"d --slices 5"_s);
    QTest::newRow("slice and slices") << words(u"d --slice 5 --slices 1:2"_s);
    QTest::newRow("region") << words(u"d --region 0,0,10"_s);
    QTest::newRow("sub-folders") << words(u"d --sub-folders all"_s);
    QTest::newRow("threads 0") << words(u"d --threads 0"_s);
    QTest::newRow("nothing to write") << words(u"d --no-png --no-data"_s);
    QTest::newRow("unknown option") << words(u"d --colour"_s);
    // Names and tags that would place files outside --out.
    QTest::newRow("name going up") << words(u"d --name ../../x"_s);
    QTest::newRow("tag with a separator") << words(u"d --tag a/b"_s);
    QTest::newRow("tag going up") << words(u"d --tag .. --sub-folders energy"_s);
    QTest::newRow("name with a backslash") << words(u"d --name a\\b"_s);
    // Numbers that parse but cannot be computed with.
    QTest::newRow("region whose pixel count overflows") << words(u"d --region 0,0,4294967296,4294967296"_s);
    QTest::newRow("region not a number") << words(u"d --region 0,0,nan,10"_s);
    QTest::newRow("region upside down") << words(u"d --region 10,0,5,10"_s);
    QTest::newRow("partial count -2^31") << words(u"d --partial 0:-2147483648"_s);
    QTest::newRow("partial count 0") << words(u"d --partial 0:0"_s);
    QTest::newRow("partial count beyond 32 bits") << words(u"d --partial 0:4294967296"_s);
    QTest::newRow("partial start negative") << words(u"d --partial -1:10"_s);
    QTest::newRow("slices from nan") << words(u"d --slices nan:1"_s);
    QTest::newRow("slices to inf") << words(u"d --slices 1:inf"_s);
    QTest::newRow("slices step 2^32") << words(u"d --slices 0:10:4294967296"_s);
    QTest::newRow("slices not whole") << words(u"d --slices 0:10.5"_s);
    QTest::newRow("slices negative") << words(u"d --slices -3:10"_s);
    QTest::newRow("slice negative") << words(u"d --slice -1"_s);
    QTest::newRow("range nan") << words(u"d --range nan"_s);
    QTest::newRow("angle origin inf") << words(u"d --angle-origin inf"_s);
    QTest::newRow("cor nan") << words(u"d --cor nan"_s);
    QTest::newRow("cor -inf") << words(u"d --cor -inf"_s);
    QTest::newRow("upper nan") << words(u"d --upper nan"_s);
    QTest::newRow("offset inf") << words(u"d --offset inf"_s);
    QTest::newRow("colour range nan") << words(u"d --color-range nan,1"_s);
    QTest::newRow("threads 2·10^9") << words(u"d --threads 2000000000"_s);
    // Centres of rotation.
    QTest::newRow("cor method") << words(u"d --cor-method vo"_s);
    QTest::newRow("guess-line of one") << QStringList {u"d"_s, u"--cor"_s, u"guess-line 1"_s};
    QTest::newRow("guess-line of nothing") << words(u"d --cor guess-line"_s);
    QTest::newRow("cor line at one slice") << words(u"d --cor-line 5:31,5:32"_s);
    QTest::newRow("cor line, one record") << words(u"d --cor-line 5:31"_s);
    QTest::newRow("cor line, slice not whole") << words(u"d --cor-line 0.5:31,5:32"_s);
    QTest::newRow("cor line and cor") << words(u"d --cor-line 0:31,5:32 --cor 3"_s);
    QTest::newRow("scan step 0") << words(u"d --cor-scan 30:34:0"_s);
    QTest::newRow("scan of 10^6 trials") << words(u"d --cor-scan 0:1000000:1"_s);
    QTest::newRow("scan, nan") << words(u"d --cor-scan nan:34:1"_s);
    QTest::newRow("scan of slices") << words(u"d --cor-scan 30:34:1 --slices 1:3"_s);
    QTest::newRow("scan and cor") << words(u"d --cor-scan 30:34:1 --cor guess"_s);
    QTest::newRow("hdf5 compression") << words(u"d --hdf5 v.h5 --hdf5-compress zstd"_s);
    QTest::newRow("hdf5 of a scan") << words(u"d --cor-scan 30:34:1 --hdf5 v.h5"_s);
    QTest::newRow("hdf5 of a plain task") << words(u"d --task 0 --hdf5 v.h5"_s);
    QTest::newRow("rings: unknown method") << words(u"d --rings rings"_s);
    QTest::newRow("rings: even window") << words(u"d --rings all:large=60"_s);
    QTest::newRow("rings: snr out of range") << words(u"d --rings sort:snr=0"_s);
    // Series and job arrays.
    QTest::newRow("series and a folder") << words(u"--series s d"_s);
    QTest::newRow("layout") << words(u"--series s --layout flat"_s);
    QTest::newRow("sets from 0") << words(u"--series s --sets 0:3"_s);
    QTest::newRow("sets not numbers") << words(u"--series s --sets a:b"_s);
    QTest::newRow("sets one number") << words(u"--series s --sets 2"_s);
    QTest::newRow("block 0") << words(u"d --block 0"_s);
    QTest::newRow("negative task") << words(u"d --task -1"_s);
    QTest::newRow("tasks-of alone") << words(u"d --tasks-of 4"_s);
    QTest::newRow("tasks-of 0") << words(u"d --task 0 --tasks-of 0"_s);
    QTest::newRow("i0 and i0-files") << words(u"--series s --i0 a.img --i0-files i"_s);
    QTest::newRow("pattern without series") << words(u"d --pattern *.img"_s);
    QTest::newRow("sets without series") << words(u"d --sets 1:2"_s);
    // Mistakes that used to pass: a window that writes every value as the offset, angles beyond ten
    // turns, and a pattern the shell expanded (@P@: a projection file).
    QTest::newRow("upper below lower") << words(u"d --upper 1 --lower 2"_s);
    QTest::newRow("range beyond ten turns") << words(u"d --range 3601"_s);
    QTest::newRow("angle origin beyond ten turns") << words(u"d --angle-origin -4000"_s);
    QTest::newRow("a projection as the folder") << words(u"@P@ --i0 i0.img"_s);
    QTest::newRow("file names after the folder") << words(u"d p0001.img p0002.img"_s);
    QTest::newRow("align without series") << words(u"d --align --sub-folders energy"_s);
    QTest::newRow("align without a folder per energy") << words(u"--series s --align --sub-folders slice"_s);
    QTest::newRow("align in a task") << words(u"--series s --align --sub-folders energy --task 3"_s);
}

void TestRecon::badArguments()
{
    QFETCH(QStringList, args);
    args.replaceInStrings(u"@P@"_s, QDir(projections_).entryInfoList(QDir::Files).value(0).filePath());
    ReconOptions options;
    QString error;
    QVERIFY(!parseReconOptions(args, options, error));
    QVERIFY(!error.isEmpty());
}

void TestRecon::settingsDigest_data()
{
    // A series resumed with other settings must redo its sets: every option that changes a file
    // changes the digest; how the work is divided, where the files go, and the tag and I0 (which
    // the manifest records apart) do not.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("differs");
    const QString d = u"d --cor 31 "_s;
    const std::pair<const char *, const char *> changes[] = {{"axis", "--axis v"}, {"centre", "--cor 31.5"},
        {"slices", "--slices 1:3"}, {"angle origin", "--angle-origin 1"}, {"range", "--range 360"},
        {"partial", "--partial 0:40"}, {"region", "--region 0,0,50,50"}, {"upper", "--upper 5"},
        {"lower", "--lower -5"}, {"offset", "--offset 0"}, {"name", "--name x"},
        {"sub-folders", "--sub-folders slice"}, {"no png", "--no-png"}, {"no data", "--no-data"},
        {"tiff", "--tiff"}, {"colour range", "--color-range 0,1"}, {"single precision", "--single"},
        {"ring removal", "--rings all"}, {"BG", "--bg bg.img"}, {"pattern", "*.tif"},
        {"hdf5", "--hdf5 v.h5"}};
    for (auto [what, option] : changes)
        QTest::newRow(what) << d << d + QLatin1String(option) << true;
    QTest::newRow("guessed centre") << d << u"d --cor guess"_s << true;
    QTest::newRow("centre method of a guess")
        << u"d --cor guess"_s << u"d --cor guess --cor-method fourier"_s << true;
    QTest::newRow("guesses along the range")
        << u"d --slices 0:7 --cor guess-line 2"_s << u"d --slices 0:7 --cor guess-line 3"_s << true;
    QTest::newRow("centre line") << u"d --cor-line 0:31,7:32"_s << u"d --cor-line 0:31,7:33"_s << true;
    QTest::newRow("ring parameters") << d + u"--rings all"_s << d + u"--rings all:snr=4"_s << true;
    QTest::newRow("hdf5 compression")
        << d + u"--hdf5 v.h5"_s << d + u"--hdf5 v.h5 --hdf5-compress lz4"_s << true;
    QTest::newRow("hdf5 file name") << d + u"--hdf5 v.h5"_s << d + u"--hdf5 w.h5"_s << false;
    QTest::newRow("ring parameters while off") << d + u"--rings off"_s << d + u"--rings off:snr=4"_s << false;
    QTest::newRow("centre method of a given centre") << d << d + u"--cor-method fourier"_s << false;
    const std::pair<const char *, const char *> same[] = {{"threads", "--threads 3"}, {"block", "--block 4"},
        {"output folder", "--out elsewhere"}, {"tag", "--tag E2"}, {"I0", "--i0 other.img"}};
    for (auto [what, option] : same)
        QTest::newRow(what) << d << d + QLatin1String(option) << false;
    QTest::newRow("resumed") << u"--series s"_s << u"--series s --resume"_s << false;
}

void TestRecon::settingsDigest()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(bool, differs);
    ReconOptions a, b;
    QString error;
    QVERIFY2(parseReconOptions(words(before), a, error), qPrintable(error));
    QVERIFY2(parseReconOptions(words(after), b, error), qPrintable(error));
    QCOMPARE(outputSettingsDigest(a) != outputSettingsDigest(b), differs);
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

void TestRecon::schedulerHandsOutEachSliceOnce_data()
{
    // The window's and the command's slices go out through one scheduler: in parts (the command's
    // blocks as they are read), a share of consecutive slices at a time per worker.
    QTest::addColumn<QList<int>>("parts"); // slices per part
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("sinogramSlices"); // the most in one sinogram pass
    QTest::addColumn<int>("firstShare");
    QTest::newRow("one part, rows: one at a time") << QList<int> {10} << 3 << 1 << 1;
    QTest::newRow("one part, half each") << QList<int> {20} << 2 << 32 << 10;
    QTest::newRow("a share at most a pass") << QList<int> {64} << 2 << 8 << 8;
    QTest::newRow("two blocks, more workers than slices") << QList<int> {3, 5} << 4 << 32 << 1;
}

void TestRecon::schedulerHandsOutEachSliceOnce()
{
    QFETCH(QList<int>, parts);
    QFETCH(int, workers);
    QFETCH(int, sinogramSlices);
    QFETCH(int, firstShare);
    SliceScheduler s;
    s.reset(workers);
    QList<int> all;
    for (int p = 0; p < parts.size(); ++p) {
        QList<int> slices;
        for (int k = 0; k < parts[p]; ++k)
            slices << 100 * p + 3 * k;
        all += slices;
        s.addPart(p, slices, sinogramSlices);
    }
    // Each worker takes a slice and gives it back in turn, until nothing is left.
    QList<int> handed, completed;
    std::vector<std::vector<int>> perWorker(static_cast<size_t>(workers));
    for (bool any = true; any && handed.size() <= all.size();) { // a slice handed out twice ends it too
        any = false;
        for (int w = 0; w < workers; ++w) {
            const std::optional<SliceHandout> h = s.take(w);
            if (!h)
                continue;
            any = true;
            QCOMPARE(s.inWork(w), 1);
            QVERIFY(std::find(h->sinogramBlock.begin(), h->sinogramBlock.end(), h->slice) != h->sinogramBlock.end());
            QCOMPARE(h->blockId == 0, h->sinogramBlock.size() == 1);
            if (handed.isEmpty())
                QCOMPARE(int(h->sinogramBlock.size()), firstShare);
            handed << h->slice;
            perWorker[static_cast<size_t>(w)].push_back(h->slice);
            const SliceScheduler::Returned back = s.returned(w);
            QCOMPARE(back.part, h->part);
            if (back.partComplete)
                completed << back.part;
        }
    }
    QList<int> sorted = handed;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(sorted, all); // every slice once
    QCOMPARE(completed.size(), parts.size()); // each part complete once
    for (const std::vector<int> &mine : perWorker)
        QVERIFY(std::is_sorted(mine.begin(), mine.end())); // a worker's slices in order
    QVERIFY(!s.hasSlicesLeft());
    QCOMPARE(s.taken(), int(all.size()));
    // A stopped run hands nothing out, and drops what its shares still held.
    s.reset(workers);
    s.addPart(0, all, sinogramSlices);
    QVERIFY(s.take(0));
    s.stop();
    QVERIFY(!s.take(0) && !s.take(workers - 1));
    QCOMPARE(s.queued(), 0);
    QVERIFY(!s.hasSlicesLeft());
}

void TestRecon::reconstructsACylinder()
{
    QTemporaryDir out;
    QString text;
    QCOMPARE(
        run(cylinder(u"--axis v --cor 32 --slices 2:4:2 --name cyl --tag E1 --out"_s) << out.path(), &text),
        0);
    QVERIFY2(text.startsWith(u"centre of rotation: 32\n"_s), qPrintable(text));
    QVERIFY(text.contains(u"wrote "_s + out.filePath(u"cyl-E1-00002.dat"_s)));
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
    const QStringList common = scanIn(columns_.path(), u"--axis h --cor 19.6 --rings "_s + rings);
    QTemporaryDir blocks, single;
    QCOMPARE(
        run(common + words(u"--slices %1 --threads %2 --block %3 --out"_s.arg(slices).arg(threads).arg(block))
            << blocks.path()),
        0);
    const QStringList files = QDir(blocks.path()).entryList(QDir::Files);
    QVERIFY(!files.isEmpty());
    for (const QString &name : files) {
        if (!name.endsWith(u".dat"_s))
            continue;
        const int slice = name.section(u'-', -1).section(u'.', 0, 0).toInt();
        QCOMPARE(run(common + words(u"--slice %1 --out"_s.arg(slice)) << single.path()), 0);
        const QString stem = name.section(u'.', 0, 0);
        QVERIFY(sameFiles(blocks.path(), single.path(), {stem + u".dat"_s, stem + u".png"_s}));
    }
}

void TestRecon::tiffHoldsTheComputedValues()
{
    // The float TIFF holds what the data file holds before its window and offset: with a window that
    // lets everything through and no offset, the same numbers to the data file's six digits; and
    // another window or offset does not change it. --single gives other numbers, within 1e-5 of the
    // slice's value range.
    QTemporaryDir plain, shifted, singles;
    const QStringList common {projections_, u"--axis"_s, u"v"_s, u"--cor"_s, u"32"_s, u"--slice"_s, u"4"_s,
        u"--region"_s, u"5,7,50,40"_s, u"--tiff"_s, u"--no-png"_s, u"--tag"_s, u"t"_s};
    QCOMPARE(run(common + words(u"--upper 1e9 --lower -1e9 --offset 0 --out"_s) << plain.path()), 0);
    QCOMPARE(run(common + words(u"--upper 0.01 --out"_s) << shifted.path()), 0);
    QVERIFY(sameFiles(plain.path(), shifted.path(), {u"t-00004.tif"_s}));
    QCOMPARE(run(common + words(u"--single --no-data --out"_s) << singles.path()), 0);

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

    const std::vector<float> single = tiffValues(singles.filePath(u"t-00004.tif"_s));
    QCOMPARE(single.size(), pixels.size());
    const auto [lo, hi] = std::minmax_element(pixels.begin(), pixels.end());
    double worst = 0.0;
    for (size_t i = 0; i < pixels.size(); ++i)
        worst = std::max(worst, double(std::abs(pixels[i] - single[i])));
    QVERIFY(worst > 0.0);
    QVERIFY2(worst <= 1e-5 * (*hi - *lo), qPrintable(QString::number(worst)));
}

void TestRecon::partialSetKeepsItsImagesAngles()
{
    // The second half of the set used as a partial one is the same projections at the same angles as
    // those images loaded alone with the angle origin of image 45 (90 degrees): the same slice, to
    // the bit. Angles begun at image 45 as if it were the first would turn the off-axis cylinder.
    QTemporaryDir half, partial, alone;
    const QDir images(projections_);
    const QStringList names = images.entryList(QDir::Files, QDir::Name);
    QCOMPARE(names.size(), 90);
    for (const QString &name : names.mid(45))
        QVERIFY(QFile::copy(images.filePath(name), half.filePath(name)));
    const QString options = u" --axis v --cor 32 --slice 4 --tiff --no-png --no-data --tag E --out"_s;
    QCOMPARE(run(cylinder(u"--partial 45:45"_s + options) << partial.path()), 0);
    QCOMPARE(run(scanIn(data_.path(), u"--range 90 --angle-origin 90"_s + options)
                     .replaceInStrings(projections_, half.path())
            << alone.path()),
        0);
    const std::vector<float> a = tiffValues(partial.filePath(u"E-00004.tif"_s));
    QCOMPARE(a.size(), size_t(60 * 60)); // the whole image, N = 60
    const double d = rmsDifference(a, tiffValues(alone.filePath(u"E-00004.tif"_s)));
    QVERIFY2(d < 1e-6, qPrintable(QString::number(d)));
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
    const auto common = [&](const char *kind, const QString &options, const QTemporaryDir &out) {
        return scanIn(scans.filePath(QString::fromLatin1(kind)),
                   u"--axis v --cor 32 --slice 4 --tiff --no-png --tag t "_s + options + u" --out"_s)
            << out.path();
    };
    QTemporaryDir sound, plain, off, all;
    QString printed;
    QCOMPARE(run(common("sound", {}, sound)), 0);
    QCOMPARE(run(common("faulty", {}, plain)), 0);
    QCOMPARE(run(common("faulty", u"--rings off"_s, off), &printed), 0);
    QVERIFY(!printed.contains(u"ring removal"_s));
    QCOMPARE(run(common("faulty", u"--rings all"_s, all), &printed), 0);
    QVERIFY2(printed.contains(u"ring removal: all snr=3 large=31 small=21"_s), qPrintable(printed));
    QVERIFY(sameFiles(plain.path(), off.path(), {u"t-00004.dat"_s, u"t-00004.tif"_s}));
    const std::vector<float> truth = tiffValues(sound.filePath(u"t-00004.tif"_s));
    QVERIFY(!truth.empty());
    const double before = rmsDifference(tiffValues(off.filePath(u"t-00004.tif"_s)), truth);
    const double after = rmsDifference(tiffValues(all.filePath(u"t-00004.tif"_s)), truth);
    QVERIFY2(after * 3 < before, qPrintable(u"%1 before, %2 after"_s.arg(before).arg(after)));
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
    QTest::newRow("centre of rotation at the edge") << QString() << words(u"--cor 0.5"_s) << QString();
    // Between L − 2 and L − 1: inside the line, but no sample on the right of the axis.
    QTest::newRow("centre of rotation between the last two pixels")
        << QString() << words(u"--cor 62.5"_s) << QString();
    QTest::newRow("slice outside") << QString() << words(u"--slices 4:8"_s) << QString();
    QTest::newRow("slices far beyond the images")
        << QString() << words(u"--slices 0:200000000"_s) << u"slice 200000000 is outside 0 … 7"_s;
    QTest::newRow("no matching file") << QString() << QStringList {u"*.tif"_s} << QString();
    QTest::newRow("guess without a facing image")
        << QString() << words(u"--cor guess --partial 10:80"_s) << QString();
    QTest::newRow("partial count above the images loaded")
        << QString() << words(u"--partial 0:2000000000"_s)
        << u"--partial: 2000000000 images of the 90 loaded"_s;
    QTest::newRow("partial set of more images than loaded")
        << QString() << words(u"--partial 3:91"_s) << QString();
    QTest::newRow("partial count below minus the images loaded")
        << QString() << words(u"--partial 3:-91"_s) << u"--partial: -91 images of the 90 loaded"_s;
    QTest::newRow("partial start after the last image")
        << QString() << words(u"--partial 90:10"_s) << u"--partial: image 90 is outside 0 … 89"_s;
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

void TestRecon::strayEntriesAreRefused_data()
{
    // One projection's place taken by an entry that is no image file: the run fails naming it,
    // instead of reconstructing the other 89 over the whole range.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("said");
    QTest::newRow("folder") << u"folder"_s << u"it is a folder, not an image file"_s;
    QTest::newRow("named pipe") << u"pipe"_s << u"it is a named pipe, not an image file"_s;
    QTest::newRow("socket") << u"socket"_s << u"it is a socket, not an image file"_s;
    QTest::newRow("dangling link") << u"dangling"_s
                                   << u"it is a link that leads nowhere, not an image file"_s;
    QTest::newRow("loop of links") << u"loop"_s << u"it is a link that leads nowhere, not an image file"_s;
}

void TestRecon::strayEntriesAreRefused()
{
    QFETCH(QString, kind);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString p = dir.filePath(u"p"_s);
    QVERIFY(copyFolder(projections_, p));
    const QStringList names = QDir(p).entryList(QDir::Files, QDir::Name);
    QCOMPARE(names.size(), 90);
    const QString stray = QDir(p).filePath(names[45]);
    const QByteArray path = QFile::encodeName(stray);
    QVERIFY(QFile::remove(stray));
    if (kind == u"folder"_s) {
        QVERIFY(QDir().mkdir(stray));
    } else if (kind == u"pipe"_s) {
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    } else if (kind == u"socket"_s) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(path.size()) < sizeof address.sun_path);
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
    } else {
        QVERIFY(QFile::link(kind == u"loop"_s ? stray : dir.filePath(u"gone.img"_s), stray));
    }
    QString text;
    QCOMPARE(run(QStringList {p, u"--i0"_s, data_.filePath(u"i0.img"_s), u"--axis"_s, u"v"_s, u"--out"_s,
                     dir.filePath(u"out"_s)},
                 &text),
        1);
    QVERIFY2(text.contains(stray + u": "_s + said), qPrintable(text));
}

void TestRecon::nonFiniteProjection_data()
{
    // Projection 45 of 90 made a float TIFF with some pixels that are not a number: two are dead
    // pixels, replaced from their rows; ten columns of them (16 % of the image) refuse it. Before,
    // both wrote slices of "-nan" and ended with success.
    QTest::addColumn<QList<int>>("columns"); // not a number in every row
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::newRow("two pixels") << QList<int> {} << 0 << u"2 pixels that are not finite replaced"_s;
    QTest::newRow("ten columns") << QList<int> {20, 21, 22, 23, 24, 25, 26, 27, 28, 29} << 1
                                 << u"80 of 512 pixels are not finite (more than 1 %)"_s;
}

void TestRecon::nonFiniteProjection()
{
    QFETCH(QList<int>, columns);
    QFETCH(int, status);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString p = dir.filePath(u"p"_s);
    QVERIFY(copyFolder(projections_, p));
    const QString victim = QDir(p).entryInfoList(QDir::Files, QDir::Name).value(45).filePath();
    const std::unique_ptr<ImgData> img = openImgData(victim);
    QVERIFY(img && img->width() == 64 && img->height() == 8);
    std::vector<float> values;
    std::vector<double> row(64);
    for (int y = 0; y < 8; ++y) {
        img->getRow(y, row.data());
        for (int x = 0; x < 64; ++x)
            values.push_back(columns.contains(x) || (columns.isEmpty() && x == 30 && y % 4 == 1)
                    ? qQNaN()
                    : float(row[size_t(x)]));
    }
    QVERIFY(QFile::remove(victim));
    const QString tiff = QFileInfo(victim).path() + u'/' + QFileInfo(victim).completeBaseName() + u".tif"_s;
    QVERIFY(writeTiffFile(tiff, TiffImage {64, 8, 32, true, {}, values}));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(said)));
    if (status != 0)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Can not read lines"_s));
    QString text;
    const QString out = dir.filePath(u"out"_s);
    QCOMPARE(run(QStringList {p, u"*"_s, u"--i0"_s, data_.filePath(u"i0.img"_s), u"--bg"_s,
                     data_.filePath(u"bg.img"_s), u"--axis"_s, u"v"_s, u"--cor"_s, u"32"_s, u"--slices"_s,
                     u"0:7"_s, u"--no-png"_s, u"--out"_s, out},
                 &text),
        status);
    for (const QString &name : QDir(out).entryList(QDir::Files)) {
        QFile f(QDir(out).filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY2(!f.readAll().contains("nan"), qPrintable(name));
    }
    QCOMPARE(QDir(out).entryList(QDir::Files).size(), status == 0 ? 8 : 0);
}

void TestRecon::largeRegionOnASmallImage()
{
    // A centre of rotation 12 pixels from the edge gives N = 22; a data file of a 300 × 300 region
    // (more than 16·64² lines) was refused, and the command wrote no data file and exited 1. The
    // file goes into both sub-folders, of the tag and of the slice.
    QTemporaryDir out;
    QString text;
    const QStringList common = QStringList {projections_} + words(u"--axis v --cor 12 --no-png --out"_s)
        << out.path();
    QCOMPARE(run(common + words(u"--slice 3 --region 0,0,300,300 --tag E7 --sub-folders both"_s), &text), 0);
    QFile dat(out.filePath(u"E7/E7-00003.dat"_s));
    QVERIFY2(dat.open(QIODevice::ReadOnly), qPrintable(text));
    QCOMPARE(dat.readAll().count('\n'), 6 + 300 * 300);
    QVERIFY(QFile::exists(out.filePath(u"00003/E7-00003.dat"_s)));
    QVERIFY(!QFile::exists(out.filePath(u"00003/E7-00003.png"_s)));
    // A region no memory could hold is refused before the slice is computed: exit status 1.
    QCOMPARE(run(common + words(u"--slice 4 --region 0,0,1e7,1e7"_s), &text), 1);
    QVERIFY2(text.contains(QRegularExpression(u"slice 4 needs 16\\d\\d TB, \\d+ [kMGT]?B are available"_s)),
        qPrintable(text));
    QVERIFY(!QFile::exists(out.filePath(u"ct-00004.dat"_s)));
}

void TestRecon::fewerWorkersWhenMemoryIsShort()
{
    // Memory for one worker and not for two: the run goes on one worker, with a warning, and writes
    // the files a run of four writes. The need is read from the refusal of a run without memory.
    const QStringList common = cylinder(u"--axis v --cor 32 --slices 1:6 --threads 4 --out"_s);
    auto restore = qScopeGuard([] { qunsetenv("QV_AVAILABLE_MEMORY"); });
    QTemporaryDir none, one, four;
    QString text;
    qputenv("QV_AVAILABLE_MEMORY", "100");
    QCOMPARE(run(common + QStringList {none.path()}, &text), 1);
    const QRegularExpressionMatch need
        = QRegularExpression(u"slice 1 needs (\\d+) kB, 100 bytes are available"_s).match(text);
    QVERIFY2(need.hasMatch(), qPrintable(text));
    QVERIFY(QDir(none.path()).isEmpty());
    // A worker's engine of 62 for 90 projections alone holds more than the 10 kB given beyond the need.
    qputenv("QV_AVAILABLE_MEMORY", QByteArray::number(need.captured(1).toLongLong() * 1000 + 10000));
    QCOMPARE(run(common + QStringList {one.path()}, &text), 0);
    QVERIFY2(text.contains(u"warning: memory for 1 of 4 workers: the job goes on 1"_s), qPrintable(text));
    qunsetenv("QV_AVAILABLE_MEMORY");
    QCOMPARE(run(common + QStringList {four.path()}, &text), 0);
    const QStringList files = QDir(four.path()).entryList(QDir::Files);
    QCOMPARE(files.size(), 12);
    QCOMPARE(QDir(one.path()).entryList(QDir::Files), files);
    QVERIFY(sameFiles(one.path(), four.path(), files));
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

    ScanFileRecipe recipe;
    recipe.width = setup.width;
    recipe.height = setup.height;
    const int n = setup.projections;
    if (exchange) {
        recipe.layout = ScanFileRecipe::Layout::DataExchange;
        recipe.type = ScanFileRecipe::Type::F32;
        recipe.gzip = 4;
        recipe.projections = n;
        recipe.flats = 3;
        recipe.darks = 2;
    } else {
        recipe.keys = {2, 1, 1};
        for (int k = 0; k < n; ++k) {
            if (k == n / 2)
                recipe.keys.insert(recipe.keys.end(), {3, 1, 2});
            recipe.keys.push_back(0);
        }
    }
    int projection = 0;
    for (size_t f = 0; f < (exchange ? size_t(n) : recipe.keys.size()); ++f)
        recipe.angles.push_back(!exchange && recipe.keys[f] != 0 ? -1.0 : 2.0 * projection++);
    recipe.fill = [&](int kind, int index, int y, double *row) {
        const size_t image = kind == 0 ? size_t(index) : kind == 1 ? images.size() - 2 : images.size() - 1;
        images[image]->getRow(y, row);
    };
    const QString scanFile = dir.filePath(u"scan.nxs"_s);
    QVERIFY(writeScanFile(scanFile, recipe));

    QTemporaryDir fromImages, fromScan;
    const QStringList common = words(
        u"--cor guess --axis "_s + axis + (axis == u"v"_s ? u" --slices 1:6:5"_s : u" --slices 20:40:10"_s));
    QString text;
    QCOMPARE(run((scanIn(dir.path(), u"--range "_s + (endAngle ? u"182"_s : u"180"_s) + u" --out"_s)
                     << fromImages.path())
                     + common,
                 &text),
        0);
    QCOMPARE(
        run(QStringList {scanFile, u"--range"_s, u"180"_s, u"--out"_s, fromScan.path()} + common, &text), 0);
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
    recipe.angles[recipe.angles.size() - 3] += 1.0;
    QVERIFY(writeScanFile(scanFile, recipe));
    QTemporaryDir uneven;
    QCOMPARE(run(QStringList {scanFile, u"--out"_s, uneven.path()} + common, &text), 1);
    QVERIFY2(text.contains(u"are not evenly spaced: from projection"_s), qPrintable(text));
    QVERIFY(QDir(uneven.path()).isEmpty());
}

void TestRecon::corScanTrialsAreTheSlices_data()
{
    // On lines of 64 pixels a trial at c makes an image of 2 floor(min(c, 63 - c)) - 2 pixels: 58 at
    // 30.5, 60 at 31 and 32, 56 at 33.5. Every page of the scan's TIFF has the size of one calculation
    // region, so that viewers open the file as one stack: --region, else the middle centre's image.
    QTest::addColumn<QString>("scan");
    QTest::addColumn<QString>("region"); // --region, or none
    QTest::addColumn<QSize>("page");
    QTest::addColumn<double>("best");
    QTest::newRow("odd count: the middle centre") << u"30:34:0.5"_s << QString() << QSize(60, 60) << 32.0;
    QTest::newRow("even count: the lower middle one")
        << u"29:32.5:0.5"_s << QString() << QSize(58, 58) << 32.0;
    QTest::newRow("downwards: the lower middle one")
        << u"32.5:29:0.5"_s << QString() << QSize(58, 58) << 32.0;
    QTest::newRow("the region given") << u"30:34:0.5"_s << u"6,4,50,40"_s << QSize(44, 36) << 32.0;
}

void TestRecon::corScanTrialsAreTheSlices()
{
    QFETCH(QString, scan);
    QFETCH(QString, region);
    QFETCH(QSize, page);
    QFETCH(double, best);
    QTemporaryDir out, single;
    QStringList common = cylinder(u"--axis v --slice 4 --tag t"_s);
    if (!region.isEmpty())
        common << u"--region"_s << region;
    QString text;
    QCOMPARE(run(common + QStringList {u"--cor-scan"_s, scan, u"--out"_s, out.path()}, &text), 0);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files),
        QStringList({u"t-corscan-00004.png"_s, u"t-corscan-00004.tif"_s, u"t-corscan-00004.txt"_s}));
    QVERIFY2(std::abs(printed(text, u"best centre of rotation: "_s) - best) <= 0.5, qPrintable(text));
    // The table: a line per trial, the best one marked.
    QFile table(out.filePath(u"t-corscan-00004.txt"_s));
    QVERIFY(table.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(table.readAll()).trimmed().split(u'\n');
    const QStringList ends = scan.split(u':');
    const int count = 1 + int(std::lround(std::abs(ends[1].toDouble() - ends[0].toDouble()) / 0.5));
    QCOMPARE(rows.size(), 2 + count);
    QCOMPARE(rows.filter(u"best"_s).size(), 1);
    QCOMPARE(QImage(out.filePath(u"t-corscan-00004.png"_s)).size(), QSize(8 + 7 * 168, 8 + 2 * 188));

    // Every page is the same region; page k is the slice a plain run makes of that region at its
    // centre, to the bit (pixels beyond a smaller trial's image are 0 in both).
    QStringList descriptions;
    QList<QSize> sizes;
    const auto pages = tiffPages(out.filePath(u"t-corscan-00004.tif"_s), &descriptions, nullptr, &sizes);
    QCOMPARE(pages.size(), size_t(count));
    QCOMPARE(sizes, QList<QSize>(count, page));
    const QString pageRegion
        = region.isEmpty() ? u"0,0,%1,%2"_s.arg(page.width()).arg(page.height()) : region;
    for (int k : {0, count / 2, count - 1}) {
        const double from = ends[0].toDouble(), to = ends[1].toDouble();
        const QString cor = QString::number(from + (to > from ? 0.5 : -0.5) * k);
        QVERIFY2(descriptions[k].startsWith(u"slice 4, centre of rotation "_s + cor + u","_s),
            qPrintable(descriptions[k]));
        const QString dir = single.filePath(cor);
        QStringList plainRun
            = cylinder(u"--axis v --slice 4 --tag t --tiff --no-png --no-data --cor "_s + cor);
        plainRun << u"--region"_s << pageRegion << u"--out"_s << dir;
        QCOMPARE(run(plainRun), 0);
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
    QString text;
    QCOMPARE(run(cylinder(u"--axis v --cor guess --no-png --no-data "_s
                     + (method.isEmpty() ? QString() : u"--cor-method "_s + method)),
                 &text),
        0);
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
    QCOMPARE(run(common + words(u"--cor-line 0:31.5,7:32.9 --slices 1:5:2 --out"_s) << line.path()), 0);
    for (int slice : {1, 3, 5}) {
        const QString dir = single.filePath(QString::number(slice));
        const QString cor = QString::number(records.at(slice), 'g', 17);
        QCOMPARE(run(common + words(u"--cor %1 --slice %2 --out"_s.arg(cor).arg(slice)) << dir), 0);
        const QString stem = u"t-0000%1."_s.arg(slice);
        QVERIFY(sameFiles(line.path(), dir, {stem + u"dat"_s, stem + u"png"_s}));
    }
    // A level line is no line at all: the files of the plain run, byte for byte, whatever the
    // number of threads.
    QTemporaryDir level, plain;
    QCOMPARE(
        run(common + words(u"--cor-line 0:32,7:32 --slices 0:7 --threads 1 --out"_s) << level.path()), 0);
    QCOMPARE(run(common + words(u"--cor 32 --slices 0:7 --threads 2 --out"_s) << plain.path()), 0);
    const QStringList files = QDir(plain.path()).entryList(QDir::Files);
    QCOMPARE(files.size(), 16);
    QCOMPARE(QDir(level.path()).entryList(QDir::Files), files);
    QVERIFY(sameFiles(level.path(), plain.path(), files));

    // Guessed along the range ("3" apart, as a shell hands it over): the line lies on the axis, and
    // nothing is written.
    QTemporaryDir guessed;
    QString text;
    QCOMPARE(
        run(common + words(u"--cor guess-line 3 --slices 0:7 --no-png --no-data --out"_s) << guessed.path(),
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

QTEST_GUILESS_MAIN(TestRecon)
#include "tst_recon.moc"
