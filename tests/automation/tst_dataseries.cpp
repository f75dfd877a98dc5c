// Qt
#include <QApplication>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "recon/ctfileset.h"
#include "recon/dataseries.h"
#include "recon/seriescheck.h"
#include "recon/seriesmanifest.h"
#include "automation/ui/selectdatadir.h"

using namespace Qt::StringLiterals;

/// Energy fields, the grouping of a folder into data sets, the I0 chosen by energy, and the data-set
/// selector: scanning both layouts, applying and stepping through sets.
class TestDataSeries : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void energyFields_data();
    void energyFields();
    void grouping_data();
    void grouping();
    void subDirLayout();
    void nearestEnergy_data();
    void nearestEnergy();
    void fileNumbers_data();
    void fileNumbers();
    void seriesChecks_data();
    void seriesChecks();
    void manifestLines();
    void scansTheOrmelStandardAndMarksTheSets();
    void subFolders();
    void firstAndNextSets_data();
    void firstAndNextSets();

private:
    static void touch(const QString &path);
    QTemporaryDir dir_; // the folders the selector scans
};

void TestDataSeries::touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

void TestDataSeries::energyFields_data()
{
    QTest::addColumn<QString>("text"); // a name "sample-energy-number.ext", or a field alone
    QTest::addColumn<QString>("field"); // empty: the whole text
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<double>("energy");
    QTest::newRow("eV with decimals") << u"7112_5eV"_s << QString() << 7112.5 << u"eV"_s << 7112.5;
    QTest::newRow("keV") << u"7_112keV"_s << QString() << 7.112 << u"keV"_s << 7112.0;
    QTest::newRow("KEV in capitals") << u"7_112KEV"_s << QString() << 7.112 << u"KEV"_s << 7112.0;
    QTest::newRow("Kev mixed") << u"8Kev"_s << QString() << 8.0 << u"Kev"_s << 8000.0;
    QTest::newRow("no unit") << u"7000"_s << QString() << 7000.0 << QString() << 7000.0;
    QTest::newRow("no digit: all unit") << u"eV"_s << QString() << 0.0 << u"eV"_s << 0.0;
    QTest::newRow("empty") << QString() << QString() << 0.0 << QString() << 0.0;
    QTest::newRow("letters before the number") << u"E7000eV"_s << QString() << 0.0 << u"eV"_s << 0.0;
    QTest::newRow("two decimal points") << u"7_1_2eV"_s << QString() << 0.0 << u"eV"_s << 0.0;
    QTest::newRow("unit with a digit: up to the last digit")
        << u"7000eV2"_s << QString() << 0.0 << QString() << 0.0;
    // In a name, the field between the last two dashes.
    QTest::newRow("file name") << u"Fe-7112_5eV-00001.img"_s << u"7112_5eV"_s << 7112.5 << u"eV"_s << 7112.5;
    QTest::newRow("path") << u"/data/run-3/I0-7_112keV-001.img"_s << u"7_112keV"_s << 7.112 << u"keV"_s
                          << 7112.0;
    QTest::newRow("one dash") << u"I0-7000eV.img"_s << u"I0"_s << 0.0 << QString() << 0.0;
}

void TestDataSeries::energyFields()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QFETCH(double, value);
    QFETCH(QString, unit);
    QFETCH(double, energy);
    const EnergyField f = parseEnergyField(energyFieldOfName(text));
    QCOMPARE(f.text, field.isEmpty() ? text : field);
    QCOMPARE(f.value, value);
    QCOMPARE(f.unit, unit);
    QCOMPARE(f.energy(), energy);
}

