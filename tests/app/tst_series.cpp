// Qt
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/recon/reconoptions.h"
#include "app/recon/reconrun.h"
#include "app/recon/seriesrun.h"
#include "automation/dataseries.h"
#include "imagedata/itexwriter.h"
#include "tools/phantom/phantom.h"
#include "tools/scanfile/scanfilewriter.h"
#include <sys/resource.h>

using namespace Qt::StringLiterals;

/// The command on a CT-XAFS series: its options, the list of sets, the tasks of a job array and
/// the memory it needs.
class TestSeries : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void badArguments_data();
    void badArguments();
    void listsTheSets_data();
    void listsTheSets();
    void tasksTogetherMakeTheWholeRun();
    void taskNumbersAreChecked_data();
    void taskNumbersAreChecked();
    void guessOnlyWritesNothing();
    void aBrokenSetDoesNotStopTheOthers();
    void memoryStaysWithTheBlock();
    void scanFilesMakeASeries();

private:
    int run(const QStringList &args, QString *out = nullptr);
    static QStringList filesUnder(const QString &dir);
    static bool sameFiles(const QString &a, const QString &b, const QStringList &names);

    QTemporaryDir data_;
    QString projections_, i0Dir_, bg_;
};

void TestSeries::initTestCase()
{
    XafsSeriesSetup setup;
    setup.scan.width = 48;
    setup.scan.height = 10;
    setup.scan.cor = 24.5;
    setup.scan.projections = 40;
    setup.energies = 3;
    projections_ = data_.filePath(u"projections"_s);
    i0Dir_ = data_.filePath(u"i0"_s);
    bg_ = data_.filePath(u"bg.img"_s);
    QVERIFY(writeXafsSeries(setup, projections_, i0Dir_, bg_));
}

int TestSeries::run(const QStringList &args, QString *out)
{
    ReconOptions options;
    QString error;
    if (!parseReconOptions(args, options, error)) {
        if (out)
            *out = error;
        return 2;
    }
    QString text;
    QTextStream stream(&text);
    const int code = options.inTasks() ? SeriesRun(options, stream, stream).exec()
                                       : ReconRun(options, stream, stream).exec();
    if (out)
        *out = text;
    return code;
}

QStringList TestSeries::filesUnder(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}

bool TestSeries::sameFiles(const QString &a, const QString &b, const QStringList &names)
{
    for (const QString &name : names) {
        QFile fa(QDir(a).filePath(name)), fb(QDir(b).filePath(name));
        if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.readAll() != fb.readAll()) {
            qWarning() << "differs:" << name;
            return false;
        }
    }
    return true;
}

void TestSeries::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
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
    QTest::newRow("nothing to write without guess") << QStringList {u"d"_s, u"--no-png"_s, u"--no-data"_s};
}

void TestSeries::badArguments()
{
    QFETCH(QStringList, args);
    ReconOptions options;
    QString error;
    QVERIFY(!parseReconOptions(args, options, error));
    QVERIFY(!error.isEmpty());
}

void TestSeries::listsTheSets_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QStringList>("lines");
    const QString i0 = u"%1/I0-%2-0001.img"_s;
    QTest::newRow("all, I0 by energy")
        << QStringList {u"--i0-files"_s, u"I0DIR"_s}
        << QStringList {u"1\tdemo 7090eV\t7090\t40\t"_s + i0.arg(u"I0DIR"_s, u"7090eV"_s),
               u"2\tdemo 7115eV\t7115\t40\t"_s + i0.arg(u"I0DIR"_s, u"7115eV"_s),
               u"3\tdemo 7140eV\t7140\t40\t"_s + i0.arg(u"I0DIR"_s, u"7140eV"_s)};
    // I0 files of two energies only: 7115 eV lies half-way, the first one wins.
    QTest::newRow("tie between two I0: the first")
        << QStringList {u"--i0-files"_s, u"I0DIR"_s, u"--i0-pattern"_s, u"*7090eV* *7140eV*"_s, u"--sets"_s,
               u"2:9"_s}
        << QStringList {u"2\tdemo 7115eV\t7115\t40\t"_s + i0.arg(u"I0DIR"_s, u"7090eV"_s),
               u"3\tdemo 7140eV\t7140\t40\t"_s + i0.arg(u"I0DIR"_s, u"7140eV"_s)};
    QTest::newRow("to below from: from alone")
        << QStringList {u"--sets"_s, u"2:1"_s} << QStringList {u"2\tdemo 7115eV\t7115\t40\t-"_s};
}

