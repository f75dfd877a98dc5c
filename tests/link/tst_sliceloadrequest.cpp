// Qt
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "ct/savenaming.h"
#include "link/sliceloadrequest.h"

using namespace Qt::StringLiterals;

class TestSliceLoadRequest : public QObject
{
    Q_OBJECT
private slots:
    void findsWhatTheSaverWrote_data();
    void findsWhatTheSaverWrote();
    void emptySaveFolderNamesNothing();
};

namespace {

bool touch(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("#QRVL-CTImg\n") > 0;
}

} // namespace

void TestSliceLoadRequest::findsWhatTheSaverWrote_data()
{
    QTest::addColumn<bool>("subFolders");
    QTest::addColumn<bool>("ofEnergy");
    QTest::addColumn<bool>("ofSlice");
    QTest::addColumn<int>("slice");
    QTest::addColumn<bool>("byPattern");
    QTest::addColumn<QStringList>("files"); // relative to the save folder
    QTest::newRow("no sub-folders") << false << false << false << 7 << false
                                    << QStringList {u"ct-E01-00007.dat"_s, u"ct-E02-00007.dat"_s};
    QTest::newRow("no sub-folders, slice without files")
        << false << false << false << 9 << false << QStringList {};
    QTest::newRow("folders of energy") << true << true << false << 7 << false
                                       << QStringList {u"E01/ct-E01-00007.dat"_s, u"E02/ct-E02-00007.dat"_s};
    QTest::newRow("sub-folders, neither option: slice folders")
        << true << false << false << 7 << false
        << QStringList {u"00007/ct-E01-00007.dat"_s, u"00007/ct-E02-00007.dat"_s};
    QTest::newRow("folders of energy, slice without files")
        << true << true << false << 9 << false << QStringList {};
    QTest::newRow("folders of slice: by pattern") << true << false << true << 7 << true << QStringList {};
    QTest::newRow("folders of both: by pattern") << true << true << true << 8 << true << QStringList {};
    QTest::newRow("six-digit slice") << false << false << false << 123456 << false
                                     << QStringList {u"ct-E01-123456.dat"_s, u"ct-E02-123456.dat"_s};
}

void TestSliceLoadRequest::findsWhatTheSaverWrote()
{
    QFETCH(bool, subFolders);
    QFETCH(bool, ofEnergy);
    QFETCH(bool, ofSlice);
    QFETCH(int, slice);
    QFETCH(bool, byPattern);
    QFETCH(QStringList, files);

    // Slices 7, 8, 17 and 123456 of two energies, saved as the saver names and places them, with
    // their images; beside them, matching names that belong to no layout of this folder.
    QTemporaryDir root;
    const QString save = root.filePath(u"run"_s);
    const SubFolderRule rule {subFolders, ofEnergy, ofSlice};
    for (int s : {7, 8, 17, 123456}) {
        for (const QString &tag : {u"E01"_s, u"E02"_s}) {
            for (const QString &dir : targetDirs(save, tag, sliceText(s), rule)) {
                QVERIFY(QDir().mkpath(dir));
                QVERIFY(touch(QDir(dir).filePath(ctFileName(u"ct"_s, tag, sliceText(s), u"dat"_s))));
                QVERIFY(touch(QDir(dir).filePath(ctFileName(u"ct"_s, tag, sliceText(s), u"png"_s))));
            }
        }
    }
    QVERIFY(touch(root.filePath(u"other-run-00007.dat"_s))); // in the parent folder
    if (subFolders)
        QVERIFY(touch(QDir(save).filePath(u"stale-00007.dat"_s))); // loose in the save folder

    const SliceLoadRequest request = sliceLoadRequest(save, subFolders, ofSlice, slice);
    QCOMPARE(request.byPattern, byPattern);
    if (byPattern) {
        QCOMPARE(request.patternPath, QDir(save).absolutePath() + u"\\"_s + sliceText(slice) + u"\\"_s);
        QVERIFY(request.files.isEmpty());
        // The folder the pattern names holds the slice's data files.
        QVERIFY(QFile::exists(
            QDir(save).filePath(sliceText(slice) + u"/ct-E01-"_s + sliceText(slice) + u".dat"_s)));
        return;
    }
    QStringList expected;
    for (const QString &f : files)
        expected << QDir(save).absoluteFilePath(f);
    QCOMPARE(request.files, expected);
    QVERIFY(request.patternPath.isEmpty());
}

void TestSliceLoadRequest::emptySaveFolderNamesNothing()
{
    for (bool sub : {false, true}) {
        for (bool ofSlice : {false, true}) {
            const SliceLoadRequest r = sliceLoadRequest(u"  "_s, sub, ofSlice, 3);
            QVERIFY(!r.byPattern);
            QVERIFY(r.files.isEmpty());
        }
    }
}

QTEST_GUILESS_MAIN(TestSliceLoadRequest)
#include "tst_sliceloadrequest.moc"
