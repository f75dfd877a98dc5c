// Qt
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "config/configstore.h"
#include "ct/savenaming.h"
#include "link/isbusymsg.h"
#include "link/linesplitter.h"
#include "link/sliceloadrequest.h"
#include "link/tcpclient.h"
#include "link/ui/zelmaplink.h"
#include "link/zelmapmessages.h"
#include "tests/common/debuglog.h"
#include "tools/standin/standinviewer.h"
#include <memory>

using Behaviour = StandInViewer::Behaviour;
Q_DECLARE_METATYPE(Behaviour)

using namespace Qt::StringLiterals;
using ByteLists = QList<QByteArray>;

namespace {

constexpr int retryMs = 50; // the program waits 1000 ms between attempts
const QByteArray hello("myName quorvel\n");

/// A client of the local test server that counts its socket's deliveries.
class Client : public TcpClient
{
public:
    explicit Client(quint16 port)
    {
        setEndpoint(u"127.0.0.1"_s, port);
        setRetryInterval(retryMs);
    }
    int deliveries = 0;

protected:
    void readyRead() override
    {
        ++deliveries;
        TcpClient::readyRead();
    }
};

/// A port on which nothing listens (just freed).
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

/// A link to `port` on this machine, trying again every 50 ms instead of every second.
std::unique_ptr<ZelmapLink> linkTo(quint16 port)
{
    ConfigStore::instance().clear();
    ConfigStore::instance().setEntry(u"2dZelmap"_s, u"127.0.0.1 %1"_s.arg(port));
    auto link = std::make_unique<ZelmapLink>();
    link->setRetryInterval(retryMs);
    return link;
}

bool touch(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("#QRVL-CTImg\n") > 0;
}

} // namespace

/// The lines and messages of the viewer link without a connection (splitting the received bytes into
/// lines, reading the viewer's ISBUSY answers, the endpoint, the files a slice request names); then
/// the line client (connecting, retrying, splitting what arrives) and the link built on it, each
/// against a local server.
class TestZelmapLink : public QObject
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
    void clearForgetsThePartialLine();
    void findsWhatTheSaverWrote_data();
    void findsWhatTheSaverWrote();
    void init();
    void cleanup();
    void linesBothWaysWhileConnected();
    void statChangedFollowsTheFlags();
    void reconnectsOnEachTickAfterThePeerCloses();
    void refusedFirstAttemptKeepsTrying();
    void linkButtonShowsTheStateAndGreetsAgain();
    void isBusyLines_data();
    void isBusyLines();
    void requestsOnTheWire_data();
    void requestsOnTheWire();
    void busyRequestTurnsIntoAGreeting();
    void requestWhileUnconnectedIsRefused();
    void copesWithAMisbehavingViewer_data();
    void copesWithAMisbehavingViewer();

private:
    /// Connects `client` to the test server and returns the server's end.
    QTcpSocket *connectClient(Client &client);
    /// Connects the link to the test server; returns the server's end with the greeting read.
    QTcpSocket *connectLink(ZelmapLink &link);
    /// Reads from `peer` until `count` lines have arrived.
    static ByteLists readLines(QTcpSocket *peer, int count);
    std::unique_ptr<QTcpServer> server_;
};

void TestZelmapLink::pathsTheWireBreaks()
{
    const QStringList paths {u"/data/ok/a-00001.dat"_s, u"/data/my scans/a-00001.dat"_s,
        u"/data/caf\u00e9/a-00001.dat"_s, u"/data/\u8a66\u6599/a-00001.dat"_s, u"/data/tab\there"_s};
    QCOMPARE(zelmap::pathsTheWireBreaks(paths),
        (QStringList {paths.at(1), paths.at(3), paths.at(4)})); // é is Latin-1 and travels
}

void TestZelmapLink::endpoint_data()
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

void TestZelmapLink::endpoint()
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

void TestZelmapLink::endpointFromTheConfigurationFile_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("endpoint");
    QTest::newRow("no entry: the default") << u"DataRoot /tmp\n"_s << zelmap::defaultEndpoint;
    QTest::newRow("host and port on the line")
        << u"2dZelmap viewer-pc 7002 # the analysis PC\n"_s << u" viewer-pc 7002 "_s;
    QTest::newRow("the last line wins") << u"2dZelmap a 1\n2dZelmap b 2\n"_s << u" b 2"_s;
    QTest::newRow("the key is case-sensitive") << u"2DZELMAP viewer 7003\n"_s << zelmap::defaultEndpoint;
}

