// Qt
#include <QTest>

// Local
#include "link/linesplitter.h"

using ByteLists = QList<QByteArray>;

class TestLineSplitter : public QObject
{
    Q_OBJECT
private slots:
    void splitsAtLineFeeds_data();
    void splitsAtLineFeeds();
    void overlongLineIsDroppedWhole_data();
    void overlongLineIsDroppedWhole();
    void twoMebibytesWithoutLineFeedStayBounded();
    void clearForgetsThePartialLine();
};

void TestLineSplitter::splitsAtLineFeeds_data()
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

void TestLineSplitter::splitsAtLineFeeds()
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

void TestLineSplitter::overlongLineIsDroppedWhole_data()
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

void TestLineSplitter::overlongLineIsDroppedWhole()
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

void TestLineSplitter::twoMebibytesWithoutLineFeedStayBounded()
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

void TestLineSplitter::clearForgetsThePartialLine()
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

QTEST_GUILESS_MAIN(TestLineSplitter)
#include "tst_linesplitter.moc"