void TestDataSeries::grouping_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("sets"); // name|energy field|count
    QTest::newRow("four files, three sets")
        << QStringList {u"a-7000eV-001.img"_s, u"a-7000eV-002.img"_s, u"a-7010eV-001.img"_s,
               u"b-7000eV-001.img"_s}
        << u"*.img"_s << QStringList {u"a|7000eV|2"_s, u"a|7010eV|1"_s, u"b|7000eV|1"_s};
    // In name order the keys alternate: only consecutive files group.
    QTest::newRow("interleaved groups")
        << QStringList {u"s-7000eV-1.img"_s, u"s-7000eV-3.img"_s, u"s-7000eV-2-1.img"_s} << u"*.img"_s
        << QStringList {u"s|7000eV|1"_s, u"s-7000eV|2|1"_s, u"s|7000eV|1"_s};
    // A folder whose name matches is an entry like a file: its set's load refuses it by name.
    QTest::newRow("pattern filters, a matching folder is kept") << QStringList {u"Fe-7_112keV-0001.img"_s,
        u"Fe-7_112keV-0002.img"_s, u"Fe-7_112keV-0003.tif"_s, u"sub-7000eV-1.img/x"_s,
        u"dir/y"_s} << u"*.img"_s << QStringList {u"Fe|7_112keV|2"_s, u"sub|7000eV|1"_s};
    QTest::newRow("capitals before small letters") << QStringList {u"b-1eV-1.img"_s, u"B-1eV-1.img"_s,
        u"a-1eV-1.img"_s} << u"*.img"_s << QStringList {u"B|1eV|1"_s, u"a|1eV|1"_s, u"b|1eV|1"_s};
    QTest::newRow("nothing matches") << QStringList {u"x-1eV-1.tif"_s} << u"*.img"_s << QStringList {};
}

void TestDataSeries::grouping()
{
    QFETCH(QStringList, files);
    QFETCH(QString, pattern);
    QFETCH(QStringList, sets);
    QTemporaryDir dir;
    for (const QString &f : files)
        touch(dir.filePath(f));
    const std::vector<OrmelSet> found = groupOrmelSets(matchingFiles(dir.path(), pattern));
    QStringList got;
    for (const OrmelSet &s : found) {
        got << u"%1|%2|%3"_s.arg(s.name, s.energy.text).arg(s.files.size());
        QCOMPARE(s.groupKey, s.name + u'-' + s.energy.text);
        QCOMPARE(s.firstFileName, s.files.first().fileName());
    }
    QCOMPARE(got, sets);
    // The series as the command sees it: the same sets, tagged with their energy fields.
    const std::vector<SeriesSet> series = scanSeries(dir.path(), SeriesLayout::OrmelStd, pattern);
    QCOMPARE(series.size(), found.size());
    for (size_t i = 0; i < series.size(); ++i) {
        QCOMPARE(series[i].tag, found[i].energy.text);
        QCOMPARE(series[i].energy, found[i].energy.energy());
        QCOMPARE(series[i].files.size(), found[i].files.size());
        QCOMPARE(series[i].files.first(), found[i].files.first().absoluteFilePath());
    }
}

void TestDataSeries::subDirLayout()
{
    QTemporaryDir dir;
    touch(dir.filePath(u"7120_5eV/p1.img"_s));
    touch(dir.filePath(u"7120_5eV/p0.img"_s));
    touch(dir.filePath(u"7120_5eV/notes.txt"_s));
    touch(dir.filePath(u"7110eV/p0.tif"_s));
    touch(dir.filePath(u"7_13keV/p0.img"_s));
    touch(dir.filePath(u"7140/p0.img"_s));
    touch(dir.filePath(u"loose-7000eV-1.img"_s)); // a file, not a set
    const std::vector<SeriesSet> sets = scanSeries(dir.path(), SeriesLayout::SubDirs, u" *.img  *.tif "_s);
    // In name order. A folder name with its unit is read in eV like a file name; without one, as
    // written.
    QStringList got;
    for (const SeriesSet &s : sets)
        got << u"%1|%2|%3"_s.arg(s.tag).arg(s.energy).arg(s.files.size());
    QCOMPARE(got,
        QStringList({u"7110eV|7110|1"_s, u"7120_5eV|7120.5|2"_s, u"7140|7140|1"_s, u"7_13keV|7130|1"_s}));
    QCOMPARE(sets[1].files,
        QStringList({QDir(dir.path()).absoluteFilePath(u"7120_5eV/p0.img"_s),
            QDir(dir.path()).absoluteFilePath(u"7120_5eV/p1.img"_s)}));
    QCOMPARE(splitPatterns(u" *.img  *.tif "_s), QStringList({u"*.img"_s, u"*.tif"_s}));
}

