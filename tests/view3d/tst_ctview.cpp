// Qt
#include <QDir>
#include <QPainter>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "testsupport/mouseevents.h"
#include "tests/common/debuglog.h"
#include "view3d/runslices.h"
#include "view3d/slicedatas.h"
#include "view3d/ui/ctview.h"
#include "view3d/ui/slicesctrl.h"
#include "widgets/dispa.h"
#include "widgets/exlabel.h"
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>

using namespace Qt::StringLiterals;

class TestCtView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void fixupAlpha_data();
    void fixupAlpha();
    void histogramMarkers_data();
    void histogramMarkers();
    void coloursAndLinkedCrossSectionsOfTheSets();
    void fromLoadingToSavedPictures();
    void destroyedWhileLoading();
    void runFolderGathersItsSlices_data();
    void runFolderGathersItsSlices();
    void selectRunStacksTheSubFolders();

private:
    std::unique_ptr<CtView> shownView();
    /// Loads the files into a set through its loader thread and waits for the picture.
    bool load(SlicesCtrl *set, const QStringList &files);
    /// A CT image data file of nx × ny values.
    QString ctFile(const QString &name, int nx, int ny, const std::function<double(int x, int y)> &value);
    QTemporaryDir dir_;
    QStringList stack_;
};

void TestCtView::initTestCase()
{
    // 16 × 12 values from 0 to 20 − k.
    for (int k = 0; k < 6; ++k)
        stack_ << ctFile(
            u"s%1.dat"_s.arg(k), 16, 12, [k](int x, int y) { return (20 - k) * (x + y) / 26.0; });
}

QString TestCtView::ctFile(
    const QString &name, int nx, int ny, const std::function<double(int x, int y)> &value)
{
    QByteArray text = "#QRVL-CTImg\n# Range_X0 : 0\n# Range_Y0 : 0\n# Range_X1 : "
        + QByteArray::number(nx - 1) + "\n# Range_Y1 : " + QByteArray::number(ny - 1) + "\n";
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            text += QByteArray::number(x) + '\t' + QByteArray::number(y) + '\t'
                + QByteArray::number(value(x, y)) + '\n';
    const QString path = dir_.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        qFatal("cannot write a test file");
    return path;
}

std::unique_ptr<CtView> TestCtView::shownView()
{
    auto view = std::make_unique<CtView>(dir_.path());
    view->resize(900, 700);
    view->show();
    return view;
}

bool TestCtView::load(SlicesCtrl *set, const QStringList &files)
{
    // The panel takes the stack and then hears of the end, which repaints: both queued to this thread.
    QSignalSpy painted(set, &SlicesCtrl::paintPImg);
    SliceDatas *datas = set->datas();
    QMetaObject::invokeMethod(
        datas, [datas, files] { datas->filesSelected(files); }, Qt::QueuedConnection);
    if (!QTest::qWaitFor([set] { return set->hasData(); }, 10000))
        return false;
    QCoreApplication::processEvents();
    return !painted.isEmpty();
}

void TestCtView::fixupAlpha_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("opacity");
    QTest::newRow("negative") << u"-5"_s << u"0"_s << 0;
    QTest::newRow("above 255") << u"300"_s << u"255"_s << 255;
    QTest::newRow("in range") << u"77"_s << u"77"_s << 77;
    QTest::newRow("not whole") << u"12.5"_s << u"12.5"_s << 0;
    QTest::newRow("not a number") << u"abc"_s << u"abc"_s << 0;
}

void TestCtView::fixupAlpha()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, opacity);
    CtView view(dir_.path());
    SlicesCtrl *set = view.sets().front();
    QSignalSpy paints(set, &SlicesCtrl::paintPImg);
    set->ui().alpha_->setText(typed);
    emit set->ui().alpha_->editingFinished();
    QCOMPARE(set->ui().alpha_->text(), shown);
    QCOMPARE(set->opacity(), opacity);
    QCOMPARE(set->look().alpha, opacity);
    QCOMPARE(paints.count(), 1);
}

