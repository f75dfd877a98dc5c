// Qt
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "automation/dataseries.h"

using namespace Qt::StringLiterals;

/// Energy fields, the grouping of a folder into data sets and the I0 chosen by energy.
class TestDataSeries : public QObject
{
    Q_OBJECT
private slots:
    void energyFields_data();
    void energyFields();
    void energyFieldOfAName_data();
    void energyFieldOfAName();
    void grouping_data();
    void grouping();
    void labels();
    void subDirLayout();
    void nearestEnergy_data();
    void nearestEnergy();

private:
    static void touch(const QString &path);
};

void TestDataSeries::touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

void TestDataSeries::energyFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<double>("energy");
    QTest::newRow("eV with decimals") << u"7112_5eV"_s << 7112.5 << u"eV"_s << 7112.5;
    QTest::newRow("keV") << u"7_112keV"_s << 7.112 << u"keV"_s << 7112.0;
    QTest::newRow("KEV in capitals") << u"7_112KEV"_s << 7.112 << u"KEV"_s << 7112.0;
    QTest::newRow("Kev mixed") << u"8Kev"_s << 8.0 << u"Kev"_s << 8000.0;
    QTest::newRow("no unit") << u"7000"_s << 7000.0 << QString() << 7000.0;
    QTest::newRow("no digit: all unit") << u"eV"_s << 0.0 << u"eV"_s << 0.0;
    QTest::newRow("empty") << QString() << 0.0 << QString() << 0.0;
    QTest::newRow("letters before the number") << u"E7000eV"_s << 0.0 << u"eV"_s << 0.0;
    QTest::newRow("two decimal points") << u"7_1_2eV"_s << 0.0 << u"eV"_s << 0.0;
    QTest::newRow("unit with a digit: up to the last digit") << u"7000eV2"_s << 0.0 << QString() << 0.0;
}

void TestDataSeries::energyFields()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(QString, unit);
    QFETCH(double, energy);
    const EnergyField f = parseEnergyField(text);
    QCOMPARE(f.text, text);
    QCOMPARE(f.value, value);
    QCOMPARE(f.unit, unit);
    QCOMPARE(f.energy(), energy);
}

void TestDataSeries::energyFieldOfAName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("field");
    QTest::newRow("file name") << u"Fe-7112_5eV-00001.img"_s << u"7112_5eV"_s;
    QTest::newRow("path") << u"/data/run-3/I0-7_112keV-001.img"_s << u"7_112keV"_s;
    QTest::newRow("one dash") << u"I0-7000eV.img"_s << u"I0"_s;
    QTest::newRow("no dash: the whole text") << u"i0.img"_s << u"i0.img"_s;
}

void TestDataSeries::energyFieldOfAName()
{
    QFETCH(QString, name);
    QFETCH(QString, field);
    QCOMPARE(energyFieldOfName(name), field);
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
    QTest::newRow("pattern filters, folders ignored") << QStringList {u"Fe-7_112keV-0001.img"_s,
        u"Fe-7_112keV-0002.img"_s, u"Fe-7_112keV-0003.tif"_s, u"sub-7000eV-1.img/x"_s}
                                                      << u"*.img"_s << QStringList {u"Fe|7_112keV|2"_s};
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

void TestDataSeries::labels()
{
    QTemporaryDir dir;
    for (int i = 1; i <= 3; ++i)
        touch(dir.filePath(u"Fe-7112_5eV-%1.img"_s.arg(i)));
    touch(dir.filePath(u"Fe-7_12keV-1.img"_s));
    const std::vector<OrmelSet> sets = groupOrmelSets(matchingFiles(dir.path(), u"*.img"_s));
    QCOMPARE(sets.size(), size_t(2));
    QCOMPARE(ormelSetLabel(1, sets[0]), u"1 : Fe (7112.5[eV], 3)"_s);
    QCOMPARE(ormelSetLabel(2, sets[1]), u"2 : Fe (7.12[keV], 1)"_s);
    QCOMPARE(subDirLabel(4, u"Fe_7120eV"_s), u"4 : Fe_7120eV"_s);
}

void TestDataSeries::subDirLayout()
{
    QTemporaryDir dir;
    touch(dir.filePath(u"7120_5eV/p1.img"_s));
    touch(dir.filePath(u"7120_5eV/p0.img"_s));
    touch(dir.filePath(u"7120_5eV/notes.txt"_s));
    touch(dir.filePath(u"7110eV/p0.tif"_s));
    touch(dir.filePath(u"loose-7000eV-1.img"_s)); // a file, not a set
    QCOMPARE(subDirNames(dir.path()), QStringList({u"7110eV"_s, u"7120_5eV"_s}));
    const std::vector<SeriesSet> sets = scanSeries(dir.path(), SeriesLayout::SubDirs, u" *.img  *.tif "_s);
    QCOMPARE(sets.size(), size_t(2));
    QCOMPARE(sets[0].tag, u"7110eV"_s);
    QCOMPARE(sets[0].energy, 7110.0);
    QCOMPARE(sets[0].files.size(), 1);
    QCOMPARE(sets[1].energy, 7120.5);
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

QTEST_GUILESS_MAIN(TestDataSeries)
#include "tst_dataseries.moc"
