// Qt
#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
#include <QTranslator>

// Local
#include "app/body.h"
#include "app/startup.h"
#include "app/windowlog.h"
#include "automation/batch.h"
#include "config/configstore.h"
#include "config/messagelog.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "tests/app/roadfixture.h"
#include "tests/app/winfixture.h"
#include "tests/common/debuglog.h"
#include "testsupport/mouseevents.h"
#include "view3d/ui/ctview.h"
#include "widgets/closablebase.h"
#include "widgets/colorbar.h"
#include "widgets/disabledlook.h"
#include "widgets/dispb.h"
#include "widgets/messagespane.h"
#include "widgets/popdockbase.h"
#include "widgets/progressline.h"
#include "widgets/rawdisp.h"
#include "widgets/statestyles.h"
#include <memory>

using namespace Qt::StringLiterals;

namespace {

double meanGrey(const QImage &image)
{
    const QImage g = image.convertToFormat(QImage::Format_Grayscale8);
    double sum = 0;
    for (int y = 0; y < g.height(); ++y)
        for (int x = 0; x < g.width(); ++x)
            sum += g.constScanLine(y)[x];
    return g.isNull() ? -1.0 : sum / (double(g.width()) * g.height());
}

/// Pixels of the cursor pen's yellow along widget row y.
int yellowInRow(const QImage &shot, int y)
{
    int n = 0;
    for (int x = 0; x < shot.width(); ++x)
        n += QColor(shot.pixel(x, y)) == QColor(255, 255, 0) ? 1 : 0;
    return n;
}

// The tooltips of the controls the forms make, by their names' path from the window.
QHash<QString, QString> controlTooltips(QWidget *root)
{
    QHash<QString, QString> tips;
    for (QWidget *w : root->findChildren<QWidget *>()) {
        const bool control = qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w)
            || qobject_cast<QComboBox *>(w) || qobject_cast<QAbstractSpinBox *>(w)
            || qobject_cast<QSlider *>(w) || qobject_cast<QListWidget *>(w);
        if (!control || w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s)
            || qobject_cast<QTabBar *>(w->parentWidget())) // the toolkit's own scroll buttons
            continue;
        QString path;
        bool inDialog = false;
        for (QWidget *p = w; p && p != root; p = p->parentWidget()) {
            inDialog = inDialog || qobject_cast<QDialog *>(p);
            path.prepend(p->objectName() + u'/');
        }
        if (!inDialog) // the file and colour dialogs are the toolkit's
            tips.insert(path, w->toolTip());
    }
    return tips;
}

} // namespace

/// The window as the operator meets it: its pages, picking versus panning, keys, the displays after a
/// refused load, messages, progress and closing, typed colour bounds, the cursor, the looks of
/// disabled controls, its size and tooltips.
class TestBodyWindow : public QObject
{
    Q_OBJECT
private slots:
    void messagesFollowWrappedLines_data();
    void messagesFollowWrappedLines();
    void statusLineClearsAProblemOnceItsJobSucceeds();
    void initTestCase();
    void init();
    void tabsAndThreads_data();
    void tabsAndThreads();
    void mousePicksDragPansAndShiftDragSetsRange_data();
    void mousePicksDragPansAndShiftDragSetsRange();
    void keysDoWhatTheirTooltipsSay();
    void messagesReachThePaneAndTheStatusLine_data();
    void messagesReachThePaneAndTheStatusLine();
    void progressIsTheCurrentRunsAndClosingAsks();
    void typedColourBoundHoldsUntilANewImage();
    void smallerThings();
    void fitsALaptopScreenWithTooltipsInBothLanguages();
    void loadMessageInTheWindowsLanguage();

private:
    std::unique_ptr<Body> loadedBody(int workers = 1, bool verticalAxis = true);
    QTemporaryDir data_;
};

void TestBodyWindow::initTestCase()
{
    QVERIFY(writeEllipseScan(data_.path(), 48, 40));
    // A folder of files that are no images.
    QVERIFY(QDir(data_.path()).mkdir(u"notes"_s));
    for (const QString &name : {u"notes/a.img"_s, u"notes/b.img"_s})
        QVERIFY(writeText(data_.filePath(name), "not an image\n"));
}

void TestBodyWindow::init()
{
    QCoreApplication::processEvents();
    if (MessageLog *log = MessageLog::instance())
        log->clear();
}

std::unique_ptr<Body> TestBodyWindow::loadedBody(int workers, bool verticalAxis)
{
    auto body = loadedWindow({data_.filePath(u"p"_s)}, workers, QSize(1500, 1000), verticalAxis);
    if (!body)
        return nullptr;
    body->ui().I0ImgSel->selectFile(data_.filePath(u"i0.img"_s));
    body->ui().BGImgSel->selectFile(data_.filePath(u"bg.img"_s));
    body->ui().procCtrl->setCor(32);
    return body;
}

