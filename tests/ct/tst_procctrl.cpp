// Qt
#include <QSignalSpy>
#include <QTest>

// Local
#include "ct/ui/procctrl.h"
#include "tests/common/debuglog.h"

using namespace Qt::StringLiterals;

class TestProcCtrl : public QObject
{
    Q_OBJECT
private slots:
    void returnWithoutChangeEmitsNothing();
    void setCorStoresFullValueShowsSixDigits();
    void nonNumericCorReadsAsZero();
    void nonFiniteNumbersReadAsZero_data();
    void nonFiniteNumbersReadAsZero();
    void recordTwiceAndClear();
    void snapshotStep_data();
    void snapshotStep();
    void partialShowsItsFields();
    void axisButtons();
    void ringRemovalAnnouncesWhatChangesTheSinogram();
};

void TestProcCtrl::returnWithoutChangeEmitsNothing()
{
    ProcCtrl p;
    QSignalSpy spy(&p, &ProcCtrl::sliceNoUpdated);
    QTest::keyClick(p.ui().SliceNo, Qt::Key_Return);
    QCOMPARE(spy.count(), 0);
    p.ui().SliceNo->setText(u"1234"_s);
    QTest::keyClick(p.ui().SliceNo, Qt::Key_Return);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(p.sliceNo(), 1234);
    p.setSliceNo(1234);
    QCOMPARE(spy.count(), 1);
}

void TestProcCtrl::setCorStoresFullValueShowsSixDigits()
{
    ProcCtrl p;
    QSignalSpy spy(&p, &ProcCtrl::corUpdated);
    p.setCor(1000.25);
    p.setCor(1000.25);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(p.ui().Cor->text(), u"1000.25"_s);
    p.setCor(1234.5678);
    QCOMPARE(p.ui().Cor->text(), u"1234.57"_s);
    QCOMPARE(p.cor(), 1234.5678);
    // Typing back the shown text changes the stored value to what is shown.
    p.corEditingFinished();
    QCOMPARE(p.cor(), 1234.57);
}

void TestProcCtrl::nonNumericCorReadsAsZero()
{
    ProcCtrl p;
    QSignalSpy spy(&p, &ProcCtrl::corUpdated);
    p.ui().Cor->setText(u"centre"_s);
    p.corEditingFinished();
    QCOMPARE(p.cor(), 0.0);
    QCOMPARE(spy.count(), 1);
    p.ui().SliceNo->setText(u"99999999999"_s); // does not fit 32 bits
    p.sliceNoEditingFinished();
    QCOMPARE(p.sliceNo(), 0);
}

void TestProcCtrl::nonFiniteNumbersReadAsZero_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("nan") << u"nan"_s;
    QTest::newRow("inf") << u"inf"_s;
    QTest::newRow("-inf, blanks around") << u" -inf "_s;
    QTest::newRow("too large for a double") << u"1e999"_s;
}

void TestProcCtrl::nonFiniteNumbersReadAsZero()
{
    // Such texts parse, but an angle range of NaN gives a blank slice that looks like success.
    QFETCH(QString, text);
    ProcCtrl p;
    p.setCor(12.0);
    DebugLog log;
    p.ui().DataSetRangeDeg->setText(text);
    p.ui().AngleOriginDeg->setText(text);
    p.ui().Cor->setText(text);
    p.corEditingFinished();
    QCOMPARE(p.dataSetRangeDeg(), 0.0);
    QCOMPARE(p.angleOriginDeg(), 0.0);
    QCOMPARE(p.cor(), 0.0);
    QCOMPARE(p.runParams().dataSetRangeDeg, 0.0);
    QVERIFY(log.messages().size() >= 3);
    for (const QString &m : log.messages())
        QCOMPARE(m, u"Not a finite number, read as 0 : "_s + text);
}

void TestProcCtrl::recordTwiceAndClear()
{
    ProcCtrl p;
    p.setSliceNo(500);
    p.setCor(1001);
    p.ui().RecCoR->click();
    p.setSliceNo(1500);
    p.setCor(1003);
    p.ui().RecCoR->click();
    QCOMPARE(p.ui().RecordedCoR1->text(), u"1003 at 1500"_s);
    QCOMPARE(p.ui().RecordedCoR2->text(), u"1001 at 500"_s);
    const RunParams r = p.runParams();
    QCOMPARE(r.recSlice1, 1500);
    QCOMPARE(r.recCor2, 1001.0);
    p.ui().ClearRecCoR->click();
    QVERIFY(p.ui().RecordedCoR1->text().isEmpty());
    QVERIFY(p.ui().RecordedCoR2->text().isEmpty());
    QCOMPARE(p.recSlice1(), -1);
    QCOMPARE(p.recSlice2(), -1);
}

