// Qt
#include <QFileSystemWatcher>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "imagedata/itexwriter.h"
#include "recon/dataseries.h"
#include "recon/seriesmanifest.h"
#include "recon/seriesmanifestlock.h"
#include "tests/app/reconcommand.h"
#include "tools/phantom/phantom.h"
#include "tools/scanfile/scanfilewriter.h"
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

/// The command on a CT-XAFS series: the list of sets, the tasks of a job array and the memory it
/// needs. (Its options are refused with the command's in tst_recon.)
class TestSeries : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
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
    void runsShareTheOutputFolder();
    void memoryStaysWithTheBlock();

private:
    static int run(const QStringList &args, QString *out = nullptr) { return runRecon(args, out); }
    /// The series of image files with its I0 files and BG, then `options`.
    QStringList imageSeries(const QString &options) const;
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

QStringList TestSeries::imageSeries(const QString &options) const
{
    const QStringList series {u"--series"_s, projections_, u"--i0-files"_s, i0Dir_, u"--bg"_s, bg_};
    return series + words(options);
}

void TestSeries::listsTheSets_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QStringList>("lines");
    const QString i0 = u"%1/I0-%2-0001.img"_s;
    QTest::newRow("all, I0 by energy")
        << words(u"--i0-files I0DIR"_s)
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
        << words(u"--sets 2:1"_s) << QStringList {u"2\tdemo 7115eV\t7115\t40\t-\t-\tok"_s};
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
    QCOMPARE(got.takeFirst(), u"# set\tname\tenergy\tfiles\tI0\tI0 energy\tcheck"_s);
    QCOMPARE(got, lines);
}