void TestBodyWindow::tabsAndThreads_data()
{
    QTest::addColumn<int>("workers");
    QTest::addColumn<QString>("showAll");
    QTest::addColumn<int>("threadsValue");
    QTest::addColumn<QStringList>("tabs");
    const QStringList before {u"Raw Image"_s, u"Sinogram"_s, u"CT Reconstructed Image"_s};
    const QStringList after {u"I0 Image"_s, u"BG Image"_s, u"CT Images"_s, u"3D View"_s};
    const QStringList last {u"CoR Scan"_s, u"XANES"_s};
    QTest::newRow("1 worker") << 1 << u"0"_s << 1 << before + QStringList {u"CT2"_s} + after + last;
    QTest::newRow("8 workers") << 8 << u"0"_s << 6 << before + QStringList {u"CT2"_s} + after + last;
    QTest::newRow("3 workers, each its tab")
        << 3 << u"1"_s << 2 << before + after + QStringList {u"CT2 1"_s, u"CT2 2"_s, u"CT2 3"_s} + last;
}

void TestBodyWindow::tabsAndThreads()
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
    QVERIFY(body.ui().SelI0Files->ui().AddFiles->isHidden());
    QVERIFY(body.ui().CTViewTab->isAncestorOf(body.ctView()));
}

void TestBodyWindow::mousePicksDragPansAndShiftDragSetsRange_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::newRow("vertical axis: slices are rows") << true;
    QTest::newRow("horizontal axis: slices are columns") << false;
}

void TestBodyWindow::mousePicksDragPansAndShiftDragSetsRange()
{
    QFETCH(bool, vertical);
    auto body = loadedBody(2, vertical);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    DispB *area = body->rawDisp()->area();
    QVERIFY(area->width() > 100);
    const QPoint at(area->width() / 3, area->height() / 4);
    const QPointF image = body->rawDisp()->imagePointAt(at);
    const double cor0 = p->cor();
    const int slice0 = p->sliceNo();
    QTest::mouseClick(area, Qt::LeftButton, {}, at);
    QCOMPARE(p->sliceNo(), static_cast<int>(vertical ? image.y() : image.x()));
    QTest::mouseClick(area, Qt::RightButton, {}, at);
    QCOMPARE(p->cor(), vertical ? image.x() : image.y());
    // Other buttons and modifiers pick nothing.
    const int slice = p->sliceNo();
    QTest::mouseClick(area, Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5));
    QCOMPARE(p->sliceNo(), slice);

    // Ctrl+Z puts back what each pick changed, newest first, also a centre set by another page.
    body->setCorAsPicked(12.5);
    QCOMPARE(p->cor(), 12.5);
    body->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(body.get()));
    const auto undoKey = [&] { QTest::keyClick(body.get(), Qt::Key_Z, Qt::ControlModifier); };
    undoKey();
    QCOMPARE(p->cor(), vertical ? image.x() : image.y());
    undoKey();
    QCOMPARE(p->cor(), cor0);
    QCOMPARE(p->sliceNo(), slice);
    undoKey();
    QCOMPARE(p->sliceNo(), slice0);
    QVERIFY(!body->undoGesture()); // nothing more to undo
    QCOMPARE(p->cor(), cor0);

    // A Shift-drag sets the range of slices, and the regions of every panel across the axis.
    const QPoint from(area->width() / 5, area->height() / 6), to(area->width() / 2, area->height() / 2);
    const int from0 = p->sliceFrom(), to0 = p->sliceTo();
    const Region calc0 = body->ctCalc()->calcRegion(), disp0 = body->ctCalc()->dispRegion();
    leftDrag(area, from, to, Qt::ShiftModifier);
    QVERIFY(body->rawDisp()->isSelectionValid());
    const QRectF s = body->rawDisp()->selection();
    const double a = vertical ? s.x() : s.y();
    const double extent = vertical ? s.width() : s.height();
    QCOMPARE(p->sliceFrom(), static_cast<int>(vertical ? s.y() : s.x()));
    QCOMPARE(p->sliceTo(), static_cast<int>(vertical ? s.y() + s.height() : s.x() + s.width()));
    std::vector<CtPanel *> panels {body->ctCalc()};
    panels.insert(panels.end(), body->workerPanels().begin(), body->workerPanels().end());
    for (CtPanel *panel : panels) {
        QCOMPARE(panel->calcRegion().x0, fieldDouble(fieldText(a)));
        QCOMPARE(panel->calcRegion().z1, fieldDouble(fieldText(a + extent)));
        QCOMPARE(panel->dispRegion().x1, fieldDouble(fieldText(a + extent)));
    }
    // Ctrl+Z: the range and the regions are as before the drag.
    QVERIFY(body->undoGesture());
    QCOMPARE(p->sliceFrom(), from0);
    QCOMPARE(p->sliceTo(), to0);
    for (CtPanel *panel : panels) {
        QCOMPARE(panel->calcRegion().x1, calc0.x1);
        QCOMPARE(panel->calcRegion().z0, calc0.z0);
        QCOMPARE(panel->dispRegion().x1, disp0.x1);
    }
    QVERIFY(!body->rawDisp()->isSelectionValid()); // its box is no longer drawn

    // On a zoomed picture a drag pans and picks nothing, and the click after a pan picks again.
    const struct
    {
        Qt::MouseButton button;
        QPoint move; // from the press
        bool back; // released where it was pressed
        bool picks;
    } gestures[] {{Qt::LeftButton, {60, 45}, false, false}, {Qt::LeftButton, {1, 1}, false, true},
        {Qt::LeftButton, {30, 0}, true, false}, {Qt::RightButton, {-30, 0}, false, false},
        {Qt::RightButton, {0, 0}, false, true}};
    RawDisp *raw = body->rawDisp();
    for (const auto &g : gestures) {
        p->setSliceNo(24);
        p->setCor(32);
        raw->setView(QRectF(10, 8, 24, 18));
        const QPoint press = raw->pictureRect().center().toPoint() - QPoint(40, 30);
        const QPoint release = g.back ? press : press + g.move;
        const QPointF released = raw->imagePointAt(release);
        QTest::mousePress(area, g.button, {}, press);
        moveTo(area, press + g.move, g.button);
        moveTo(area, release, g.button);
        QTest::mouseRelease(area, g.button, {}, release);
        if (g.button == Qt::LeftButton)
            QCOMPARE(p->sliceNo(), g.picks ? static_cast<int>(vertical ? released.y() : released.x()) : 24);
        else
            QCOMPARE(p->cor(), g.picks ? (vertical ? released.x() : released.y()) : 32.0);
    }
}