void TestDataSeries::nearestEnergy_data()
{
    QTest::addColumn<QList<double>>("energies");
    QTest::addColumn<double>("energy");
    QTest::addColumn<int>("index");
    QTest::newRow("tie: the first") << QList<double> {7000, 7010} << 7005.0 << 0;
    QTest::newRow("tie, reversed: still the first") << QList<double> {7010, 7000} << 7005.0 << 0;
    QTest::newRow("nearest") << QList<double> {7000, 7010, 7020} << 7016.0 << 2;
    QTest::newRow("below all") << QList<double> {7000, 7010} << 10.0 << 0;
    QTest::newRow("same energy twice: the first") << QList<double> {7100, 7000, 7000} << 7000.0 << 1;
    QTest::newRow("empty list") << QList<double> {} << 7000.0 << -1;
}

void TestDataSeries::nearestEnergy()
{
    QFETCH(QList<double>, energies);
    QFETCH(double, energy);
    QFETCH(int, index);
    QCOMPARE(::nearestEnergy(std::span<const double>(energies.constData(), energies.size()), energy), index);
}

void TestDataSeries::fileNumbers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("number"); // -1: none
    QTest::newRow("Ormel standard") << u"Fe-7112_5eV-00017.img"_s << qint64(17);
    QTest::newRow("prefix and digits") << u"ct_0003.tif"_s << qint64(3);
    QTest::newRow("digits before letters") << u"p12a.img"_s << qint64(12);
    QTest::newRow("no extension") << u"scan-0042"_s << qint64(42);
    QTest::newRow("no digits") << u"flat.img"_s << qint64(-1);
    QTest::newRow("digits only in the extension") << u"a.h5"_s << qint64(-1);
    QTest::newRow("too many digits") << u"p1234567890123456.img"_s << qint64(-1);
}

void TestDataSeries::fileNumbers()
{
    QFETCH(QString, name);
    QFETCH(qint64, number);
    QCOMPARE(fileNumber(name).value_or(-1), number);
}

