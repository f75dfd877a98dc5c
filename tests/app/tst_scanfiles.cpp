// Qt
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "imagedata/hdf5probe.h"
#include "tests/app/reconcommand.h"
#include "tools/scanfile/scanfilewriter.h"
#include <cmath>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ScanFileRecipe)

namespace {

// `projections` 4.5° apart from `first` after a flat and a dark, and a flat after them: `width` × 8
// counts of a smooth object.
ScanFileRecipe smoothScan(double first = 0.0, int projections = 40, int width = 24)
{
    ScanFileRecipe r;
    r.width = width;
    r.height = 8;
    r.keys = {1, 2};
    r.keys.insert(r.keys.end(), size_t(projections), 0);
    r.keys.push_back(1);
    r.angles.assign(r.keys.size(), 0.0);
    for (int k = 0; k < projections; ++k)
        r.angles[size_t(k) + 2] = first + 4.5 * k;
    r.fill = [width](int kind, int index, int y, double *row) {
        for (int x = 0; x < width; ++x) {
            const double off = x - 0.5 * width - 4.0 * std::sin(index * 0.0785);
            const double path = std::max(0.0, 64.0 - off * off);
            row[x] = kind == 2 ? 100.0
                : kind == 1    ? 20000.0
                               : 100.0 + 19900.0 * std::exp(-0.01 * path * (1 + y % 3));
        }
    };
    return r;
}

// The data files written into `dir`, by name.
QStringList dataFiles(const QString &dir)
{
    return QDir(dir).entryList({u"*.dat"_s}, QDir::Files, QDir::Name);
}

} // namespace

/// The command on scan files as beamlines write them: compressed frames decoded once, frames in
/// another file, angles that begin elsewhere than 0, series of scan files, and damaged files.
class TestScanFiles : public QObject
{
    Q_OBJECT
private slots:
    void compressedGivesTheFilesOfContiguous_data();
    void compressedGivesTheFilesOfContiguous();
    void theFirstAngleIsTheOrigin();
    void seriesOfScanFiles_data();
    void seriesOfScanFiles();
    void damagedFileEndsTheCommand();
    void killedRunLeavesNoScratchFile();

private:
    QTemporaryDir dir_;
};

void TestScanFiles::compressedGivesTheFilesOfContiguous_data()
{
    QTest::addColumn<ScanFileRecipe>("recipe");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("decoded"); // what the run says of its decoding
    const QString once = u"compressed chunks decoded once each, on 2 threads"_s;
    ScanFileRecipe gzip = smoothScan();
    gzip.gzip = 1;
    QTest::newRow("gzip, slices as rows") << gzip << u"--axis v --cor 12 --slices 0:7"_s << once;
    ScanFileRecipe shuffled = gzip;
    shuffled.shuffle = true;
    shuffled.chunkFrames = 4;
    shuffled.chunkColumns = 10;
    QTest::newRow("shuffled gzip in chunks of 4 frames, slices as columns")
        << shuffled << u"--axis h --cor 4 --slices 2:21"_s << once;
    ScanFileRecipe linked = gzip;
    linked.externalFrames = u"frames.h5"_s;
    QTest::newRow("frames in another file") << linked << u"--axis v --cor 12 --slices 0:7"_s << once;
    QTest::newRow("no room for a scratch file: each block decoded anew")
        << gzip << u"--axis v --cor 12 --slices 0:7 --scratch /dev/null/scratch"_s
        << u"decoded 172 times in all, on 2 threads"_s;
    if (scanFilterAvailable(32004)) {
        ScanFileRecipe lz4 = smoothScan();
        lz4.plugin = 32004;
        QTest::newRow("LZ4") << lz4 << u"--axis h --cor 4 --slices 0:23"_s << once;
    }
}