void TestBodyWindow::keysDoWhatTheirTooltipsSay()
{
    auto body = loadedBody();
    QVERIFY(body);
    body->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(body.get()));
    ProcCtrl *p = body->ui().procCtrl;
    const struct
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString control; // whose tooltip names the key
    } keys[] {{Qt::Key_Right, Qt::AltModifier, u"seekCtrl"_s}, // next projection
        {Qt::Key_Left, Qt::AltModifier, u"seekCtrl"_s},
        {Qt::Key_Up, Qt::AltModifier, u"SliceNo"_s}, // next slice
        {Qt::Key_Down, Qt::AltModifier, u"SliceNo"_s},
        {Qt::Key_0, Qt::ControlModifier, u"RawDisp"_s}, // whole picture
        {Qt::Key_F5, {}, u"CalcCT"_s}, {Qt::Key_G, Qt::ControlModifier, u"GuessCor"_s}};
    for (const auto &[key, modifiers, control] : keys) {
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
        QSignalSpy guessed(body->sinogram(), &Sinogram::guessFinished);
        QTest::keyClick(body.get(), key, modifiers);
        if (key == Qt::Key_G)
            QVERIFY(guessed.wait(20000)); // the guess computes on a thread of its own
        QCOMPARE(body->ui().seekCtrl->value(), key == Qt::Key_Right ? 3 : key == Qt::Key_Left ? 1 : 2);
        QCOMPARE(p->sliceNo(), key == Qt::Key_Up ? 31 : key == Qt::Key_Down ? 29 : 30);
        QCOMPARE(body->rawDisp()->view() == QRectF(0, 0, 64, 48), key == Qt::Key_0);
        QCOMPARE(body->isCalculating() || !finished.isEmpty(), key == Qt::Key_F5);
        QCOMPARE(p->cor() != 10.0, key == Qt::Key_G);
        if (key == Qt::Key_F5 && finished.isEmpty())
            QVERIFY(finished.wait(10000));
    }
}

void TestBodyWindow::messagesReachThePaneAndTheStatusLine_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("expected"); // a pattern of the newest message
    QTest::addColumn<int>("level");
    const int warning = LogMessage::Warning, error = LogMessage::Error;
    QTest::newRow("a refused load (image data)")
        << u"refused load"_s << u"Loading failed: 2 of 2 files could not be used, 0 images are loaded"_s
        << error;
    QTest::newRow("a refused save folder (saving)")
        << u"failed write"_s << u"No data files are saved in this run: .*file/sub"_s << error;
    QTest::newRow("slices that fail (calculation)")
        << u"failed slices"_s
        << u"CT2 run failed after .* s: 0 of 3 slices done, 3 failed \\(slice 10, 20, 30: "_s << error;
    QTest::newRow("a CT1 slice that fails after a good one")
        << u"failed CT1"_s << u"Sinogram: Centre of rotation 500 leaves no sinogram"_s << warning;
    QTest::newRow("a batch line that fails (automation)")
        << u"failed line"_s << u"seq_exec_set: there is no current data set"_s << error;
    QTest::newRow("failure words in an ordinary line")
        << u"echo"_s << u":echo failed error-cases"_s << int(LogMessage::Info);
}

