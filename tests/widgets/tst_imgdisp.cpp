// Qt
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "config/configstore.h"
#include "testsupport/mouseevents.h"
#include "widgets/chcoord.h"
#include "widgets/dispb.h"
#include "widgets/imgdisp.h"
#include "widgets/imgdispwpv.h"
#include "widgets/mousec.h"
#include <QCheckBox>
#include <cmath>

namespace {

QImage ramp(int w, int h)
{
    QImage img(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.scanLine(y)[x] = static_cast<uchar>((x + 3 * y) % 256);
    return img;
}

bool near(QPointF a, QPointF b)
{
    return (a - b).manhattanLength() < 1e-9;
}

/// A white disk of radius r on black, centred in a w × h image.
QImage disk(int w, int h, double r)
{
    QImage img(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.scanLine(y)[x] = std::hypot(x + 0.5 - w / 2.0, y + 0.5 - h / 2.0) < r ? 255 : 0;
    return img;
}

/// Columns and rows of `shot` that hold a bright pixel: the drawn disk's width and height.
QSize brightExtent(const QImage &shot)
{
    int x0 = shot.width(), x1 = -1, y0 = shot.height(), y1 = -1;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (qGray(shot.pixel(x, y)) > 200) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    return QSize(x1 - x0 + 1, y1 - y0 + 1);
}

} // namespace

/// The image display, and what it is built on: the coordinate mapping and the mouse state. The
/// display is 400 × 300 and shows an 80 × 60 image: 5 screen pixels per image pixel at first.
class TestImgDisp : public QObject
{
    Q_OBJECT

private slots:
    void coordRoundTrip_data();
    void coordRoundTrip();
    void coordInvertedYAndClamp();
    void mStatFromMouseEvents_data();
    void mStatFromMouseEvents();
    void mStatCrossesQueuedConnections();
    void init();
    void cleanup();
    void laterImageKeepsViewUntilReset_data();
    void laterImageKeepsViewUntilReset();
    void wheelZoomsAboutCursor_data();
    void wheelZoomsAboutCursor();
    void leftDragPans();
    void shiftDragSelects_data();
    void shiftDragSelects();
    void releaseReportsPoint_data();
    void releaseReportsPoint();
    void overlayDrawnOverView();
    void saveImageWritesVisiblePart();
    void diskStaysRound_data();
    void diskStaysRound();
    void mouseFollowsPicture_data();
    void mouseFollowsPicture();
    void stretchedByConfigOrBox();

private:
    ImgDisp *disp_ = nullptr;
    DispB *area_ = nullptr;
};

void TestImgDisp::init()
{
    disp_ = new ImgDisp;
    disp_->resize(400, 300);
    disp_->show();
    QVERIFY(QTest::qWaitForWindowExposed(disp_));
    area_ = disp_->area();
    QCOMPARE(area_->size(), QSize(400, 300));
}

void TestImgDisp::cleanup()
{
    delete disp_;
}

void TestImgDisp::laterImageKeepsViewUntilReset_data()
{
    QTest::addColumn<QSize>("second");
    QTest::addColumn<bool>("zoomed"); // else the view shows the whole first image
    QTest::newRow("larger, zoomed") << QSize(200, 100) << true;
    QTest::newRow("smaller, zoomed") << QSize(20, 10) << true;
    QTest::newRow("taller, whole") << QSize(80, 360) << false; // a sinogram of 1, then of 180 projections
    QTest::newRow("smaller, whole") << QSize(20, 10) << false;
}

void TestImgDisp::laterImageKeepsViewUntilReset()
{
    QFETCH(QSize, second);
    QFETCH(bool, zoomed);
    QSignalSpy newS(disp_, &ImgDisp::newS);
    disp_->setImage(QImage());
    QVERIFY(!disp_->isViewInitialised()); // an empty image does not count
    disp_->setImage(ramp(80, 60));
    QCOMPARE(disp_->view(), QRectF(0, 0, 80, 60));
    QCOMPARE(newS.count(), 1);

    if (zoomed)
        wheel(area_, QPoint(100, 100), 120);
    const QRectF before = disp_->view();
    newS.clear();
    disp_->setImage(ramp(second.width(), second.height()));
    // A zoomed view stays; one of the whole picture shows the whole new one.
    QCOMPARE(disp_->view(), zoomed ? before : QRectF(QPointF(0, 0), QSizeF(second)));
    disp_->setImage(ramp(second.width(), second.height()));
    QCOMPARE(disp_->view(), zoomed ? before : QRectF(QPointF(0, 0), QSizeF(second)));
    disp_->resetScale();
    QCOMPARE(disp_->view(), QRectF(QPointF(0, 0), QSizeF(second)));
    disp_->setView(QRectF(1, 2, 3, 4));
    QCOMPARE(disp_->view(), QRectF(1, 2, 3, 4));
    QCOMPARE(newS.count(), 0); // neither a new image, nor the reset, nor setView announce
}

void TestImgDisp::wheelZoomsAboutCursor_data()
{
    QTest::addColumn<QRectF>("start");
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<int>("angleDelta");
    QTest::addColumn<int>("steps"); // whole notches, 120 each
    QTest::addColumn<double>("factor");
    const QRectF part(13.25, -4.5, 31, 17);
    QTest::newRow("forward, centre, whole image")
        << QRectF(0, 0, 80, 60) << QPoint(200, 150) << 120 << 1 << 1 / 1.1;
    QTest::newRow("forward, off centre") << part << QPoint(351, 17) << 120 << 1 << 1 / 1.1;
    QTest::newRow("back, off centre") << part << QPoint(37, 260) << -120 << -1 << 1.1;
    QTest::newRow("two notches in one event: one step") << part << QPoint(120, 80) << 240 << 2 << 1 / 1.1;
    QTest::newRow("two back: one step out") << part << QPoint(30, 40) << -240 << -2 << 1.1;
    // A high-resolution wheel or a touchpad: fractions of a notch zoom by their fraction, their way.
    QTest::newRow("half a notch back: out by half a step")
        << part << QPoint(30, 40) << -60 << 0 << std::pow(1.1, 0.5);
    QTest::newRow("a quarter notch forward: in by a quarter step")
        << part << QPoint(200, 150) << 30 << 0 << std::pow(1.1, -0.25);
}

void TestImgDisp::wheelZoomsAboutCursor()
{
    QFETCH(QRectF, start);
    QFETCH(QPoint, cursor);
    QFETCH(int, angleDelta);
    QFETCH(int, steps);
    QFETCH(double, factor);
    disp_->setImage(ramp(80, 60));
    disp_->setView(start);
    const QPointF under = disp_->imagePointAt(cursor);
    QSignalSpy newS(disp_, &ImgDisp::newS);
    QSignalSpy moved(area_, &DispB::wheelMoved0);
    wheel(area_, cursor, angleDelta);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.at(0).at(0).toInt(), steps);
    QCOMPARE(area_->mouse()->zoomFactor(), factor);
    QCOMPARE(area_->mouse()->pos(), cursor);
    const QRectF v = disp_->view();
    QVERIFY(qFuzzyCompare(v.width(), start.width() * factor));
    QVERIFY(qFuzzyCompare(v.height(), start.height() * factor));
    const QPointF now = disp_->imagePointAt(cursor);
    QVERIFY2(near(now, under),
        qPrintable(QStringLiteral("moved %1, %2").arg(now.x() - under.x()).arg(now.y() - under.y())));
    QCOMPARE(newS.count(), 1);
    QCOMPARE(newS.at(0).at(0).toRectF(), v);
}

void TestImgDisp::leftDragPans()
{
    disp_->setImage(ramp(80, 60));
    disp_->setView(QRectF(10, 10, 40, 30));
    const QPointF grabbed = disp_->imagePointAt(QPoint(100, 120));
    QSignalSpy newS(disp_, &ImgDisp::newS);
    leftDrag(area_, QPoint(100, 120), QPoint(250, 40));
    QVERIFY(near(disp_->imagePointAt(QPoint(250, 40)), grabbed));
    QCOMPARE(disp_->view().size(), QSizeF(40, 30));
    QCOMPARE(newS.count(), 2); // one per move
    // With Ctrl held a drag neither pans nor selects.
    const QRectF v = disp_->view();
    leftDrag(area_, QPoint(100, 100), QPoint(300, 200), Qt::ControlModifier);
    QCOMPARE(disp_->view(), v);
    QVERIFY(!disp_->isSelectionValid());
    // After the drags a plain click picks a point again.
    QSignalSpy point(disp_, &ImgDisp::selectedAPoint);
    QTest::mouseClick(area_, Qt::LeftButton, {}, QPoint(120, 90));
    QCOMPARE(point.count(), 1);
}

void TestImgDisp::shiftDragSelects_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QRectF>("selection");
    const QRectF previous(2, 4, 6, 8); // made first by a drag from (10, 20) to (40, 60)
    QTest::newRow("down right") << QPoint(50, 100) << QPoint(150, 250) << QRectF(10, 20, 20, 30);
    QTest::newRow("up left, normalised") << QPoint(150, 250) << QPoint(50, 100) << QRectF(10, 20, 20, 30);
    QTest::newRow("zero width keeps previous") << QPoint(50, 100) << QPoint(50, 250) << previous;
    QTest::newRow("zero height keeps previous") << QPoint(50, 100) << QPoint(150, 100) << previous;
}

