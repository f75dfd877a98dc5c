// Qt
#include <QSignalSpy>
#include <QTest>

// Local
#include "automation/xafsbatch.h"

using namespace Qt::StringLiterals;

/// The sequential driver alone: its stages, and the completions it answers.
class TestXafsBatch : public QObject
{
    Q_OBJECT
private slots:
    void aRunOfTwoSets();
    void completionsOutOfTurnAreIgnored_data();
    void completionsOutOfTurnAreIgnored();
    void secondStartFinishes();
    void abortEndsWithItsMessage();
    void finishWhileIdleStillReports();

private:
    static QStringList messages(const QSignalSpy &stages);
};

QStringList TestXafsBatch::messages(const QSignalSpy &stages)
{
    QStringList list;
    for (const QList<QVariant> &s : stages)
        list << s.at(0).toString();
    return list;
}

void TestXafsBatch::aRunOfTwoSets()
{
    XafsBatch driver;
    QSignalSpy stages(&driver, &XafsBatch::stage);
    QSignalSpy first(&driver, &XafsBatch::setFirstImageSet);
    QSignalSpy next(&driver, &XafsBatch::setNextImageSet);
    QSignalSpy calc(&driver, &XafsBatch::execCalculation);
    QSignalSpy finished(&driver, &XafsBatch::finished);
    QSignalSpy starting(&driver, &XafsBatch::starting);

    driver.start();
    QVERIFY(driver.isRunning());
    QCOMPARE(starting.size(), 1);
    QCOMPARE(first.size(), 1);
    driver.loadedDataSet();
    QCOMPARE(calc.size(), 1);
    QTest::qWait(120); // a stage that takes time shows it
    driver.calcFinished();
    QCOMPARE(next.size(), 1);
    driver.loadedDataSet();
    driver.calcFinished();
    QCOMPARE(next.size(), 2);
    driver.noMoreSets();
    QVERIFY(!driver.isRunning());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(messages(stages),
        QStringList({u"Data Loading"_s, u"Loading first Data Set"_s, u"Calculating"_s, u"Finished Calc."_s,
            u"Loading next Data Set"_s, u"Calculating"_s, u"Finished Calc."_s, u"Loading next Data Set"_s,
            u"Finished"_s}));
    // Each stage carries the time since the one before; together they make the run's time.
    qlonglong sum = 0;
    for (const QList<QVariant> &s : stages) {
        QVERIFY(s.at(1).toLongLong() >= 0);
        sum += s.at(1).toLongLong();
    }
    QCOMPARE(stages.at(0).at(1).toLongLong(), 0);
    QVERIFY(stages.at(3).at(1).toLongLong() >= 100); // "Finished Calc." after the wait
    QVERIFY(sum >= 100);
}

void TestXafsBatch::completionsOutOfTurnAreIgnored_data()
{
    QTest::addColumn<bool>("started");
    QTest::addColumn<QString>("completion");
    QTest::newRow("idle: a load") << false << u"load"_s;
    QTest::newRow("idle: a calculation") << false << u"calc"_s;
    QTest::newRow("idle: no more sets") << false << u"none"_s;
    QTest::newRow("loading: a calculation") << true << u"calc"_s;
}

void TestXafsBatch::completionsOutOfTurnAreIgnored()
{
    QFETCH(bool, started);
    QFETCH(QString, completion);
    XafsBatch driver;
    if (started)
        driver.start();
    const XafsBatch::Phase phase = driver.phase();
    QSignalSpy stages(&driver, &XafsBatch::stage);
    QSignalSpy calc(&driver, &XafsBatch::execCalculation);
    QSignalSpy next(&driver, &XafsBatch::setNextImageSet);
    QSignalSpy finished(&driver, &XafsBatch::finished);
    if (completion == u"load"_s)
        driver.loadedDataSet();
    else if (completion == u"calc"_s)
        driver.calcFinished();
    else
        driver.noMoreSets();
    QCOMPARE(stages.size(), 0);
    QCOMPARE(calc.size() + next.size() + finished.size(), 0);
    QCOMPARE(driver.phase(), phase);

    // While it calculates, a second load is not its own either.
    if (started) {
        driver.loadedDataSet();
        QCOMPARE(calc.size(), 1);
        driver.loadedDataSet();
        driver.noMoreSets(); // an operator's "Set" on no set does not end the calculation
        QCOMPARE(calc.size(), 1);
        QCOMPARE(driver.phase(), XafsBatch::Phase::Calculating);
    }
}

void TestXafsBatch::secondStartFinishes()
{
    XafsBatch driver;
    QSignalSpy stages(&driver, &XafsBatch::stage);
    QSignalSpy finished(&driver, &XafsBatch::finished);
    driver.start();
    driver.loadedDataSet();
    driver.start(); // the operator stops it during the calculation
    QVERIFY(!driver.isRunning());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(stages.last().at(0).toString(), u"Finished"_s);
    QSignalSpy next(&driver, &XafsBatch::setNextImageSet);
    driver.calcFinished(); // the calculation ends later: ignored
    QCOMPARE(next.size(), 0);
}

void TestXafsBatch::abortEndsWithItsMessage()
{
    XafsBatch driver;
    QSignalSpy stages(&driver, &XafsBatch::stage);
    QSignalSpy finished(&driver, &XafsBatch::finished);
    driver.abort(u"nothing runs"_s);
    QCOMPARE(stages.size(), 0);
    driver.start();
    driver.abort(u"Data set 2 (Fe 7112_5eV) loaded no image"_s);
    QVERIFY(!driver.isRunning());
    QCOMPARE(finished.size(), 1);
    const QStringList m = messages(stages);
    QCOMPARE(
        m.mid(m.size() - 2), QStringList({u"Data set 2 (Fe 7112_5eV) loaded no image"_s, u"Finished"_s}));
}

void TestXafsBatch::finishWhileIdleStillReports()
{
    XafsBatch driver;
    QSignalSpy stages(&driver, &XafsBatch::stage);
    QSignalSpy finished(&driver, &XafsBatch::finished);
    driver.finish();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(messages(stages), QStringList {u"Finished"_s});
}

QTEST_GUILESS_MAIN(TestXafsBatch)
#include "tst_xafsbatch.moc"
