// Takes the README's picture of the "XANES" tab: the real main window on the demo's aligned series,
// its maps made, the share of the "metal" species shown at the middle slice and the spectrum of a
// voxel of insert A plotted; then the screen is taken with ImageMagick's `import -window root`.
//
//   quorvel-xanes-shot XANES_DEMO_DIR OUT.png [WIDTHxHEIGHT [X Y]] [--ja]
//
// XANES_DEMO_DIR is what quorvel-demo --xanes wrote, with slices/aligned.h5 as demo/run.sh makes it.
// Run it on an X server of that size (xvfb-run -s "-screen 0 1366x768x24").

// Qt
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTest>
#include <QTranslator>

// Local
#include "app/body.h"
#include "app/startup.h"
#include "widgets/dispb.h"
#include "widgets/imgdispwcbar.h"
#include "xafs/ui/spectrumplot.h"
#include "xafs/ui/xanespanel.h"
#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    QStringList args = QApplication::arguments();
    const bool japanese = args.removeAll(u"--ja"_s) > 0;
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: quorvel-xanes-shot XANES_DEMO_DIR OUT.png [WIDTHxHEIGHT [X Y]] [--ja]\n");
        return 2;
    }
    const QDir data(args.at(1));
    QSize size = QApplication::primaryScreen()->availableGeometry().size();
    if (args.size() > 3) {
        const QStringList wh = args.at(3).split(u'x');
        if (wh.size() == 2)
            size = QSize(wh.at(0).toInt(), wh.at(1).toInt());
    }
    std::vector<std::unique_ptr<QTranslator>> translators;
    if (japanese)
        translators = installJapanese();

    Body body;
    body.move(0, 0);
    body.resize(size);
    body.show();
    if (!QTest::qWaitForWindowExposed(&body))
        return 1;
    XanesPanel *tab = body.xanesPanel();
    for (const QString &line : {u"show_xanes"_s, u"xanes_source "_s + data.filePath(u"slices/aligned.h5"_s),
             u"xanes_edge 7112"_s, u"xanes_pre -72:-10"_s,
             u"xanes_standards metal=%1,oxide=%2"_s.arg(
                 data.filePath(u"standards/metal.txt"_s), data.filePath(u"standards/oxide.txt"_s))})
        body.execCommand(parseBatchCmd(line));
    QSignalSpy analysed(tab, &XanesPanel::analysisEnded);
    tab->controls().analyse->click();
    if (!analysed.wait(300000) || !tab->maps())
        return 1;
    tab->controls().map->setCurrentIndex(tab->maps()->plan->mapIndex(u"fraction-metal"_s));
    tab->controls().slice->setValue(tab->maps()->shape.nz / 2);
    QTest::qWait(200);

    // A voxel of insert A (left of the centre, see composition.tsv), then the cursor on the plot.
    ImgDispWCBar *view = tab->mapView();
    const QRectF pic = view->pictureRect();
    // Where to click, as fractions of the picture's width and height (insert A of the demo).
    const double x = args.size() > 4 ? args.at(4).toDouble() : 0.43;
    const double y = args.size() > 5 ? args.at(5).toDouble() : 0.53;
    QSignalSpy shown(tab, &XanesPanel::spectrumShown);
    QTest::mouseClick(view->area(), Qt::LeftButton, {}, (pic.topLeft() + QPointF(x * pic.width(), y * pic.height())).toPoint());
    if (!shown.wait(30000))
        return 1;
    SpectrumPlot *plot = tab->spectrumPlot();
    QTest::mouseMove(plot, QPoint(int(plot->width() * 0.42), plot->height() / 3));
    QTest::qWait(400);
    const int status = QProcess::execute(u"import"_s, {u"-window"_s, u"root"_s, args.at(2)});
    std::printf("%s %s\n", status == 0 ? "wrote" : "could not write", qPrintable(args.at(2)));
    return status == 0 ? 0 : 1;
}