void TestBodyWindow::messagesReachThePaneAndTheStatusLine()
{
    QFETCH(QString, what);
    QFETCH(QString, expected);
    QFETCH(int, level);
    QTemporaryDir out;
    auto body = what == u"refused load"_s ? loadedWindow({data_.filePath(u"notes"_s)}, 1, QSize(1500, 1000))
                                          : loadedBody();
    QVERIFY(body);
    QSignalSpy finished(body.get(), &Body::calcFinished);
    if (what == u"refused load"_s) {
        // Into an empty window: nothing to show, and it says why.
        QCOMPARE(body->imageSet()->count(), 0);
        QVERIFY(body->rawDisp()->image().isNull());
        QVERIFY(body->sinogram()->ui().DispSinogram->image().isNull());
        QCOMPARE(body->ui().CTFiles->ui().Count->text(), u"0 (2 not loaded)"_s);
        QCOMPARE(body->progressLine()->text(), u"Loading files 2 / 2 · 2 refused"_s);
        // The picture area shows the background only.
        const QImage shot = body->rawDisp()->area()->grab().toImage();
        QCOMPARE(shot.pixel(shot.width() / 2, shot.height() / 2),
            body->rawDisp()->palette().color(QPalette::Dark).rgb());
        body->toggleCalcCt(); // nothing to calculate: nothing starts
        QVERIFY(!body->isCalculating());
    } else if (what == u"failed write"_s) {
        QVERIFY(writeText(out.filePath(u"file"_s), {}));
        body->ui().SelectCt2->setChecked(true);
        saveInto(*body, out.filePath(u"file/sub"_s)); // a folder inside a file
        QVERIFY(calcAndWait(*body));
    } else if (what == u"failed CT1"_s) {
        body->ui().SelectCt1->setChecked(true);
        body->ui().CalcCT->click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        QVERIFY(!body->ctCalc()->ui().DispCt->image().isNull());
        body->ui().procCtrl->setCor(500); // no sinogram: the picture before is not this slice's
        body->ui().CalcCT->click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
        QVERIFY(body->ctCalc()->ui().DispCt->image().isNull());
        QCOMPARE(body->ctCalc()->ui().ShowSliceNo->styleSheet(), ButtonStyle::failed);
        QVERIFY(body->progressLine()->hasFailed());
    } else if (what == u"failed slices"_s) {
        body->ui().procCtrl->setCor(500); // far beyond the 64-pixel lines: no slice has a sinogram
        setSlices(body->ui().procCtrl, 10, 30, 10);
        QVERIFY(calcAndWait(*body));
        // The run says it failed everywhere the operator looks.
        QVERIFY(body->progressLine()->hasFailed());
        QCOMPARE(body->progressLine()->text(), u"CT2 slices 3 / 3 · 3 failed"_s);
        QCOMPARE(body->ui().ProgPerCent->text(), u"3 failed"_s);
        QVERIFY(!body->runOutcome().ok());
        QCOMPARE(body->workerPanels().front()->ui().ShowSliceNo->styleSheet(), ButtonStyle::failed);
    } else {
        QTemporaryFile batch;
        QVERIFY(batch.open());
        batch.write(what == u"echo"_s ? ":echo failed error-cases\n" : "seq_exec_set\n");
        batch.close();
        body->batchLoad(batch.fileName());
        body->batchExec();
        QTRY_VERIFY(!body->batch()->isRunning() && body->batch()->nextLine() == 1);
    }
    const QRegularExpression pattern(expected);
    auto *pane = body->findChild<MessagesPane *>(u"Messages"_s);
    QVERIFY(pane);
    QTRY_VERIFY2(pattern.match(pane->toPlainText()).hasMatch(), qPrintable(pane->toPlainText()));
    // On the ground of its severity, as the writer gave it.
    QTextBlock line = pane->document()->firstBlock();
    while (line.isValid() && !pattern.match(line.text()).hasMatch())
        line = line.next();
    const QTextCharFormat format = line.begin().fragment().charFormat();
    if (level == LogMessage::Info) { // plain, and never in the status line
        QVERIFY(!format.hasProperty(QTextFormat::BackgroundBrush));
        QVERIFY(!body->statusText()->text().contains(u"echo"_s));
        return;
    }
    QCOMPARE(format.background().color(), MessagesPane::groundOf(LogMessage::Level(level)));
    // The status line holds the newest problem, time-stamped like the pane.
    QTRY_VERIFY2(
        pattern.match(body->statusText()->text()).hasMatch(), qPrintable(body->statusText()->text()));
    QVERIFY(QRegularExpression(u"^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  (warning|error): "_s)
                .match(body->statusText()->text())
                .hasMatch());
}