void TestZelmapLink::endpointFromTheConfigurationFile()
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

void TestZelmapLink::readsTheViewersLines_data()
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

void TestZelmapLink::readsTheViewersLines()
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

void TestZelmapLink::splitsAtLineFeeds_data()
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

void TestZelmapLink::splitsAtLineFeeds()
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

void TestZelmapLink::overlongLineIsDroppedWhole_data()
{
    QTest::addColumn<qsizetype>("limit");
    QTest::addColumn<ByteLists>("deliveries");
    QTest::addColumn<ByteLists>("lines");
    QTest::addColumn<qint64>("dropped");
    QTest::newRow("exactly the limit is kept")
        << qsizetype(8) << ByteLists {"12345678\n"} << ByteLists {"12345678"} << qint64(0);
    QTest::newRow("one byte more is dropped")
        << qsizetype(8) << ByteLists {"123456789\nok\n"} << ByteLists {"ok"} << qint64(9);
    QTest::newRow("grows past the limit over deliveries")
        << qsizetype(8) << ByteLists {"1234", "5678", "9abc", "def\nok\n"} << ByteLists {"ok"} << qint64(15);
    QTest::newRow("the tail after the limit is not a line of its own")
        << qsizetype(8) << ByteLists {"0123456789", "ISBUSY 0\n", "ISBUSY 1\n"} << ByteLists {"ISBUSY 1"}
        << qint64(18);
    QTest::newRow("lines before it survive")
        << qsizetype(8) << ByteLists {"a\nbbbbbbbbbbbb\nc\n"} << ByteLists {"a", "c"} << qint64(12);
    // The link's own limit, and a peer that sends 2 MiB in deliveries of 64 KiB before its line feed.
    QTest::newRow("2 MiB without a line feed")
        << LineSplitter::defaultLimit
        << ByteLists(32, QByteArray(64 * 1024, 'x')) + ByteLists {"tail\nISBUSY 0 LOAD_I1_FILES\n"}
        << ByteLists {"ISBUSY 0 LOAD_I1_FILES"} << qint64(2 * 1024 * 1024 + 4);
}

void TestZelmapLink::overlongLineIsDroppedWhole()
{
    QFETCH(qsizetype, limit);
    QFETCH(ByteLists, deliveries);
    QFETCH(ByteLists, lines);
    QFETCH(qint64, dropped);
    LineSplitter splitter(limit);
    if (dropped > 0) // once for each overlong line; every row has one
        QTest::ignoreMessage(QtWarningMsg,
            qPrintable(
                u"A received line is longer than %1 bytes: it is dropped up to its line feed"_s.arg(limit)));
    ByteLists got;
    for (const QByteArray &d : deliveries) {
        got += splitter.feed(d);
        QVERIFY(splitter.pending() <= limit);
    }
    QCOMPARE(got, lines);
    QCOMPARE(splitter.droppedBytes(), dropped);
    QVERIFY(!splitter.isSkipping());
}

void TestZelmapLink::clearForgetsThePartialLine()
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

void TestZelmapLink::findsWhatTheSaverWrote_data()
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
        << false << false << true << 9 << false << QStringList {};
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

void TestZelmapLink::findsWhatTheSaverWrote()
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

    // A blank save folder names nothing, whatever the layout.
    const SliceLoadRequest none = sliceLoadRequest(u"  "_s, subFolders, ofSlice, slice);
    QVERIFY(!none.byPattern && none.files.isEmpty() && none.patternPath.isEmpty());
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

void TestZelmapLink::init()
{
    server_ = std::make_unique<QTcpServer>();
    QVERIFY(server_->listen(QHostAddress::LocalHost));
}

void TestZelmapLink::cleanup()
{
    server_.reset();
    ConfigStore::instance().clear();
}

QTcpSocket *TestZelmapLink::connectClient(Client &client)
{
    QSignalSpy accepted(server_.get(), &QTcpServer::newConnection);
    client.doConnect();
    if (!accepted.wait(5000) || !QTest::qWaitFor([&client] { return client.isConnected(); }, 5000))
        return nullptr;
    return server_->nextPendingConnection();
}