void TestSeries::tasksTogetherMakeTheWholeRun()
{
    // The series of image files, and the same series as one scan file per energy, named like the
    // image files (sample-energy-number), each with its own flats (that energy's I0) and a dark:
    // both reconstruct to the same files, the scan files as a whole and task by task.
    QTemporaryDir scans, whole, fromScans, tasks;
    const std::vector<SeriesSet> sets = scanSeries(projections_, SeriesLayout::OrmelStd, u"*.img"_s);
    QCOMPARE(sets.size(), size_t(3));
    for (const SeriesSet &set : sets) {
        QVERIFY(writeScanOfImages(scans.filePath(u"demo-%1-0001.nxs"_s.arg(set.tag)), set.files,
            QDir(i0Dir_).filePath(u"I0-%1-0001.img"_s.arg(set.tag)), bg_, 4.5));
    }
    const QString options = u"--axis v --cor guess --slices 1:8 --sub-folders energy --name s"_s;
    QCOMPARE(run(imageSeries(options) << u"--out"_s << whole.path()), 0);
    QStringList expected;
    for (const QString &e : {u"7090eV"_s, u"7115eV"_s, u"7140eV"_s})
        for (int s = 1; s <= 8; ++s)
            for (const QString &ext : {u"dat"_s, u"png"_s})
                expected << u"%1/s-%1-%2.%3"_s.arg(e, sliceText(s), ext);
    expected.sort();
    QCOMPARE(filesUnder(whole.path()), QStringList(expected) << u"series-manifest.tsv"_s);
    const QStringList scanSeriesArgs
        = QStringList {u"--series"_s, scans.path(), u"--pattern"_s, u"*.nxs"_s} + words(options);
    QString text;
    QCOMPARE(run(scanSeriesArgs + words(u"--out"_s) << fromScans.path(), &text), 0);
    QVERIFY2(text.contains(u"data set 3 (demo 7140eV): 1 files"_s), qPrintable(text));
    QCOMPARE(filesUnder(fromScans.path()), QStringList(expected) << u"series-manifest.tsv"_s);
    // The slices' files; the manifests name other inputs.
    QVERIFY(sameFiles(whole.path(), fromScans.path(), expected));

    // Blocks of 3 slices: 3 blocks per set, 9 tasks, set after set.
    const QStringList blocked = scanSeriesArgs + words(u"--block 3"_s);
    QString list;
    QCOMPARE(run(blocked + words(u"--list-tasks"_s), &list), 0);
    const QStringList lines = list.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2 + 9);
    QVERIFY2(lines[0].startsWith(u"# tasks 9 fingerprint "_s), qPrintable(lines[0]));
    QCOMPARE(lines[2], u"0\t1\tdemo 7090eV\t0\t1:3"_s);
    QCOMPARE(lines[7], u"5\t2\tdemo 7115eV\t2\t7:8"_s);
    // In any order, and one of them twice (a scheduler's retry): the same files as the whole run.
    for (int k : {8, 0, 4, 2, 6, 1, 3, 7, 5, 4}) {
        QCOMPARE(run(blocked + words(u"--tasks-of 9 --task %1 --out"_s.arg(k)) << tasks.path(), &text), 0);
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

void TestSeries::taskNumbersAreChecked_data()
{
    // FP stands for the fingerprint of the series at submission; `change` is made after it.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("status");
    QTest::newRow("beyond the tasks") << words(u"--task 6"_s) << QString() << 2;
    QTest::newRow("array made for another count") << words(u"--task 1 --tasks-of 4"_s) << QString() << 2;
    QTest::newRow("the last task") << words(u"--task 5 --tasks-of 6"_s) << QString() << 0;
    const QStringList submitted {u"--task"_s, u"5"_s, u"--tasks-of"_s, u"6"_s, u"--fingerprint"_s, u"FP"_s};
    QTest::newRow("the series as submitted") << submitted << QString() << 0;
    QTest::newRow("a file rewritten since") << submitted << u"grow"_s << 2;
    QTest::newRow("a file renamed since") << submitted << u"rename"_s << 2;
    QTest::newRow("its I0 rewritten since") << submitted << u"i0"_s << 2;
}

void TestSeries::taskNumbersAreChecked()
{
    QFETCH(QStringList, args);
    QFETCH(QString, change);
    QFETCH(int, status);
    QTemporaryDir series, out;
    const QString p = series.filePath(u"p"_s), i0 = series.filePath(u"i0"_s);
    QVERIFY(copyFolder(projections_, p) && copyFolder(i0Dir_, i0));
    // 3 sets × 2 blocks of 4 slices = 6 tasks.
    const QStringList common {u"--series"_s, p, u"--i0-files"_s, i0, u"--axis"_s, u"v"_s, u"--slices"_s,
        u"0:7"_s, u"--block"_s, u"4"_s, u"--no-png"_s, u"--out"_s, out.path()};
    QString list;
    QCOMPARE(run(common + words(u"--list-tasks"_s), &list), 0);
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

void TestSeries::guessOnlyWritesNothing()
{
    QTemporaryDir out;
    QString text;
    QCOMPARE(
        run(imageSeries(u"--axis v --cor guess --no-png --no-data --out"_s) << out.filePath(u"o"_s), &text),
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

void TestSeries::faultsOfASeries_data()
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
        << u"shared tag"_s << words(u"--tag name-energy"_s) << 0 << QString()
        << u"\\n2\\tdemo-7090eV\\t7090\\t40\\t.*\\tok\\n"_s
        << words(u"Fe2-7090eV demo-7090eV demo-7115eV demo-7140eV"_s);
    QTest::newRow("a projection missing")
        << u"missing 11"_s << QStringList {} << 1
        << u"data set 2 \\(demo 7115eV\\) is not reconstructed: 39 images where the series has 40, number 11 "
           "missing"_s
        << u"\\n2\\tdemo 7115eV\\t7115\\t39\\t.*\\t39 images where the series has 40, number 11 missing\\n"_s
        << words(u"7090eV 7140eV"_s);
    QTest::newRow("a projection of another size")
        << u"small 11"_s << QStringList {} << 1 << u"demo-7115eV-0011.img"_s << QString()
        << words(u"7090eV 7140eV"_s);
    QTest::newRow("the last projection missing")
        << u"missing 39"_s << QStringList {} << 1 << u"39 images where the series has 40, number 39 missing"_s
        << u"number 39 missing"_s << words(u"7090eV 7140eV"_s);
    QTest::newRow("two projections missing, uneven sets allowed")
        << u"missing 11 12"_s << QStringList {u"--allow-uneven-sets"_s} << 0 << QString()
        << u"\\t38\\t.*\\tok\\n"_s << all;
    QTest::newRow("a gap with a stray file: the count is right")
        << u"missing 11, stray 40"_s << QStringList {} << 1 << u"number 11 missing"_s
        << u"\\t40\\t.*\\tnumber 11 missing\\n"_s << words(u"7090eV 7140eV"_s);
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
        << QString() << words(u"7090eV 7140eV"_s);
    // Without it the set would take an I0 of another energy, allowed to be far.
    QTest::newRow("an I0 that is a named pipe")
        << u"pipe I0 7115"_s << QStringList {u"--allow-far-i0"_s} << 1
        << u"cannot read the I0 image .*I0-7115eV-0001.img"_s << QString() << words(u"7090eV 7140eV"_s);
    // Sub-folders named with their unit: energies in eV, each set with its own I0.
    QTest::newRow("sub-folders in keV")
        << u"subdirs keV"_s << words(u"--layout subdirs"_s) << 0 << QString()
        << u"^# .*\\n1\\t7_09keV\\t7090\\t40\\t.*I0-7090eV-0001.img\\t7090\\tok\\n"_s
        << words(u"7_09keV 7_115keV 7_14keV"_s);
    // Another run writes the second set's files now: this one leaves them to it.
    QTest::newRow("a set claimed by another run")
        << u"claimed 7115eV"_s << QStringList {} << 1
        << u"data set 2 \\(demo 7115eV\\) is not reconstructed here: its files are being written by another "
           "run \\(host .+, process %1 holds it\\)"_s.arg(QCoreApplication::applicationPid())
        << QString() << words(u"7090eV 7140eV"_s);
    QTest::newRow("sub-folders without an energy")
        << u"subdirs named"_s << words(u"--layout subdirs"_s) << 2
        << u"refused: set 1 \\(Fe_7090eV\\): no energy in its name \\(0 eV\\), its I0 \\(7090 eV\\) is 7090 eV"_s
        << u"\\tno energy in its name"_s << QStringList {};
}

void TestSeries::faultsOfASeries()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, extra);
    QFETCH(int, status);
    QFETCH(QString, said);
    QFETCH(QString, listed);
    QFETCH(QStringList, written);
    QTemporaryDir series, out;
    const QString p = series.filePath(u"p"_s), i0 = series.filePath(u"i0"_s);
    QVERIFY(copyFolder(projections_, p) && copyFolder(i0Dir_, i0));
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
    } else if (fault == u"pipe I0 7115"_s) {
        const QByteArray name = QFile::encodeName(QDir(i0).filePath(u"I0-7115eV-0001.img"_s));
        QVERIFY(QFile::remove(QString::fromLocal8Bit(name)) && ::mkfifo(name.constData(), 0600) == 0);
    } else if (fault.startsWith(u"subdirs"_s)) {
        const QStringList folders = fault.endsWith(u"keV"_s) ? words(u"7_09keV 7_115keV 7_14keV"_s)
                                                             : words(u"Fe_7090eV Fe_7115eV Fe_7140eV"_s);
        const QStringList fields {u"7090eV"_s, u"7115eV"_s, u"7140eV"_s};
        for (int k = 0; k < 3; ++k) {
            QVERIFY(dir.mkdir(folders[k]));
            for (const QString &name : dir.entryList({u"demo-%1-*"_s.arg(fields[k])}, QDir::Files))
                QVERIFY(QFile::rename(dir.filePath(name), dir.filePath(folders[k] + u'/' + name)));
        }
    }
    std::optional<SeriesClaim> held;
    if (fault.startsWith(u"claimed "_s)) {
        QString why;
        held = claimSeriesSet(out.path(), fault.mid(8), -1, why);
        QVERIFY2(held, qPrintable(why));
    }
    const QStringList args = QStringList {u"--series"_s, p, u"--i0-files"_s, i0, u"--bg"_s, bg_}
        + words(u"--axis v --cor 24.5 --slices 3:4 --no-png"_s) + extra;
    QString listing;
    QCOMPARE(run(args + words(u"--list-sets"_s), &listing), 0);
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

void TestSeries::i0ChoiceKeepsTheAttenuationRatios()
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
    // The last energy's I0 lost: allowed, it takes the one 25 eV below.
    QVERIFY(QFile::remove(QDir(i0).filePath(u"I0-7140eV-0001.img"_s)));
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

void TestSeries::aKilledRunResumes()
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
    const QStringList args = QStringList {u"--series"_s, p, u"--i0-files"_s, i0, u"--bg"_s, bg}
        + words(u"--axis v --cor 48 --slices 0:39 --sub-folders energy --name s --no-png --threads 1"_s);
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

    // A file emptied since (a full disk, a truncation) makes its set unfinished again.
    const QString victim = files.filter(u"7090eV"_s).filter(u".dat"_s).first();
    QVERIFY(QFile(resumed.filePath(victim)).resize(0));
    text.clear();
    QCOMPARE(run(args + QStringList {u"--out"_s, resumed.path(), u"--resume"_s}, &text), 0);
    QVERIFY2(text.contains(u"wrote "_s + resumed.filePath(u"7090eV"_s)), qPrintable(text));
    QVERIFY(sameFiles(whole.path(), resumed.path(), files.filter(u".dat"_s)));
}

