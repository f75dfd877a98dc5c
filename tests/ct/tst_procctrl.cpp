// Qt
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "config/configstore.h"
#include "ct/ui/ctdisp.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "tests/common/debuglog.h"
#include "tests/imagedata/numitexfile.h"
#include "widgets/colorbar.h"
#include "widgets/imgdisp.h"
#include "widgets/seekctrl.h"
#include <cmath>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

/// The processing panel's fields and what they announce, the sinogram panel that follows it, and the
/// panel of the CT images of a run.
class TestProcCtrl : public QObject
{
    Q_OBJECT
private slots:
    void sliceAndCorAnnounceOnlyChanges();
    void nonFiniteNumbersReadAsZero_data();
    void nonFiniteNumbersReadAsZero();
    void recordTwiceAndClear();
    void snapshotStep_data();
    void snapshotStep();
    void axisButtons();
    void partialAndRingRemovalShowTheirFields();
    void keepsSliceOrder_data();
    void keepsSliceOrder();
    void typedSliceShowsItsResult_data();
    void typedSliceShowsItsResult();
    void initTestCase();
    void init();
    void followsSliceAndCor();
    void picturesAndReadoutFollowTheSinogram();
    void ringRemovalShowsTheCorrectedSinogram();

private:
    /// Adds 180 projections of 24 × 6 over 180 degrees, pixel (x, y) of image k being pixel(k, x, y).
    template<class Pixel> void addProjections(ImgDatas &set, const QTemporaryDir &dir, Pixel pixel);
    QTemporaryDir dir_;
    ImgDatas images_;
    ProcCtrl *proc_ = nullptr;
    Sinogram *panel_ = nullptr;
};

template<class Pixel> void TestProcCtrl::addProjections(ImgDatas &set, const QTemporaryDir &dir, Pixel pixel)
{
    for (int k = 0; k < 180; ++k) {
        const auto imageK = [&](int x, int y) { return pixel(k, x, y); };
        QVERIFY(set.add(
            writeItexImage(dir.filePath(u"p%1.img"_s.arg(k, 3, 10, QLatin1Char('0'))), 24, 6, imageK)));
    }
}

