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
#include "view3d/ui/ctview.h"
#include "widgets/closablebase.h"
#include "widgets/dispb.h"
#include "widgets/popdockbase.h"
#include "widgets/rawdisp.h"
#include "widgets/statestyles.h"
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
    void keysDoWhatTheirTooltipsSay_data();
    void keysDoWhatTheirTooltipsSay();

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
    const QStringList last {u"CoR Scan"_s};
    QTest::newRow("1 worker") << 1 << u"0"_s << 1 << before + QStringList {u"CT2"_s} + after + last;
    QTest::newRow("8 workers") << 8 << u"0"_s << 6 << before + QStringList {u"CT2"_s} + after + last;
    QTest::newRow("3 workers, each its tab")
        << 3 << u"1"_s << 2 << before + after + QStringList {u"CT2 1"_s, u"CT2 2"_s, u"CT2 3"_s} + last;
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
    const struct
    {
        double cor;
        int slice;
    } before {body->ui().procCtrl->cor(), body->ui().procCtrl->sliceNo()};
    QTest::mouseClick(area, Qt::LeftButton, {}, at);
    QCOMPARE(body->ui().procCtrl->sliceNo(), static_cast<int>(vertical ? image.y() : image.x()));
    QTest::mouseClick(area, Qt::RightButton, {}, at);
    QCOMPARE(body->ui().procCtrl->cor(), vertical ? image.x() : image.y());
    // Other buttons and modifiers pick nothing.
    const int slice = body->ui().procCtrl->sliceNo();
    QTest::mouseClick(area, Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5));
    QCOMPARE(body->ui().procCtrl->sliceNo(), slice);

    // Ctrl+Z puts back what each pick changed, newest first, also a centre set by another page.
    ProcCtrl *p = body->ui().procCtrl;
    body->setCorAsPicked(12.5);
    QCOMPARE(p->cor(), 12.5);
    body->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(body.get()));
    const auto undoKey = [&] { QTest::keyClick(body.get(), Qt::Key_Z, Qt::ControlModifier); };
    undoKey();
    QCOMPARE(p->cor(), vertical ? image.x() : image.y());
    undoKey();
    QCOMPARE(p->cor(), before.cor);
    QCOMPARE(p->sliceNo(), slice);
    undoKey();
    QCOMPARE(p->sliceNo(), before.slice);
    QVERIFY(!body->undoGesture()); // nothing more to undo
    QCOMPARE(p->cor(), before.cor);
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
    const int from0 = body->ui().procCtrl->sliceFrom(), to0 = body->ui().procCtrl->sliceTo();
    const Region calc0 = body->ctCalc()->calcRegion(), disp0 = body->ctCalc()->dispRegion();
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
    // Ctrl+Z: the range and the regions are as before the drag.
    QVERIFY(body->undoGesture());
    QCOMPARE(body->ui().procCtrl->sliceFrom(), from0);
    QCOMPARE(body->ui().procCtrl->sliceTo(), to0);
    for (CtPanel *p : panels) {
        QCOMPARE(p->calcRegion().x1, calc0.x1);
        QCOMPARE(p->calcRegion().z0, calc0.z0);
        QCOMPARE(p->dispRegion().x1, disp0.x1);
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

void TestBody::keysDoWhatTheirTooltipsSay_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("control"); // whose tooltip names the key
    QTest::newRow("next projection") << int(Qt::Key_Right) << Qt::KeyboardModifiers(Qt::AltModifier)
                                     << u"seekCtrl"_s;
    QTest::newRow("previous projection")
        << int(Qt::Key_Left) << Qt::KeyboardModifiers(Qt::AltModifier) << u"seekCtrl"_s;
    QTest::newRow("next slice") << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::AltModifier) << u"SliceNo"_s;
    QTest::newRow("previous slice") << int(Qt::Key_Down) << Qt::KeyboardModifiers(Qt::AltModifier)
                                    << u"SliceNo"_s;
    QTest::newRow("whole picture") << int(Qt::Key_0) << Qt::KeyboardModifiers(Qt::ControlModifier)
                                   << u"RawDisp"_s;
    QTest::newRow("calc") << int(Qt::Key_F5) << Qt::KeyboardModifiers() << u"CalcCT"_s;
    QTest::newRow("guess CoR") << int(Qt::Key_G) << Qt::KeyboardModifiers(Qt::ControlModifier)
                               << u"GuessCor"_s;
}

void TestBody::keysDoWhatTheirTooltipsSay()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, control);
    auto body = shownBody(true);
    QVERIFY(body);
    body->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(body.get()));
    ProcCtrl *p = body->ui().procCtrl;
    body->ui().seekCtrl->setValue(2);
    p->setSliceNo(30);
    p->setCor(10.0);
    body->rawDisp()->setView(QRectF(10, 10, 20, 20));
    QWidget *w = body->findChild<QWidget *>(control);
    if (!w && control == u"RawDisp"_s)
        w = body->rawDisp();
    QVERIFY(w);
    QVERIFY2(w->toolTip().contains(QKeySequence(key | modifiers).toString(QKeySequence::NativeText)),
        qPrintable(w->toolTip()));
    QSignalSpy finished(body.get(), &Body::calcFinished);
    QTest::keyClick(body.get(), Qt::Key(key), modifiers);
    const int seek = body->ui().seekCtrl->value();
    QCOMPARE(seek, key == Qt::Key_Right ? 3 : key == Qt::Key_Left ? 1 : 2);
    QCOMPARE(p->sliceNo(), key == Qt::Key_Up ? 31 : key == Qt::Key_Down ? 29 : 30);
    QCOMPARE(body->rawDisp()->view() == QRectF(0, 0, 80, 60), key == Qt::Key_0);
    QCOMPARE(body->isCalculating() || !finished.isEmpty(), key == Qt::Key_F5);
    QCOMPARE(p->cor() != 10.0, key == Qt::Key_G);
    if (key == Qt::Key_F5 && finished.isEmpty())
        QVERIFY(finished.wait(10000));
}

QTEST_MAIN(TestBody)
#include "tst_body.moc"