void TestBodyWindow::progressIsTheCurrentRunsAndClosingAsks()
{
    auto body = loadedBody(2);
    QVERIFY(body);
    setSlices(body->ui().procCtrl, 10, 30, 10); // Auto Exec chooses CT2
    QVERIFY(calcAndWait(*body));
    QSignalSpy finished(body.get(), &Body::calcFinished);
    QCOMPARE(body->ui().ProgPerCent->text(), u"100.0 %"_s);
    QCOMPARE(body->progressLine()->text(), u"CT2 slices 3 / 3 · done"_s);

    // CT1 does one slice: Auto Exec goes off with it and comes back with CT2.
    body->ui().SelectCt1->click();
    QVERIFY(!body->ui().procCtrl->autoExec());
    body->ui().SelectCt2->click();
    QVERIFY(body->ui().procCtrl->autoExec());
    // Then CT1, projection by projection: the field follows this run from 0, not the last one.
    body->ui().SelectCt1->click();
    body->ctCalc()->ui().CalcAtOnce->setChecked(false);
    QStringList shown;
    int stopAt = -1; // the operator presses "Calc" again after this projection
    connect(body->ctCalc(), &CtCalc::progressed, this, [&](int done) {
        shown << body->ui().ProgPerCent->text() + u" | "_s + body->progressLine()->text();
        if (done == stopAt)
            body->toggleCalcCt();
    });
    body->ui().CalcCT->click();
    QVERIFY(finished.wait(10000));
    QCOMPARE(shown.size(), 41); // the start, then each of the 40 projections
    QCOMPARE(shown.first(), u"0.0 % | CT1 projections 0 / 40"_s);
    const QRegularExpression half(u"^50.0 % \\| CT1 projections 20 / 40 · \\d+:\\d\\d left$"_s);
    QVERIFY2(half.match(shown.at(20)).hasMatch(), qPrintable(shown.at(20)));
    QCOMPARE(body->progressLine()->text(), u"CT1 projections 40 / 40 · done"_s);

    // Stopped after the third projection: it says so, and no projection follows.
    stopAt = 3;
    body->ui().CalcCT->click();
    QVERIFY(finished.count() == 2 || finished.wait(10000));
    QCOMPARE(body->ui().ProgPerCent->text(), u"stopped"_s);
    QCOMPARE(body->progressLine()->text(), u"CT1 projections 3 / 40 · stopped"_s);
    QTest::qWait(50);
    QVERIFY(!body->ctCalc()->isRunning());
    QCOMPARE(body->progressLine()->value(), 3);
    QCOMPARE(finished.count(), 2);

    // CT1 with a save asked for: the slice is shown, and the run says that nothing was saved.
    QTemporaryDir out;
    body->ui().SelectDataSaveDir->setDir(out.path());
    body->ui().AutoSaveData->setChecked(true);
    body->ctCalc()->ui().CalcAtOnce->setChecked(true);
    {
        DebugLog log;
        QVERIFY(calcAndWait(*body));
        QCOMPARE(log.count(u"^CT1 saves no files: select CT2$"_s), 1);
        QCOMPARE(log.count(u"^CT1 run failed after .*; CT1 saves no files: select CT2$"_s), 1);
    }
    QVERIFY(QDir(out.path()).isEmpty());
    body->ui().AutoSaveData->setChecked(false);

    // Closing the window asks only while a run goes on.
    int asked = 0;
    bool answer = false;
    body->setCloseQuestion([&] {
        ++asked;
        return answer;
    });
    QVERIFY(body->close()); // idle: nothing to ask
    QCOMPARE(asked, 0);
    body->show();
    stopAt = -1;
    QSignalSpy finishing(body.get(), &Body::finishing);
    body->ui().CalcCT->click();
    QVERIFY(body->isCalculating());
    QVERIFY(!body->close()); // "No": the window and the run go on
    QCOMPARE(asked, 1);
    QVERIFY(body->isVisible() && body->isCalculating());
    QCOMPARE(finishing.count(), 0);
    answer = true;
    DebugLog log;
    QVERIFY(body->close());
    QCOMPARE(asked, 2);
    QCOMPARE(finishing.count(), 1);
    QCOMPARE(log.count(u"^Run stopped at close: 0 of 1 slices written"_s), 1);
}