void TestProcCtrl::sliceAndCorAnnounceOnlyChanges()
{
    ProcCtrl p;
    QSignalSpy sliceSpy(&p, &ProcCtrl::sliceNoUpdated);
    QTest::keyClick(p.ui().SliceNo, Qt::Key_Return); // Return without a change
    QCOMPARE(sliceSpy.count(), 0);
    p.ui().SliceNo->setText(u"1234"_s);
    QTest::keyClick(p.ui().SliceNo, Qt::Key_Return);
    QCOMPARE(sliceSpy.count(), 1);
    QCOMPARE(p.sliceNo(), 1234);
    p.setSliceNo(1234);
    QCOMPARE(sliceSpy.count(), 1);

    // The CoR is stored in full and shown with six digits.
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
    // Text that is no number reads as 0.
    p.ui().Cor->setText(u"centre"_s);
    p.corEditingFinished();
    QCOMPARE(p.cor(), 0.0);
    QCOMPARE(spy.count(), 4);
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

void TestProcCtrl::partialAndRingRemovalShowTheirFields()
{
    ProcCtrl p;
    p.show();
    QVERIFY(!p.ui().UsePartialDataSetParams->isVisible());
    QSignalSpy partialSpy(&p, &ProcCtrl::usePartialDataSetUpdated);
    p.ui().UsePartialDataSet->click();
    QCOMPARE(partialSpy.count(), 1);
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

    // Ring removal announces what changes the sinogram.
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

namespace {

// A 2 × 2 picture whose grey level tells which addition it came from.
QImage picture(int grey)
{
    QImage image(2, 2, QImage::Format_Grayscale8);
    image.fill(QColor(grey, grey, grey));
    return image;
}

} // namespace

void TestProcCtrl::keepsSliceOrder_data()
{
    QTest::addColumn<QList<int>>("added"); // slices in the order their images arrive
    QTest::addColumn<QList<int>>("slices"); // the order kept
    QTest::addColumn<QList<int>>("arrival"); // which addition each kept entry is
    QTest::newRow("in order") << QList<int> {1, 2, 3} << QList<int> {1, 2, 3} << QList<int> {0, 1, 2};
    QTest::newRow("finishing order of workers")
        << QList<int> {15, 10, 20} << QList<int> {10, 15, 20} << QList<int> {1, 0, 2};
    QTest::newRow("descending range") << QList<int> {9, 6, 3} << QList<int> {3, 6, 9} << QList<int> {2, 1, 0};
    // A slice shown twice (two runs without clearing) keeps both, the later after the earlier.
    QTest::newRow("duplicates") << QList<int> {4, 2, 4, 2} << QList<int> {2, 2, 4, 4}
                                << QList<int> {1, 3, 0, 2};
}

void TestProcCtrl::typedSliceShowsItsResult_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("index"); // of the results 10, 20, 20, 30 (grey 10, 20, 30, 40)
    QTest::newRow("a slice there is") << u"30"_s << 3;
    QTest::newRow("the first of two") << u"20"_s << 1;
    QTest::newRow("between: the nearest") << u"27"_s << 3;
    QTest::newRow("halfway: the lower") << u"15"_s << 0;
    QTest::newRow("below all") << u"-5"_s << 0;
    QTest::newRow("not a number: slice 0") << u"x"_s << 0;
}

void TestProcCtrl::typedSliceShowsItsResult()
{
    QFETCH(QString, typed);
    QFETCH(int, index);
    CtDisp disp;
    disp.show();
    QVERIFY(QTest::qWaitForWindowExposed(&disp));
    const int slices[] {10, 20, 20, 30};
    for (int i = 0; i < 4; ++i)
        disp.addImg(slices[i], picture(10 * (i + 1)));
    QLineEdit *field = disp.ui().SliceOfImage;
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, typed);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(disp.ui().seeker_->value(), index);
    QCOMPARE(qGray(disp.ui().dispA_->image().pixel(0, 0)), 10 * (index + 1));
    QCOMPARE(field->text(), QString::number(slices[index]));
}

void TestProcCtrl::keepsSliceOrder()
{
    QFETCH(QList<int>, added);
    QFETCH(QList<int>, slices);
    QFETCH(QList<int>, arrival);
    CtDisp disp;
    for (qsizetype i = 0; i < added.size(); ++i) {
        QImage image = picture(int(10 * (i + 1)));
        disp.addImg(added[i], image);
        image.fill(Qt::white); // the panel keeps its own copy
        // The last entry of the list is shown after every addition.
        QCOMPARE(disp.ui().seeker_->value(), disp.count() - 1);
        QCOMPARE(disp.ui().SliceOfImage->text(), QString::number(disp.sliceAt(disp.count() - 1)));
    }
    QCOMPARE(disp.count(), slices.size());
    QCOMPARE(disp.ui().seeker_->maximum(), slices.size() - 1);
    const QList<QImage> images = disp.getQImages();
    for (int i = 0; i < disp.count(); ++i) {
        QCOMPARE(disp.sliceAt(i), slices[i]);
        QCOMPARE(qGray(images[i].pixel(1, 1)), 10 * (arrival[i] + 1));
    }
    disp.showImg(1);
    QCOMPARE(disp.ui().SliceOfImage->text(), QString::number(slices[1]));
    QCOMPARE(qGray(disp.ui().dispA_->image().pixel(0, 0)), 10 * (arrival[1] + 1));
    disp.showImg(disp.count()); // outside: nothing changes
    QCOMPARE(disp.ui().SliceOfImage->text(), QString::number(slices[1]));

    // Clearing empties the list, the seeker and the slice field.
    disp.clear();
    QCOMPARE(disp.count(), 0);
    QVERIFY(disp.getQImages().isEmpty());
    QCOMPARE(disp.ui().seeker_->maximum(), 0);
    QCOMPARE(disp.ui().seeker_->value(), 0);
    QVERIFY(disp.ui().SliceOfImage->text().isEmpty());
    disp.addImg(7, picture(70)); // a new run starts from nothing
    QCOMPARE(disp.count(), 1);
    QCOMPARE(disp.sliceAt(0), 7);
    QCOMPARE(disp.ui().SliceOfImage->text(), u"7"_s);
}