void TestZelmapLink::linesBothWaysWhileConnected()
{
    auto client = std::make_unique<Client>(server_->serverPort());
    DebugLog log;
    client->send(u"lost\n"_s); // while unconnected: neither written nor kept
    QCOMPARE(log.count(u"^snd:"_s), 0);
    QTcpSocket *peer = connectClient(*client);
    QVERIFY(peer);
    client->send(u"LOAD_I1_FILES new /d/caf\u00e9/\u8a66-00001.dat\n"_s);
    QByteArray sent;
    const QByteArray expected("LOAD_I1_FILES new /d/caf\xe9/?-00001.dat\n");
    // The client writes from the event loop, so the wait must keep it turning.
    QSignalSpy arrived(peer, &QTcpSocket::readyRead);
    while (sent.size() < expected.size() && (peer->bytesAvailable() > 0 || arrived.wait(5000)))
        sent += peer->readAll();
    QCOMPARE(sent, expected);
    QCOMPARE(log.count(u"^snd:"_s), 1);

    QSignalSpy received(client.get(), &TcpClient::receiveAnMsg);
    for (const QByteArray &d : {"ab\ncd"_ba, "e\n"_ba, "\n\n"_ba, "z\n"_ba, "x\r\n"_ba}) {
        const int before = client->deliveries;
        peer->write(d);
        QVERIFY(peer->waitForBytesWritten(5000));
        QTRY_VERIFY_WITH_TIMEOUT(client->deliveries > before, 5000); // one delivery at a time
    }
    ByteLists got;
    for (const QList<QVariant> &args : received)
        got << args.at(0).toByteArray();
    // Empty lines are consumed and logged, but no message; a CR before the line feed stays.
    QCOMPARE(got, (ByteLists {"ab", "cde", "z", "x\r"}));
    QCOMPARE(log.count(u"^rec:"_s), 6);

    // Destroying the client closes the connection.
    QSignalSpy gone(peer, &QTcpSocket::disconnected);
    client.reset();
    QVERIFY(gone.wait(5000));
}

void TestZelmapLink::statChangedFollowsTheFlags()
{
    Client client(server_->serverPort());
    QSignalSpy stat(&client, &TcpClient::statChanged);
    client.doDisconnect(); // while off: nothing
    QCOMPARE(stat.size(), 0);
    QVERIFY(!client.enabled() && !client.isConnected());

    QTcpSocket *peer = connectClient(client);
    QVERIFY(peer);
    QCOMPARE(stat.size(), 3); // enabled, attempt started, connected
    QVERIFY(!client.isRetrying());

    client.doConnect(); // while connected: the attempt's report only, no flag changes
    QCOMPARE(stat.size(), 4);
    QVERIFY(client.enabled() && client.isConnected());

    QSignalSpy peerGone(peer, &QTcpSocket::disconnected);
    client.doDisconnect();
    QTRY_VERIFY_WITH_TIMEOUT(!client.isConnected(), 5000);
    QCOMPARE(stat.size(), 6); // disabled, then disconnected
    QVERIFY(!client.enabled());
    QVERIFY(!client.isRetrying());
    QVERIFY(peerGone.size() > 0 || peerGone.wait(5000));

    // Disconnected before an attempt has come back: the attempt is stopped, nothing more is reported.
    client.doConnect();
    client.doDisconnect();
    QSignalSpy later(&client, &TcpClient::statChanged);
    QVERIFY(!later.wait(300));
    QVERIFY(!client.isConnected() && !client.enabled() && !client.isRetrying());
}

void TestZelmapLink::reconnectsOnEachTickAfterThePeerCloses()
{
    Client client(server_->serverPort());
    QTcpSocket *peer = connectClient(client);
    QVERIFY(peer);
    QSignalSpy received(&client, &TcpClient::receiveAnMsg);
    const int before = client.deliveries;
    peer->write("par"); // a partial line, which goes with its connection
    QVERIFY(peer->waitForBytesWritten(5000));
    QTRY_VERIFY_WITH_TIMEOUT(client.deliveries > before, 5000);
    const quint16 port = server_->serverPort();
    server_->close(); // attempts are refused until it listens again
    QSignalSpy stat(&client, &TcpClient::statChanged);
    peer->close();
    QTRY_VERIFY_WITH_TIMEOUT(!client.isConnected(), 5000);
    QVERIFY(client.isRetrying());
    // One attempt, and one report, per tick.
    QTRY_VERIFY_WITH_TIMEOUT(stat.size() >= 4, 5000);
    QVERIFY(client.enabled() && !client.isConnected());

    QSignalSpy accepted(server_.get(), &QTcpServer::newConnection);
    QVERIFY(server_->listen(QHostAddress::LocalHost, port));
    QVERIFY(accepted.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(client.isConnected(), 5000);
    QVERIFY(!client.isRetrying()); // the first success stops the timer
    server_->nextPendingConnection()->write("tial\n");
    QVERIFY(received.wait(5000));
    QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("tial"));
}

