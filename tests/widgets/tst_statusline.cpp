// Qt
#include <QApplication>
#include <QClipboard>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

// Local
#include "widgets/messagespane.h"
#include "widgets/progressline.h"

using namespace Qt::StringLiterals;

/// The window's status widgets: the progress line and the messages pane.
class TestStatusLine : public QObject
{
    Q_OBJECT
private slots:
    void progressOfAJob_data();
    void progressOfAJob();
    void paneShowsEarlierAndLaterMessages();
    void paneTextIsCopyable();
};

void TestStatusLine::progressOfAJob_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("total");
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<QString>("end"); // empty: finished
    QTest::addColumn<QString>("text");
    QTest::newRow("loading, finished")
        << u"Loading files"_s << 4 << QList<int> {1, 2, 3} << QString() << u"Loading files 4 / 4 · done"_s;
    QTest::newRow("run, stopped halfway")
        << u"CT2 slices"_s << 10 << QList<int> {2, 5} << u"stopped"_s << u"CT2 slices 5 / 10 · stopped"_s;
    QTest::newRow("more reports than units")
        << u"CT2 slices"_s << 2 << QList<int> {1, 2, 3} << u"stopped"_s << u"CT2 slices 2 / 2 · stopped"_s;
    QTest::newRow("a percent sign stays literal")
        << u"50%value set"_s << 2 << QList<int> {1} << QString() << u"50%\u200Bvalue set 2 / 2 · done"_s;
    QTest::newRow("a job of nothing")
        << u"Loading files"_s << 0 << QList<int> {} << u"0 refused"_s << u"Loading files 0 / 0 · 0 refused"_s;
}

void TestStatusLine::progressOfAJob()
{
    QFETCH(QString, what);
    QFETCH(int, total);
    QFETCH(QList<int>, steps);
    QFETCH(QString, end);
    QFETCH(QString, text);
    ProgressLine line;
    line.begin(what, total);
    QVERIFY(line.isActive());
    const QString shownWhat = QString(what).replace(u"%v"_s, u"%\u200Bv"_s);
    QCOMPARE(line.text(), u"%1 0 / %2"_s.arg(shownWhat).arg(total)); // no rate yet: no time left
    QCOMPARE(line.value(), 0);
    const QRegularExpression left(u" · \\d+:\\d\\d left$"_s);
    for (int done : steps) {
        line.advance(done);
        QCOMPARE(line.value(), std::min(done, total));
        QVERIFY2(left.match(line.text()).hasMatch(), qPrintable(line.text()));
    }
    if (end.isEmpty())
        line.finish();
    else
        line.end(end);
    QVERIFY(!line.isActive());
    QCOMPARE(line.text(), text);
    QCOMPARE(line.value(), end.isEmpty() ? line.maximum() : std::min(steps.value(steps.size() - 1), total));
    line.advance(total); // a late report of an ended job changes nothing
    QCOMPARE(line.text(), text);
}

void TestStatusLine::paneShowsEarlierAndLaterMessages()
{
    MessageLog *log = MessageLog::install();
    QSignalSpy added(log, &MessageLog::added);
    qDebug().noquote() << "Can't open config file : early.cfg";
    QVERIFY(added.wait(5000)); // before the pane exists, as start-up messages are
    MessagesPane pane;
    QCOMPARE(pane.document()->blockCount(), 1);
    qDebug().noquote() << "12 images of 8 x 8 loaded : /d";
    qWarning("link down");
    QTRY_COMPARE(pane.document()->blockCount(), 3);
    const QStringList lines = pane.toPlainText().split(u'\n');
    QVERIFY(lines.at(0).endsWith(u"  Can't open config file : early.cfg"_s));
    QVERIFY(
        QRegularExpression(u"^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  12 images"_s).match(lines.at(1)).hasMatch());
    // Problems on their ground, the rest on the pane's own.
    auto groundOfLine = [&pane](int i) {
        const QTextBlock block = pane.document()->findBlockByNumber(i);
        return block.begin().fragment().charFormat().background().color();
    };
    QCOMPARE(groundOfLine(0), MessagesPane::groundOf(LogMessage::Problem));
    QVERIFY(pane.document()->findBlockByNumber(1).begin().fragment().charFormat().background().style()
        == Qt::NoBrush);
    QCOMPARE(groundOfLine(2), MessagesPane::groundOf(LogMessage::Problem));
    QVERIFY(MessagesPane::groundOf(LogMessage::Error) != MessagesPane::groundOf(LogMessage::Problem));
    log->clear();
}

void TestStatusLine::paneTextIsCopyable()
{
    MessageLog *log = MessageLog::install();
    log->clear();
    MessagesPane pane;
    qDebug().noquote() << "CT2: no sinogram for slice 7";
    QTRY_VERIFY(pane.toPlainText().contains(u"slice 7"_s));
    QVERIFY(pane.isReadOnly());
    pane.selectAll();
    pane.copy();
    QCOMPARE(QApplication::clipboard()->text(), MessageLog::lineOf(log->messages().back()));
}

QTEST_MAIN(TestStatusLine)
#include "tst_statusline.moc"