void TestDataSeries::seriesChecks_data()
{
    // Sets as "tag:energy:first-last[ missing,…]" (files name-tag-NNNN.img), I0 energies, whether
    // uneven sets are allowed, and what is said of each set ("" for nothing).
    QTest::addColumn<QStringList>("sets");
    QTest::addColumn<QList<double>>("i0");
    QTest::addColumn<bool>("uneven");
    QTest::addColumn<QStringList>("said");
    const QList<double> i0 {7100, 7110, 7120};
    // Three sets of 40 images, the middle one as given, and what is said of it alone.
    const auto middle = [&](const char *name, const QString &set, const QString &said, bool uneven = false) {
        QTest::newRow(name) << QStringList {u"7100eV:7100:1-40"_s, set, u"7120eV:7120:1-40"_s} << i0 << uneven
                            << QStringList {QString(), said, QString()};
    };
    middle("clean", u"7110eV:7110:1-40"_s, QString());
    QTest::newRow("a tag twice") << QStringList {u"7100eV:7100:1-40"_s, u"7110eV:7110:1-40"_s,
        u"7100eV:7100:1-40"_s} << i0
                                 << false
                                 << QStringList {u"its tag 7100eV is also that of set 3"_s, QString(),
                                        u"its tag 7100eV is also that of set 1"_s};
    // One energy spelled otherwise makes a second data set of it; with the sample in the tags, of
    // that sample only.
    QTest::newRow("an energy in eV and in keV")
        << QStringList {u"7120eV:7120:1-40"_s, u"7_12keV:7120:1-40"_s, u"7.12keV:7120:1-40"_s} << i0 << false
        << QStringList {u"its energy 7120 eV is also that of sets 2, 3"_s,
               u"its energy 7120 eV is also that of sets 1, 3"_s,
               u"its energy 7120 eV is also that of sets 1, 2"_s};
    QTest::newRow("the sample's energy twice, another sample's once")
        << QStringList {u"Fe-7100eV:7100:1-40"_s, u"Fe-7_1keV:7100:1-40"_s, u"Ni-7100eV:7100:1-40"_s} << i0
        << false
        << QStringList {u"its energy 7100 eV is also that of set 2"_s,
               u"its energy 7100 eV is also that of set 1"_s, QString()};
    middle("one missing inside", u"7110eV:7110:1-40 17"_s,
        u"39 images where the series has 40, number 17 missing"_s);
    middle("the last two missing", u"7110eV:7110:1-38"_s,
        u"38 images where the series has 40, numbers 39-40 missing"_s);
    middle(
        "the first missing", u"7110eV:7110:2-40"_s, u"39 images where the series has 40, number 1 missing"_s);
    middle("a gap, the count right", u"7110eV:7110:1-41 5"_s, u"number 5 missing"_s);
    middle("one set larger", u"7110eV:7110:1-42"_s, u"42 images where the series has 40"_s);
    middle("uneven allowed", u"7110eV:7110:1-30 3"_s, QString(), true);
    QTest::newRow("numbered by twos")
        << QStringList {u"7100eV:7100:0-78/2"_s, u"7110eV:7110:0-78/2 40"_s, u"7120eV:7120:0-78/2"_s} << i0
        << false
        << QStringList {QString(), u"39 images where the series has 40, number 40 missing"_s, QString()};
    // Energies 10 eV apart: an I0 more than 5 eV away is far.
    const QString half = u" (half the series' energy spacing)"_s;
    QTest::newRow("the I0 of the last energy missing")
        << QStringList {u"7100eV:7100:1-4"_s, u"7110eV:7110:1-4"_s, u"7120eV:7120:1-4"_s}
        << QList<double> {7100, 7110} << false
        << QStringList {QString(), QString(),
               u"its I0 (7110 eV) is 10 eV from its energy 7120 eV, more than 5 eV"_s + half};
    QTest::newRow("an I0 5 eV away is near enough")
        << QStringList {u"7100eV:7100:1-4"_s, u"7110eV:7110:1-4"_s, u"7120eV:7120:1-4"_s}
        << QList<double> {7100, 7110, 7125} << false << QStringList {QString(), QString(), QString()};
    // Half the spacing is 0.25 eV, but 1 eV is always near enough.
    QTest::newRow("spacing below 2 eV: 1 eV allowed")
        << QStringList {u"7100eV:7100:1-4"_s, u"7100_5eV:7100.5:1-4"_s} << QList<double> {7099, 7102} << false
        << QStringList {
               QString(), u"its I0 (7099 eV) is 1.5 eV from its energy 7100.5 eV, more than 1 eV"_s + half};
    middle("no energy in the name", u"Fe_7110eV:0:1-40"_s,
        u"no energy in its name (0 eV), its I0 (7100 eV) is 7100 eV from its energy 0 eV, more than 10 eV"_s
            + half);
    QTest::newRow("no energy, one I0 for all") << QStringList {u"Fe_7110eV:0:1-4"_s} << QList<double> {}
                                               << false << QStringList {u"no energy in its name (0 eV)"_s};
}

