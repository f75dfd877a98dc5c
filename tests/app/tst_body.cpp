// Qt
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "app/config/configstore.h"
#include "automation/batch.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/procctrl.h"
#include "imagedata/itexwriter.h"
#include "tests/widgets/mouseevents.h"
#include "widgets/statestyles.h"
#include "view3d/ui/ctview.h"
#include "widgets/closablebase.h"
#include "widgets/dispb.h"
#include "widgets/popdockbase.h"
#include "widgets/rawdisp.h"
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

class TestBody : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void tabsAndThreads_data();
    void tabsAndThreads();
    void mousePicksSliceAndCor_data();
    void mousePicksSliceAndCor();
    void shiftDragSetsRangeAndRegions_data();
    void shiftDragSetsRangeAndRegions();
    void ctSelectionCoupling_data();
    void ctSelectionCoupling();
    void laterControlsDoNothing();

private:
    std::unique_ptr<Body> shownBody(bool vertical);
    QTemporaryDir dir_;
    QStringList files_;
};

void TestBody::initTestCase()
{
    // Five projections of 80 × 60 (a ramp, so that values differ).
    std::vector<uint32_t> px(80 * 60);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = 100 + static_cast<uint32_t>(i % 80) + static_cast<uint32_t>(i / 80);
    for (int k = 0; k < 5; ++k) {
        files_ << dir_.filePath(u"p%1.img"_s.arg(k));
        QVERIFY(writeItexFile(files_.last(), {80, 60, 2, 1.0, px}));
    }
}

std::unique_ptr<Body> TestBody::shownBody(bool vertical)
{
    auto body = std::make_unique<Body>(nullptr, 2);
    body->resize(1400, 900);
    body->show();
    body->ui().procCtrl->setRotAxV(vertical);
    QSignalSpy loaded(body.get(), &Body::finishedLoadingCTFiles);
    body->ui().CTFiles->filesChosen(files_);
    if (!loaded.wait(10000))
        return nullptr;
    return body;
}

void TestBody::tabsAndThreads_data()
{
    QTest::addColumn<int>("workers");
    QTest::addColumn<QString>("showAll");
    QTest::addColumn<int>("threadsValue");
    QTest::addColumn<QStringList>("tabs");
    const QStringList before {u"Raw Image"_s, u"Sinogram"_s, u"CT Reconstructed Image"_s};
    const QStringList after {u"I0 Image"_s, u"BG Image"_s, u"CT Images"_s, u"3D View"_s};
    QTest::newRow("1 worker") << 1 << u"0"_s << 1 << before + QStringList {u"CT2"_s} + after;
    QTest::newRow("8 workers") << 8 << u"0"_s << 6 << before + QStringList {u"CT2"_s} + after;
    QTest::newRow("3 workers, each its tab")
        << 3 << u"1"_s << 2 << before + after + QStringList {u"CT2 1"_s, u"CT2 2"_s, u"CT2 3"_s};
}

void TestBody::tabsAndThreads()
{
    QFETCH(int, workers);
    QFETCH(QString, showAll);
    QFETCH(int, threadsValue);
    QFETCH(QStringList, tabs);
    ConfigStore::instance().setEntry(u"show_all_ct2_images"_s, showAll);
    Body body(nullptr, workers);
    ConfigStore::instance().clear();
    QStringList texts;
    for (int i = 0; i < body.ui().ImgsTab->count(); ++i)
        texts << body.ui().ImgsTab->tabText(i);
    QCOMPARE(texts, tabs);
    QCOMPARE(body.ui().procCtrl->ui().Threads->maximum(), workers);
    QCOMPARE(body.ui().procCtrl->threads(), threadsValue);
    QCOMPARE(body.ui().procCtrl->ui().MaxThreads->text(), u"/%1"_s.arg(workers));
    QCOMPARE(int(body.workers().size()), workers);
    QCOMPARE(body.windowTitle(), u"Quorvel"_s);
    QCOMPARE(body.imagesContainer()->popBase()->windowTitle(), u"quorvel Images"_s);
    for (QPushButton *b : {body.ui().CalcCT, body.ui().SeqCalc, body.ui().Cont2DA})
        QCOMPARE(b->styleSheet(), u"background-color: rgb(213, 245, 255);"_s);
    QCOMPARE(body.ui().SelI0Files->ui().Select->text(), u"Sel. I0 File Set"_s);
    QVERIFY(body.ui().SelI0Files->ui().AddFiles->isHidden());
    QVERIFY(body.ui().CTViewTab->isAncestorOf(body.ctView()));
}

void TestBody::mousePicksSliceAndCor_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::newRow("vertical axis: slices are rows") << true;
    QTest::newRow("horizontal axis: slices are columns") << false;
}