void TestImgDisp::shiftDragSelects()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QRectF, selection);
    disp_->setImage(ramp(80, 60));
    leftDrag(area_, QPoint(10, 20), QPoint(40, 60), Qt::ShiftModifier);
    QCOMPARE(disp_->selection(), QRectF(2, 4, 6, 8));

    leftDrag(area_, from, to, Qt::ShiftModifier);
    QVERIFY(disp_->isSelectionValid());
    QCOMPARE(disp_->selection(), selection);
    QCOMPARE(disp_->view(), QRectF(0, 0, 80, 60)); // selecting does not pan

    QTest::mouseClick(area_, Qt::RightButton, Qt::ShiftModifier, QPoint(200, 200));
    QVERIFY(!disp_->isSelectionValid());
    QVERIFY(disp_->selection().isEmpty());
}

void TestImgDisp::releaseReportsPoint_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("code"); // -1: no report
    QTest::newRow("left") << Qt::LeftButton << Qt::KeyboardModifiers() << 0;
    QTest::newRow("left Alt") << Qt::LeftButton << Qt::KeyboardModifiers(Qt::AltModifier) << 3;
    QTest::newRow("right") << Qt::RightButton << Qt::KeyboardModifiers() << 8;
    QTest::newRow("right Ctrl: none") << Qt::RightButton << Qt::KeyboardModifiers(Qt::ControlModifier) << -1;
    QTest::newRow("middle: none") << Qt::MiddleButton << Qt::KeyboardModifiers() << -1;
}