void TestZelmapLink::refusedFirstAttemptKeepsTrying()
{
    const quint16 port = freePort();
    Client client(port);
    DebugLog log;
    QSignalSpy stat(&client, &TcpClient::statChanged);
    client.doConnect();
    QTRY_VERIFY_WITH_TIMEOUT(client.isRetrying(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(stat.size() >= 5, 5000); // two from doConnect, then one per tick
    QVERIFY(!client.isConnected());
    // Refusals are reported once, not on every tick.
    QCOMPARE(log.count(u"^Can't connect to 127.0.0.1 %1"_s.arg(port)), 1);

    QTcpServer late;
    QSignalSpy accepted(&late, &QTcpServer::newConnection);
    QVERIFY(late.listen(QHostAddress::LocalHost, port));
    QVERIFY(accepted.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(client.isConnected(), 5000);
    QVERIFY(!client.isRetrying());
}

QTcpSocket *TestZelmapLink::connectLink(ZelmapLink &link)
{
    QSignalSpy accepted(server_.get(), &QTcpServer::newConnection);
    link.doConnect();
    if (!accepted.wait(5000))
        return nullptr;
    QTcpSocket *peer = server_->nextPendingConnection();
    if (readLines(peer, 1) != ByteLists {hello.chopped(1)})
        return nullptr;
    return peer;
}

ByteLists TestZelmapLink::readLines(QTcpSocket *peer, int count)
{
    ByteLists lines;
    // The link writes from the event loop, so the wait must keep it turning.
    while (lines.size() < count) {
        if (!QTest::qWaitFor([peer] { return peer->canReadLine(); }, 5000))
            break;
        while (peer->canReadLine() && lines.size() < count)
            lines << peer->readLine().chopped(1);
    }
    return lines;
}

void TestZelmapLink::linkButtonShowsTheStateAndGreetsAgain()
{
    auto link = linkTo(server_->serverPort());
    QPushButton button;
    link->setLinkButton(&button);
    QCOMPARE(button.styleSheet(), u"background-color: rgb(176, 192, 192);"_s);
    server_->close(); // refused for now
    button.click(); // the button connects
    QCOMPARE(button.styleSheet(), u"background-color: rgb(255, 243, 162);"_s);
    QSignalSpy accepted(server_.get(), &QTcpServer::newConnection);
    QVERIFY(server_->listen(QHostAddress::LocalHost, link->port()));
    QVERIFY(accepted.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(link->isConnected(), 5000);
    QCOMPARE(button.styleSheet(), u"background-color: rgb(211, 255, 241);"_s);
    QTcpSocket *peer = server_->nextPendingConnection();
    QCOMPARE(readLines(peer, 1), ByteLists {hello.chopped(1)});
    QSignalSpy connected(link.get(), &ZelmapLink::connected);
    link->exec2dA(u"00005"_s);
    button.click(); // while connected: greets the viewer again and clears the busy state
    QCOMPARE(connected.size(), 1);
    QVERIFY(!link->isBusy());
    QCOMPARE(readLines(peer, 2), (ByteLists {"ANALYZER_EXEC_2DA 00005", hello.chopped(1)}));
    QSignalSpy more(peer, &QTcpSocket::readyRead);
    QVERIFY(!more.wait(100));
    link->doDisconnect();
    QTRY_VERIFY_WITH_TIMEOUT(!link->isConnected(), 5000);
    QCOMPARE(button.styleSheet(), u"background-color: rgb(176, 192, 192);"_s);
}

void TestZelmapLink::isBusyLines_data()
{
    QTest::addColumn<ByteLists>("lines");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("lastFinished");
    QTest::addColumn<QStringList>("reports"); // each changedIsBusy, with lastFinished as it was then
    QTest::newRow("busy with a command name")
        << ByteLists {"ISBUSY 1 LOAD_I1_FILES\n"} << true << QString() << QStringList {u"1 "_s};
    QTest::newRow("not busy, no command")
        << ByteLists {"ISBUSY 1\n", "ISBUSY 0\n"} << false << QString() << QStringList {u"1 "_s, u"0 "_s};
    QTest::newRow("no flag: state kept, name emptied")
        << ByteLists {"ISBUSY 0 ANALYZER_EXEC_2DA\n", "ISBUSY\n"} << false << QString() << QStringList {};
    QTest::newRow("two not-busy lines: one report")
        << ByteLists {"ISBUSY 1\n", "ISBUSY 0 LOAD_I1_FILES\n", "ISBUSY 0 ANALYZER_EXEC_2DA\n"} << false
        << u"ANALYZER_EXEC_2DA"_s << QStringList {u"1 "_s, u"0 LOAD_I1_FILES"_s};
    QTest::newRow("other lines ignored")
        << ByteLists {"ISBUSY 1\n", "READY 0 LOAD_I1_FILES\n", "\x01\xff\n", "ISBUSYNESS 0\n"} << true
        << QString() << QStringList {u"1 "_s};
}

void TestZelmapLink::isBusyLines()
{
    QFETCH(ByteLists, lines);
    QFETCH(bool, busy);
    QFETCH(QString, lastFinished);
    QFETCH(QStringList, reports);
    auto link = linkTo(server_->serverPort());
    QTcpSocket *peer = connectLink(*link);
    QVERIFY(peer);
    QStringList got;
    connect(link.get(), &ZelmapLink::changedIsBusy, this,
        [&](bool f) { got << (f ? u"1 "_s : u"0 "_s) + link->lastFinished(); });
    QSignalSpy received(link.get(), &TcpClient::receiveAnMsg);
    for (const QByteArray &line : lines)
        peer->write(line);
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), lines.size(), 5000);
    QCOMPARE(link->isBusy(), busy);
    QCOMPARE(link->lastFinished(), lastFinished);
    QCOMPARE(got, reports);
}

void TestZelmapLink::requestsOnTheWire_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("finished");
    QTest::newRow("load by pattern") << 0 << QByteArray("LOAD_I1_FILES_OF_PATTERN new /s/run\\00042\\ *.dat")
                                     << QByteArray("LOAD_I1_FILES_OF_PATTERN");
    // A path with a blank is reported, but sent as it is: the line the viewer expects.
    QTest::newRow("load files, one the wire breaks")
        << 1 << QByteArray("LOAD_I1_FILES new /s/my scans/c-E01-00042.dat /s/E02/c-E02-00042.dat")
        << QByteArray("LOAD_I1_FILES");
    QTest::newRow("2DA") << 2 << QByteArray("ANALYZER_EXEC_2DA 00042") << QByteArray("ANALYZER_EXEC_2DA");
}

void TestZelmapLink::requestsOnTheWire()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, finished);
    auto link = linkTo(server_->serverPort());
    QTcpSocket *peer = connectLink(*link);
    QVERIFY(peer);
    DebugLog log;
    QSignalSpy busy(link.get(), &ZelmapLink::changedIsBusy);
    if (kind == 0)
        link->loadFilesOfPattern(u"/s/run\\00042\\"_s);
    else if (kind == 1)
        link->loadFiles({u"/s/my scans/c-E01-00042.dat"_s, u"/s/E02/c-E02-00042.dat"_s});
    else
        link->exec2dA(u"00042"_s);
    QVERIFY(link->isBusy()); // from the moment it is sent
    QCOMPARE(busy.size(), 1);
    QCOMPARE(
        log.count(u"^2dZelmap will misread this path.*: /s/my scans/c-E01-00042.dat$"_s), kind == 1 ? 1 : 0);
    QCOMPARE(readLines(peer, 1), ByteLists {wire});
    peer->write("ISBUSY 1\nISBUSY 0 " + finished + "\n");
    QTRY_VERIFY_WITH_TIMEOUT(!link->isBusy(), 5000);
    QCOMPARE(link->lastFinished(), QString::fromLatin1(finished));
}

