// Qt
#include <QSignalSpy>
#include <QTest>
#include <QThread>

// C++
#include <cmath>

// Local
#include "config/configlog.h"
#include "config/joboutcome.h"
#include "config/messagelog.h"
#include "config/timeleft.h"

using namespace Qt::StringLiterals;

namespace {

// What reaches the handler that was in place before the log's: standard error, in the program.
QStringList passedOn;
void capture(QtMsgType, const QMessageLogContext &, const QString &text)
{
    passedOn << text; // a worker writes only while the main thread waits for it
}

} // namespace

/// What a job tells the operator: the messages pane, its outcome and the time it has left.
class TestMessageLog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void shortened_data();
    void shortened();
    void jobOutcomes_data();
    void jobOutcomes();
    void estimateFromRate_data();
    void estimateFromRate();
    void durationTexts_data();
    void durationTexts();
    void everyMessageArrivesAndIsPassedOn();
    void translatedForTheWindowEnglishOnStandardError_data();
    void translatedForTheWindowEnglishOnStandardError();
    void workerThreadMessagesArriveInOrder();
    void categoriesAndTheirDetail();
};

void TestMessageLog::initTestCase()
{
    qInstallMessageHandler(capture);
    MessageLog *log = MessageLog::install();
    QVERIFY(log);
    QCOMPARE(MessageLog::install(), log); // once per process
    QCOMPARE(MessageLog::instance(), log);
}

void TestMessageLog::init()
{
    QCoreApplication::processEvents(); // nothing of an earlier test arrives late
    MessageLog::instance()->clear();
    passedOn.clear();
}

void TestMessageLog::shortened_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("expected");
    QTest::newRow("short stays") << u"rec: ISBUSY 0"_s << 200 << u"rec: ISBUSY 0"_s;
    QTest::newRow("cut with its size") << u"abcdef"_s << 3 << u"abc… (6 bytes)"_s;
    QTest::newRow("bytes, not characters") << u"äbc"_s << 1 << u"ä… (4 bytes)"_s;
    QTest::newRow("never half a character") << u"a😀b"_s << 2 << u"a… (6 bytes)"_s;
}

void TestMessageLog::shortened()
{
    QFETCH(QString, text);
    QFETCH(int, length);
    QFETCH(QString, expected);
    QCOMPARE(MessageLog::shortened(text, length), expected);
}

void TestMessageLog::jobOutcomes_data()
{
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("failed");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("counts");
    QTest::addColumn<QString>("state");
    QTest::newRow("all done") << 9 << 9 << 0 << false << QString() << true << u"9 of 9 done"_s << u"done"_s;
    QTest::newRow("part failed") << 60 << 58 << 2 << false << QString() << false
                                 << u"58 of 60 done, 2 failed"_s << u"2 failed"_s;
    QTest::newRow("stopped") << 9 << 3 << 0 << true << QString() << false << u"3 of 9 done, stopped"_s
                             << u"stopped"_s;
    QTest::newRow("files missing") << 4 << 4 << 0 << false << u"1 file not written"_s << false
                                   << u"4 of 4 done"_s << u"1 not done"_s;
    QTest::newRow("fewer back") << 4 << 2 << 0 << false << QString() << false << u"2 of 4 done"_s
                                << u"2 of 4"_s;
}

void TestMessageLog::jobOutcomes()
{
    QFETCH(int, asked);
    QFETCH(int, done);
    QFETCH(int, failed);
    QFETCH(bool, stopped);
    QFETCH(QString, problem);
    JobOutcome out {asked, done, failed, stopped, {}, {}};
    if (!problem.isEmpty())
        out.problems << problem;
    QTEST(out.ok(), "ok");
    QTEST(out.counts(), "counts");
    QTEST(out.state(), "state");
}

void TestMessageLog::estimateFromRate_data()
{
    QTest::addColumn<long long>("total");
    QTest::addColumn<long long>("startMs");
    QTest::addColumn<long long>("done");
    QTest::addColumn<long long>("nowMs");
    QTest::addColumn<double>("left"); // seconds; negative: unknown
    QTest::newRow("nothing done yet: no rate") << 10LL << 500LL << 0LL << 9000LL << -1.0;
    QTest::newRow("a quarter in 3 s: 9 s left") << 8LL << 1000LL << 2LL << 4000LL << 9.0;
    QTest::newRow("clock far from zero") << 3LL << 7'000'000'000LL << 1LL << 7'000'001'500LL << 3.0;
    QTest::newRow("more reported than the job holds") << 4LL << 0LL << 9LL << 2000LL << 0.0;
    QTest::newRow("a clock that went back") << 4LL << 100LL << 1LL << 50LL << 0.0;
}

void TestMessageLog::estimateFromRate()
{
    QFETCH(long long, total);
    QFETCH(long long, startMs);
    QFETCH(long long, done);
    QFETCH(long long, nowMs);
    QFETCH(double, left);
    TimeLeft t;
    t.start(total, startMs);
    t.setDone(done, nowMs);
    QCOMPARE(t.secondsLeft(), left);
    QVERIFY(t.done() <= t.total() && t.elapsedSeconds() >= 0.0);
}