void TestImgDisp::releaseReportsPoint()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, code);
    disp_->setImage(ramp(80, 60));
    disp_->setView(QRectF(3.5, 1.25, 40, 30)); // 10 screen pixels per image pixel
    QSignalSpy point(disp_, &ImgDisp::selectedAPoint);
    QSignalSpy pos(disp_, &ImgDisp::newPos);
    moveTo(area_, QPoint(31, 47));
    QCOMPARE(pos.at(0), (QVariantList {6, 5})); // image (6.6, 5.95), truncated
    QTest::mouseClick(area_, button, modifiers, QPoint(31, 47));
    QCOMPARE(point.count(), code < 0 ? 0 : 1);
    if (code < 0)
        return;
    QVERIFY(qFuzzyCompare(point.at(0).at(0).toDouble(), 6.6));
    QVERIFY(qFuzzyCompare(point.at(0).at(1).toDouble(), 5.95));
    QCOMPARE(int(point.at(0).at(2).value<MouseC::MStat>()), code);
}

void TestImgDisp::overlayDrawnOverView()
{
    // 4 × 4 image of 2 × 2 blocks; the view shows the top-right (green) block only.
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(Qt::red);
    QPainter(&img).fillRect(2, 0, 2, 2, Qt::green);
    disp_->setImage(img);
    disp_->setView(QRectF(2, 0, 2, 2));
    // The overlay hook marks image point (3, 1), the centre of the view, after the picture.
    ChCoord *coord = area_->coord();
    connect(area_, &DispB::drawImage2, disp_, [coord](QPainter *p) {
        const QPointF c = coord->realToScreen(QPointF(3, 1));
        p->fillRect(QRectF(c.x() - 5, c.y() - 5, 10, 10), Qt::magenta);
    });
    const QImage shot = area_->grab().toImage();
    QCOMPARE(QColor(shot.pixel(200, 150)), QColor(Qt::magenta));
    // The square view is drawn as the 300 × 300 square in the middle, the background beside it.
    QCOMPARE(disp_->pictureRect(), QRectF(50, 0, 300, 300));
    for (const QPoint p : {QPoint(51, 1), QPoint(348, 298), QPoint(200, 170)})
        QCOMPARE(QColor(shot.pixel(p)), QColor(Qt::green));
    for (const QPoint p : {QPoint(48, 150), QPoint(352, 150)})
        QCOMPARE(shot.pixel(p), disp_->palette().color(QPalette::Dark).rgb());
}

