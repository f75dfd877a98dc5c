// Takes the README's pictures of the window: builds the real main window, walks the demo data
// through it as an operator would (load, I0/BG, vertical axis, guessed centre of rotation, a scan of
// centres round it, a range of slices on the workers with saving, those slices in the 3D View; then a
// stray file among the
// projections, a narrowed grey window and the cursor on the projection) and writes what the screen
// shows. "--ja": the Japanese window.
//
//   quorvel-shots [--ja] DEMO_DATA_DIR OUT_DIR [WIDTHxHEIGHT]
//   quorvel-shots --offset-axis OFFSET_DEMO_DIR OUT_DIR
//
// The second form takes what `quorvel-demo --offset-axis OVERLAP` wrote, finds its axis with Guess CoR
// and writes the stitched sinogram the Sinogram page shows (offsetaxis-sinogram.png); it needs no
// screen.
// DEMO_DATA_DIR is what quorvel-demo wrote. Run it on a real X server (xvfb-run -s "-screen 0
// 1920x1080x24") so that fonts and sizes are those of a desktop.

// Qt
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

// Local
#include "app/body.h"
#include "app/startup.h"
#include "ct/ui/corscanpanel.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "ct/ui/sinogram.h"
#include "testsupport/mouseevents.h"
#include "view3d/slicedatas.h"
#include "view3d/ui/ctview.h"
#include "view3d/ui/slicesctrl.h"
#include "widgets/colorbar.h"
#include "widgets/dispb.h"
#include "widgets/rawdisp.h"
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