void TestCtView::histogramMarkers_data()
{
    QTest::addColumn<QString>("lower");
    QTest::addColumn<QString>("upper");
    QTest::addColumn<double>("pressAt"); // percent
    QTest::addColumn<double>("target");
    QTest::addColumn<bool>("movesLower");
    QTest::newRow("nearer the lower") << u"0.0"_s << u"100.0"_s << 30.0 << 40.0 << true;
    QTest::newRow("nearer the upper") << u"0.0"_s << u"100.0"_s << 70.0 << 60.0 << false;
    QTest::newRow("a tie takes the upper") << u"40"_s << u"60"_s << 50.0 << 80.0 << false;
}

void TestCtView::histogramMarkers()
{
    QFETCH(QString, lower);
    QFETCH(QString, upper);
    QFETCH(double, pressAt);
    QFETCH(double, target);
    QFETCH(bool, movesLower);
    auto view = shownView();
    SlicesCtrl *set = view->sets().front();
    Ui_SlicesCtrl &s = set->ui();
    QVERIFY(load(set, stack_));
    s.minThPC_->setText(lower);
    s.maxThPC_->setText(upper);
    ExLabel *h = s.dispH_;
    auto xOf = [h](double percent) { return int(std::lround(percent / 101.0 * h->width())); };
    QSignalSpy paints(set, &SlicesCtrl::paintPImg);
    QTest::mousePress(h, Qt::LeftButton, Qt::NoModifier, QPoint(xOf(pressAt), 10));
    moveTo(h, QPoint(xOf(target), 12), Qt::LeftButton);
    QTest::mouseRelease(h, Qt::LeftButton, Qt::NoModifier, QPoint(xOf(target), 12));
    moveTo(h, QPoint(xOf(90), 12)); // no marker after the release
    QLineEdit *moved = movesLower ? s.minThPC_ : s.maxThPC_;
    QLineEdit *kept = movesLower ? s.maxThPC_ : s.minThPC_;
    QVERIFY(std::abs(moved->text().toDouble() - target) < 101.0 / h->width());
    QCOMPARE(kept->text(), movesLower ? upper : lower);
    QCOMPARE(paints.count(), 1);
    // The data-unit field follows, over the range 0 … 20.
    QLineEdit *value = movesLower ? s.minTh_ : s.maxTh_;
    QCOMPARE(value->text(), QString::number(20 * moved->text().toDouble() / 100, 'g', 6));
}

void TestCtView::coloursAndLinkedCrossSectionsOfTheSets()
{
    CtView view(dir_.path());
    for (int i = 0; i < 3; ++i)
        view.ui().addSliceSet_->click();
    QCOMPARE(int(view.sets().size()), 4);
    // Colours by number, the fourth set starting over; only the first set is opaque.
    const QColor volume[] {{0, 127, 127}, {127, 0, 127}, {127, 127, 0}, {0, 127, 127}};
    const QColor section[] {{127, 0, 0}, {0, 127, 0}, {0, 0, 127}, {127, 0, 0}};
    for (int n = 0; n < 4; ++n) {
        SlicesCtrl *set = view.sets()[size_t(n)];
        QCOMPARE(set->volumeColor(), volume[n]);
        QCOMPARE(set->sectionColor(), section[n]);
        QCOMPARE(set->ui().alpha_->text(), n == 0 ? u"255"_s : u"128"_s);
        QCOMPARE(set->ui().showB_->text(), u"Show Setup %1"_s.arg(n + 1));
        QCOMPARE(set->ui().showB2_->text(), u"Show Setup %1"_s.arg(n + 1));
        QCOMPARE(view.ui().slicesCtrlsLayout_->itemAtPosition(n, 0)->widget(), set);
    }
    SlicesCtrl *a = view.sets()[0], *b = view.sets()[1], *c = view.sets()[2];
    // Unlinked, a section's direction follows the view unless it is fixed.
    b->ui().csFixDir_->setChecked(true);
    view.updateNvs({0, 1, 0}, 0.5);
    QCOMPARE(a->sectionDir(), view.frame().nz);
    QCOMPARE(b->sectionDir(), (Vec3 {0, 0, 1}));
    b->ui().csFixDir_->setChecked(false);
    a->ui().cSlider_->setValue(30);
    QCOMPARE(b->ui().cSlider_->value(), 0);
    view.ui().linkCSection_->setChecked(true);
    a->ui().csFixDir_->setChecked(true);
    a->ui().cSlider_->setValue(40);
    QCOMPARE(b->ui().cSlider_->value(), 40);
    QCOMPARE(c->ui().cSlider_->value(), 40);
    QVERIFY(b->ui().csFixDir_->isChecked() && c->ui().csFixDir_->isChecked());
    c->ui().cSlider_->setValue(-25);
    QCOMPARE(a->ui().cSlider_->value(), -25);
    QCOMPARE(b->ui().cSlider_->value(), -25);
    // The section plane sits at slider/100 of the stack's slices.
    QCOMPARE(a->look().cs, 0.0); // no stack yet
}