void TestDataSeries::seriesChecks()
{
    QFETCH(QStringList, sets);
    QFETCH(QList<double>, i0);
    QFETCH(bool, uneven);
    QFETCH(QStringList, said);
    std::vector<SeriesSet> series;
    for (const QString &text : sets) {
        const QStringList parts = text.split(u':');
        const QString sample = parts[0].contains(u'-') ? parts[0].section(u'-', 0, 0) : u"Fe"_s;
        SeriesSet s {sample, parts[0], parts[1].toDouble(), u"/d"_s, {}};
        const QStringList runAndGaps = parts[2].split(u' ');
        const QStringList range = runAndGaps[0].section(u'/', 0, 0).split(u'-');
        const int step = runAndGaps[0].contains(u'/') ? runAndGaps[0].section(u'/', 1).toInt() : 1;
        const QStringList missing = runAndGaps.mid(1);
        for (int n = range[0].toInt(); n <= range[1].toInt(); n += step) {
            if (!missing.contains(QString::number(n)))
                s.files << u"/d/Fe-%1-%2.img"_s.arg(s.tag).arg(n, 4, 10, QChar(u'0'));
        }
        series.push_back(s);
    }
    const SeriesCheck check = checkSeries(series, std::span<const double>(i0.constData(), i0.size()), uneven);
    QStringList got;
    for (size_t i = 0; i < series.size(); ++i)
        got << check.problemText(i, series[i]);
    QCOMPARE(got, said);
}

void TestDataSeries::manifestLines()
{
    ManifestEntry a {3, u"Fe"_s, 7112.5, u"7112_5eV"_s, u"/i0/I0 with\ttab.img"_s, 7112.0, 90, u"10:2:-4"_s,
        6, u"failed: a\nb"_s, u"abc"_s};
    ManifestEntry b {
        1, u"Fe"_s, 7100, u"7100eV"_s, QString(), std::nullopt, 90, u"0:9:1"_s, 20, u"done"_s, u"abc"_s};
    std::vector<ManifestEntry> entries {a};
    putManifestEntry(entries, b);
    QCOMPARE(entries.front().tag, u"7100eV"_s); // in set order
    const QByteArray text = manifestText(entries);
    QVERIFY(
        text.startsWith("set\tname\tenergy\ttag\tI0\tI0 energy\timages\tslices\tfiles\toutcome\tsettings\n"));
    QCOMPARE(text.count('\n'), 3); // tabs and line breaks inside a field do not break the table
    const std::vector<ManifestEntry> back = parseManifest(text + "damaged\tline\n7\tx\n");
    QCOMPARE(back.size(), size_t(2));
    QCOMPARE(back[0].i0, QString());
    QVERIFY(!back[0].i0Energy);
    QVERIFY(back[0].done() && !back[1].done());
    QCOMPARE(back[1].i0, u"/i0/I0 with tab.img"_s);
    QCOMPARE(back[1].i0Energy.value_or(0), 7112.0);
    QCOMPARE(back[1].outcome, u"failed: a b"_s);
    // The slices 10, 6, 2 and no others.
    QList<int> covered;
    for (int s = -2; s <= 12; ++s) {
        if (back[1].covers(s))
            covered << s;
    }
    QCOMPARE(covered, QList<int>({2, 6, 10}));
    // A second line of a tag replaces the first.
    b.outcome = u"failed: stopped"_s;
    putManifestEntry(entries, b);
    QCOMPARE(entries.size(), size_t(2));
    QCOMPARE(entries.front().outcome, u"failed: stopped"_s);
}

void TestDataSeries::initTestCase()
{
    for (const QString &f : {u"ormel/Fe-7100eV-001.img"_s, u"ormel/Fe-7100eV-002.img"_s,
             u"ormel/Fe-7112_5eV-001.img"_s, u"ormel/Fe-7112_5eV-002.img"_s, u"ormel/Fe-7_13keV-001.img"_s,
             u"ormel/readme.txt"_s, u"subs/7100eV/a.img"_s, u"subs/7110_5eV/a.img"_s,
             u"clash/Fe-7100eV-001.img"_s, u"clash/Fe-7100eV-002.img"_s, u"clash/Fe-7110eV-001.img"_s,
             u"clash/Fe-7110eV-002.img"_s, u"clash/Zn-7100eV-001.img"_s, u"clash/Zn-7100eV-002.img"_s})
        touch(dir_.filePath(f));
}