void TestProcCtrl::initTestCase()
{
    addProjections(images_, dir_, [](int k, int x, int y) { return 100 + x + 30 * y + k; });
}

void TestProcCtrl::init()
{
    delete panel_;
    delete proc_;
    proc_ = new ProcCtrl;
    panel_ = new Sinogram;
    panel_->setProcCtrl(proc_);
    panel_->setImageSet(&images_);
    proc_->setRotAxV(true);
    proc_->setSliceNo(2);
    setSinogramImageVariant(2);
}

void TestProcCtrl::followsSliceAndCor()
{
    proc_->setCor(12.0);
    QCOMPARE(panel_->ui().Cor->text(), u"12"_s);
    QCOMPARE(panel_->data().width, 2 * 11 - 1);
    QCOMPARE(panel_->data().height, 180);
    QCOMPARE(panel_->data().rawRow(5)[10], 100.0 + 12 + 30 * 2 + 5);
    proc_->setSliceNo(4);
    QCOMPARE(panel_->data().sliceNo, 4);
    QCOMPARE(panel_->data().rawRow(5)[10], 100.0 + 12 + 30 * 4 + 5);
    // The panel's own CoR field hands the value to the processing panel.
    panel_->ui().Cor->setText(u"10.5"_s);
    panel_->corEditingFinished();
    QCOMPARE(proc_->cor(), 10.5);
    QCOMPARE(panel_->data().rawRow(0)[9], 100.0 + 10.5 + 30 * 4);
    // A centre out of range keeps the sinogram.
    const std::vector<double> before = panel_->data().raw;
    proc_->setCor(23.5);
    QCOMPARE(panel_->lastStatus(), SinogramStatus::CorOutOfRange);
    QCOMPARE(panel_->data().raw, before);
}

void TestProcCtrl::picturesAndReadoutFollowTheSinogram()
{
    panel_->show();
    proc_->setCor(11.0);
    // The read-out follows the drawn picture: the direct view samples cor − L + c, column 14 is x = 1.
    const QLineEdit *value = panel_->ui().DispSinogram->findChild<QLineEdit *>(u"Val"_s);
    panel_->newPos(11.0 + 3.0, 7.0);
    QCOMPARE(value->text().toDouble(), 100.0 + 1 + 30 * 2 + 7);
    panel_->newPos(-1.0, 7.0); // outside: the field keeps its value
    QCOMPARE(value->text().toDouble(), 100.0 + 1 + 30 * 2 + 7);

    // The Fourier display follows its check box.
    QVERIFY(!panel_->ui().DispFouS->isVisible());
    QVERIFY(panel_->ui().DispFouS->imgDisp()->image().isNull());
    panel_->setGenFouS(true);
    QVERIFY(panel_->ui().DispFouS->isVisible());
    panel_->genImage();
    const QImage fou = panel_->ui().DispFouS->imgDisp()->image();
    QCOMPARE(fou.size(), QSize(panel_->data().width, 2 * panel_->data().height));
    QCOMPARE(panel_->ui().DispFouS->colorBar()->minV(), -10.0);
    // The zero-frequency bin is the mean of the data: (100 + …)/… ≫ 10, so it is white.
    QCOMPARE(qGray(fou.pixel(0, 0)), 255);

    // The view of 360 degrees mirrors the lower half.
    setSinogramImageVariant(1);
    panel_->genImage();
    const QImage picture = panel_->ui().DispSinogram->imgDisp()->image();
    const int w = panel_->data().width;
    QCOMPARE(picture.size(), QSize(w, 360));
    for (int c = 0; c < w; ++c)
        QCOMPARE(picture.pixel(c, 359), picture.pixel(w - 1 - c, 179)); // row 359 is row 179 reversed
    QVERIFY(qGray(picture.pixel(w - 1, 179)) > qGray(picture.pixel(0, 0)));
}

