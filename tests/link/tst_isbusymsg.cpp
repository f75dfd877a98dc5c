// Qt
#include <QTest>

// Local
#include "link/isbusymsg.h"

class TestIsBusyMsg : public QObject
{
    Q_OBJECT
private slots:
    void readsTheViewersLines_data();
    void readsTheViewersLines();
};

void TestIsBusyMsg::readsTheViewersLines_data()
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

void TestIsBusyMsg::readsTheViewersLines()
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

QTEST_GUILESS_MAIN(TestIsBusyMsg)
#include "tst_isbusymsg.moc"