void TestProcCtrl::snapshotStep_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("snapshotStep");
    QTest::newRow("descending") << 200 << 100 << 5 << -5;
    QTest::newRow("negative entered, ascending") << 0 << 100 << -5 << 5;
    QTest::newRow("from = to") << 7 << 7 << 3 << 3;
    // -2^31 has no magnitude in 32 bits: the largest one stands for it.
    QTest::newRow("-2^31 entered, ascending") << 0 << 100 << int(-2147483647 - 1) << 2147483647;
    QTest::newRow("-2^31 entered, descending") << 100 << 0 << int(-2147483647 - 1) << -2147483647;
}

void TestProcCtrl::snapshotStep()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, step);
    QFETCH(int, snapshotStep);
    ProcCtrl p;
    p.setSliceFrom(from);
    p.setSliceTo(to);
    p.setSliceStep(step);
    QCOMPARE(p.runParams().sliceStep, snapshotStep);
}

void TestProcCtrl::partialShowsItsFields()
{
    ProcCtrl p;
    p.show();
    QVERIFY(!p.ui().UsePartialDataSetParams->isVisible());
    QSignalSpy spy(&p, &ProcCtrl::usePartialDataSetUpdated);
    p.ui().UsePartialDataSet->click();
    QCOMPARE(spy.count(), 1);
    QVERIFY(p.ui().UsePartialDataSetParams->isVisible());
    p.setDataSetStartImageNo(350);
    p.setDataSetUsingImages(20);
    p.setDataSetImages(360);
    const RunParams r = p.runParams();
    QCOMPARE(r.imagesUsed, 20);
    QCOMPARE(r.startImage, 350);
    p.setUsePartialDataSet(false);
    QCOMPARE(p.runParams().imagesUsed, 360);
    QCOMPARE(p.runParams().startImage, 0);
}

void TestProcCtrl::axisButtons()
{
    ProcCtrl p;
    QSignalSpy spy(&p, &ProcCtrl::rotAxUpdated);
    QVERIFY(!p.rotAxV());
    p.ui().RotAxV->click();
    QVERIFY(p.rotAxV());
    p.ui().RotAxV->click();
    QCOMPARE(spy.count(), 1);
    p.setRotAxV(false);
    QCOMPARE(spy.count(), 2);
    p.setMaxThreads(8);
    QCOMPARE(p.ui().MaxThreads->text(), u"/8"_s);
    p.setThreads(0);
    QCOMPARE(p.threads(), 1); // a run always has at least one thread
}

void TestProcCtrl::ringRemovalAnnouncesWhatChangesTheSinogram()
{
    ProcCtrl p;
    p.show();
    QSignalSpy spy(&p, &ProcCtrl::ringRemovalUpdated);
    QVERIFY(!p.stripeParams().isOn());
    QVERIFY(!p.ui().RingRemovalParams->isVisible());
    p.ui().RingSmall->setValue(31); // off: the parameters change no sinogram
    QCOMPARE(spy.count(), 0);
    p.ui().RingRemoval->click(); // on: the recommended combination
    QCOMPARE(spy.count(), 1);
    QVERIFY(p.ui().RingRemovalParams->isVisible());
    QCOMPARE(p.stripeParams().method, StripeMethod::All);
    QCOMPARE(p.stripeParams().smallSize, 31);
    p.ui().RingLarge->setValue(40); // even: the next odd window
    QCOMPARE(p.ui().RingLarge->value(), 41);
    QCOMPARE(p.stripeParams().largeSize, 41);
    QCOMPARE(spy.count(), 2);
    p.ui().RingMethod->setCurrentIndex(3);
    QCOMPARE(p.runParams().stripes.method, StripeMethod::Dead);
    QCOMPARE(spy.count(), 3);
    StripeParams same = p.stripeParams();
    p.setStripeParams(same); // nothing new
    QCOMPARE(spy.count(), 3);
    same.method = StripeMethod::Off;
    p.setStripeParams(same);
    QCOMPARE(spy.count(), 4);
    QVERIFY(!p.ui().RingRemoval->isChecked());
    QVERIFY(!p.runParams().stripes.isOn());
}

QTEST_MAIN(TestProcCtrl)
#include "tst_procctrl.moc"