void TestProcCtrl::ringRemovalShowsTheCorrectedSinogram()
{
    // Column x of every image reads 15 % low: a stripe in the attenuation sinogram (the panel has no
    // I0 image, so attenuation is −ln of the counts), taken out once ring removal is on.
    QTemporaryDir dir;
    ImgDatas striped;
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 20.0);
    addProjections(striped, dir, [&](int k, int x, int) {
        return (x == 8 ? 0.85 : 1.0) * (10000 + 200 * std::sin(0.05 * k + 0.3 * x) + noise(rng));
    });
    panel_->setImageSet(&striped);
    proc_->setCor(11.0); // sinogram column i is image column i + 1: the stripe in column 7
    const std::vector<double> plain = panel_->data().att;
    const QImage direct = panel_->ui().DispSinogram->imgDisp()->image();
    StripeParams all;
    all.method = StripeMethod::All;
    proc_->setStripeParams(all);
    const SinogramData &s = panel_->data();
    const auto column = [&](const std::vector<double> &att, int i) {
        double sum = 0.0;
        for (int k = 0; k < s.height; ++k)
            sum += att[static_cast<size_t>(k) * s.width + i] - att[static_cast<size_t>(k) * s.width + i - 2];
        return sum / s.height;
    };
    QVERIFY(column(plain, 7) > 0.1); // −ln 0.85 above its neighbour
    QVERIFY2(std::abs(column(s.att, 7)) < 0.01, qPrintable(QString::number(column(s.att, 7))));
    // The picture shows that sinogram, on the direct view's grid (2L columns).
    const QImage corrected = panel_->ui().DispSinogram->imgDisp()->image();
    QCOMPARE(corrected.size(), direct.size());
    QVERIFY(corrected != direct);
    const auto readout = [&](int column, int row) {
        panel_->newPos(24.0 - 10.0 + column, row); // grid column c is direct column L − (half − 1) + c
        return panel_->ui().DispSinogram->findChild<QLineEdit *>(u"Val"_s)->text().toDouble();
    };
    QVERIFY2(
        std::abs(readout(7, 5) - s.att[5 * s.width + 7]) < 1e-4, qPrintable(QString::number(readout(7, 5))));

    // "Removed Stripes" shows what was taken out, the sinogram before less after: the stripe in
    // column 7 (−ln 0.85 and the noise's share), nothing where nothing was taken.
    QVERIFY(panel_->ui().ShowRemoved->isEnabled());
    panel_->ui().ShowRemoved->setChecked(true);
    QCOMPARE(panel_->removed().size(), plain.size());
    for (int row : {5, 12})
        for (int c = 0; c < s.width; ++c) {
            const size_t i = static_cast<size_t>(row) * s.width + c;
            QVERIFY2(
                std::abs(readout(c, row) - (plain[i] - s.att[i])) < 1e-4, qPrintable(u"column %1"_s.arg(c)));
        }
    QVERIFY2(std::abs(readout(7, 5) + std::log(0.85)) < 0.02, qPrintable(QString::number(readout(7, 5))));
    QCOMPARE(panel_->ui().DispSinogram->imgDisp()->image().size(), direct.size());
    // Ring removal off: the raw picture again, and nothing to show as removed.
    proc_->setStripeParams(StripeParams());
    QVERIFY(!panel_->ui().ShowRemoved->isEnabled());
    QVERIFY(panel_->removed().empty());
    QCOMPARE(panel_->ui().DispSinogram->imgDisp()->image(), direct);
    panel_->ui().ShowRemoved->setChecked(false);
    panel_->setImageSet(&images_);
}

QTEST_MAIN(TestProcCtrl)
#include "tst_procctrl.moc"