void TestZelmapLink::busyRequestTurnsIntoAGreeting()
{
    auto link = linkTo(server_->serverPort());
    QTcpSocket *peer = connectLink(*link);
    QVERIFY(peer);
    QSignalSpy connected(link.get(), &ZelmapLink::connected);
    link->exec2dA(u"00001"_s);
    QCOMPARE(readLines(peer, 1), ByteLists {"ANALYZER_EXEC_2DA 00001"});
    link->exec2dA(u"00002"_s); // still busy: refused
    QCOMPARE(connected.size(), 1);
    QVERIFY(!link->isBusy());
    link->loadFiles({}); // nothing to load: refused as well
    QCOMPARE(connected.size(), 2);
    link->exec2dA(u"00003"_s); // not busy any more: sent
    QCOMPARE(readLines(peer, 3), (ByteLists {hello.chopped(1), hello.chopped(1), "ANALYZER_EXEC_2DA 00003"}));
}

void TestZelmapLink::requestWhileUnconnectedIsRefused()
{
    const quint16 port = server_->serverPort();
    server_->close();
    auto link = linkTo(port);
    DebugLog log;
    QSignalSpy busy(link.get(), &ZelmapLink::changedIsBusy);
    QSignalSpy refused(link.get(), &ZelmapLink::requestRefused);
    QSignalSpy connected(link.get(), &ZelmapLink::connected);
    link->loadFilesOfPattern(u"/s/run\\00001\\"_s);
    link->exec2dA(u"00001"_s);
    // Nothing is connected by construction, nothing would answer: refused, said, and never busy.
    QVERIFY(!link->enabled());
    QVERIFY(!link->isBusy());
    QCOMPARE(busy.size(), 0);
    QCOMPARE(refused.size(), 2);
    QVERIFY(log.count(u"2dZelmap is not connected: LOAD_I1_FILES_OF_PATTERN is not sent"_s) > 0);
    QVERIFY(log.count(u"2dZelmap is not connected: ANALYZER_EXEC_2DA is not sent"_s) > 0);
    QCOMPARE(log.count(u"^snd:"_s), 0);
    QCOMPARE(connected.size(), 0);
    // A connection greets the viewer; nothing old is sent.
    QVERIFY(server_->listen(QHostAddress::LocalHost, port));
    QTcpSocket *peer = connectLink(*link);
    QVERIFY(peer);
    QVERIFY(!link->isBusy());
    QCOMPARE(connected.size(), 1);
    QSignalSpy more(peer, &QTcpSocket::readyRead);
    QVERIFY(!more.wait(200));
}