void TestMessageLog::durationTexts_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown") << -1.0 << QString();
    QTest::newRow("not a number") << std::nan("") << QString();
    QTest::newRow("nothing") << 0.0 << u"0:00"_s;
    QTest::newRow("a fraction rounds up") << 0.2 << u"0:01"_s;
    QTest::newRow("minutes") << 754.0 << u"12:34"_s;
    QTest::newRow("just under an hour") << 3599.5 << u"1:00:00"_s;
    QTest::newRow("hours") << 3723.0 << u"1:02:03"_s;
    QTest::newRow("absurd is bounded") << 1e300 << u"1000:00:00"_s;
}

void TestMessageLog::durationTexts()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(TimeLeft::text(seconds), text);
}

void TestMessageLog::everyMessageArrivesAndIsPassedOn()
{
    MessageLog *log = MessageLog::instance();
    QSignalSpy added(log, &MessageLog::added);
    QSignalSpy problem(log, &MessageLog::problem);
    const QDateTime before = QDateTime::currentDateTime();
    // Severity is the writer's: failure words in a label or a path say nothing.
    qInfo().noquote() << "cmd failed";
    qWarning().noquote() << "Can't open config file : /x.cfg";
    qCritical("job failed");
    qInfo().noquote() << QString(3000, u'x');
    // Nothing is delivered while the writer is still writing: the log is told by a queued call.
    QCOMPARE(added.count(), 0);
    QCOMPARE(passedOn.mid(0, 3),
        (QStringList {u"cmd failed"_s, u"Can't open config file : /x.cfg"_s, u"job failed"_s}));
    QCOMPARE(passedOn.value(3), QString(MessageLog::maxLength, u'x') + u"… (3000 bytes)"_s);
    QTRY_COMPARE(added.count(), 4);
    QCOMPARE(problem.count(), 2);
    const auto &m = log->messages();
    QCOMPARE(int(m.size()), 4);
    QCOMPARE(m[0].level, LogMessage::Info);
    QCOMPARE(m[1].level, LogMessage::Warning);
    QCOMPARE(m[2].level, LogMessage::Error);
    QCOMPARE(m[3].text, passedOn.value(3));
    QVERIFY(m[0].time >= before && m[2].time <= QDateTime::currentDateTime());
    QCOMPARE(log->lastProblem().text, u"job failed"_s);
    QCOMPARE(MessageLog::lineOf(m[1]),
        m[1].time.toString(u"hh:mm:ss.zzz"_s) + u"  warning: Can't open config file : /x.cfg"_s);
    QCOMPARE(MessageLog::lineOf(m[0]), m[0].time.toString(u"hh:mm:ss.zzz"_s) + u"  cmd failed"_s);
}

void TestMessageLog::translatedForTheWindowEnglishOnStandardError_data()
{
    QTest::addColumn<QString>("shown"); // the translation
    QTest::newRow("translated") << u"180 枚の画像を読み込みました"_s;
    QTest::newRow("not translated") << u"180 images loaded"_s;
}

void TestMessageLog::translatedForTheWindowEnglishOnStandardError()
{
    QFETCH(QString, shown);
    const QString english = u"180 images loaded"_s;
    QSignalSpy added(MessageLog::instance(), &MessageLog::added);
    qInfo().noquote() << MessageLog::bilingual(english, shown);
    QCOMPARE(passedOn, QStringList {english});
    QTRY_COMPARE(added.count(), 1);
    const LogMessage m = MessageLog::instance()->messages().back();
    QCOMPARE(m.text, shown);
    QCOMPARE(m.english, shown == english ? QString() : english);
}

void TestMessageLog::workerThreadMessagesArriveInOrder()
{
    MessageLog *log = MessageLog::instance();
    QSignalSpy added(log, &MessageLog::added);
    QThread *worker = QThread::create([] {
        for (int i = 0; i < 50; ++i)
            qDebug().noquote() << u"worker line %1"_s.arg(i);
    });
    worker->start();
    QVERIFY(worker->wait(10000));
    delete worker;
    QTRY_COMPARE(added.count(), 50);
    for (int i = 0; i < 50; ++i)
        QCOMPARE(log->messages()[static_cast<size_t>(i)].text, u"worker line %1"_s.arg(i));
    QCOMPARE(log->messages().front().level, LogMessage::Info); // qDebug counts as information
}

QTEST_GUILESS_MAIN(TestMessageLog)
#include "tst_messagelog.moc"

// Each subsystem writes in its own category; its detail (debug) shows only when the rules ask.
void TestMessageLog::categoriesAndTheirDetail()
{
    MessageLog *log = MessageLog::instance();
    QSignalSpy added(log, &MessageLog::added);
    qCDebug(lcConfig) << "hidden detail";
    qCInfo(lcConfig) << "shown";
    QTRY_COMPARE(added.count(), 1);
    QCOMPARE(log->messages().back().text, u"shown"_s);
    QCOMPARE(log->messages().back().category, u"qv.config"_s);
    QLoggingCategory::setFilterRules(u"qv.config.debug=true"_s);
    qCDebug(lcConfig) << "detail";
    QTRY_COMPARE(added.count(), 2);
    QCOMPARE(log->messages().back().text, u"detail"_s);
    QCOMPARE(log->messages().back().level, LogMessage::Info);
    QLoggingCategory::setFilterRules(QString());
    qCDebug(lcConfig) << "hidden again";
    qInfo() << "plain";
    QTRY_COMPARE(added.count(), 3);
    QCOMPARE(log->messages().back().category, u"default"_s);
}
