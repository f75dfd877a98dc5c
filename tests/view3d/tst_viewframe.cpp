// Qt
#include <QTest>

// Local
#include "view3d/viewframe.h"
#include <numbers>
#include <random>

namespace {

constexpr double pi = std::numbers::pi;

bool near(Vec3 a, Vec3 b, double tolerance = 1e-12)
{
    return norm(a - b) < tolerance;
}

/// A vector turned by angle about the unit axis k, by Rodrigues' formula for vectors.
Vec3 turned(Vec3 v, Vec3 k, double angle)
{
    return std::cos(angle) * v + std::sin(angle) * cross(k, v) + ((1 - std::cos(angle)) * dot(k, v)) * k;
}

} // namespace

class TestViewFrame : public QObject
{
    Q_OBJECT
private slots:
    void rotationTurnsTheFrameBack_data();
    void rotationTurnsTheFrameBack();
    void frameStaysOrthonormal();
    void dragZones_data();
    void dragZones();
    void wholeWidthDragIsHalfATurn();
    void middleDragAxis();
    void edgeTurns_data();
    void edgeTurns();
    void panMovesWithThePointer();
    void wheelZoom();
    void fitFillsThePicture_data();
    void fitFillsThePicture();
};

void TestViewFrame::rotationTurnsTheFrameBack_data()
{
    QTest::addColumn<Vec3>("axis");
    QTest::addColumn<double>("angle");
    QTest::newRow("quarter turn about z") << Vec3 {0, 0, 1} << pi / 2;
    QTest::newRow("about x") << Vec3 {1, 0, 0} << 0.3;
    QTest::newRow("oblique") << (1 / std::sqrt(14.0)) * Vec3 {1, -2, 3} << 2.1;
    QTest::newRow("negative angle") << (1 / std::sqrt(2.0)) * Vec3 {0, 1, 1} << -1.2;
}

void TestViewFrame::rotationTurnsTheFrameBack()
{
    QFETCH(Vec3, axis);
    QFETCH(double, angle);
    ViewFrame f;
    f.rotate(axis, angle);
    // Rᵀn: each axis turned by −angle.
    QVERIFY(near(f.nx, turned({1, 0, 0}, axis, -angle)));
    QVERIFY(near(f.ny, turned({0, 1, 0}, axis, -angle)));
    QVERIFY(near(f.nz, turned({0, 0, 1}, axis, -angle)));
}

void TestViewFrame::frameStaysOrthonormal()
{
    ViewFrame f;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int i = 0; i < 2000; ++i) {
        Vec3 axis {u(rng), u(rng), u(rng)};
        axis = (1 / norm(axis)) * axis;
        f.rotate(axis, 3 * u(rng));
    }
    QVERIFY(std::abs(norm(f.nx) - 1) < 1e-10);
    QVERIFY(std::abs(dot(f.nx, f.ny)) < 1e-10);
    QVERIFY(near(cross(f.nx, f.ny), f.nz, 1e-10)); // still right-handed
}

void TestViewFrame::dragZones_data()
{
    QTest::addColumn<double>("rx");
    QTest::addColumn<double>("ry");
    QTest::addColumn<int>("zone");
    QTest::newRow("middle") << 0.5 << 0.5 << int(DragZone::Middle);
    QTest::newRow("top") << 0.5 << 0.9 << int(DragZone::Top);
    QTest::newRow("bottom") << 0.5 << 0.1 << int(DragZone::Bottom);
    QTest::newRow("right") << 0.9 << 0.5 << int(DragZone::Right);
    QTest::newRow("left") << 0.1 << 0.5 << int(DragZone::Left);
    QTest::newRow("top-right corner is top") << 0.95 << 0.95 << int(DragZone::Top);
    QTest::newRow("bottom-left corner is bottom") << 0.05 << 0.05 << int(DragZone::Bottom);
    QTest::newRow("on the line is inside") << 0.85 << 0.85 << int(DragZone::Middle);
}

void TestViewFrame::dragZones()
{
    QFETCH(double, rx);
    QFETCH(double, ry);
    QFETCH(int, zone);
    QCOMPARE(int(dragZoneAt(rx, ry)), zone);
}

void TestViewFrame::wholeWidthDragIsHalfATurn()
{
    ViewFrame f;
    const DragTurn turn = dragTurn(f, DragZone::Middle, 1.0, 0.0);
    QVERIFY(turn.any);
    QCOMPARE(turn.angle, pi);
    f.rotate(turn.axis, turn.angle);
    // Half a turn about the picture's y axis: the volume is seen from behind.
    QVERIFY(near(f.nx, {-1, 0, 0}));
    QVERIFY(near(f.ny, {0, 1, 0}));
    QVERIFY(near(f.nz, {0, 0, -1}));
}