void TestSeries::listsTheSets()
{
    QFETCH(QStringList, extra);
    QFETCH(QStringList, lines);
    extra.replaceInStrings(u"I0DIR"_s, i0Dir_);
    lines.replaceInStrings(u"I0DIR"_s, QDir(i0Dir_).absolutePath());
    QString text;
    QCOMPARE(run(QStringList {u"--series"_s, projections_, u"--list-sets"_s} + extra, &text), 0);
    QStringList got = text.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(got.takeFirst(), u"# set\tname\tenergy\tfiles\tI0"_s);
    QCOMPARE(got, lines);
}

void TestSeries::tasksTogetherMakeTheWholeRun()
{
    QTemporaryDir whole, tasks;
    const QStringList common {u"--series"_s, projections_, u"--i0-files"_s, i0Dir_, u"--bg"_s, bg_,
        u"--axis"_s, u"v"_s, u"--cor"_s, u"guess"_s, u"--slices"_s, u"1:8"_s, u"--sub-folders"_s, u"energy"_s,
        u"--name"_s, u"s"_s};
    QCOMPARE(run(common + QStringList {u"--out"_s, whole.path()}), 0);
    QStringList expected;
    for (const QString &e : {u"7090eV"_s, u"7115eV"_s, u"7140eV"_s})
        for (int s = 1; s <= 8; ++s)
            for (const QString &ext : {u"dat"_s, u"png"_s})
                expected << u"%1/s-%1-%2.%3"_s.arg(e, sliceText(s), ext);
    expected.sort();
    QCOMPARE(filesUnder(whole.path()), expected);

    // Blocks of 3 slices: 3 blocks per set, 9 tasks, set after set.
    const QStringList blocked = common + QStringList {u"--block"_s, u"3"_s};
    QString list;
    QCOMPARE(run(blocked + QStringList {u"--list-tasks"_s}, &list), 0);
    const QStringList lines = list.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 9);
    QCOMPARE(lines[1], u"0\t1\tdemo 7090eV\t0\t1:3"_s);
    QCOMPARE(lines[6], u"5\t2\tdemo 7115eV\t2\t7:8"_s);
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
    QCOMPARE(filesUnder(tasks.path()), expected);
    QVERIFY(sameFiles(whole.path(), tasks.path(), expected));
}

void TestSeries::taskNumbersAreChecked_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::newRow("beyond the tasks") << QStringList {u"--task"_s, u"6"_s} << 2;
    QTest::newRow("array made for another count")
        << QStringList {u"--task"_s, u"1"_s, u"--tasks-of"_s, u"4"_s} << 2;
    QTest::newRow("the last task") << QStringList {u"--task"_s, u"5"_s, u"--tasks-of"_s, u"6"_s} << 0;
}

void TestSeries::taskNumbersAreChecked()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QTemporaryDir out;
    QString text;
    // 3 sets × 2 blocks of 4 slices = 6 tasks.
    QCOMPARE(run(QStringList {u"--series"_s, projections_, u"--axis"_s, u"v"_s, u"--slices"_s, u"0:7"_s,
                     u"--block"_s, u"4"_s, u"--no-png"_s, u"--out"_s, out.path()}
                     + args,
                 &text),
        status);
    QCOMPARE(filesUnder(out.path()).size(), status == 0 ? 4 : 0);
    if (status == 0)
        QVERIFY(QFile::exists(out.filePath(u"7140eV-00007.dat"_s)));
}