void TestCtView::fromLoadingToSavedPictures()
{
    auto view = shownView();
    Ui_CtView &ui = view->ui();
    DispA *disp = ui.dispA_;
    // The picture is made at the display's size: no pixel of it is stretched.
    QCOMPARE(view->chosenWidth(), disp->width());
    QCOMPARE(view->chosenHeight(), disp->height());
    QVERIFY(view->imageFormats().contains(u"png"_s));
    QCOMPARE(ui.saveImage_->toolTip(),
        u"Save the picture as %1 or svg by the name's suffix (png without one)"_s.arg(
            view->imageFormats().join(u' ')));
    QCOMPARE(int(view->sets().size()), 1);
    SlicesCtrl *set = view->sets().front();
    Ui_SlicesCtrl &s = set->ui();
    QVERIFY(s.showB_->isChecked() && s.showB2_->isChecked());
    QVERIFY(s.showB_->isHidden());
    QVERIFY(s.slicesCtrlFrame_->isVisible());
    QCOMPARE(set->sectionDir(), view->frame().nz);
    QCOMPARE(s.dispVColor_->pixmap().toImage().pixelColor(7, 13), QColor(0, 127, 127));
    QVERIFY(!set->hasData());
    // Either button collapses the panel and opens it again.
    s.showB2_->click();
    QVERIFY(!s.showB_->isChecked() && !s.showB2_->isChecked());
    QVERIFY(s.showB_->isVisible());
    QVERIFY(!s.slicesCtrlFrame_->isVisible());
    s.showB_->click();
    QVERIFY(s.showB_->isChecked() && s.showB2_->isChecked());
    QVERIFY(!s.showB_->isVisible());
    QVERIFY(s.slicesCtrlFrame_->isVisible());

    auto coloured = [disp] {
        const QImage shot = disp->grab().toImage();
        int n = 0;
        for (int y = 0; y < shot.height(); y += 5)
            for (int x = 0; x < shot.width(); x += 5) {
                const QColor c = shot.pixelColor(x, y);
                n += c.green() - c.red() > 40; // the first set's colour, (0, 127, 127) shaded
            }
        return n;
    };
    view->paintPImg();
    QCOMPARE(coloured(), 0);
    // The wheel zooms by a tenth a notch, even without data: a part of a notch not at all, several
    // notches in one event by one step.
    wheel(disp, QPoint(100, 100), 120);
    wheel(disp, QPoint(100, 100), 120);
    QCOMPARE(view->frame().viewScale, 0.81);
    wheel(disp, QPoint(100, 100), 30);
    QCOMPARE(view->frame().viewScale, 0.81);
    wheel(disp, QPoint(100, 100), -360);
    QCOMPARE(view->frame().viewScale, 0.9);
    QVERIFY(load(set, stack_));
    QVERIFY(coloured() > 20);
    // The first data fill the picture: 16 x 12 pixels in a display of hundreds.
    const double fit = std::max(16.0 / view->chosenWidth(), 12.0 / view->chosenHeight()) / 0.9;
    QVERIFY(std::abs(view->frame().viewScale - fit) < 1e-9);
    QCOMPARE(view->picture().size(), disp->size());

    // The window, in data units and in percent of the range.
    QCOMPARE(s.nameList_->count(), 6);
    QCOMPARE(s.rMinV_->text(), u"0"_s);
    QCOMPARE(s.rMaxV_->text(), u"20"_s);
    QCOMPARE(s.minTh_->text(), u"0"_s);
    QCOMPARE(s.maxTh_->text(), u"20"_s);
    QSignalSpy paints(set, &SlicesCtrl::paintPImg);
    s.minThPC_->setText(u"25"_s);
    emit s.minThPC_->editingFinished();
    QCOMPARE(s.minTh_->text(), u"5"_s);
    s.maxTh_->setText(u"13"_s);
    emit s.maxTh_->editingFinished();
    QCOMPARE(s.maxThPC_->text(), u"65"_s);
    s.maxThPC_->setText(u"33.3333333"_s);
    emit s.maxThPC_->editingFinished();
    QCOMPARE(s.maxTh_->text(), u"6.66667"_s); // 6 significant digits
    QCOMPARE(paints.count(), 3);
    // The renderer's window comes from the percent fields over the range.
    QCOMPARE(set->look().thMin, 5.0);
    QCOMPARE(set->look().thMax, 0 + 33.3333333 * 20 / 100);

    ui.imgPixWidth_->setText(u"1024"_s);
    ui.imgPixHeight_->setText(u"768"_s);
    emit ui.imgPixWidth_->editingFinished();
    QCOMPARE(view->picture().size(), QSize(1024, 768));
    const int w = disp->width(), h = disp->height();
    // Half the width in the middle: a quarter turn about the picture's y axis.
    QTest::mousePress(disp, Qt::LeftButton, Qt::NoModifier, QPoint(w / 4, h / 2));
    moveTo(disp, QPoint(w / 2, h / 2), Qt::LeftButton);
    QCOMPARE(view->picture().size(), QSize(256, 192)); // the working size while dragging
    moveTo(disp, QPoint(3 * w / 4, h / 2), Qt::LeftButton);
    QTest::mouseRelease(disp, Qt::LeftButton, Qt::NoModifier, QPoint(3 * w / 4, h / 2));
    QCOMPARE(view->picture().size(), QSize(1024, 768));
    const double turned = std::numbers::pi * (3 * w / 4 - w / 4) / double(w);
    QVERIFY(norm(view->frame().nz - Vec3 {-std::sin(turned), 0, std::cos(turned)}) < 1e-9);

    // Shift-drag and right drag move the picture; with Ctrl nothing happens.
    const Vec3 before = view->frame().panOffset;
    leftDrag(disp, QPoint(w / 2, h / 2), QPoint(w / 2 + w / 10, h / 2), Qt::ShiftModifier);
    const Vec3 moved = view->frame().panOffset;
    QVERIFY(norm(moved - before
                - (-std::trunc(1024 * view->frame().viewScale) * ((w / 2 + w / 10 - w / 2) / double(w)))
                    * view->frame().nx)
        < 1e-9);
    QTest::mousePress(disp, Qt::RightButton, Qt::NoModifier, QPoint(w / 2, h / 2));
    moveTo(disp, QPoint(w / 2, h / 4), Qt::RightButton);
    QTest::mouseRelease(disp, Qt::RightButton, Qt::NoModifier, QPoint(w / 2, h / 4));
    QVERIFY(dot(view->frame().panOffset - moved, view->frame().ny) > 0);
    const ViewFrame kept = view->frame();
    leftDrag(disp, QPoint(w / 2, h / 2), QPoint(w / 3, h / 3), Qt::ControlModifier);
    QCOMPARE(view->frame().nz, kept.nz);
    QCOMPARE(view->frame().panOffset, kept.panOffset);

    // Near the left edge, an upward drag turns about the viewing direction.
    const Vec3 nz = view->frame().nz;
    QTest::mousePress(disp, Qt::LeftButton, Qt::NoModifier, QPoint(w / 20, h / 2));
    moveTo(disp, QPoint(w / 20, h / 4), Qt::LeftButton);
    QTest::mouseRelease(disp, Qt::LeftButton, Qt::NoModifier, QPoint(w / 20, h / 4));
    QVERIFY(norm(view->frame().nz - nz) < 1e-12);
    QVERIFY(norm(view->frame().nx - kept.nx) > 0.1);

    // Saved by the name's suffix; without a known one as PNG, named so.
    ui.imgPixWidth_->setText(u"300"_s);
    ui.imgPixHeight_->setText(u"200"_s);
    emit ui.imgPixWidth_->editingFinished();
    QTemporaryDir out;
    const QList<std::pair<QString, QString>> names {{u"pic.png"_s, u"pic.png"_s},
        {u"pic2.JPG"_s, u"pic2.JPG"_s}, {u"pic.svg"_s, u"pic.svg"_s}, {u"pic.xyz"_s, u"pic.xyz.png"_s},
        {u"pic3"_s, u"pic3.png"_s}};
    for (const auto &[name, written] : names) {
        const QString path = out.filePath(written);
        if (written != name)
            QTest::ignoreMessage(QtInfoMsg,
                qPrintable(u"No picture format is known by the suffix of %1: saved as PNG"_s.arg(
                    out.filePath(name))));
        if (!name.endsWith(u".svg"_s))
            QTest::ignoreMessage(QtInfoMsg, qPrintable(u"saving "_s + path));
        view->saveImage(out.filePath(name));
        QVERIFY2(QFile::exists(path), qPrintable(path));
        if (!name.endsWith(u".svg"_s)) {
            QCOMPARE(QImage(path).size(), QSize(300, 200));
            continue;
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray svg = f.readAll();
        // Sized in pixels: other programs open it at 300 x 200, not at millimetres of 72 dpi.
        QVERIFY2(svg.contains(" width=\"300\" height=\"200\""), svg.left(400).constData());
        QVERIFY(svg.contains("<image")); // the volume as one embedded picture
        QVERIFY(svg.size() < 300 * 200 * 4 * 2); // not a vector point per pixel
        QSvgRenderer renderer(path);
        QVERIFY(renderer.isValid());
        QCOMPARE(renderer.viewBox(), QRect(0, 0, 300, 200));
        // Drawn at its own size, it looks like the raster picture.
        QImage drawn(300, 200, QImage::Format_ARGB32);
        drawn.fill(Qt::transparent);
        QPainter p(&drawn);
        renderer.render(&p);
        p.end();
        const QImage picture = view->picture();
        int far = 0;
        for (int y = 0; y < 200; y += 7)
            for (int x = 0; x < 300; x += 7)
                far += std::abs(qGreen(drawn.pixel(x, y)) - qGreen(picture.pixel(x, y))) > 40;
        QVERIFY(far < 20);
    }
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), names.size()); // nothing else
    QCOMPARE(view->saveDirectory(), out.path());
}