void TestBodyWindow::typedColourBoundHoldsUntilANewImage()
{
    auto body = loadedBody();
    QVERIFY(body);
    auto calc = [&](bool ct2) {
        (ct2 ? body->ui().SelectCt2 : body->ui().SelectCt1)->setChecked(true);
        return calcAndWait(*body);
    };
    for (const QString &display : {u"raw"_s, u"sinogram"_s, u"ct1"_s, u"ct2"_s, u"i0"_s}) {
        ImgDispWCBar *disp = nullptr;
        if (display == u"raw"_s)
            disp = body->rawDisp();
        else if (display == u"sinogram"_s)
            disp = body->sinogram()->ui().DispSinogram;
        else if (display == u"ct1"_s)
            disp = body->ctCalc()->ui().DispCt;
        else if (display == u"ct2"_s)
            disp = body->workerPanels()[0]->ui().DispCt;
        else
            disp = body->ui().I0ImgSel->display();
        if (display.startsWith(u"ct"_s))
            QVERIFY(calc(display == u"ct2"_s));
        ColorBar *bar = disp->colorBar();
        QTRY_VERIFY(!disp->image().isNull());
        const double dataMax = bar->maxV();
        const double before = meanGrey(disp->image());
        QVERIFY2(before > 0, qPrintable(display));

        // Typing a maximum far above the data darkens the picture and stays.
        const double typed = dataMax + 4 * (dataMax - bar->minV());
        auto *maxEdit = bar->findChild<QLineEdit *>(u"CMaxLE"_s);
        maxEdit->setFocus();
        maxEdit->selectAll();
        QTest::keyClicks(maxEdit, QString::number(typed, 'g', 6));
        QTest::keyClick(maxEdit, Qt::Key_Return);
        QTRY_VERIFY2(meanGrey(disp->image()) < 0.5 * before,
            qPrintable(u"%1: %2 -> %3"_s.arg(display).arg(before).arg(meanGrey(disp->image()))));
        QTest::qWait(20); // whatever is queued has arrived
        QCOMPARE(bar->maxV(), QString::number(typed, 'g', 6).toDouble());
        QVERIFY(!bar->isFixed());

        // The next new image applies the generator rule again.
        if (display == u"raw"_s)
            body->ui().seekCtrl->findChild<QToolButton *>(u"Inc"_s)->click();
        else if (display == u"sinogram"_s)
            body->ui().procCtrl->setSliceNo(body->ui().procCtrl->sliceNo() + 1);
        else if (display == u"i0"_s)
            body->ui().I0ImgSel->selectFile(data_.filePath(u"i0.img"_s));
        else
            QVERIFY(calc(display == u"ct2"_s));
        QTRY_VERIFY2(bar->maxV() < 1.5 * dataMax, qPrintable(display));
    }
}

void TestBodyWindow::smallerThings()
{
    // A message from before the window (start-up, the configuration file) is in its pane.
    QSignalSpy logged(MessageLog::install(), &MessageLog::added);
    qDebug().noquote() << "Can't open config file : early.cfg";
    QVERIFY(logged.wait(5000));
    auto body = loadedBody();
    QVERIFY(body);
    QVERIFY(body->findChild<MessagesPane *>(u"Messages"_s)->toPlainText().contains(u"early.cfg"_s));
    // The cross-hair follows the cursor (away from the slice's line across the middle, which is drawn
    // over it).
    DispB *area = body->rawDisp()->area();
    const QRectF pic = body->rawDisp()->pictureRect();
    const QPoint a = pic.topLeft().toPoint() + QPoint(20, 30), b = pic.center().toPoint() + QPoint(0, 25);
    moveTo(area, a);
    QImage shot = area->grab().toImage();
    QVERIFY(yellowInRow(shot, a.y()) > pic.width() / 2);
    moveTo(area, b);
    shot = area->grab().toImage();
    QVERIFY(yellowInRow(shot, b.y()) > pic.width() / 2);
    QVERIFY(yellowInRow(shot, a.y()) <= 2); // only where it crosses the vertical line
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(area, &leave);
    shot = area->grab().toImage();
    QVERIFY(yellowInRow(shot, b.y()) <= 2);
    // The 3D view can be popped out like the other pages.
    PopDockBase *view = body->tabContainer(u"CTViewTab"_s);
    QVERIFY(view);
    QCOMPARE(view->popBase()->windowTitle(), u"Reconstructed Body View"_s);
    // The I0 and BG dialogs open where the projections came from.
    QCOMPARE(body->ui().I0ImgSel->startDir(), data_.filePath(u"p"_s));
    QCOMPARE(body->ui().BGImgSel->startDir(), data_.filePath(u"p"_s));
    // Sequential CT-XAFS runs, the viewer link and setup files work.
    for (QWidget *w : std::initializer_list<QWidget *> {body->ui().SeqCalc, body->ui().SelDDir,
             body->ui().SelI0Files, body->ui().SeqCalcFrom, body->ui().SeqCalcTo, body->ui().keepOnNewSet,
             body->ui().Link2dZelmap, body->ui().ZMLIsBusy, body->ui().SendMsg2Zelmap, body->ui().Exec2DA,
             body->ui().With2DA, body->ui().Cont2DA, body->ui().SaveSetup, body->ui().LoadSetup})
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    // Disabled controls look disabled and keep their state colour for when they are enabled again.
    const QString seqStyle = body->ui().SeqCalc->styleSheet();
    body->ui().SeqCalc->setEnabled(false);
    body->ui().Cont2DA->setEnabled(false);
    QVERIFY(looksDisabled(body->ui().SeqCalc));
    QVERIFY(looksDisabled(body->ui().Cont2DA));
    QCOMPARE(body->ui().SeqCalc->styleSheet(), seqStyle);
    body->ui().Cont2DA->setEnabled(true);
    QVERIFY(!looksDisabled(body->ui().Cont2DA));
    QVERIFY(!looksDisabled(body->ui().CalcCT));
    // A long save path shows its end.
    const QString deep = u"/data/2026A/user0123/sample_with_a_long_name/ct/reconstructed/E07112"_s;
    body->ui().SelectDataSaveDir->setDir(deep);
    QLineEdit *path = body->ui().SelectDataSaveDir->ui().FilePath;
    QCOMPARE(path->cursorPosition(), deep.size());
    QCOMPARE(path->toolTip(), deep);
    QVERIFY(path->width() >= 400); // the row of its own in the left column
    // The extra panels open; a setup with "add_inf_show 0" hides "More" too, and "Show Additional
    // Info" brings it back.
    QVERIFY(body->ui().AdditionalInfo->isHidden());
    body->ui().ShowAdditionalInfo->setChecked(true);
    QVERIFY(!body->ui().AdditionalInfo->isHidden());
    body->ui().ShowAdditionalAdditionalInfo->setChecked(true);
    QVERIFY(!body->ui().AdditionalAdditionalInfo->isHidden());
    body->execCommand(parseBatchCmd(u"add_inf_show 0"_s));
    QVERIFY(body->ui().ShowAdditionalAdditionalInfo->isHidden());
    QVERIFY(body->ui().AdditionalInfo->isHidden());
    body->ui().ShowAdditionalInfo->click();
    QVERIFY(!body->ui().ShowAdditionalAdditionalInfo->isHidden());
    QVERIFY(!body->ui().AdditionalInfo->isHidden());
    // A typo in a number field is read as 0, and the field says so until it is corrected.
    QLineEdit *cor = body->ui().procCtrl->ui().Cor;
    cor->setText(u"13o.5"_s);
    QCOMPARE(cor->styleSheet(), ButtonStyle::failed);
    cor->setText(u"130.5"_s);
    QCOMPARE(cor->styleSheet(), QString());
    // "About" names the version.
    auto *about = body->findChild<QToolButton *>(u"About"_s);
    QVERIFY(about);
    about->click();
    auto *box = body->findChild<QMessageBox *>(u"AboutBox"_s);
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QVERIFY2(box->text().contains(u"Quorvel " QV_VERSION_TEXT ""_s), qPrintable(box->text()));
    QVERIFY(box->text().contains(u"README.md"_s));
    box->close();
}

