// Qt
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/procctrl.h"
#include "imagedata/imgdatas.h"
#include "imagedata/itexwriter.h"
#include <algorithm>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

/// Runs of the single-thread calculator (CT1) as batch files and sequences drive them: one right
/// after the other, stopped and started again, selected from code.
class TestCt1Runs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void thousandsOfBackToBackRuns_data();
    void thousandsOfBackToBackRuns();
    void stopAndStartBackProjectOnce_data();
    void stopAndStartBackProjectOnce();
    void ct1SelectedFromCodeEndsItsRun();

private:
    std::unique_ptr<Body> loadedBody(bool atOnce);
    QTemporaryDir dir_;
    QStringList files_;
};

void TestCt1Runs::initTestCase()
{
    // Four projections of 8 × 3 with a bump that moves: a sinogram 5 samples wide, N = 4.
    for (int k = 0; k < 4; ++k) {
        std::vector<uint32_t> px(8 * 3, 1000);
        for (int y = 0; y < 3; ++y)
            px[static_cast<size_t>(y) * 8 + 2 + k] = 400;
        files_ << dir_.filePath(u"p%1.img"_s.arg(k));
        QVERIFY(writeItexFile(files_.last(), {8, 3, 2, 1.0, px}));
    }
}

std::unique_ptr<Body> TestCt1Runs::loadedBody(bool atOnce)
{
    auto body = std::make_unique<Body>(nullptr, 1);
    body->ui().procCtrl->setRotAxV(true);
    QSignalSpy loaded(body.get(), &Body::finishedLoadingCTFiles);
    body->ui().CTFiles->filesChosen(files_);
    if (!loaded.wait(10000) || body->imageSet()->count() != 4)
        return nullptr;
    body->ui().procCtrl->setCor(4);
    body->ui().procCtrl->setSliceNo(1);
    body->ctCalc()->ui().CalcAtOnce->setChecked(atOnce);
    return body;
}

void TestCt1Runs::thousandsOfBackToBackRuns_data()
{
    QTest::addColumn<bool>("atOnce");
    QTest::newRow("at once") << true;
    QTest::newRow("one by one") << false;
}

void TestCt1Runs::thousandsOfBackToBackRuns()
{
    // A batch starts the next run as soon as the last one has ended. The sequencer thread used to be
    // quit at the end of every run and started at the next: when it had not quite stopped, the start
    // did nothing, the first step was never delivered and CT1 counted as running for good.
    QFETCH(bool, atOnce);
    auto body = loadedBody(atOnce);
    QVERIFY(body);
    QVERIFY(body->ui().SelectCt1->isChecked());
    const int runs = 3000;
    int ended = 0;
    connect(body.get(), &Body::calcFinished, this, [&] {
        if (++ended < runs)
            body->toggleCalcCt();
    });
    QSignalSpy last(body.get(), &Body::calcFinished);
    body->toggleCalcCt();
    while (ended < runs && last.wait(5000)) { }
    QCOMPARE(ended, runs);
    QVERIFY(!body->isCalculating());
    QVERIFY(!body->isWaitingToStart());
    QVERIFY(!body->ctCalc()->isRunning());
    QCOMPARE(body->ctCalc()->engine().imageN(), 4);
}

void TestCt1Runs::stopAndStartBackProjectOnce_data()
{
    QTest::addColumn<bool>("button"); // through the window's "Calc", else on the panel itself
    QTest::newRow("on the panel") << false;
    QTest::newRow("with the Calc button") << true;
}

void TestCt1Runs::stopAndStartBackProjectOnce()
{
    // Start, stop and start again before the first run's queued step arrives: each step belongs to its
    // run only, so the slice is back-projected once (before, the maximum doubled).
    QFETCH(bool, button);
    auto body = loadedBody(true);
    QVERIFY(body);
    CtCalc *ct1 = body->ctCalc();
    QSignalSpy single(body.get(), &Body::calcFinished);
    body->ui().CalcCT->click();
    QVERIFY(single.wait(5000));
    const std::vector<double> once(ct1->engine().image().begin(), ct1->engine().image().end());
    QVERIFY(*std::max_element(once.begin(), once.end()) > 0.0);

    QSignalSpy ended(ct1, &CtCalc::calcFinished);
    if (button) {
        QSignalSpy bodyEnded(body.get(), &Body::calcFinished);
        body->ui().CalcCT->click();
        body->ui().CalcCT->click(); // the window's run ends at once; CT1's step is still queued
        QCOMPARE(bodyEnded.count(), 1);
        // The stop ends CT1's run too; the stopped run's queued step must not reach the new run.
        QCOMPARE(ended.count(), 1);
        body->ui().CalcCT->click();
        QTRY_COMPARE_WITH_TIMEOUT(bodyEnded.count(), 2, 10000);
        QCOMPARE(ended.count(), 2);
    } else {
        ct1->calcCt(); // start
        ct1->calcCt(); // stop
        QCOMPARE(ended.count(), 1);
        ct1->calcCt(); // start again
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 2, 10000);
    }
    QVERIFY(!ct1->isRunning());
    const std::vector<double> again(ct1->engine().image().begin(), ct1->engine().image().end());
    QCOMPARE(again, once);
}

void TestCt1Runs::ct1SelectedFromCodeEndsItsRun()
{
    // Auto Exec selects CT2; selecting CT1 from code (as a batch command does) must take Auto Exec
    // off as a click does, or the run waits for workers that are never asked and never ends.
    auto body = loadedBody(true);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    p->setAutoExec(true);
    p->setSliceFrom(0);
    p->setSliceTo(2);
    QVERIFY(body->ui().SelectCt2->isChecked());
    body->ui().SelectCt1->setChecked(true);
    QVERIFY(!p->autoExec());
    QSignalSpy ended(body.get(), &Body::calcFinished);
    body->ui().CalcCT->click();
    QVERIFY(ended.count() == 1 || ended.wait(5000));
    QVERIFY(!body->isCalculating());
    QCOMPARE(body->ctCalc()->engine().imageN(), 4);
}

QTEST_MAIN(TestCt1Runs)
#include "tst_ct1runs.moc"
