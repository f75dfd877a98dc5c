// Qt
#include <QSignalSpy>
#include <QTest>
#include <QThread>

// Local
#include "app/config/messagelog.h"

using namespace Qt::StringLiterals;

namespace {

// What reaches the handler that was in place before the log's: standard error, in the program.
QStringList passedOn;
void capture(QtMsgType, const QMessageLogContext &, const QString &text)
{
    passedOn << text; // a worker writes only while the main thread waits for it
}

} // namespace

class TestMessageLog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void levels_data();
    void levels();
    void everyMessageArrivesAndIsPassedOn();
    void workerThreadMessagesArriveInOrder();
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

void TestMessageLog::levels_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("level");
    const int debug = QtDebugMsg, info = LogMessage::Info, problem = LogMessage::Problem;
    QTest::newRow("config file") << debug << u"Can't open config file : /x/config.cfg"_s << problem;
    QTest::newRow("wrong-size I0")
        << debug
        << u"Image size (64, 64) differs from the raw images (80, 60), not used for the correction :"_s
        << problem;
    QTest::newRow("no sinogram") << debug << u"CT2: no sinogram for slice 12"_s << problem;
    QTest::newRow("refused files") << debug << u"3 of 5 files refused, 2 images loaded"_s << problem;
    QTest::newRow("failure words in a path only")
        << debug << u"180 images of 256 x 256 loaded : /data/failed_runs/error-cases"_s << info;
    QTest::newRow("stopped is not a failure") << debug << u"CT1 run stopped after 0.4 s"_s << info;
    QTest::newRow("a plain warning") << int(QtWarningMsg) << u"link up"_s << problem;
    QTest::newRow("critical") << int(QtCriticalMsg) << u"out of memory"_s << int(LogMessage::Error);
}

void TestMessageLog::levels()
{
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(int, level);
    QCOMPARE(int(MessageLog::levelOf(QtMsgType(type), text)), level);
}

void TestMessageLog::everyMessageArrivesAndIsPassedOn()
{
    MessageLog *log = MessageLog::instance();
    QSignalSpy added(log, &MessageLog::added);
    QSignalSpy problem(log, &MessageLog::problem);
    const QDateTime before = QDateTime::currentDateTime();
    qDebug().noquote() << "12 images of 8 x 8 loaded :"
                       << "/d";
    qDebug().noquote() << "Can't open config file : /x.cfg";
    qWarning("careful");
    // Nothing is delivered while the writer is still writing: the log is told by a queued call.
    QCOMPARE(added.count(), 0);
    QCOMPARE(passedOn,
        (QStringList {
            u"12 images of 8 x 8 loaded : /d"_s, u"Can't open config file : /x.cfg"_s, u"careful"_s}));
    QTRY_COMPARE(added.count(), 3);
    QCOMPARE(problem.count(), 2);
    const auto &m = log->messages();
    QCOMPARE(int(m.size()), 3);
    QCOMPARE(m[0].level, LogMessage::Info);
    QCOMPARE(m[1].level, LogMessage::Problem);
    QCOMPARE(m[2].type, QtWarningMsg);
    QVERIFY(m[0].time >= before && m[2].time <= QDateTime::currentDateTime());
    QCOMPARE(log->lastProblem().text, u"careful"_s);
    QCOMPARE(MessageLog::lineOf(m[1]),
        m[1].time.toString(u"hh:mm:ss.zzz"_s) + u"  Can't open config file : /x.cfg"_s);
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
}

QTEST_GUILESS_MAIN(TestMessageLog)
#include "tst_messagelog.moc"
