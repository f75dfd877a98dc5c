// Qt
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/config/configstore.h"
#include "ct/savenaming.h"
#include "link/isbusymsg.h"
#include "link/linesplitter.h"
#include "link/sliceloadrequest.h"
#include "link/zelmapmessages.h"

using namespace Qt::StringLiterals;
using ByteLists = QList<QByteArray>;

/// The lines and messages of the viewer link, without a connection: splitting the received bytes
/// into lines, reading the viewer's ISBUSY answers, the endpoint, and the files a slice request names.
class TestZelmapMessages : public QObject
{
    Q_OBJECT
private slots:
    void pathsTheWireBreaks();
    void endpoint_data();
    void endpoint();
    void endpointFromTheConfigurationFile_data();
    void endpointFromTheConfigurationFile();
    void readsTheViewersLines_data();
    void readsTheViewersLines();
    void splitsAtLineFeeds_data();
    void splitsAtLineFeeds();
    void overlongLineIsDroppedWhole_data();
    void overlongLineIsDroppedWhole();
    void twoMebibytesWithoutLineFeedStayBounded();
    void clearForgetsThePartialLine();
    void findsWhatTheSaverWrote_data();
    void findsWhatTheSaverWrote();
    void emptySaveFolderNamesNothing();
};

void TestZelmapMessages::pathsTheWireBreaks()
{
    const QStringList paths {u"/data/ok/a-00001.dat"_s, u"/data/my scans/a-00001.dat"_s,
        u"/data/caf\u00e9/a-00001.dat"_s, u"/data/\u8a66\u6599/a-00001.dat"_s, u"/data/tab\there"_s};
    QCOMPARE(zelmap::pathsTheWireBreaks(paths),
        (QStringList {paths.at(1), paths.at(3), paths.at(4)})); // é is Latin-1 and travels
}

void TestZelmapMessages::endpoint_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("default") << zelmap::defaultEndpoint << u"localhost"_s << 6078;
    QTest::newRow("host and port") << u"beamline-pc 7001"_s << u"beamline-pc"_s << 7001;
    QTest::newRow("address, extra blanks") << u"  192.168.1.20\t 6079  "_s << u"192.168.1.20"_s << 6079;
    QTest::newRow("quoted host") << u"\"viewer.local\" 6078"_s << u"viewer.local"_s << 6078;
    QTest::newRow("no port: the usual one") << u"viewer"_s << u"viewer"_s << 6078;
    QTest::newRow("port not a number") << u"viewer abc"_s << u"viewer"_s << 0;
    QTest::newRow("port beyond 16 bits, not wrapped") << u"viewer 71614"_s << u"viewer"_s << 0;
    QTest::newRow("port 0") << u"viewer 0"_s << u"viewer"_s << 0;
    QTest::newRow("negative port") << u"viewer -6078"_s << u"viewer"_s << 0;
}

void TestZelmapMessages::endpoint()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    if (port == 0)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"is not a TCP port"_s));
    const zelmap::Endpoint e = zelmap::parseEndpoint(text);
    QCOMPARE(e.host, host);
    QCOMPARE(e.port, port);
}

void TestZelmapMessages::endpointFromTheConfigurationFile_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("endpoint");
    QTest::newRow("no entry: the default") << u"DataRoot /tmp\n"_s << zelmap::defaultEndpoint;
    QTest::newRow("host and port on the line")
        << u"2dZelmap viewer-pc 7002 # the analysis PC\n"_s << u" viewer-pc 7002 "_s;
    QTest::newRow("the last line wins") << u"2dZelmap a 1\n2dZelmap b 2\n"_s << u" b 2"_s;
    QTest::newRow("the key is case-sensitive") << u"2DZELMAP viewer 7003\n"_s << zelmap::defaultEndpoint;
}