void TestScanFiles::compressedGivesTheFilesOfContiguous()
{
    QFETCH(ScanFileRecipe, recipe);
    QFETCH(QString, options);
    QFETCH(QString, decoded);
    QTemporaryDir scans, contiguous, compressed;
    ScanFileRecipe plain = smoothScan();
    QVERIFY(writeScanFile(scans.filePath(u"plain.nxs"_s), plain));
    QVERIFY(writeScanFile(scans.filePath(u"packed.nxs"_s), recipe));
    const QStringList common = words(u"--no-png --block 2 --threads 2 "_s + options);
    QString text;
    QCOMPARE(
        runRecon(QStringList {scans.filePath(u"plain.nxs"_s), u"--out"_s, contiguous.path()} + common), 0);
    QCOMPARE(runRecon(QStringList {scans.filePath(u"packed.nxs"_s), u"--out"_s, compressed.path()} + common,
                 &text),
        0);
    QVERIFY2(text.contains(decoded), qPrintable(text));
    const QStringList written = dataFiles(contiguous.path());
    QVERIFY(written.size() >= 8);
    QCOMPARE(dataFiles(compressed.path()), written);
    QVERIFY(sameFiles(contiguous.path(), compressed.path(), written));
    // The scratch file went with the run.
    QCOMPARE(QDir(compressed.path()).entryList(QDir::Files | QDir::Hidden), written);
}

void TestScanFiles::theFirstAngleIsTheOrigin()
{
    // The same frames recorded at 90° … 265.5° and at 0° … 175.5°.
    QTemporaryDir scans, from90, from0, from90AsZero, from0At90;
    QVERIFY(writeScanFile(scans.filePath(u"at90.nxs"_s), smoothScan(90.0)));
    QVERIFY(writeScanFile(scans.filePath(u"at0.nxs"_s), smoothScan(0.0)));
    const QStringList common = words(u"--axis v --cor 12 --slices 0:3 --no-png"_s);
    QString text;
    QCOMPARE(
        runRecon(QStringList {scans.filePath(u"at90.nxs"_s), u"--out"_s, from90.path()} + common, &text), 0);
    QVERIFY2(text.contains(u"angle origin: 90 degrees, the first recorded angle"_s), qPrintable(text));
    QCOMPARE(runRecon(QStringList {scans.filePath(u"at0.nxs"_s), u"--out"_s, from0At90.path(),
                          u"--angle-origin"_s, u"90"_s}
                 + common),
        0);
    QCOMPARE(runRecon(QStringList {scans.filePath(u"at90.nxs"_s), u"--out"_s, from90AsZero.path(),
                          u"--angle-origin"_s, u"0"_s}
                 + common),
        0);
    QCOMPARE(runRecon(QStringList {scans.filePath(u"at0.nxs"_s), u"--out"_s, from0.path()} + common), 0);
    const QStringList written = dataFiles(from90.path());
    QCOMPARE(written.size(), 4);
    // The recorded origin is the one given; a given origin wins; and the origin turns the slice.
    QVERIFY(sameFiles(from90.path(), from0At90.path(), written));
    QVERIFY(sameFiles(from90AsZero.path(), from0.path(), written));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^differs"_s));
    QVERIFY(!sameFiles(from90.path(), from0.path(), written));
}

void TestScanFiles::seriesOfScanFiles_data()
{
    QTest::addColumn<QStringList>("files"); // name:projections, angles recorded when it ends in "a"
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::newRow("a set without angles missing a frame")
        << QStringList {u"s-7100eV-0001.nxs:40"_s, u"s-7110eV-0001.nxs:40"_s, u"s-7120eV-0001.nxs:39"_s} << 1
        << u"data set 3 (s 7120eV) is not reconstructed: 39 images where the series has 40"_s;
    QTest::newRow("sets that record their angles fit them on their own")
        << QStringList {u"s-7100eV-0001.nxs:40a"_s, u"s-7110eV-0001.nxs:41a"_s} << 0 << u"41 projections"_s;
    QTest::newRow("one energy spelled in two ways")
        << QStringList {u"ph-7100eV-0001.nxs:40"_s, u"ph-7_1keV-0001.nxs:40"_s} << 2
        << u"one energy spelled in two ways would make two data sets of it (sets 1 (7100eV), 2 (7_1keV) are "
           "all of 7100 eV)"_s;
}