void TestCtView::destroyedWhileLoading()
{
    // Files large enough that the whole list takes seconds to read.
    const QStringList many(400, ctFile(u"big.dat"_s, 300, 300, [](int x, int y) { return x * y; }));
    auto view = shownView();
    SlicesCtrl *set = view->sets().front();
    QSignalSpy loaded(set->datas(), &SliceDatas::loadedNewFile);
    SliceDatas *datas = set->datas();
    QMetaObject::invokeMethod(
        datas, [datas, many] { datas->filesSelected(many); }, Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 10000);
    view.reset(); // stops the loader at its next file and waits for it
    QVERIFY(loaded.count() < many.size());
}

void TestCtView::runFolderGathersItsSlices_data()
{
    QTest::addColumn<QStringList>("saved"); // under the run's folder
    QTest::addColumn<QStringList>("stacked");
    QTest::addColumn<QString>("leftOut");
    QTest::newRow("of slice, data files and TIFF")
        << QStringList {u"00012/c-E01-00012.dat"_s, u"00003/c-E01-00003.dat"_s, u"00100/c-E01-00100.dat"_s,
               u"00012/c-E01-00012.tif"_s, u"00003/c-E01-00003.tif"_s, u"00100/c-E01-00100.tif"_s,
               u"setup.cfg"_s}
        << QStringList {u"00003/c-E01-00003.dat"_s, u"00012/c-E01-00012.dat"_s, u"00100/c-E01-00100.dat"_s}
        << u"3 files of other kinds (only data files are stacked)"_s;
    QTest::newRow("of energy and slice: one tag")
        << QStringList {u"E02/00001/c-E02-00001.dat"_s, u"E01/00002/c-E01-00002.dat"_s,
               u"E01/00001/c-E01-00001.dat"_s, u"E01/00003/c-E01-00003.dat"_s}
        << QStringList {u"E01/00001/c-E01-00001.dat"_s, u"E01/00002/c-E01-00002.dat"_s,
               u"E01/00003/c-E01-00003.dat"_s}
        << u"1 files of other names or tags"_s;
    QTest::newRow("in the folder itself, PNG")
        << QStringList {u"E01-00002.png"_s, u"E01-00001.png"_s}
        << QStringList {u"E01-00001.png"_s, u"E01-00002.png"_s} << QString();
    QTest::newRow("no slices") << QStringList {u"notes.txt"_s} << QStringList {} << QString();
}