void TestZelmapLink::copesWithAMisbehavingViewer_data()
{
    QTest::addColumn<Behaviour>("behaviour");
    QTest::newRow("well-behaved") << Behaviour {.delayMs = 20};
    QTest::newRow("lower case") << Behaviour {.delayMs = 20, .lowerCase = true};
    QTest::newRow("CR LF") << Behaviour {.delayMs = 20, .crlf = true};
    QTest::newRow("garbage lines") << Behaviour {.delayMs = 20, .garbage = true};
    QTest::newRow("lines in pieces") << Behaviour {.delayMs = 20, .split = true};
    QTest::newRow("3 MiB without a line end first") << Behaviour {.delayMs = 20, .longLine = 3 * 1024 * 1024};
    QTest::newRow("a line of 900 kB first")
        << Behaviour {.delayMs = 20, .longLine = 900 * 1024, .endLongLine = true};
}

void TestZelmapLink::copesWithAMisbehavingViewer()
{
    QFETCH(Behaviour, behaviour);
    StandInViewer viewer;
    viewer.behaviour() = behaviour;
    QVERIFY(viewer.listen());
    DebugLog log;
    auto link = linkTo(viewer.port());
    QSignalSpy connected(link.get(), &ZelmapLink::connected);
    link->doConnect();
    QVERIFY(connected.wait(5000));
    // A flood without line end swallows the first "ISBUSY 1" (its line ends there); the finishing
    // line still comes through.
    QSignalSpy finished(&viewer, &StandInViewer::finished);
    for (const QString &slice : {u"00007"_s, u"00008"_s}) {
        link->exec2dA(slice);
        QVERIFY(link->isBusy());
        QTRY_VERIFY_WITH_TIMEOUT(!link->isBusy() && link->lastFinished() == u"ANALYZER_EXEC_2DA"_s, 5000);
    }
    QCOMPARE(finished.size(), 2);
    QVERIFY(viewer.received().contains(u"ANALYZER_EXEC_2DA 00008"_s));
    // The log gets the beginning of a long line and its length, never the megabytes.
    for (const QString &line : log.messages())
        QVERIFY2(line.size() < 300, qPrintable(line.left(300)));
}

QTEST_MAIN(TestZelmapLink)
#include "tst_zelmaplink.moc"