void TestViewFrame::middleDragAxis()
{
    ViewFrame f;
    f.rotate({0, 0, 1}, 0.7); // a turned frame: the axis is built from its own x and y
    const DragTurn turn = dragTurn(f, DragZone::Middle, 0.03, -0.04);
    QVERIFY(turn.any);
    QCOMPARE(turn.angle, pi * 0.05);
    QVERIFY(near(turn.axis, (1 / 0.05) * (-0.04 * f.nx + 0.03 * f.ny)));
    QVERIFY(!dragTurn(f, DragZone::Middle, 0, 0).any);
}

void TestViewFrame::edgeTurns_data()
{
    QTest::addColumn<int>("zone");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dy");
    QTest::addColumn<double>("angle");
    QTest::newRow("left edge") << int(DragZone::Left) << 0.3 << 0.2 << pi * 0.2;
    QTest::newRow("right edge") << int(DragZone::Right) << 0.3 << 0.2 << -pi * 0.2;
    QTest::newRow("top edge") << int(DragZone::Top) << 0.3 << 0.2 << pi * 0.3;
    QTest::newRow("bottom edge") << int(DragZone::Bottom) << 0.3 << 0.2 << -pi * 0.3;
}

void TestViewFrame::edgeTurns()
{
    QFETCH(int, zone);
    QFETCH(double, dx);
    QFETCH(double, dy);
    QFETCH(double, angle);
    ViewFrame f;
    f.rotate({1, 0, 0}, 0.4);
    const DragTurn turn = dragTurn(f, DragZone(zone), dx, dy);
    QVERIFY(turn.any);
    QVERIFY(near(turn.axis, f.nz));
    QCOMPARE(turn.angle, angle);
}

void TestViewFrame::panMovesWithThePointer()
{
    ViewFrame f;
    f.viewScale = 0.5;
    panFrame(f, 0.1, 0.2, 300, 101);
    // trunc(300 · 0.5) = 150 and trunc(101 · 0.5) = 50 volume units across the picture.
    QVERIFY(near(f.panOffset, {-15, 10, 0}));
    f.rotate({0, 0, 1}, pi / 2);
    panFrame(f, 0.1, 0, 300, 101);
    QVERIFY(near(f.panOffset, Vec3 {-15, 10, 0} - 15.0 * f.nx));
}

void TestViewFrame::wheelZoom()
{
    ViewFrame f;
    zoomFrame(f, 1);
    zoomFrame(f, 1);
    QCOMPARE(f.viewScale, 0.81);
    zoomFrame(f, 0);
    QCOMPARE(f.viewScale, 0.81);
    zoomFrame(f, -3);
    QCOMPARE(f.viewScale, 0.9);
}

void TestViewFrame::fitFillsThePicture_data()
{
    QTest::addColumn<double>("turn"); // about the picture's y axis, radians
    QTest::addColumn<int>("pw");
    QTest::addColumn<int>("ph");
    QTest::addColumn<double>("scale");
    // A box of 200 x 100 x 10 (half sizes 100, 50, 5).
    QTest::newRow("face on, wide picture") << 0.0 << 800 << 400 << 200.0 / 800 / 0.9;
    QTest::newRow("face on, tall picture") << 0.0 << 400 << 800 << 200.0 / 400 / 0.9;
    QTest::newRow("edge on") << std::numbers::pi / 2 << 800 << 400 << 100.0 / 400 / 0.9;
}

void TestViewFrame::fitFillsThePicture()
{
    QFETCH(double, turn);
    QFETCH(int, pw);
    QFETCH(int, ph);
    QFETCH(double, scale);
    ViewFrame f;
    f.panOffset = {3, 4, 5};
    f.viewScale = 7.0;
    f.rotate({0, 1, 0}, turn);
    fitFrame(f, 100, 50, 5, pw, ph);
    QVERIFY2(std::abs(f.viewScale - scale) < 1e-9 * scale, qPrintable(QString::number(f.viewScale)));
    QCOMPARE(f.panOffset, (Vec3 {}));
    fitFrame(f, 100, 50, 5, 0, ph); // no picture: left as it is
    QVERIFY(std::abs(f.viewScale - scale) < 1e-9 * scale);
}

QTEST_GUILESS_MAIN(TestViewFrame)
#include "tst_viewframe.moc"
