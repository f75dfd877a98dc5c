// Qt
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/config/configstore.h"
#include "link/zelmapmessages.h"

using namespace Qt::StringLiterals;

class TestZelmapMessages : public QObject
{
    Q_OBJECT
private slots:
    void pathsTheWireBreaks();
    void endpoint_data();
    void endpoint();
    void endpointFromTheConfigurationFile_data();
    void endpointFromTheConfigurationFile();
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

QTEST_GUILESS_MAIN(TestZelmapMessages)
#include "tst_zelmapmessages.moc"