void TestCtView::runFolderGathersItsSlices()
{
    QFETCH(QStringList, saved);
    QFETCH(QStringList, stacked);
    QFETCH(QString, leftOut);
    QTemporaryDir run;
    for (const QString &name : saved) {
        QVERIFY(QDir(run.path()).mkpath(QFileInfo(name).path()));
        QFile f(run.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const SliceFileChoice choice = runSliceFiles(run.path());
    QStringList relative;
    for (const QString &f : choice.files)
        relative << QDir(run.path()).relativeFilePath(f);
    QCOMPARE(relative, stacked);
    QCOMPARE(choice.leftOutText(), leftOut);
}

void TestCtView::selectRunStacksTheSubFolders()
{
    // A run saved as "of slice": "Select Run…" stacks the slices of its sub-folders in slice order.
    QTemporaryDir run;
    for (int slice : {70, 50, 60}) {
        const QString sub = u"%1"_s.arg(slice, 5, 10, QChar(u'0'));
        QVERIFY(QDir(run.path()).mkpath(sub));
        const QString name = sub + u"/c-E01-"_s + sub + u".dat"_s;
        QVERIFY(QFile::copy(stack_.value(slice / 10 - 5), run.filePath(name)));
        // A run saves its images beside the data files: passed over as information, not a warning.
        QFile png(run.filePath(sub + u"/c-E01-"_s + sub + u".png"_s));
        QVERIFY(png.open(QIODevice::WriteOnly));
    }
    auto view = shownView();
    SlicesCtrl *set = view->sets().front();
    set->setSaveFolder(run.path());
    set->ui().selectRunB_->click();
    QVERIFY(set->runDialog());
    QCOMPARE(QDir(set->runDialog()->directory()).absolutePath(), QDir(run.path()).absolutePath());
    set->runDialog()->close();
    QSignalSpy painted(set, &SlicesCtrl::paintPImg);
    QTest::failOnWarning(QRegularExpression(u"3D View"_s));
    QTest::ignoreMessage(QtInfoMsg,
        QRegularExpression(u"^3D View: 3 slices of .* are stacked; left out: 3 files of other kinds"_s));
    set->takeRunFolder(run.path());
    QTRY_VERIFY_WITH_TIMEOUT(set->hasData(), 10000);
    QCOMPARE(set->stack()->count(), 3);
    // Slices saved every 10 make a box 30 deep, 10 planes of each; a typed spacing overrides it.
    QCOMPARE(set->depth(), 30.0);
    QCOMPARE(int(set->look().planes.size()), 30);
    QCOMPARE(set->look().planes.back().slice, 2);
    set->ui().spacing_->setValue(2.0);
    QCOMPARE(set->depth(), 6.0);
    QCOMPARE(int(set->look().planes.size()), 6); // two planes of each slice
    {
        // Each step of the spin box restacks; the spacing typed is said once, when the field is left.
        DebugLog log;
        set->ui().spacing_->stepUp();
        set->ui().spacing_->stepUp();
        QVERIFY(set->depth() > 6.0);
        QCOMPARE(log.count(u"^3D View: "_s), 0);
        emit set->ui().spacing_->editingFinished();
        QCOMPARE(log.count(u"^3D View: 3 slices stacked \\S+ apart, as typed$"_s), 1);
        QCOMPARE(log.count(u"^3D View: "_s), 1);
    }
    set->ui().spacing_->setValue(0.0);
    QCOMPARE(set->ui().spacing_->text(), u"Auto"_s);
    QCOMPARE(set->depth(), 30.0);
    // A selection of mixed kinds keeps the kind most files are, and says what it left out.
    QVERIFY(QFile::copy(stack_.value(0), dir_.filePath(u"odd.tif"_s)));
    QTest::ignoreMessage(QtWarningMsg,
        "3D View: 2 of 3 files are stacked; left out: 1 files of other kinds (only data files are stacked)");
    set->takeFiles({stack_.value(1), dir_.filePath(u"odd.tif"_s), stack_.value(2)});
    QTRY_VERIFY_WITH_TIMEOUT(set->hasData() && set->stack()->count() == 2, 10000);
}

QTEST_MAIN(TestCtView)
#include "tst_ctview.moc"