void TestZelmapMessages::endpointFromTheConfigurationFile()
{
    QFETCH(QString, config);
    QFETCH(QString, endpoint);
    QTemporaryDir dir;
    QFile file(dir.filePath(u"config.cfg"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(config.toUtf8());
    file.close();
    ConfigStore::instance().clear();
    QVERIFY(ConfigStore::instance().readConfigFile(file.fileName()));
    QCOMPARE(zelmap::configuredEndpointText(), endpoint);
    // The store itself keeps only the host of such a line; the port comes from the line.
    if (config.startsWith(u"2dZelmap viewer-pc"_s)) {
        QCOMPARE(configValue(u"2dZelmap"_s, QString()), u"viewer-pc"_s);
        QCOMPARE(zelmap::parseEndpoint(zelmap::configuredEndpointText()).port, 7002);
    }
    ConfigStore::instance().clear();
}

void TestZelmapMessages::readsTheViewersLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("isBusyLine");
    QTest::addColumn<bool>("hasFlag");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("finished");
    QTest::newRow("busy") << QByteArray("ISBUSY 1") << true << true << true << QString();
    QTest::newRow("busy with a command: nothing finished")
        << QByteArray("ISBUSY 1 LOAD_I1_FILES") << true << true << true << QString();
    QTest::newRow("finished a load") << QByteArray("ISBUSY 0 LOAD_I1_FILES") << true << true << false
                                     << QStringLiteral("LOAD_I1_FILES");
    QTest::newRow("lower case, name upper-cased") << QByteArray("isbusy 0 analyzer_exec_2da") << true << true
                                                  << false << QStringLiteral("ANALYZER_EXEC_2DA");
    QTest::newRow("not busy, no command") << QByteArray("ISBUSY 0") << true << true << false << QString();
    QTest::newRow("no flag") << QByteArray("ISBUSY") << true << false << false << QString();
    QTest::newRow("CR LF ending and odd spacing")
        << QByteArray(" \tISBUSY  0   LOAD_I1_FILES_OF_PATTERN \r") << true << true << false
        << QStringLiteral("LOAD_I1_FILES_OF_PATTERN");
    QTest::newRow("non-numeric flag counts as not busy")
        << QByteArray("ISBUSY yes ANALYZER_EXEC_2DA") << true << true << false
        << QStringLiteral("ANALYZER_EXEC_2DA");
    QTest::newRow("flag 01 reads as 1") << QByteArray("ISBUSY 01") << true << true << true << QString();
    QTest::newRow("flag 1.0 is not an integer")
        << QByteArray("ISBUSY 1.0") << true << true << false << QString();
    QTest::newRow("UTF-8 command") << QByteArray("ISBUSY 0 r\xc3\xa9sum\xc3\xa9") << true << true << false
                                   << QStringLiteral("R\u00c9SUM\u00c9");
    QTest::newRow("another keyword") << QByteArray("ISBUSYX 0 LOAD_I1_FILES") << false << false << false
                                     << QString();
    QTest::newRow("keyword not first") << QByteArray("0 ISBUSY 1") << false << false << false << QString();
    QTest::newRow("empty") << QByteArray("") << false << false << false << QString();
    QTest::newRow("garbage bytes") << QByteArray("\x01\xff\xfe ISBUSY 1") << false << false << false
                                   << QString();
}

void TestZelmapMessages::readsTheViewersLines()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, isBusyLine);
    QFETCH(bool, hasFlag);
    QFETCH(bool, busy);
    QFETCH(QString, finished);
    const std::optional<IsBusyMsg> msg = parseIsBusy(line);
    QCOMPARE(msg.has_value(), isBusyLine);
    if (!msg)
        return;
    QCOMPARE(msg->hasFlag, hasFlag);
    QCOMPARE(msg->busy, busy);
    QCOMPARE(msg->finished, finished);
}

void TestZelmapMessages::splitsAtLineFeeds_data()
{
    QTest::addColumn<ByteLists>("deliveries");
    QTest::addColumn<ByteLists>("lines");
    QTest::addColumn<QByteArray>("left");
    QTest::newRow("a b LF c d, then e LF")
        << ByteLists {"ab\ncd", "e\n"} << ByteLists {"ab", "cde"} << QByteArray();
    QTest::newRow("LF LF: two empty lines") << ByteLists {"\n\n"} << ByteLists {"", ""} << QByteArray();
    QTest::newRow("CR LF keeps the CR") << ByteLists {"x\r\n"} << ByteLists {"x\r"} << QByteArray();
    QTest::newRow("no LF yet") << ByteLists {"ISBUSY 0"} << ByteLists {} << QByteArray("ISBUSY 0");
    QTest::newRow("one byte at a time")
        << ByteLists {"I", "S", "\n", "\n", "z"} << ByteLists {"IS", ""} << QByteArray("z");
    QTest::newRow("many lines in one delivery")
        << ByteLists {"a\nbb\n\nccc\nd"} << ByteLists {"a", "bb", "", "ccc"} << QByteArray("d");
    QTest::newRow("NUL bytes are kept")
        << ByteLists {QByteArray("a\0b\n", 4)} << ByteLists {QByteArray("a\0b", 3)} << QByteArray();
}