void TestSeries::runsShareTheOutputFolder()
{
    // Two runs on other sets of one series, started together into one folder: the manifest keeps
    // the lines of both. A named pipe in the manifest's place is refused at once instead of
    // waiting for a writer for ever.
    QTemporaryDir out;
    const QStringList args = imageSeries(u"--axis v --cor 24.5 --slices 3:6 --no-png --threads 1 --out"_s)
        << out.path();
    QProcess first, second;
    first.start(QStringLiteral(QUORVEL_RECON), args + words(u"--sets 1:1"_s));
    second.start(QStringLiteral(QUORVEL_RECON), args + words(u"--sets 2:3"_s));
    QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(second.exitCode(), 0);
    QStringList done;
    for (const ManifestEntry &e : readManifest(out.filePath(u"series-manifest.tsv"_s)))
        done << QStringLiteral("%1 %2").arg(e.set).arg(e.outcome);
    QCOMPARE(done, (QStringList {u"1 done"_s, u"2 done"_s, u"3 done"_s}));

    QTemporaryDir piped;
    const QString manifest = piped.filePath(u"series-manifest.tsv"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(manifest).constData(), 0600), 0);
    QProcess blocked;
    blocked.setProcessChannelMode(QProcess::MergedChannels);
    blocked.start(
        QStringLiteral(QUORVEL_RECON), imageSeries(u"--axis v --cor 24.5 --slice 3 --out"_s) << piped.path());
    const bool ended = blocked.waitForFinished(20000);
    if (!ended)
        blocked.kill();
    QVERIFY2(ended, "a named pipe for the manifest keeps the run waiting");
    const QString said = QString::fromLocal8Bit(blocked.readAll());
    QCOMPARE(blocked.exitCode(), 1);
    QVERIFY2(said.contains(u"the series is not run: the manifest "_s + manifest + u" is a named pipe"_s),
        qPrintable(said));
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
#if defined(QV_ASAN) || defined(QV_TSAN)
    QSKIP("A sanitizer's shadow memory makes the peak no measure of the block");
#endif
    QVERIFY2(peak < whole / 3, qPrintable(u"%1 MB"_s.arg(peak >> 20)));
}

QTEST_GUILESS_MAIN(TestSeries)
#include "tst_series.moc"