void TestScanFiles::seriesOfScanFiles()
{
    QFETCH(QStringList, files);
    QFETCH(int, status);
    QFETCH(QString, said);
    QTemporaryDir series, out;
    for (const QString &f : files) {
        const int projections = f.section(u':', 1).remove(u'a').toInt();
        ScanFileRecipe r = smoothScan(0.0, projections);
        if (!f.endsWith(u'a'))
            r.angles.clear();
        QVERIFY(writeScanFile(series.filePath(f.section(u':', 0, 0)), r));
    }
    QString text;
    QCOMPARE(runRecon(words(u"--series %1 --pattern *.nxs --axis v --cor 12 --no-png --out %2"_s.arg(
                          series.path(), out.path())),
                 &text),
        status);
    QVERIFY2(text.contains(said), qPrintable(text));
}

void TestScanFiles::damagedFileEndsTheCommand()
{
    // The fuzzing finding that makes the HDF5 library fault: refused, with the command still there
    // to say so.
    QFile input(QStringLiteral(QUORVEL_FUZZ_CORPUS "/hdf5probe/library-segv-damaged-local-heap"));
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QString damaged = dir_.filePath(u"damaged.h5"_s);
    QFile out(damaged);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(input.readAll().mid(1));
    out.close();
    QProcess recon;
    recon.start(QStringLiteral(QUORVEL_RECON), {damaged, u"--cor"_s, u"guess"_s, u"--out"_s, dir_.path()});
    QVERIFY(recon.waitForFinished(60000));
    QCOMPARE(recon.exitStatus(), QProcess::NormalExit);
    QCOMPARE(recon.exitCode(), 1);
    const QString said = QString::fromLocal8Bit(recon.readAllStandardError());
    QVERIFY2(said.contains(u"cannot use %1: %2"_s.arg(damaged, scanprobe::damagedText())), qPrintable(said));
}

void TestScanFiles::killedRunLeavesNoScratchFile()
{
#if defined(QV_TSAN)
    // The command built for ThreadSanitizer reports every hand-over of Qt's it cannot see (the
    // tests' bridge is not linked into it) and takes minutes to its first slice; the plain and the
    // AddressSanitizer builds run this test.
    QSKIP("the command is too slow under ThreadSanitizer to be killed mid-run in time");
#endif
    // A run of seconds: 800 gzip frames 1024 wide, 8 slices of one block each on one thread. Under
    // AddressSanitizer, whose command runs several times slower, a quarter of it still leaves time.
#if defined(QV_ASAN)
    constexpr int frames = 400, width = 512;
#else
    constexpr int frames = 800, width = 1024;
#endif
    ScanFileRecipe recipe = smoothScan(0.0, frames, width);
    for (size_t k = 0; k < size_t(frames); ++k)
        recipe.angles[k + 2] = 180.0 / frames * double(k);
    recipe.gzip = 1;
    QTemporaryDir scratch, out;
    const QString scan = dir_.filePath(u"long.nxs"_s);
    QVERIFY(writeScanFile(scan, recipe));
    QProcess recon;
    recon.start(QStringLiteral(QUORVEL_RECON),
        words(u"%1 --axis v --cor %4 --slices 0:7 --block 1 --threads 1 --scratch %2 --out %3"_s.arg(
            scan, scratch.path(), out.path(), QString::number(width / 2))));
    QVERIFY(recon.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += recon.readAllStandardOutput()).contains("progress: 1/8"), 120000);
    // Its decoded lines are in a file it holds open in the scratch folder, without a name there.
    bool held = false;
    const QDir fds(u"/proc/%1/fd"_s.arg(recon.processId()));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        held = held || fd.symLinkTarget().startsWith(scratch.path());
    recon.kill();
    QVERIFY(recon.waitForFinished());
    QVERIFY2(recon.exitStatus() == QProcess::CrashExit, "the run ended before the test could kill it");
    QVERIFY(held);
    QVERIFY(QDir(scratch.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestScanFiles)
#include "tst_scanfiles.moc"
