// Qt
#include <QSignalSpy>
#include <QTest>

// Local
#include "tests/widgets/mouseevents.h"
#include "widgets/chcoord.h"
#include "widgets/dispb.h"
#include "widgets/mousec.h"

class TestCoordMouse : public QObject
{
    Q_OBJECT

private slots:
    void coordRoundTrip_data();
    void coordRoundTrip();
    void coordInvertedYAndClamp();
    void mStatFromMouseEvents_data();
    void mStatFromMouseEvents();
    void wheelNotches_data();
    void wheelNotches();
    void mStatCrossesQueuedConnections();
};

void TestCoordMouse::coordRoundTrip_data()
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

void TestCoordMouse::coordRoundTrip()
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

void TestCoordMouse::coordInvertedYAndClamp()
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

void TestCoordMouse::mStatFromMouseEvents_data()
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

void TestCoordMouse::mStatFromMouseEvents()
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

void TestCoordMouse::wheelNotches_data()
{
    QTest::addColumn<int>("angleDeltaY");
    QTest::addColumn<int>("steps");
    QTest::addColumn<double>("factor");
    QTest::newRow("one notch away: in") << 120 << 1 << 1 / 1.1;
    QTest::newRow("two back: out") << -240 << -2 << 1.1;
    QTest::newRow("half a notch back counts 0: in") << -60 << 0 << 1 / 1.1;
}

void TestCoordMouse::wheelNotches()
{
    QFETCH(int, angleDeltaY);
    QFETCH(int, steps);
    QFETCH(double, factor);
    DispB area;
    QSignalSpy moved(&area, &DispB::wheelMoved0);
    wheel(&area, QPoint(30, 40), angleDeltaY);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.at(0).at(0).toInt(), steps);
    QCOMPARE(area.mouse()->zoomFactor(), factor);
    QCOMPARE(area.mouse()->pos(), QPoint(30, 40));
}

// Carries the code through the meta-type system when queued.
class Emitter : public QObject
{
    Q_OBJECT
signals:
    void point(double x, double y, MouseC::MStat stat);
};

void TestCoordMouse::mStatCrossesQueuedConnections()
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

QTEST_MAIN(TestCoordMouse)
#include "tst_coordmouse.moc"