void TestSeries::guessOnlyWritesNothing()
{
    QTemporaryDir out;
    QString text;
    QCOMPARE(run({u"--series"_s, projections_, u"--i0-files"_s, i0Dir_, u"--axis"_s, u"v"_s, u"--cor"_s,
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

void TestSeries::aBrokenSetDoesNotStopTheOthers()
{
    QTemporaryDir series, out;
    const QDir from(projections_);
    for (const QString &name : from.entryList(QDir::Files))
        QVERIFY(QFile::copy(from.filePath(name), series.filePath(name)));
    const std::vector<uint32_t> small(8 * 8, 1000);
    QVERIFY(QFile::remove(series.filePath(u"demo-7115eV-0011.img"_s)));
    QVERIFY(writeItexFile(series.filePath(u"demo-7115eV-0011.img"_s), {8, 8, 2, 1.0, small}));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Mismatch image size"_s));
    QString text;
    QCOMPARE(run({u"--series"_s, series.path(), u"--axis"_s, u"v"_s, u"--slice"_s, u"3"_s, u"--no-png"_s,
                     u"--out"_s, out.path()},
                 &text),
        1);
    QVERIFY(text.contains(u"demo-7115eV-0011.img"_s));
    QCOMPARE(filesUnder(out.path()), QStringList({u"7090eV-00003.dat"_s, u"7140eV-00003.dat"_s}));
}

void TestSeries::memoryStaysWithTheBlock()
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

void TestSeries::scanFilesMakeASeries()
{
    // One scan file per energy, named like the image files (sample-energy-number), each with its own
    // flats (that energy's I0) and a dark: the series reconstructs to the files of the image series
    // with its I0 files and BG, as a whole and task by task.
    QTemporaryDir scans;
    const std::vector<SeriesSet> sets = scanSeries(projections_, SeriesLayout::OrmelStd, u"*.img"_s);
    QCOMPARE(sets.size(), size_t(3));
    for (const SeriesSet &set : sets) {
        QVERIFY(writeScanOfImages(scans.filePath(u"demo-%1-0001.nxs"_s.arg(set.tag)), set.files,
            QDir(i0Dir_).filePath(u"I0-%1-0001.img"_s.arg(set.tag)), bg_, 4.5));
    }
    const QStringList common {u"--axis"_s, u"v"_s, u"--cor"_s, u"guess"_s, u"--slices"_s, u"1:8"_s,
        u"--sub-folders"_s, u"energy"_s, u"--name"_s, u"s"_s};
    QTemporaryDir fromImages, fromScans, oneTask;
    QCOMPARE(run(QStringList {u"--series"_s, projections_, u"--i0-files"_s, i0Dir_, u"--bg"_s, bg_,
                     u"--out"_s, fromImages.path()}
                 + common),
        0);
    const QStringList scanSeriesArgs
        = QStringList {u"--series"_s, scans.path(), u"--pattern"_s, u"*.nxs"_s} + common;
    QString text;
    QCOMPARE(run(scanSeriesArgs + QStringList {u"--out"_s, fromScans.path()}, &text), 0);
    QVERIFY2(text.contains(u"data set 3 (demo 7140eV): 1 files"_s), qPrintable(text));
    const QStringList expected = filesUnder(fromImages.path());
    QCOMPARE(expected.size(), 3 * 8 * 2);
    QCOMPARE(filesUnder(fromScans.path()), expected);
    QVERIFY(sameFiles(fromImages.path(), fromScans.path(), expected));
    // Task 4 of 9: block 1 (slices 4 … 6) of the second set, read from its scan file alone.
    QCOMPARE(run(scanSeriesArgs
                 + QStringList {u"--block"_s, u"3"_s, u"--task"_s, u"4"_s, u"--tasks-of"_s, u"9"_s,
                     u"--out"_s, oneTask.path()}),
        0);
    const QStringList mine = filesUnder(oneTask.path());
    QCOMPARE(mine.size(), 3 * 2);
    QVERIFY(mine.first().startsWith(u"7115eV/s-7115eV-00004"_s));
    QVERIFY(sameFiles(fromImages.path(), oneTask.path(), mine));
}

QTEST_GUILESS_MAIN(TestSeries)
#include "tst_series.moc"
