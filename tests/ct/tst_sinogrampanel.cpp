// Qt
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/config/configstore.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "imagedata/itexwriter.h"
#include "widgets/colorbar.h"
#include "widgets/imgdisp.h"
#include <cmath>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

class TestSinogramPanel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void followsSliceAndCor();
    void view360MirrorsTheLowerHalf();
    void fourierDisplayFollowsTheCheckBox();
    void readoutFollowsTheDrawnPicture();
    void corOutOfRangeKeepsTheSinogram();
    void ringRemovalShowsTheCorrectedSinogram();

private:
    QTemporaryDir dir_;
    ImgDatas images_;
    ProcCtrl *proc_ = nullptr;
    Sinogram *panel_ = nullptr;
};

void TestSinogramPanel::initTestCase()
{
    // 180 projections of 24 × 6 over 180 degrees; pixel (x, y) of image k is 100 + x + 30·y + k.
    for (int k = 0; k < 180; ++k) {
        std::vector<uint32_t> px(24 * 6);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 24; ++x)
                px[static_cast<size_t>(y) * 24 + x] = 100 + x + 30 * y + k;
        const QString path = dir_.filePath(u"p%1.img"_s.arg(k, 3, 10, QLatin1Char('0')));
        QVERIFY(writeItexFile(path, {24, 6, 2, 1.0, px}));
        QVERIFY(images_.add(path));
    }
}

void TestSinogramPanel::init()
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

void TestSinogramPanel::followsSliceAndCor()
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
}

void TestSinogramPanel::view360MirrorsTheLowerHalf()
{
    setSinogramImageVariant(1);
    proc_->setCor(11.0);
    const QImage picture = panel_->ui().DispSinogram->imgDisp()->image();
    const int w = panel_->data().width;
    QCOMPARE(picture.size(), QSize(w, 360));
    for (int c = 0; c < w; ++c)
        QCOMPARE(picture.pixel(c, 359), picture.pixel(w - 1 - c, 179)); // row 359 is row 179 reversed
    QVERIFY(qGray(picture.pixel(w - 1, 179)) > qGray(picture.pixel(0, 0)));
}

void TestSinogramPanel::fourierDisplayFollowsTheCheckBox()
{
    panel_->show();
    proc_->setCor(11.0);
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
}

void TestSinogramPanel::readoutFollowsTheDrawnPicture()
{
    proc_->setCor(11.0);
    panel_->newPos(11.0 + 3.0, 7.0); // the direct view samples cor − L + c: column 14 is x = 1
    QCOMPARE(panel_->ui().DispSinogram->findChild<QLineEdit *>(u"Val"_s)->text().toDouble(),
        100.0 + 1 + 30 * 2 + 7);
    panel_->newPos(-1.0, 7.0); // outside: the field keeps its value
    QCOMPARE(panel_->ui().DispSinogram->findChild<QLineEdit *>(u"Val"_s)->text().toDouble(),
        100.0 + 1 + 30 * 2 + 7);
}

void TestSinogramPanel::corOutOfRangeKeepsTheSinogram()
{
    proc_->setCor(11.0);
    const std::vector<double> before = panel_->data().raw;
    proc_->setCor(23.5);
    QCOMPARE(panel_->lastStatus(), SinogramStatus::CorOutOfRange);
    QCOMPARE(panel_->data().raw, before);
}

void TestSinogramPanel::ringRemovalShowsTheCorrectedSinogram()
{
    // Column x of every image reads 15 % low: a stripe in the attenuation sinogram (the panel has no
    // I0 image, so attenuation is −ln of the counts), taken out once ring removal is on.
    QTemporaryDir dir;
    ImgDatas striped;
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 20.0);
    for (int k = 0; k < 180; ++k) {
        std::vector<uint32_t> px(24 * 6);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 24; ++x)
                px[static_cast<size_t>(y) * 24 + x] = static_cast<uint32_t>(
                    (x == 8 ? 0.85 : 1.0) * (10000 + 200 * std::sin(0.05 * k + 0.3 * x) + noise(rng)));
        const QString path = dir.filePath(u"p%1.img"_s.arg(k, 3, 10, QLatin1Char('0')));
        QVERIFY(writeItexFile(path, {24, 6, 2, 1.0, px}));
        QVERIFY(striped.add(path));
    }
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
    panel_->newPos(24.0 - 10.0 + 7.0, 5.0); // grid column 7 is direct column L − (half − 1) + 7
    const double shown = panel_->ui().DispSinogram->findChild<QLineEdit *>(u"Val"_s)->text().toDouble();
    QVERIFY2(std::abs(shown - s.att[5 * s.width + 7]) < 1e-4, qPrintable(QString::number(shown)));
    panel_->setImageSet(&images_);
}

QTEST_MAIN(TestSinogramPanel)
#include "tst_sinogrampanel.moc"