void TestImgDisp::saveImageWritesVisiblePart()
{
    const QImage img = ramp(80, 60);
    disp_->setImage(img);
    disp_->setView(QRectF(10.7, 5.2, 20.9, 15.5));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("part.png"));
    QVERIFY(disp_->saveImage(path));
    QCOMPARE(QImage(path).convertToFormat(QImage::Format_Grayscale8), img.copy(10, 5, 20, 15));
    QVERIFY(!disp_->saveImage(dir.filePath(QStringLiteral("no/such/dir/part.png"))));
}

void TestImgDisp::diskStaysRound_data()
{
    QTest::addColumn<QSize>("display");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QRectF>("view"); // empty: the whole image
    QTest::newRow("wide display") << QSize(400, 300) << QSize(101, 101) << QRectF();
    QTest::newRow("tall display") << QSize(300, 500) << QSize(101, 101) << QRectF();
    QTest::newRow("very wide, odd sizes") << QSize(1001, 203) << QSize(97, 97) << QRectF();
    QTest::newRow("wide image in a square") << QSize(360, 360) << QSize(160, 90) << QRectF();
    QTest::newRow("zoomed in") << QSize(500, 280) << QSize(101, 101) << QRectF(6, 8, 90, 90);
}

void TestImgDisp::diskStaysRound()
{
    QFETCH(QSize, display);
    QFETCH(QSize, image);
    QFETCH(QRectF, view);
    disp_->resize(display);
    QCOMPARE(area_->size(), display);
    disp_->setImage(disk(image.width(), image.height(), 0.4 * std::min(image.width(), image.height())));
    if (!view.isEmpty())
        disp_->setView(view);
    const QSize drawn = brightExtent(area_->grab().toImage());
    QVERIFY(drawn.width() > 10);
    QVERIFY2(std::abs(drawn.width() - drawn.height()) <= 1,
        qPrintable(QStringLiteral("%1 x %2").arg(drawn.width()).arg(drawn.height())));
    // As large as fits, centred.
    const QRectF pic = disp_->pictureRect();
    const QRectF whole(QPointF(0, 0), QSizeF(display));
    QVERIFY(
        std::abs(pic.width() - display.width()) < 1e-9 || std::abs(pic.height() - display.height()) < 1e-9);
    QVERIFY(whole.adjusted(-1e-9, -1e-9, 1e-9, 1e-9).contains(pic));
    QVERIFY((pic.center() - whole.center()).manhattanLength() < 1e-9);
    const QRectF v = disp_->view();
    QVERIFY(std::abs(pic.width() / v.width() - pic.height() / v.height()) < 1e-9); // square pixels
}

void TestImgDisp::mouseFollowsPicture_data()
{
    QTest::addColumn<QSize>("display");
    QTest::addColumn<QRectF>("view");
    QTest::newRow("wide display, whole image") << QSize(400, 300) << QRectF(0, 0, 60, 60);
    QTest::newRow("tall display, part") << QSize(240, 500) << QRectF(12.5, 7.25, 30, 20);
    QTest::newRow("odd display") << QSize(333, 211) << QRectF(-5, 3, 71, 13);
}