void TestZelmapMessages::splitsAtLineFeeds()
{
    QFETCH(ByteLists, deliveries);
    QFETCH(ByteLists, lines);
    QFETCH(QByteArray, left);
    LineSplitter splitter;
    ByteLists got;
    for (const QByteArray &d : deliveries)
        got += splitter.feed(d);
    QCOMPARE(got, lines);
    QCOMPARE(splitter.pending(), left.size());
    // What is left becomes the head of the next line.
    QCOMPARE(splitter.feed("\n"), ByteLists {left});
}

void TestZelmapMessages::overlongLineIsDroppedWhole_data()
{
    QTest::addColumn<ByteLists>("deliveries");
    QTest::addColumn<ByteLists>("lines");
    QTest::addColumn<qint64>("dropped");
    // The limit is 8 bytes.
    QTest::newRow("exactly the limit is kept")
        << ByteLists {"12345678\n"} << ByteLists {"12345678"} << qint64(0);
    QTest::newRow("one byte more is dropped")
        << ByteLists {"123456789\nok\n"} << ByteLists {"ok"} << qint64(9);
    QTest::newRow("grows past the limit over deliveries")
        << ByteLists {"1234", "5678", "9abc", "def\nok\n"} << ByteLists {"ok"} << qint64(15);
    QTest::newRow("the tail after the limit is not a line of its own")
        << ByteLists {"0123456789", "ISBUSY 0\n", "ISBUSY 1\n"} << ByteLists {"ISBUSY 1"} << qint64(18);
    QTest::newRow("lines before it survive")
        << ByteLists {"a\nbbbbbbbbbbbb\nc\n"} << ByteLists {"a", "c"} << qint64(12);
}

void TestZelmapMessages::overlongLineIsDroppedWhole()
{
    QFETCH(ByteLists, deliveries);
    QFETCH(ByteLists, lines);
    QFETCH(qint64, dropped);
    LineSplitter splitter(8);
    if (dropped > 0) // once for each overlong line; every row has one
        QTest::ignoreMessage(
            QtWarningMsg, "A received line is longer than 8 bytes: it is dropped up to its line feed");
    ByteLists got;
    for (const QByteArray &d : deliveries) {
        got += splitter.feed(d);
        QVERIFY(splitter.pending() <= 8);
    }
    QCOMPARE(got, lines);
    QCOMPARE(splitter.droppedBytes(), dropped);
    QVERIFY(!splitter.isSkipping());
}

void TestZelmapMessages::twoMebibytesWithoutLineFeedStayBounded()
{
    LineSplitter splitter;
    const QByteArray chunk(64 * 1024, 'x');
    qsizetype most = 0;
    for (int i = 0; i < 32; ++i) { // 2 MiB in deliveries of 64 KiB
        if (i == 16)
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(QStringLiteral("longer than 1048576 bytes")));
        QVERIFY(splitter.feed(chunk).isEmpty());
        most = std::max(most, splitter.pending());
    }
    QVERIFY(most <= LineSplitter::defaultLimit);
    QCOMPARE(splitter.pending(), 0);
    QVERIFY(splitter.isSkipping());
    // The link goes on with the next line.
    QCOMPARE(splitter.feed("tail\nISBUSY 0 LOAD_I1_FILES\n"), ByteLists {"ISBUSY 0 LOAD_I1_FILES"});
    QCOMPARE(splitter.droppedBytes(), qint64(2 * 1024 * 1024 + 4));
}

void TestZelmapMessages::clearForgetsThePartialLine()
{
    LineSplitter splitter(4);
    splitter.feed("abc");
    splitter.clear();
    QCOMPARE(splitter.feed("x\n"), ByteLists {"x"});
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("longer than 4 bytes")));
    splitter.feed("abcdefg");
    splitter.clear(); // a new connection: nothing of the old line is skipped any more
    QCOMPARE(splitter.feed("y\n"), ByteLists {"y"});
}

namespace {

bool touch(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("#QRVL-CTImg\n") > 0;
}

} // namespace

void TestZelmapMessages::findsWhatTheSaverWrote_data()
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

void TestZelmapMessages::findsWhatTheSaverWrote()
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

void TestZelmapMessages::emptySaveFolderNamesNothing()
{
    for (bool sub : {false, true}) {
        for (bool ofSlice : {false, true}) {
            const SliceLoadRequest r = sliceLoadRequest(u"  "_s, sub, ofSlice, 3);
            QVERIFY(!r.byPattern);
            QVERIFY(r.files.isEmpty());
        }
    }
}

QTEST_GUILESS_MAIN(TestZelmapMessages)
#include "tst_zelmapmessages.moc"