void TestDataSeries::scansTheOrmelStandardAndMarksTheSets()
{
    SelectDataDir s;
    QComboBox *list = s.ui().SubDirs;
    QVERIFY(!s.advanceSet()); // no sets
    QSignalSpy sets(&s, &SelectDataDir::newSets);
    QSignalSpy files(&s, &SelectDataDir::selectedFileInfoList);
    s.selectDir(dir_.filePath(u"ormel"_s));
    QCOMPARE(sets.size(), 1);
    QCOMPARE(sets.first().first().toInt(), 3);
    QCOMPARE(list->itemText(0), u"1 : Fe (7100[eV], 2)"_s);
    QCOMPARE(list->itemText(1), u"2 : Fe (7112.5[eV], 2)"_s);
    // The last set has one image where the others have two: marked, and not to be loaded.
    QCOMPARE(list->itemText(2), u"3 : Fe (7.13[keV], 1)  !! images missing"_s);
    QCOMPARE(
        list->itemData(2, Qt::ToolTipRole).toString(), u"1 image where the series has 2, number 2 missing"_s);
    QCOMPARE(s.dir(), dir_.filePath(u"ormel"_s));
    s.ui().allowUneven_->setChecked(true); // uneven sets allowed: the short set is no longer marked
    QCOMPARE(list->itemText(2), u"3 : Fe (7.13[keV], 1)"_s);
    s.ui().allowUneven_->setChecked(false);

    list->setCurrentIndex(1);
    QCOMPARE(s.currentSetTag(), u"7112_5eV"_s);
    QCOMPARE(s.currentSetEnergy(), 7112.5);
    s.set();
    QCOMPARE(files.size(), 1);
    const QFileInfoList loaded = files.first().first().value<QFileInfoList>();
    QCOMPARE(loaded.size(), 2);
    QCOMPARE(loaded[0].fileName(), u"Fe-7112_5eV-001.img"_s);
    QCOMPARE(loaded[1].fileName(), u"Fe-7112_5eV-002.img"_s);
    list->setCurrentIndex(2);
    QCOMPARE(s.currentSetEnergy(), 7130.0);

    // Stepping on stops at the last set.
    list->setCurrentIndex(0);
    QVERIFY(s.advanceSet());
    QVERIFY(s.advanceSet());
    QVERIFY(!s.advanceSet());
    QCOMPARE(s.currentIndex(), 2);

    // A scan that finds nothing keeps the sets it had.
    const std::vector<CtFileSet *> before = s.fileSets();
    s.setPattern(u"*.tif"_s);
    s.selectDir(dir_.filePath(u"ormel"_s));
    QCOMPARE(sets.last().first().toInt(), 3); // the count of the sets kept
    QCOMPARE(s.fileSets(), before);
    QCOMPARE(s.count(), 3);

    // Sets 1 and 3 would both write 7100eV files.
    s.setPattern(u"*.img"_s);
    s.selectDir(dir_.filePath(u"clash"_s));
    QCOMPARE(s.count(), 3);
    QCOMPARE(list->itemText(0), u"1 : Fe (7100[eV], 2)  !! same tag as set 3"_s);
    QCOMPARE(list->itemText(1), u"2 : Fe (7110[eV], 2)"_s);
    QCOMPARE(list->itemData(2, Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    QVERIFY(!list->itemData(1, Qt::ForegroundRole).isValid());
    QCOMPARE(s.clashesIn(0, 2), u"1 (Fe), 3 (Zn) share the tag 7100eV"_s);
    QCOMPARE(s.clashesIn(2, 0), u"1 (Fe), 3 (Zn) share the tag 7100eV"_s); // To below From: From alone
    QCOMPARE(s.clashesIn(1, 1), QString());
    list->setCurrentIndex(2);
    QCOMPARE(s.currentSetProblem(), u"its tag 7100eV is also that of set 1"_s);

    // One I0 at 7100 eV: set 2 lies 10 eV from it, more than half the spacing of 10 eV.
    s.setI0Energies({7100.0});
    QCOMPARE(list->itemText(1), u"2 : Fe (7110[eV], 2)  !! I0 far"_s);
    QCOMPARE(list->itemData(1, Qt::ForegroundRole).value<QColor>(), QColor(Qt::darkYellow));
    list->setCurrentIndex(1);
    QCOMPARE(s.currentSetProblem(), QString());
    QVERIFY(s.currentSetDoubt().startsWith(u"its I0 (7100 eV) is 10 eV from its energy 7110 eV"_s));
    s.setI0Energies({7100.0, 7110.0});
    QCOMPARE(list->itemText(1), u"2 : Fe (7110[eV], 2)"_s);
}

void TestDataSeries::subFolders()
{
    SelectDataDir s;
    s.setIsOrmelStandard(false);
    s.setPattern(u"*.img  *.tif"_s);
    QSignalSpy selected(&s, &SelectDataDir::selected);
    s.selectDir(dir_.filePath(u"subs"_s));
    QCOMPARE(s.count(), 2);
    QCOMPARE(s.ui().SubDirs->itemText(1), u"2 : 7110_5eV"_s);
    s.next();
    QCOMPARE(s.currentSetTag(), u"7110_5eV"_s);
    QCOMPARE(s.currentSetEnergy(), 7110.5);
    s.set();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().at(0).toString(), QDir(dir_.filePath(u"subs"_s)).filePath(u"7110_5eV"_s));
    QCOMPARE(selected.first().at(1).toStringList(), QStringList({u"*.img"_s, u"*.tif"_s}));

    // Toggling the layout scans the folder shown again, the other way.
    QSignalSpy sets(&s, &SelectDataDir::newSets);
    s.setPattern(u"*.img"_s);
    s.selectDir(dir_.filePath(u"ormel"_s));
    s.setIsOrmelStandard(false);
    QCOMPARE(sets.last().first().toInt(), 0); // no sub-folder there
    QCOMPARE(s.currentSetTag(), QString());
    QSignalSpy none(&s, &SelectDataDir::noMoreSets);
    s.set();
    QCOMPARE(none.size(), 1);
}

void TestDataSeries::firstAndNextSets_data()
{
    QTest::addColumn<int>("from"); // as the window hands them: index = number − 1
    QTest::addColumn<int>("to");
    QTest::addColumn<QList<int>>("applied");
    QTest::newRow("all three") << 0 << 2 << QList<int> {0, 1, 2};
    QTest::newRow("the middle one") << 1 << 1 << QList<int> {1};
    QTest::newRow("to below from: from alone") << 2 << 0 << QList<int> {2};
    QTest::newRow("to beyond the list") << 1 << 9 << QList<int> {1, 2};
    QTest::newRow("from beyond the list: none") << 5 << 9 << QList<int> {};
}

void TestDataSeries::firstAndNextSets()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QList<int>, applied);
    SelectDataDir s;
    s.selectDir(dir_.filePath(u"ormel"_s));
    QList<int> got;
    bool done = false;
    connect(&s, &SelectDataDir::selectedFileInfoList, &s, [&] { got << s.currentIndex(); });
    connect(&s, &SelectDataDir::noMoreSets, &s, [&] { done = true; });
    s.setFirstSet(from);
    for (int guard = 0; !done && guard < 10; ++guard)
        s.setNextSet(to);
    QVERIFY(done);
    QCOMPARE(got, applied);
}

QTEST_MAIN(TestDataSeries)
#include "tst_dataseries.moc"