bool shoot(Body &body, const QString &path)
{
    QTest::qWait(300); // let every pending repaint land
    const QImage shot = body.screen()->grabWindow(0).toImage();
    const QRect frame = body.frameGeometry();
    const bool ok = shot.copy(frame).save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// The stitched sinogram of an offset-axis demo, as the Sinogram page draws it.
int offsetAxisShot(const QDir &data, const QDir &out)
{
    Body body;
    ProcCtrl *p = body.ui().procCtrl;
    p->setRotAxV(true);
    QSignalSpy loaded(&body, &Body::finishedLoadingCTFiles);
    body.ui().CTFiles->selectDirFiles(data.filePath(u"projections"_s), {});
    if (!loaded.wait(60000))
        return 1;
    body.ui().I0ImgSel->selectFile(data.filePath(u"i0.img"_s));
    body.ui().BGImgSel->selectFile(data.filePath(u"bg.img"_s));
    p->setDataSetRangeDeg(360.0);
    p->setOffsetAxis(true);
    if (!body.sinogram()->guessCor())
        return 1;
    const QImage sinogram = body.sinogram()->ui().DispSinogram->imgDisp()->image();
    const QString path = out.filePath(u"offsetaxis-sinogram.png"_s);
    const bool ok = !sinogram.isNull() && sinogram.save(path);
    std::printf("%s %s (axis %g)\n", ok ? "wrote" : "could not write", qPrintable(path), p->cor());
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    QStringList args = QApplication::arguments();
    std::vector<std::unique_ptr<QTranslator>> translators;
    if (args.removeAll(u"--ja"_s) > 0)
        translators = installJapanese();
    if (args.size() == 4 && args.at(1) == u"--offset-axis"_s)
        return offsetAxisShot(QDir(args.at(2)), QDir(args.at(3)));
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: quorvel-shots [--ja] DEMO_DATA_DIR OUT_DIR [WIDTHxHEIGHT]\n");
        return 2;
    }
    const QDir data(args.at(1));
    const QDir out(args.at(2));
    QSize size = QApplication::primaryScreen()->availableGeometry().size();
    if (args.size() > 3) {
        const QStringList wh = args.at(3).split(u'x');
        if (wh.size() == 2)
            size = QSize(wh.at(0).toInt(), wh.at(1).toInt());
    }

    Body body;
    body.move(0, 0);
    body.resize(size);
    body.show();
    if (!QTest::qWaitForWindowExposed(&body))
        return 1;

    ProcCtrl *p = body.ui().procCtrl;
    p->setRotAxV(true);
    QSignalSpy loaded(&body, &Body::finishedLoadingCTFiles);
    body.ui().CTFiles->selectDirFiles(data.filePath(u"projections"_s), {});
    if (!loaded.wait(60000))
        return 1;
    body.ui().I0ImgSel->selectFile(data.filePath(u"i0.img"_s));
    body.ui().BGImgSel->selectFile(data.filePath(u"bg.img"_s));
    body.sinogram()->ui().GuessCor->click();

    body.ui().ImgsTab->setCurrentWidget(body.ui().SinogramTab);
    if (!shoot(body, out.filePath(u"sinogram.png"_s)))
        return 1;

    // The current slice at the guessed centre ± 5 pixels on the CoR Scan page.
    QSignalSpy scanned(&body, &Body::corScanFinished);
    body.corScanPanel()->ui().StartScan->click();
    if (!scanned.wait(300000))
        return 1;
    body.ui().ImgsTab->setCurrentWidget(body.ui().ImgsTab->findChild<QWidget *>(u"CorScanTab"_s));
    if (!shoot(body, out.filePath(u"corscan.png"_s)))
        return 1;

    QTemporaryDir saved;
    p->setAutoExec(true);
    p->setSliceFrom(60);
    p->setSliceTo(200);
    p->setSliceStep(10);
    for (SelectSaveDir *s : {body.ui().SelectImageSaveDir, body.ui().SelectDataSaveDir}) {
        s->setDir(saved.path());
        s->setName(u"demo"_s);
        s->setTag(u"E0"_s);
    }
    body.ui().AutoSaveImage->setChecked(true);
    body.ui().AutoSaveData->setChecked(true);
    QSignalSpy finished(&body, &Body::calcFinished);
    body.ui().CalcCT->click();
    if (!finished.wait(300000))
        return 1;
    body.ui().ImgsTab->setCurrentWidget(body.ui().CTImagesTab);
    if (!shoot(body, out.filePath(u"screenshot.png"_s)))
        return 1;

    // The slices just saved (60 … 200 every 10) as a volume, turned to show its depth.
    CtView *view = body.ctView();
    for (int i = 0; i < body.ui().ImgsTab->count(); ++i) {
        if (body.ui().ImgsTab->widget(i)->isAncestorOf(view))
            body.ui().ImgsTab->setCurrentIndex(i);
    }
    SlicesCtrl *set = view->sets().front();
    QSignalSpy stacked(set->datas(), &SliceDatas::loadFilesFinished);
    set->takeRunFolder(saved.path());
    if (!stacked.wait(60000))
        return 1;
    QTest::qWait(200);
    view->updateNvs({1.0, 0.0, 0.0}, 1.1);
    view->updateNvs({0.0, 1.0, 0.0}, 0.5);
    if (!shoot(body, out.filePath(u"volumeview.png"_s)))
        return 1;

    // A log file picked up with the projections is refused, and said so.
    QFile stray(saved.filePath(u"scan.log"_s));
    if (!stray.open(QIODevice::WriteOnly) || stray.write("exposure 1.0 s\n") < 0)
        return 1;
    stray.close();
    body.ui().CTFiles->ui().AddFiles->setChecked(true);
    body.ui().CTFiles->filesChosen({stray.fileName()});
    if (!loaded.wait(60000))
        return 1;
    body.ui().ImgsTab->setCurrentWidget(body.ui().RawImageTab);
    body.ui().seekCtrl->setValue(45);
    body.updateRawImage();
    QTest::qWait(100);
    // The grey window narrowed with the bar's handles, the cursor on the projection.
    ColorBar *bar = body.rawDisp()->colorBar();
    const QRect r = bar->barRect();
    auto drag = [bar, r](double from, double to) {
        const QPoint a(r.center().x(), r.top() + int(r.height() * (1 - from)));
        const QPoint b(r.center().x(), r.top() + int(r.height() * (1 - to)));
        QTest::mousePress(bar, Qt::LeftButton, {}, a);
        moveTo(bar, b, Qt::LeftButton);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, b);
    };
    drag(1.0, 0.8);
    drag(0.01, 0.15);
    DispB *area = body.rawDisp()->area();
    const QRectF pic = body.rawDisp()->pictureRect();
    QTest::mouseMove(area, (pic.topLeft() + QPointF(0.62 * pic.width(), 0.35 * pic.height())).toPoint());
    return shoot(body, out.filePath(u"rawimage.png"_s)) ? 0 : 1;
}