void TestBodyWindow::fitsALaptopScreenWithTooltipsInBothLanguages()
{
    QHash<QString, QString> tips[2]; // English, Japanese
    for (const bool japanese : {false, true}) {
        std::vector<std::unique_ptr<QTranslator>> translators; // gone again at the end of the turn
        if (japanese) {
            translators = installJapanese();
            QVERIFY(!translators.empty());
        }
        Body body(nullptr, 2);
        tips[japanese] = controlTooltips(&body);
        // Both extra panels open and every option that adds a row shown: the widest and tallest
        // the window gets.
        body.ui().ShowAdditionalInfo->setChecked(true);
        body.ui().ShowAdditionalAdditionalInfo->setChecked(true);
        body.ui().procCtrl->ui().RingRemoval->setChecked(true);
        body.ui().procCtrl->setUsePartialDataSet(true);
        const QSize least = body.minimumSizeHint();
        QVERIFY2(least.width() <= 1366 && least.height() <= 740,
            qPrintable(u"%1 x %2"_s.arg(least.width()).arg(least.height())));
        // At that size the road is on screen: the data and I0/BG selectors (scrolled to, if need be),
        // the messages and the status line; the pictures keep at least half the height.
        body.resize(1366, 740);
        body.show();
        QVERIFY(QTest::qWaitForWindowExposed(&body));
        QVERIFY2(
            body.ui().ImgsTab->height() >= 740 / 2, qPrintable(QString::number(body.ui().ImgsTab->height())));
        for (QWidget *w : std::initializer_list<QWidget *> {body.ui().CTFiles->ui().Select,
                 body.ui().I0ImgSel->findChild<QPushButton *>(u"Select"_s), body.ui().CalcCT,
                 body.ui().Messages, body.ui().StatusLine}) {
            QVERIFY(w);
            for (QScrollArea *area : body.findChildren<QScrollArea *>()) {
                if (area->isAncestorOf(w))
                    area->ensureWidgetVisible(w);
            }
            QVERIFY2(w->visibleRegion().boundingRect().size() == w->size(), qPrintable(w->objectName()));
        }
        QCOMPARE(
            body.ui().StatusLine->mapTo(&body, QPoint(0, body.ui().StatusLine->height())).y(), body.height());
        // Nothing in the left column reaches past its pane: no panel's right end is cut off.
        for (QScrollArea *area : body.findChildren<QScrollArea *>()) {
            if (area->isAncestorOf(body.ui().procCtrl))
                QVERIFY2(area->horizontalScrollBar()->maximum() == 0,
                    qPrintable(u"%1 pixels too wide"_s.arg(area->horizontalScrollBar()->maximum())));
        }
        // The rows an option adds take a row of their own: ring removal's parameters do not lie over
        // the offset axis.
        const Ui_ProcCtrl &pc = body.ui().procCtrl->ui();
        QVERIFY(!pc.RingRemovalParams->geometry().intersects(pc.OffsetAxis->geometry()));
        // The sinogram page's centre fields are wide enough for a centre on a 2048-pixel line.
        for (const QLineEdit *e : {body.sinogram()->ui().Cor, body.sinogram()->ui().GuessParam}) {
            const QString text = e == body.sinogram()->ui().Cor ? u"1023.5"_s : u"0.35"_s;
            QVERIFY2(e->width() >= e->fontMetrics().horizontalAdvance(text) + 8, qPrintable(e->objectName()));
        }
        if (japanese) { // a log line is in one language: a translated stage comes in a translated line
            DebugLog log;
            emit body.stage(QCoreApplication::translate("XafsBatch", "Finished Calc."), 1500);
            QCOMPARE(log.count(u"^連続計算: .* \\(前の段階から 1.5 秒"_s), 1);
        }
    }
    QVERIFY(tips[0].size() > 120);
    QStringList missing;
    for (auto it = tips[0].cbegin(); it != tips[0].cend(); ++it) {
        const QString ja = tips[1].value(it.key());
        if (it.value().trimmed().isEmpty() || it.value().contains(u'\n') || it.value().contains(u"<html>"_s))
            missing << it.key() + u" (English: one plain line)"_s;
        else if (ja.isEmpty() || (ja == it.value() && !ja.startsWith(u'/')))
            missing << it.key() + u" (Japanese)"_s;
    }
    missing.sort();
    for (const QString &m : std::as_const(missing))
        qWarning().noquote() << "no tooltip:" << m;
    QVERIFY2(missing.isEmpty(), qPrintable(u"%1 controls without a tooltip"_s.arg(missing.size())));
}

