// Qt
#include <QTest>

// C++
#include <cmath>

// Local
#include "app/config/timeleft.h"

using namespace Qt::StringLiterals;

class TestTimeLeft : public QObject
{
    Q_OBJECT
private slots:
    void estimateFromRate_data();
    void estimateFromRate();
    void durationTexts_data();
    void durationTexts();
};

void TestTimeLeft::estimateFromRate_data()
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

void TestTimeLeft::estimateFromRate()
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

void TestTimeLeft::durationTexts_data()
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

void TestTimeLeft::durationTexts()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(TimeLeft::text(seconds), text);
}

QTEST_APPLESS_MAIN(TestTimeLeft)
#include "tst_timeleft.moc"
