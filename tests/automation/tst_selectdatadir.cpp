// Qt
#include <QApplication>
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
             u"ormel/readme.txt"_s, u"subs/7100eV/a.img"_s, u"subs/7110_5eV/a.img"_s})
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
    QCOMPARE(s.ui().SubDirs->itemText(2), u"3 : Fe (7.13[keV], 1)"_s);
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

QTEST_MAIN(TestSelectDataDir)
#include "tst_selectdatadir.moc"
