// Qt
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// Local
#include "link/tcpclient.h"
#include "tests/link/messagelog.h"
#include <memory>

using namespace Qt::StringLiterals;
using ByteLists = QList<QByteArray>;

namespace {

constexpr int retryMs = 50; // the program waits 1000 ms between attempts

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

} // namespace

class TestTcpClient : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void splitsLinesAcrossDeliveries_data();
    void splitsLinesAcrossDeliveries();
    void overlongLineIsDroppedAndTheLinkGoesOn();
    void partialLineIsDroppedOnANewConnection();
    void sendsLatin1OnlyWhileConnected();
    void statChangedFollowsTheFlags();
    void reconnectsOnEachTickAfterThePeerCloses();
    void refusedFirstAttemptKeepsTrying();
    void disconnectStopsAnAttemptUnderWay();
    void destructionClosesTheConnection();

private:
    /// Connects `client` to the test server and returns the server's end.
    QTcpSocket *connectClient(Client &client);
    std::unique_ptr<QTcpServer> server_;
};

void TestTcpClient::init()
{
    server_ = std::make_unique<QTcpServer>();
    QVERIFY(server_->listen(QHostAddress::LocalHost));
}

void TestTcpClient::cleanup()
{
    server_.reset();
}

QTcpSocket *TestTcpClient::connectClient(Client &client)
{
    QSignalSpy accepted(server_.get(), &QTcpServer::newConnection);
    client.doConnect();
    if (!accepted.wait(5000) || !QTest::qWaitFor([&client] { return client.isConnected(); }, 5000))
        return nullptr;
    return server_->nextPendingConnection();
}

void TestTcpClient::splitsLinesAcrossDeliveries_data()
{
    QTest::addColumn<ByteLists>("deliveries");
    QTest::addColumn<ByteLists>("messages");
    QTest::addColumn<int>("recEntries");
    QTest::newRow("a b LF c d / e LF") << ByteLists {"ab\ncd", "e\n"} << ByteLists {"ab", "cde"} << 2;
    QTest::newRow("LF LF: no message, both consumed") << ByteLists {"\n\n", "z\n"} << ByteLists {"z"} << 3;
    QTest::newRow("x CR LF") << ByteLists {"x\r\n"} << ByteLists {"x\r"} << 1;
}

void TestTcpClient::splitsLinesAcrossDeliveries()
{
    QFETCH(ByteLists, deliveries);
    QFETCH(ByteLists, messages);
    QFETCH(int, recEntries);
    Client client(server_->serverPort());
    QTcpSocket *peer = connectClient(client);
    QVERIFY(peer);
    QSignalSpy received(&client, &TcpClient::receiveAnMsg);
    MessageLog log;
    for (const QByteArray &d : deliveries) {
        const int before = client.deliveries;
        peer->write(d);
        QVERIFY(peer->waitForBytesWritten(5000));
        QTRY_VERIFY_WITH_TIMEOUT(client.deliveries > before, 5000); // one delivery at a time
    }
    ByteLists got;
    for (const QList<QVariant> &args : received)
        got << args.at(0).toByteArray();
    QCOMPARE(got, messages);
    QCOMPARE(log.startingWith(u"rec:"_s).size(), recEntries);
}

void TestTcpClient::overlongLineIsDroppedAndTheLinkGoesOn()
{
    Client client(server_->serverPort());
    QTcpSocket *peer = connectClient(client);
    QVERIFY(peer);
    QSignalSpy received(&client, &TcpClient::receiveAnMsg);
    MessageLog log;
    peer->write(QByteArray(2 * 1024 * 1024, 'x'));
    peer->write("\nISBUSY 0 LOAD_I1_FILES\n");
    QVERIFY(received.wait(10000));
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("ISBUSY 0 LOAD_I1_FILES"));
    QVERIFY(log.contains(u"longer than 1048576 bytes"_s));
    QVERIFY(client.isConnected());
}