void TestImgDisp::mouseFollowsPicture()
{
    QFETCH(QSize, display);
    QFETCH(QRectF, view);
    disp_->resize(display);
    disp_->setImage(ramp(80, 60));
    disp_->setView(view);
    const QRectF pic = disp_->pictureRect();
    // The picture's corners are the view's corners; a click reports the image point under it.
    QVERIFY(near(disp_->imagePointAt(pic.topLeft()), view.topLeft()));
    QVERIFY(near(disp_->imagePointAt(pic.bottomRight()), view.bottomRight()));
    const QPointF target(view.x() + 0.37 * view.width(), view.y() + 0.61 * view.height());
    const ChCoord *c = area_->coord();
    const QPoint at = c->realToScreen(target).toPoint();
    QSignalSpy point(disp_, &ImgDisp::selectedAPoint);
    QTest::mouseClick(area_, Qt::LeftButton, {}, at);
    QCOMPARE(point.count(), 1);
    QVERIFY(std::abs(point.at(0).at(0).toDouble() - target.x()) <= c->screenToRealLengthX(1.0));
    QVERIFY(std::abs(point.at(0).at(1).toDouble() - target.y()) <= c->screenToRealLengthY(1.0));
    // The wheel keeps the point under the cursor and the picture where it is.
    const QPointF under = disp_->imagePointAt(at);
    wheel(area_, at, 120);
    QVERIFY((disp_->imagePointAt(at) - under).manhattanLength() < 1e-9);
    QCOMPARE(disp_->pictureRect(), pic);

    // Just left of the whole image lies column −1, not column 0.
    QSignalSpy pos(disp_, &ImgDisp::newPos);
    disp_->resize(500, 300);
    disp_->setView(QRectF(0, 0, 80, 60)); // drawn 400 × 300 from x = 50
    moveTo(area_, QPoint(48, 150));
    moveTo(area_, QPoint(52, 150));
    QCOMPARE(pos.at(0).at(0).toInt(), -1);
    QCOMPARE(pos.at(1).at(0).toInt(), 0);
}

void TestImgDisp::stretchedByConfigOrBox()
{
    ConfigStore::instance().setEntry(QStringLiteral("keep_aspect"), QStringLiteral("0"));
    ImgDispWPV display;
    ConfigStore::instance().clear();
    auto *box = display.findChild<QCheckBox *>(QStringLiteral("KeepAspect"));
    QVERIFY(!display.isAspectKept() && !box->isChecked());
    display.resize(500, 300);
    display.setImage(ramp(80, 80));
    const QRectF whole(QPointF(0, 0), display.area()->size());
    QCOMPARE(display.pictureRect(), whole);
    box->click();
    QVERIFY(display.isAspectKept());
    QCOMPARE(display.pictureRect().size(), QSizeF(whole.height(), whole.height()));
}

void TestImgDisp::coordRoundTrip_data()
{
    QTest::addColumn<QRectF>("screen");
    QTest::addColumn<QRectF>("real");
    QTest::addColumn<QPointF>("point"); // data units
    QTest::newRow("image view") << QRectF(0, 0, 400, 300) << QRectF(10.5, 20.25, 64, 48)
                                << QPointF(33.3, 41.7);
    QTest::newRow("zoomed far out") << QRectF(0, 0, 640, 480) << QRectF(-900, -700, 4000, 3000)
                                    << QPointF(-123.4, 2100.9);
    QTest::newRow("sub-pixel view") << QRectF(0, 0, 512, 512) << QRectF(100.1, 200.2, 0.01, 0.02)
                                    << QPointF(100.105, 200.213);
    QTest::newRow("plot with margins, outside")
        << QRectF(25, 20, 550, 355) << QRectF(-1, 0, 2, 1e-3) << QPointF(3.5, -7e-4);
}