void TestBody::mousePicksSliceAndCor()
{
    QFETCH(bool, vertical);
    auto body = shownBody(vertical);
    QVERIFY(body);
    DispB *area = body->rawDisp()->area();
    QVERIFY(area->width() > 100);
    const QPoint at(area->width() / 3, area->height() / 4);
    const QPointF image = body->rawDisp()->imagePointAt(at);
    QTest::mouseClick(area, Qt::LeftButton, {}, at);
    QCOMPARE(body->ui().procCtrl->sliceNo(), static_cast<int>(vertical ? image.y() : image.x()));
    QTest::mouseClick(area, Qt::RightButton, {}, at);
    QCOMPARE(body->ui().procCtrl->cor(), vertical ? image.x() : image.y());
    // Other buttons and modifiers pick nothing.
    const int slice = body->ui().procCtrl->sliceNo();
    QTest::mouseClick(area, Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5));
    QCOMPARE(body->ui().procCtrl->sliceNo(), slice);
}

void TestBody::shiftDragSetsRangeAndRegions_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::newRow("vertical axis") << true;
    QTest::newRow("horizontal axis") << false;
}

void TestBody::shiftDragSetsRangeAndRegions()
{
    QFETCH(bool, vertical);
    auto body = shownBody(vertical);
    QVERIFY(body);
    DispB *area = body->rawDisp()->area();
    const QPoint from(area->width() / 5, area->height() / 6), to(area->width() / 2, area->height() / 2);
    leftDrag(area, from, to, Qt::ShiftModifier);
    QVERIFY(body->rawDisp()->isSelectionValid());
    const QRectF s = body->rawDisp()->selection();
    const double a = vertical ? s.x() : s.y();
    const double extent = vertical ? s.width() : s.height();
    const int first = static_cast<int>(vertical ? s.y() : s.x());
    const int last = static_cast<int>(vertical ? s.y() + s.height() : s.x() + s.width());
    QCOMPARE(body->ui().procCtrl->sliceFrom(), first);
    QCOMPARE(body->ui().procCtrl->sliceTo(), last);
    std::vector<CtPanel *> panels {body->ctCalc()};
    panels.insert(panels.end(), body->workerPanels().begin(), body->workerPanels().end());
    for (CtPanel *p : panels) {
        const Region r = p->calcRegion();
        QCOMPARE(r.x0, fieldDouble(fieldText(a)));
        QCOMPARE(r.z1, fieldDouble(fieldText(a + extent)));
        QCOMPARE(p->dispRegion().x1, fieldDouble(fieldText(a + extent)));
    }
}

void TestBody::ctSelectionCoupling_data()
{
    QTest::addColumn<bool>("click");
    QTest::newRow("a click on CT1") << true;
    QTest::newRow("CT1 selected from code") << false; // as batch commands and setup files do
}

void TestBody::ctSelectionCoupling()
{
    QFETCH(bool, click);
    Body body(nullptr, 1);
    body.ui().procCtrl->setAutoExec(true);
    QVERIFY(body.ui().SelectCt2->isChecked());
    if (click)
        body.ui().SelectCt1->click();
    else
        body.ui().SelectCt1->setChecked(true);
    QVERIFY(!body.ui().procCtrl->autoExec());
    body.ui().SelectCt2->setChecked(true); // CT2 does not need Auto Exec off
    body.ui().procCtrl->setAutoExec(true);
    body.ui().SelectCt2->setChecked(true);
    QVERIFY(body.ui().procCtrl->autoExec());
}

void TestBody::laterControlsDoNothing()
{
    Body body(nullptr, 1);
    // Sequential CT-XAFS runs, the viewer link and setup files work.
    for (QWidget *w : std::initializer_list<QWidget *> {body.ui().SeqCalc, body.ui().SelDDir,
             body.ui().SelI0Files, body.ui().SeqCalcFrom, body.ui().SeqCalcTo, body.ui().keepOnNewSet,
             body.ui().Link2dZelmap, body.ui().ZMLIsBusy, body.ui().SendMsg2Zelmap, body.ui().Exec2DA,
             body.ui().With2DA, body.ui().Cont2DA, body.ui().SaveSetup, body.ui().LoadSetup})
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(body.ui().AdditionalInfo->isHidden());
    body.ui().ShowAdditionalInfo->setChecked(true);
    QVERIFY(!body.ui().AdditionalInfo->isHidden());
    body.ui().ShowAdditionalAdditionalInfo->setChecked(true);
    QVERIFY(!body.ui().AdditionalAdditionalInfo->isHidden());
    // A setup with "add_inf_show 0" hides "More" too; "Show Additional Info" brings it back.
    body.execCommand(parseBatchCmd(u"add_inf_show 0"_s));
    QVERIFY(body.ui().ShowAdditionalAdditionalInfo->isHidden());
    QVERIFY(body.ui().AdditionalInfo->isHidden());
    body.ui().ShowAdditionalInfo->click();
    QVERIFY(!body.ui().ShowAdditionalAdditionalInfo->isHidden());
    QVERIFY(!body.ui().AdditionalInfo->isHidden());
    // A typo in a number field is read as 0, and the field says so until it is corrected.
    QLineEdit *cor = body.ui().procCtrl->ui().Cor;
    cor->setText(u"13o.5"_s);
    QCOMPARE(cor->styleSheet(), ButtonStyle::failed);
    cor->setText(u"130.5"_s);
    QCOMPARE(cor->styleSheet(), QString());
}

QTEST_MAIN(TestBody)
#include "tst_body.moc"