void TestTcpClient::partialLineIsDroppedOnANewConnection()
{
    Client client(server_->serverPort());
    QTcpSocket *peer = connectClient(client);
    QVERIFY(peer);
    QSignalSpy received(&client, &TcpClient::receiveAnMsg);
    const int before = client.deliveries;
    peer->write("par");
    QVERIFY(peer->waitForBytesWritten(5000));
    QTRY_VERIFY_WITH_TIMEOUT(client.deliveries > before, 5000);
    QSignalSpy accepted(server_.get(), &QTcpServer::newConnection);
    peer->close();
    QVERIFY(accepted.wait(5000)); // the client came back by itself
    QTRY_VERIFY_WITH_TIMEOUT(client.isConnected(), 5000);
    QTcpSocket *second = server_->nextPendingConnection();
    second->write("tial\n");
    QVERIFY(received.wait(5000));
    QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("tial"));
}

void TestTcpClient::sendsLatin1OnlyWhileConnected()
{
    Client client(server_->serverPort());
    MessageLog log;
    client.send(u"lost\n"_s); // while unconnected: neither written nor kept
    QVERIFY(log.startingWith(u"snd:"_s).isEmpty());
    QTcpSocket *peer = connectClient(client);
    QVERIFY(peer);
    client.send(u"LOAD_I1_FILES new /d/caf\u00e9/\u8a66-00001.dat\n"_s);
    QByteArray got;
    const QByteArray expected("LOAD_I1_FILES new /d/caf\xe9/?-00001.dat\n");
    // The client writes from the event loop, so the wait must keep it turning.
    QSignalSpy arrived(peer, &QTcpSocket::readyRead);
    while (got.size() < expected.size() && (peer->bytesAvailable() > 0 || arrived.wait(5000)))
        got += peer->readAll();
    QCOMPARE(got, expected);
    QCOMPARE(log.startingWith(u"snd:"_s).size(), 1);
}

void TestTcpClient::statChangedFollowsTheFlags()
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
}

void TestTcpClient::reconnectsOnEachTickAfterThePeerCloses()
{
    Client client(server_->serverPort());
    QTcpSocket *peer = connectClient(client);
    QVERIFY(peer);
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
}

void TestTcpClient::refusedFirstAttemptKeepsTrying()
{
    const quint16 port = freePort();
    Client client(port);
    MessageLog log;
    QSignalSpy stat(&client, &TcpClient::statChanged);
    client.doConnect();
    QTRY_VERIFY_WITH_TIMEOUT(client.isRetrying(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(stat.size() >= 5, 5000); // two from doConnect, then one per tick
    QVERIFY(!client.isConnected());
    // Refusals are reported once, not on every tick.
    QCOMPARE(log.startingWith(u"Can't connect to 127.0.0.1 %1"_s.arg(port)).size(), 1);

    QTcpServer late;
    QSignalSpy accepted(&late, &QTcpServer::newConnection);
    QVERIFY(late.listen(QHostAddress::LocalHost, port));
    QVERIFY(accepted.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(client.isConnected(), 5000);
    QVERIFY(!client.isRetrying());
}

void TestTcpClient::disconnectStopsAnAttemptUnderWay()
{
    Client client(server_->serverPort());
    client.doConnect();
    client.doDisconnect(); // before the attempt has come back
    QSignalSpy stat(&client, &TcpClient::statChanged);
    QVERIFY(!stat.wait(300));
    QVERIFY(!client.isConnected());
    QVERIFY(!client.enabled());
    QVERIFY(!client.isRetrying());
}

void TestTcpClient::destructionClosesTheConnection()
{
    auto client = std::make_unique<Client>(server_->serverPort());
    QTcpSocket *peer = connectClient(*client);
    QVERIFY(peer);
    QSignalSpy gone(peer, &QTcpSocket::disconnected);
    client.reset();
    QVERIFY(gone.wait(5000));
}

QTEST_GUILESS_MAIN(TestTcpClient)
#include "tst_tcpclient.moc"
