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
#include "automation/ctfileset.h"
#include "automation/ui/selectdatadir.h"

using namespace Qt::StringLiterals;

/// The data-set selector: scanning both layouts, applying and stepping through sets.
class TestSelectDataDir : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void scansTheOrmelStandard();
    void emptyScanKeepsTheSets();
    void subFolders();
    void firstAndNextSets_data();
    void firstAndNextSets();
    void advanceStopsAtTheLast();
    void marksTheSets();

private:
    static void touch(const QString &path);
    QTemporaryDir dir_;
};

void TestSelectDataDir::touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

void TestSelectDataDir::initTestCase()
{
    for (const QString &f : {u"ormel/Fe-7100eV-001.img"_s, u"ormel/Fe-7100eV-002.img"_s,
             u"ormel/Fe-7112_5eV-001.img"_s, u"ormel/Fe-7112_5eV-002.img"_s, u"ormel/Fe-7_13keV-001.img"_s,
             u"ormel/readme.txt"_s, u"subs/7100eV/a.img"_s, u"subs/7110_5eV/a.img"_s,
             u"clash/Fe-7100eV-001.img"_s, u"clash/Fe-7100eV-002.img"_s, u"clash/Fe-7110eV-001.img"_s,
             u"clash/Fe-7110eV-002.img"_s, u"clash/Zn-7100eV-001.img"_s, u"clash/Zn-7100eV-002.img"_s})
        touch(dir_.filePath(f));
}

void TestSelectDataDir::scansTheOrmelStandard()
{
    SelectDataDir s;
    QSignalSpy sets(&s, &SelectDataDir::newSets);
    QSignalSpy files(&s, &SelectDataDir::selectedFileInfoList);
    s.selectDir(dir_.filePath(u"ormel"_s));
    QCOMPARE(sets.size(), 1);
    QCOMPARE(sets.first().first().toInt(), 3);
    QCOMPARE(s.ui().SubDirs->itemText(0), u"1 : Fe (7100[eV], 2)"_s);
    QCOMPARE(s.ui().SubDirs->itemText(1), u"2 : Fe (7112.5[eV], 2)"_s);
    // The last set has one image where the others have two: marked, and not to be loaded.
    QCOMPARE(s.ui().SubDirs->itemText(2), u"3 : Fe (7.13[keV], 1)  !! images missing"_s);
    QCOMPARE(s.ui().SubDirs->itemData(2, Qt::ToolTipRole).toString(),
        u"1 image where the series has 2, number 2 missing"_s);
    QCOMPARE(s.dir(), dir_.filePath(u"ormel"_s));

    s.ui().SubDirs->setCurrentIndex(1);
    QCOMPARE(s.currentSetTag(), u"7112_5eV"_s);
    QCOMPARE(s.currentSetEnergy(), 7112.5);
    s.set();
    QCOMPARE(files.size(), 1);
    const QFileInfoList list = files.first().first().value<QFileInfoList>();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list[0].fileName(), u"Fe-7112_5eV-001.img"_s);
    QCOMPARE(list[1].fileName(), u"Fe-7112_5eV-002.img"_s);
    s.ui().SubDirs->setCurrentIndex(2);
    QCOMPARE(s.currentSetEnergy(), 7130.0);
}

void TestSelectDataDir::emptyScanKeepsTheSets()
{
    SelectDataDir s;
    s.selectDir(dir_.filePath(u"ormel"_s));
    const std::vector<CtFileSet *> before = s.fileSets();
    QSignalSpy sets(&s, &SelectDataDir::newSets);
    s.setPattern(u"*.tif"_s);
    s.selectDir(dir_.filePath(u"ormel"_s));
    QCOMPARE(sets.first().first().toInt(), 3); // the count of the sets kept
    QCOMPARE(s.fileSets(), before);
    QCOMPARE(s.count(), 3);
}

void TestSelectDataDir::subFolders()
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

void TestSelectDataDir::firstAndNextSets_data()
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

void TestSelectDataDir::firstAndNextSets()
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

void TestSelectDataDir::advanceStopsAtTheLast()
{
    SelectDataDir s;
    QVERIFY(!s.advanceSet()); // no sets
    s.selectDir(dir_.filePath(u"ormel"_s));
    QCOMPARE(s.currentIndex(), 0);
    QVERIFY(s.advanceSet());
    QVERIFY(s.advanceSet());
    QVERIFY(!s.advanceSet());
    QCOMPARE(s.currentIndex(), 2);
}

void TestSelectDataDir::marksTheSets()
{
    SelectDataDir s;
    QComboBox *list = s.ui().SubDirs;
    s.selectDir(dir_.filePath(u"clash"_s));
    QCOMPARE(s.count(), 3);
    // Sets 1 and 3 would both write 7100eV files.
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

    // Uneven sets allowed: the short set is no longer marked.
    s.setI0Energies({});
    s.selectDir(dir_.filePath(u"ormel"_s));
    QVERIFY(list->itemText(2).endsWith(u"!! images missing"_s));
    s.ui().allowUneven_->setChecked(true);
    QCOMPARE(list->itemText(2), u"3 : Fe (7.13[keV], 1)"_s);
}

QTEST_MAIN(TestSelectDataDir)
#include "tst_selectdatadir.moc"
