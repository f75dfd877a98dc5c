// Qt
#include <QTest>

// Local
#include "app/config/linetokenizer.h"

using namespace Qt::StringLiterals;

class TestLineTokenizer : public QObject
{
    Q_OBJECT
private slots:
    void takeItem_data();
    void takeItem();
    void stripComment_data();
    void stripComment();
    void isBlankLine_data();
    void isBlankLine();
};

void TestLineTokenizer::takeItem_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("rest");
    QTest::addColumn<QString>("message"); // regular expression of the expected debug message, or empty

    const QString notEnded = QStringLiteral("item is started from quote but not ended by quote");
    const QString notStarted = QStringLiteral("item is started from not quote but ended by quote");
    QTest::newRow("two items") << u"  abc  def"_s << u"abc"_s << u"  def"_s << QString();
    QTest::newRow("quoted, glued rest") << u"\"a b\"c d"_s << u"a b"_s << u"c d"_s << QString();
    QTest::newRow("unclosed quote") << u"\"abc"_s << u"abc"_s << QString() << notEnded;
    QTest::newRow("empty quoted") << u"\"\" x"_s << QString() << u" x"_s << QString();
    QTest::newRow("empty") << QString() << QString() << QString() << QString();
    QTest::newRow("blanks only") << u" \t "_s << QString() << QString() << QString();
    QTest::newRow("last item") << u" abc"_s << u"abc"_s << QString() << QString();
    QTest::newRow("quote inside unquoted item") << u"a\"b c"_s << u"a\"b"_s << u" c"_s << QString();
    QTest::newRow("unquoted item ending in quote") << u"ab\" c"_s << u"ab\""_s << u" c"_s << notStarted;
    QTest::newRow("last unquoted item ending in quote") << u"ab\""_s << u"ab\""_s << QString() << notStarted;
    QTest::newRow("quoted comma and hash")
        << u"\"C:/a, b # c\" 5"_s << u"C:/a, b # c"_s << u" 5"_s << QString();
    QTest::newRow("negative number") << u"-3 -x"_s << u"-3"_s << u" -x"_s << QString();
    QTest::newRow("unicode space separates") << u"a\u3000b"_s << u"a"_s << u"\u3000b"_s << QString();
}

void TestLineTokenizer::takeItem()
{
    QFETCH(QString, text);
    QFETCH(QString, item);
    QFETCH(QString, rest);
    QFETCH(QString, message);
    if (!message.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(message)));
    QString got = QStringLiteral("stale");
    QCOMPARE(::takeItem(text, got), rest);
    QCOMPARE(got, item);
}

void TestLineTokenizer::stripComment_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("stripped");
    QTest::newRow("no comment") << u"DataRoot /data"_s << u"DataRoot /data"_s;
    QTest::newRow("comment") << u"key value # note"_s << u"key value "_s;
    QTest::newRow("hash in double quotes") << u"DataRoot \"/a # b\" # c"_s << u"DataRoot \"/a # b\" "_s;
    QTest::newRow("hash in apostrophes") << u"k 'x#y' #z"_s << u"k 'x#y' "_s;
    // Only the character that opened a quoted span closes it.
    QTest::newRow("apostrophe in double quotes") << u"k \"it's\" # c"_s << u"k \"it's\" "_s;
    QTest::newRow("hash after an apostrophe in double quotes")
        << u"p \"/data/bob's run#3\""_s << u"p \"/data/bob's run#3\""_s;
    QTest::newRow("double quote in apostrophes") << u"k 'a\"b' # c"_s << u"k 'a\"b' "_s;
    QTest::newRow("whole line") << u"# only a comment"_s << QString();
}

void TestLineTokenizer::stripComment()
{
    QFETCH(QString, line);
    QFETCH(QString, stripped);
    QCOMPARE(::stripComment(line), stripped);
}

void TestLineTokenizer::isBlankLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("blank");
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("blanks and comment") << u"   \t # nothing here"_s << true;
    QTest::newRow("item") << u"  x"_s << false;
    QTest::newRow("quoted hash") << u"\"#\""_s << false;
}

void TestLineTokenizer::isBlankLine()
{
    QFETCH(QString, line);
    QFETCH(bool, blank);
    QCOMPARE(::isBlankLine(line), blank);
}

QTEST_APPLESS_MAIN(TestLineTokenizer)
#include "tst_linetokenizer.moc"