void TestBodyWindow::messagesFollowWrappedLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("English")
        << u"Guess CoR: the mirror and Fourier centres of rotation differ by 196.88 pixels"_s;
    QTest::newRow("Japanese")
        << u"中心を推定: ミラーとフーリエの回転中心が 196.88 ピクセル異なります (99.00 と 295.88)"_s;
}

void TestBodyWindow::messagesFollowWrappedLines()
{
    QFETCH(QString, text);
    MessagesPane pane;
    pane.resize(220, 90);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QScrollBar *bar = pane.verticalScrollBar();
    const auto add = [&](int k) {
        pane.addMessage(LogMessage {QDateTime::currentDateTime(), QtInfoMsg, text + QString::number(k),
            LogMessage::Info, QStringLiteral("qv.window")});
        QCoreApplication::processEvents();
    };
    // Every new line wraps: the newest stays in sight, line after line.
    for (int k = 0; k < 30; ++k) {
        add(k);
        QVERIFY2(bar->value() == bar->maximum(),
            qPrintable(u"line %1: %2 of %3"_s.arg(k).arg(bar->value()).arg(bar->maximum())));
    }
    // Scrolled back to read, the pane stays there.
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    add(30);
    QCOMPARE(bar->value(), 0);
    // Back at the end, it follows again.
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    add(31);
    QCOMPARE(bar->value(), bar->maximum());
}

void TestBodyWindow::statusLineClearsAProblemOnceItsJobSucceeds()
{
    Body body(nullptr, 1);
    QLabel *status = body.statusText();
    qCWarning(lcWindow).noquote() << "CoR Scan: a calculation or a load is under way";
    QTRY_VERIFY(status->text().contains(u"CoR Scan: a calculation"_s));
    // Another job's success leaves it; the same job's clears it.
    qCInfo(lcWindow).noquote() << "Raw images cleared: the next load sets the image size";
    QCoreApplication::processEvents();
    QVERIFY(status->text().contains(u"CoR Scan"_s));
    qCInfo(lcWindow).noquote() << "CoR Scan: slice 3 at 11 centres from 20 to 30";
    QTRY_VERIFY(status->text().isEmpty());
    QVERIFY(status->styleSheet().isEmpty());
}

void TestBodyWindow::loadMessageInTheWindowsLanguage()
{
    const auto translators = installJapanese();
    QVERIFY(!translators.empty());
    Body body(nullptr, 1);
    MessageLog *log = MessageLog::install();
    QVERIFY(loadDir(body, data_.filePath(u"p"_s)));
    // The pane shows the message in Japanese; standard error keeps it in English.
    const QString shown = u"64 x 48 の画像を 40 枚読み込みました : "_s;
    const auto said = [&] {
        return std::find_if(log->messages().cbegin(), log->messages().cend(),
            [&](const LogMessage &m) { return m.text.startsWith(shown); });
    };
    QTRY_VERIFY(said() != log->messages().cend());
    QVERIFY2(said()->english.startsWith(u"40 images of 64 x 48 loaded : "_s), qPrintable(said()->english));
    QTRY_VERIFY(body.ui().Messages->toPlainText().contains(shown));
}

QTEST_MAIN(TestBodyWindow)
#include "tst_bodywindow.moc"
