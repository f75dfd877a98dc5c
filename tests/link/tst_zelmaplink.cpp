// Qt
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// Local
#include "app/config/configstore.h"
#include "link/zelmaplink.h"
#include "tests/link/messagelog.h"
#include "tools/standin/standinviewer.h"
#include <memory>

Q_DECLARE_METATYPE(StandInViewer::Behaviour)

using namespace Qt::StringLiterals;
using ByteLists = QList<QByteArray>;

namespace {

const QByteArray hello("myName quorvel\n");

/// A link to `port` on this machine, trying again every 50 ms instead of every second.
std::unique_ptr<ZelmapLink> linkTo(quint16 port)
{
    ConfigStore::instance().clear();
    ConfigStore::instance().setEntry(u"2dZelmap"_s, u"127.0.0.1 %1"_s.arg(port));
    auto link = std::make_unique<ZelmapLink>();
    link->setRetryInterval(50);
    return link;
}

} // namespace

class TestZelmapLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void endpointFromTheConfiguration();
    void linkButtonShowsTheState();
    void isBusyLines_data();
    void isBusyLines();
    void requestsOnTheWire_data();
    void requestsOnTheWire();
    void busyRequestTurnsIntoAGreeting();
    void requestWhileUnconnectedIsRefused();
    void clickWhileConnectedGreetsAgain();
    void pathsTheWireBreaksAreReported();
    void copesWithAMisbehavingViewer_data();
    void copesWithAMisbehavingViewer();

private:
    /// Connects the link to the test server; returns the server's end with the greeting read.
    QTcpSocket *connectLink(ZelmapLink &link);
    /// Reads from `peer` until `count` lines have arrived.
    static ByteLists readLines(QTcpSocket *peer, int count);
    std::unique_ptr<QTcpServer> server_;
};

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

void TestZelmapLink::endpointFromTheConfiguration()
{
    ConfigStore::instance().clear();
    ZelmapLink byDefault;
    QCOMPARE(byDefault.host(), u"localhost"_s);
    QCOMPARE(byDefault.port(), 6078);
    QCOMPARE(byDefault.retryInterval(), 1000);
    QVERIFY(!byDefault.enabled()); // nothing is connected by construction

    ConfigStore::instance().setEntry(u"2dZelmap"_s, u"viewer-pc 7010"_s);
    ZelmapLink configured;
    QCOMPARE(configured.host(), u"viewer-pc"_s);
    QCOMPARE(configured.port(), 7010);
}