void TestImgDisp::coordRoundTrip()
{
    QFETCH(QRectF, screen);
    QFETCH(QRectF, real);
    QFETCH(QPointF, point);
    ChCoord c;
    c.setScreenRect(screen);
    c.setRealRect(real);
    // The real rectangle's corners land on the screen rectangle's corners.
    QVERIFY((c.realToScreen(real.topLeft()) - screen.topLeft()).manhattanLength() < 1e-9);
    QVERIFY((c.realToScreen(real.bottomRight()) - screen.bottomRight()).manhattanLength() < 1e-9);
    const double tol = 1e-12 * (real.width() + real.height() + std::abs(point.x()) + std::abs(point.y()));
    const QPointF back = c.screenToReal(c.realToScreen(point));
    QVERIFY2(std::abs(back.x() - point.x()) < tol && std::abs(back.y() - point.y()) < tol,
        qPrintable(QStringLiteral("%1, %2").arg(back.x() - point.x()).arg(back.y() - point.y())));
    QVERIFY(std::abs(c.screenToRealYInv(c.realToScreenYInv(point.y())) - point.y()) < tol);
    QVERIFY(
        qFuzzyCompare(c.screenToRealLengthX(c.realToScreenLengthX(0.3 * real.width())), 0.3 * real.width()));
}

void TestImgDisp::coordInvertedYAndClamp()
{
    ChCoord c;
    c.setScreenRect(0, 0, 200, 100);
    c.setRealRect(10, -1, 50, 1);
    // Data y grows upward.
    QCOMPARE(c.realToScreenYInv(-1), 100.0);
    QCOMPARE(c.realToScreenYInv(0.5), 25.0);
    QCOMPARE(c.screenToRealXClamped(-80), 10.0);
    QCOMPARE(c.screenToRealXClamped(50), 20.0);
    QCOMPARE(c.screenToRealYClamped(900), 1.0);
}

void TestImgDisp::mStatFromMouseEvents_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("code");
    const Qt::KeyboardModifiers S = Qt::ShiftModifier, C = Qt::ControlModifier, A = Qt::AltModifier;
    const QList<std::pair<const char *, Qt::KeyboardModifiers>> combos {{"none", {}}, {"S", S}, {"C", C},
        {"A", A}, {"SC", S | C}, {"SA", S | A}, {"CA", C | A}, {"SCA", S | C | A}};
    for (int i = 0; i < combos.size(); ++i) {
        QTest::addRow("left %s", combos[i].first) << Qt::LeftButton << combos[i].second << i;
        QTest::addRow("right %s", combos[i].first) << Qt::RightButton << combos[i].second << i + 8;
    }
    QTest::newRow("middle S") << Qt::MiddleButton << S << 16;
    QTest::newRow("left S, keypad ignored") << Qt::LeftButton << (S | Qt::KeypadModifier) << 1;
}

void TestImgDisp::mStatFromMouseEvents()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, code);
    DispB area;
    area.resize(200, 150);
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    QSignalSpy released(&area, &DispB::mouseReleased0);
    QTest::mousePress(&area, button, modifiers, QPoint(50, 60));
    QVERIFY(area.mouse()->isPressed());
    QTest::mouseRelease(&area, button, modifiers, QPoint(70, 80));
    QCOMPARE(released.count(), 1);
    QCOMPARE(int(area.mouse()->mStat()), code);
    QCOMPARE(area.mouse()->pressPos(), QPoint(50, 60));
    QCOMPARE(area.mouse()->pos(), QPoint(70, 80));
}

// Carries the code through the meta-type system when queued.
class Emitter : public QObject
{
    Q_OBJECT
signals:
    void point(double x, double y, MouseC::MStat stat);
};

void TestImgDisp::mStatCrossesQueuedConnections()
{
    MouseC registers;
    QVERIFY(QMetaType::fromName("MouseC::MStat").isValid());
    Emitter emitter;
    MouseC::MStat got = MouseC::Left;
    connect(
        &emitter, &Emitter::point, this, [&got](double, double, MouseC::MStat s) { got = s; },
        Qt::QueuedConnection);
    emit emitter.point(1.0, 2.0, MouseC::RightShiftAlt);
    QCOMPARE(got, MouseC::Left); // really queued
    QTRY_COMPARE(got, MouseC::RightShiftAlt);
}

QTEST_MAIN(TestImgDisp)
#include "tst_imgdisp.moc"