void TestZelmapLink::linkButtonShowsTheState()
{
    auto link = linkTo(server_->serverPort());
    QPushButton button;
    link->setLinkButton(&button);
    QCOMPARE(button.styleSheet(), u"background-color: rgb(176, 192, 192);"_s);
    server_->close(); // refused for now
    link->doConnect();
    QCOMPARE(button.styleSheet(), u"background-color: rgb(255, 243, 162);"_s);
    QSignalSpy accepted(server_.get(), &QTcpServer::newConnection);
    QVERIFY(server_->listen(QHostAddress::LocalHost, link->port()));
    QVERIFY(accepted.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(link->isConnected(), 5000);
    QCOMPARE(button.styleSheet(), u"background-color: rgb(211, 255, 241);"_s);
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
    QTest::newRow("lower case") << ByteLists {"ISBUSY 1\n", "isbusy 0 load_i1_files\n"} << false
                                << u"LOAD_I1_FILES"_s << QStringList {u"1 "_s, u"0 LOAD_I1_FILES"_s};
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
    QTest::newRow("load files") << 1
                                << QByteArray(
                                       "LOAD_I1_FILES new /s/E01/c-E01-00042.dat /s/E02/c-E02-00042.dat")
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
    QSignalSpy busy(link.get(), &ZelmapLink::changedIsBusy);
    if (kind == 0)
        link->loadFilesOfPattern(u"/s/run\\00042\\"_s);
    else if (kind == 1)
        link->loadFiles({u"/s/E01/c-E01-00042.dat"_s, u"/s/E02/c-E02-00042.dat"_s});
    else
        link->exec2dA(u"00042"_s);
    QVERIFY(link->isBusy()); // from the moment it is sent
    QCOMPARE(busy.size(), 1);
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
    MessageLog log;
    QSignalSpy busy(link.get(), &ZelmapLink::changedIsBusy);
    QSignalSpy refused(link.get(), &ZelmapLink::requestRefused);
    QSignalSpy connected(link.get(), &ZelmapLink::connected);
    link->loadFilesOfPattern(u"/s/run\\00001\\"_s);
    link->exec2dA(u"00001"_s);
    // Nothing would answer: refused, said, and never taken as busy.
    QVERIFY(!link->isBusy());
    QCOMPARE(busy.size(), 0);
    QCOMPARE(refused.size(), 2);
    QVERIFY(log.contains(u"2dZelmap is not connected: LOAD_I1_FILES_OF_PATTERN is not sent"_s));
    QVERIFY(log.contains(u"2dZelmap is not connected: ANALYZER_EXEC_2DA is not sent"_s));
    QVERIFY(log.startingWith(u"snd:"_s).isEmpty());
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

void TestZelmapLink::clickWhileConnectedGreetsAgain()
{
    auto link = linkTo(server_->serverPort());
    QPushButton button;
    link->setLinkButton(&button);
    QSignalSpy accepted(server_.get(), &QTcpServer::newConnection);
    button.click(); // the button connects
    QVERIFY(accepted.wait(5000));
    QTcpSocket *peer = server_->nextPendingConnection();
    QCOMPARE(readLines(peer, 1), ByteLists {hello.chopped(1)});
    QSignalSpy connected(link.get(), &ZelmapLink::connected);
    link->exec2dA(u"00005"_s);
    button.click(); // greets the viewer again and clears the busy state
    QCOMPARE(connected.size(), 1);
    QVERIFY(!link->isBusy());
    QCOMPARE(readLines(peer, 2), (ByteLists {"ANALYZER_EXEC_2DA 00005", hello.chopped(1)}));
    QSignalSpy more(peer, &QTcpSocket::readyRead);
    QVERIFY(!more.wait(100));
}

void TestZelmapLink::pathsTheWireBreaksAreReported()
{
    auto link = linkTo(server_->serverPort());
    QTcpSocket *peer = connectLink(*link);
    QVERIFY(peer);
    MessageLog log;
    link->loadFiles({u"/data/my scans/c-00001.dat"_s, u"/data/ok/c-00001.dat"_s});
    QCOMPARE(log.startingWith(u"2dZelmap will misread this path"_s).size(), 1);
    QVERIFY(log.contains(u"/data/my scans/c-00001.dat"_s));
    // The line itself is what the viewer expects, blanks and all.
    QCOMPARE(
        readLines(peer, 1), ByteLists {"LOAD_I1_FILES new /data/my scans/c-00001.dat /data/ok/c-00001.dat"});
}

void TestZelmapLink::copesWithAMisbehavingViewer_data()
{
    QTest::addColumn<StandInViewer::Behaviour>("behaviour");
    StandInViewer::Behaviour b;
    b.delayMs = 20;
    QTest::newRow("well-behaved") << b;
    StandInViewer::Behaviour lower = b;
    lower.lowerCase = true;
    QTest::newRow("lower case") << lower;
    StandInViewer::Behaviour crlf = b;
    crlf.crlf = true;
    QTest::newRow("CR LF") << crlf;
    StandInViewer::Behaviour garbage = b;
    garbage.garbage = true;
    QTest::newRow("garbage lines") << garbage;
    StandInViewer::Behaviour split = b;
    split.split = true;
    QTest::newRow("lines in pieces") << split;
    StandInViewer::Behaviour flood = b;
    flood.longLine = 3 * 1024 * 1024;
    QTest::newRow("3 MiB without a line end first") << flood;
    StandInViewer::Behaviour longLine = b;
    longLine.longLine = 900 * 1024;
    longLine.endLongLine = true;
    QTest::newRow("a line of 900 kB first") << longLine;
}

void TestZelmapLink::copesWithAMisbehavingViewer()
{
    QFETCH(StandInViewer::Behaviour, behaviour);
    StandInViewer viewer;
    viewer.behaviour() = behaviour;
    QVERIFY(viewer.listen());
    MessageLog log;
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
    for (const QString &line : log.all())
        QVERIFY2(line.size() < 300, qPrintable(line.left(300)));
}

QTEST_MAIN(TestZelmapLink)
#include "tst_zelmaplink.moc"
