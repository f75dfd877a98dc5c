// Qt
#include <QPainter>
#include <QTest>

// Local
#include "view3d/volumescene.h"
#include <cmath>
#include <functional>
#include <numbers>
#include <random>

namespace {

/// A stack of ns slices of sw × sh: value(k, x, y) at column x, row y of slice k, drawn in that order.
std::shared_ptr<SliceStack> stackOf(
    int ns, int sw, int sh, const std::function<double(int k, int x, int y)> &value)
{
    auto stack = std::make_shared<SliceStack>();
    stack->nx = sw;
    stack->ny = sh;
    for (int k = 0; k < ns; ++k) {
        SliceData s;
        s.makeGrid(sw, sh);
        for (int y = 0; y < sh; ++y)
            for (int x = 0; x < sw; ++x)
                s.values[size_t(y) * sw + x] = value(k, x, y);
        stack->slices.push_back(std::move(s));
    }
    return stack;
}

/// A stack of ns random slices of sw × sh, values −1 … 9, a few NaN.
SliceStackPtr randomStack(int ns, int sw, int sh, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1, 9);
    return stackOf(ns, sw, sh, [&](int, int, int) { return u(rng) < 8.9 ? u(rng) : std::nan(""); });
}

/// A stack as a reconstruction gives it: background noise below the window (−0.5 … 0.5; NaN, +∞
/// and −∞ here and there in a band across the middle), two small balls of 2 … 8, and values at the
/// window's top (window 2 … 6): a block of values above it, one of them exactly the upper value of
/// q 255. With block ranges worked out when `summarized`.
SliceStackPtr sparseStack(int ns, int sw, int sh, bool summarized)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-0.5, 0.5), inside(2, 8);
    const double special[]
        = {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    auto stack = stackOf(ns, sw, sh, [&](int k, int x, int y) {
        const double dz = k - ns / 2.0;
        const double r1 = std::hypot(x - sw * 0.3, y - sh * 0.4, dz);
        const double r2 = std::hypot(x - sw * 0.6, y - sh * 0.6, dz - 3);
        const double v = u(rng);
        if (r1 < sw * 0.08 || r2 < sw * 0.05)
            return inside(rng);
        if (std::abs(y - sh / 2) < 2 && u(rng) > 0.4)
            return special[rng() % 3];
        return v;
    });
    // A block right of the middle, in one slice.
    constexpr int B = SliceData::block;
    SliceData &third = stack->slices[size_t(ns / 3)];
    const int bx = (sw * 3 / 4) / B * B, by = (sh / 2 + 4) / B * B;
    for (int y = by; y < by + B; ++y)
        std::fill_n(third.values.begin() + y * sw + bx, B, 7.0);
    third.values[size_t(by + 5) * sw + bx + 2] = 2 + 255.0 / 64; // q exactly 255
    if (summarized)
        for (SliceData &slice : stack->slices)
            slice.summarizeBlocks();
    return stack;
}

/// A stack of w × h slices, slice k holding values[k] everywhere.
std::shared_ptr<SliceStack> constantStack(const std::vector<double> &values, int w = 4, int h = 4)
{
    return stackOf(int(values.size()), w, h, [&values](int k, int, int) { return values[size_t(k)]; });
}

/// The colour a sample of q = w shows in: each channel trunc(255 − w·(1 − C/255)) of `c`.
QRgb shade(double w, QColor c = QColor(0, 127, 127))
{
    auto ch = [w](int C) { return int(std::trunc(255 - w * (1 - C / 255.0))); };
    return qRgb(ch(c.red()), ch(c.green()), ch(c.blue()));
}

/// The picture drawn as the rule says, pixel by pixel with a pen each: white, then per set and
/// picture row and column the largest windowed sample along the ray, or the section sample.
QImage transcription(const ViewFrame &f, int pw, int ph, const std::vector<SceneSet> &sets)
{
    QImage picture(pw, ph, QImage::Format_ARGB32);
    QPainter p(&picture);
    p.fillRect(picture.rect(), Qt::white);
    for (const SceneSet &set : sets) {
        const SliceStack &stack = *set.stack;
        const SetLook &look = set.look;
        const int ns = stack.count(), sw = stack.nx, sh = stack.ny;
        const double cs = look.cs;
        const Vec3 n = look.sectionDir;
        for (int j = 0; j < ph; ++j) {
            for (int i = 0; i < pw; ++i) {
                const Vec3 P0
                    = f.panOffset + f.viewScale * (i - pw / 2.0) * f.nx + f.viewScale * (j - ph / 2.0) * f.ny;
                double maxV = 0, secV = 0;
                for (int k = 0; k < ns; ++k) {
                    if (f.nz.z == 0)
                        continue;
                    const double t = ((k - ns / 2.0) - P0.z) / f.nz.z;
                    const double X = P0.x + t * f.nz.x, Y = P0.y + t * f.nz.y;
                    const double fx = std::trunc(sw / 2.0 + X), fy = std::trunc(sh / 2.0 + Y);
                    if (!(fx >= 0 && fx < sw && fy >= 0 && fy < sh))
                        continue;
                    const double v = stack.slices[size_t(k)].value(int(fx), int(fy));
                    const double d = n.x * X + n.y * Y + n.z * (k - ns / 2.0);
                    const double q = (v - look.thMin) / (look.thMax - look.thMin) * 256;
                    if (look.showCSection && d >= cs)
                        continue;
                    const double qc = (0 <= q && q <= 255) ? q : 0;
                    maxV = std::max(maxV, qc);
                    if (cs - 1 < d && d < cs + 1)
                        secV = qc;
                }
                double w = 0;
                QColor c;
                if (look.showCSection && secV > 0) {
                    w = secV;
                    c = look.sectionColor;
                } else if (maxV > 0) {
                    w = maxV;
                    c = look.volumeColor;
                } else {
                    p.setPen(QColor(0, 0, 0, 0));
                    p.drawPoint(i, j);
                    continue;
                }
                auto ch = [w](int C) { return int(std::trunc(255 - w * (1 - C / 255.0))); };
                p.setPen(QColor(ch(c.red()), ch(c.green()), ch(c.blue()), look.alpha));
                p.drawPoint(i, j);
            }
        }
    }
    return picture;
}

/// The scene as the renderer paints it; with `generic` the volumes are sampled without AVX2.
QImage scene(const ViewFrame &f, int pw, int ph, const std::vector<SceneSet> &sets, bool generic = false)
{
    QImage picture(pw, ph, QImage::Format_ARGB32);
    QPainter p(&picture);
    if (!generic) {
        paintVolumeScene(p, f, pw, ph, sets);
        return picture;
    }
    p.fillRect(picture.rect(), Qt::white);
    for (const SceneSet &set : sets)
        p.drawImage(0, 0, renderVolume(*set.stack, set.look, f, pw, ph, true));
    return picture;
}

SceneSet volumeOnly(SliceStackPtr stack, double thMin, double thMax, int alpha = 255)
{
    SceneSet set;
    set.stack = std::move(stack);
    set.look.thMin = thMin;
    set.look.thMax = thMax;
    set.look.volumeColor = QColor(0, 127, 127);
    set.look.sectionColor = QColor(127, 0, 0);
    set.look.alpha = alpha;
    set.showFrame = false;
    return set;
}

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

int differingPixels(const QImage &a, const QImage &b)
{
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

/// The pixels that are not the white ground.
int shownPixels(const QImage &picture)
{
    QImage white(picture.size(), QImage::Format_ARGB32);
    white.fill(Qt::white);
    return differingPixels(picture, white);
}

} // namespace

class TestVolumeRender : public QObject
{
    Q_OBJECT
private slots:
    void sameAsDrawingEveryPixel_data();
    void sameAsDrawingEveryPixel();
    void initialViewLooksStraightThrough();
    void windowBounds_data();
    void windowBounds();
    void sectionCutsAndColours();
    void alongTheSlicePlanesNothingShows();
    void blockRangesAreConsulted();
    void sectionSampleInASkippedSlice();
    void frameBackAndFront();
    void frameOfATurnedView();
    // The view frame the renderer draws through: turns, drags, pan, zoom and fit.
    void rotationTurnsTheFrameBack_data();
    void rotationTurnsTheFrameBack();
    void frameStaysOrthonormal();
    void dragZones_data();
    void dragZones();
    void dragTurns_data();
    void dragTurns();
    void panMovesWithThePointer();
    void fitFillsThePicture_data();
    void fitFillsThePicture();
};

void TestVolumeRender::sameAsDrawingEveryPixel_data()
{
    QTest::addColumn<int>("pw");
    QTest::addColumn<int>("ph");
    QTest::addColumn<Vec3>("axis");
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("scale");
    QTest::addColumn<Vec3>("pan");
    QTest::addColumn<int>("stack"); // 0: a random one, 1: two random ones, 2: a sparse one with block ranges
    QTest::addColumn<double>("thMin");
    QTest::addColumn<double>("thMax");
    QTest::addColumn<bool>("section");
    QTest::addColumn<double>("cs");
    QTest::addColumn<Vec3>("sectionDir");
    QTest::addColumn<int>("minShown"); // pixels that are not the white ground
    QTest::addColumn<int>("maxShown");
    const Vec3 none {0, 0, 1}, zero {};
    const Vec3 oblique = (1 / std::sqrt(14.0)) * Vec3 {1, -2, 3};
    const Vec3 diagonal = (1 / std::sqrt(3.0)) * Vec3 {1, 1, 1};
    // Random values −1 … 9, without block ranges. The odd slice count puts slice centres at halves.
    QTest::newRow("initial view") << 24 << 20 << none << 0.0 << 1.0 << zero << 0 << -1.0 << 9.0 << false
                                  << 0.0 << none << 1 << 480;
    QTest::newRow("odd picture, zoomed, panned") << 31 << 17 << none << 0.0 << 0.45 << Vec3 {1.5, -2.25, 0.5}
                                                 << 0 << 0.0 << 8.0 << false << 0.0 << none << 1 << 527;
    QTest::newRow("window part of the range")
        << 24 << 20 << none << 0.0 << 0.8 << zero << 0 << 3.0 << 5.0 << false << 0.0 << none << 1 << 480;
    QTest::newRow("two sets, opacity 255 and 128")
        << 24 << 20 << none << 0.0 << 1.0 << zero << 1 << -1.0 << 9.0 << false << 0.0 << none << 1 << 480;
    QTest::newRow("section at slider 0")
        << 24 << 20 << none << 0.0 << 1.0 << zero << 0 << -1.0 << 9.0 << true << 0.0 << diagonal << 1 << 480;
    QTest::newRow("turned view") << 32 << 32 << oblique << 0.9 << 0.7 << Vec3 {0.5, 1, -1} << 0 << -1.0 << 9.0
                                 << false << 0.0 << none << 1 << 1024;
    QTest::newRow("turned view, two sets, section") << 32 << 28 << oblique << -2.0 << 0.6 << zero << 1 << -0.5
                                                    << 8.5 << true << 0.0 << diagonal << 1 << 896;
    QTest::newRow("reversed window") << 20 << 20 << oblique << 0.4 << 1.0 << zero << 0 << 7.0 << 1.0 << false
                                     << 0.0 << none << 1 << 400;
    QTest::newRow("empty window") << 20 << 20 << none << 0.0 << 1.0 << zero << 0 << 4.0 << 4.0 << false << 0.0
                                  << none << 0 << 0;
    // A sparse stack with its block ranges, window 2 … 6. Scale 0.5: a tile spans one or two blocks;
    // 3: several; 8: too many to look at. The balls show, and background round them, where slices
    // are skipped.
    const int most = 64 * 56 * 9 / 10;
    QTest::newRow("ranges: straight, zoomed in")
        << 64 << 56 << none << 0.0 << 0.5 << zero << 2 << 2.0 << 6.0 << false << 0.0 << none << 300 << most;
    QTest::newRow("ranges: straight")
        << 64 << 56 << none << 0.0 << 1.0 << zero << 2 << 2.0 << 6.0 << false << 0.0 << none << 100 << most;
    QTest::newRow("ranges: turned") << 64 << 56 << oblique << 0.9 << 1.3 << zero << 2 << 2.0 << 6.0 << false
                                    << 0.0 << none << 80 << most;
    QTest::newRow("ranges: turned, zoomed out") << 64 << 56 << oblique << -2.0 << 3.0 << zero << 2 << 2.0
                                                << 6.0 << false << 0.0 << none << 15 << most;
    QTest::newRow("ranges: turned, far out")
        << 64 << 56 << diagonal << 0.7 << 8.0 << zero << 2 << 2.0 << 6.0 << false << 0.0 << none << 2 << most;
    QTest::newRow("ranges: section across the view") << 64 << 56 << oblique << 0.9 << 1.0 << zero << 2 << 2.0
                                                     << 6.0 << true << 0.0 << diagonal << 80 << most;
    // The slab holds a ball's front and the background around it (NaN and noise).
    QTest::newRow("ranges: section through a ball and the background")
        << 64 << 56 << none << 0.0 << 0.7 << zero << 2 << 2.0 << 6.0 << true << -3.5 << none << 80 << most;
    QTest::newRow("ranges: section edge-on, turned") << 64 << 56 << diagonal << 1.2 << 1.1 << zero << 2 << 2.0
                                                     << 6.0 << true << 4.0 << Vec3 {1, 0, 0} << 80 << most;
}

void TestVolumeRender::sameAsDrawingEveryPixel()
{
    QFETCH(int, pw);
    QFETCH(int, ph);
    QFETCH(Vec3, axis);
    QFETCH(double, angle);
    QFETCH(double, scale);
    QFETCH(Vec3, pan);
    QFETCH(int, stack);
    QFETCH(double, thMin);
    QFETCH(double, thMax);
    QFETCH(bool, section);
    QFETCH(double, cs);
    QFETCH(Vec3, sectionDir);
    QFETCH(int, minShown);
    QFETCH(int, maxShown);
    ViewFrame f;
    f.rotate(axis, angle);
    f.viewScale = scale;
    f.panOffset = pan;
    // Grid sizes that are no multiple of the block size: the last blocks are cut.
    std::vector<SceneSet> sets {
        volumeOnly(stack == 2 ? sparseStack(20, 93, 78, true) : randomStack(7, 13, 11, 1), thMin, thMax)};
    if (stack == 1) {
        sets.push_back(volumeOnly(randomStack(9, 10, 14, 2), thMin, thMax, 128));
        sets.back().look.volumeColor = QColor(127, 0, 127);
        sets.back().look.sectionColor = QColor(0, 127, 0);
    }
    QCOMPARE(sets[0].stack->slices[0].hasBlockRanges(), stack == 2);
    for (SceneSet &s : sets) {
        s.look.showCSection = section;
        s.look.cs = cs;
        s.look.sectionDir = sectionDir;
    }
    // The transcription reads every sample, never the ranges.
    const QImage expected = transcription(f, pw, ph, sets);
    QCOMPARE(differingPixels(scene(f, pw, ph, sets), expected), 0);
    QCOMPARE(differingPixels(scene(f, pw, ph, sets, true), expected), 0);
    const int shown = shownPixels(expected);
    QVERIFY2(shown >= minShown && shown <= maxShown, qPrintable(QString::number(shown)));
}

void TestVolumeRender::initialViewLooksStraightThrough()
{
    // Pixel (i, j) of a 256 × 256 picture looks at column trunc(sw/2 + i − 128) and row
    // trunc(sh/2 + j − 128) of every slice and shows the largest windowed value.
    auto stack = constantStack({0, 0, 0}, 40, 30);
    stack->slices[1].values[size_t(12 * 40 + 25)] = 128; // column 25, row 12 of the middle slice
    stack->slices[2].values[size_t(12 * 40 + 25)] = 64;
    const QImage picture = scene(ViewFrame {}, 256, 256, {volumeOnly(stack, 0, 256)});
    const int i = 25 - 20 + 128, j = 12 - 15 + 128;
    QCOMPARE(picture.pixel(i, j), shade(128));
    QCOMPARE(picture.pixel(i + 1, j), qRgb(255, 255, 255)); // zeros, at thMin, add nothing
    QCOMPARE(picture.pixel(i, j - 1), qRgb(255, 255, 255));
}

void TestVolumeRender::windowBounds_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("q"); // the q shown, −1 for nothing
    // Window 2 … 6: q = (v − 2)/4 · 256.
    QTest::newRow("at thMin adds nothing") << 2.0 << -1;
    QTest::newRow("just inside") << 2.0625 << 4;
    QTest::newRow("middle") << 4.0 << 128;
    QTest::newRow("q of exactly 255") << 2 + 255.0 / 64 << 255;
    QTest::newRow("beyond q 255, below thMax") << 2 + 255.5 / 64 << -1;
    QTest::newRow("above thMax does not count") << 7.0 << -1;
    QTest::newRow("below thMin") << 1.0 << -1;
}

void TestVolumeRender::windowBounds()
{
    QFETCH(double, value);
    QFETCH(int, q);
    // The second slice's 3.0 (q = 64) shows where nothing larger counts.
    const QImage picture = scene(ViewFrame {}, 4, 4, {volumeOnly(constantStack({value, 3.0}), 2, 6)});
    QCOMPARE(picture.pixel(1, 1), shade(q < 0 ? 64 : std::max(q, 64)));
}

void TestVolumeRender::sectionCutsAndColours()
{
    // Four slices of one value each (10, 20, 30, 40 in a window 0 … 256) at z = −2 … 1, seen head
    // on; the section normal is the viewing direction. With the plane at cs = 0.5 the slice at z = 1
    // is cut away and the one at z = 0, within one unit before the plane, shows in the section colour.
    SceneSet set = volumeOnly(constantStack({10, 20, 30, 40}), 0, 256);
    set.look.showCSection = true;
    set.look.sectionDir = {0, 0, 1};
    const QColor red = set.look.sectionColor; // (127, 0, 0)
    set.look.cs = 0.5;
    QCOMPARE(scene(ViewFrame {}, 4, 4, {set}).pixel(2, 2), shade(30, red));
    set.look.cs = 1.5; // nothing cut; z = 1 is the last within one unit before the plane
    QCOMPARE(scene(ViewFrame {}, 4, 4, {set}).pixel(2, 2), shade(40, red));
    set.look.cs = 0; // z = −1 lies a whole unit before the plane: no section sample, the volume shows
    QCOMPARE(scene(ViewFrame {}, 4, 4, {set}).pixel(2, 2), shade(20));
    set.look.cs = -2.5; // nothing before the plane: all cut away
    QCOMPARE(scene(ViewFrame {}, 4, 4, {set}).pixel(2, 2), qRgb(255, 255, 255));
    set.look.showCSection = false; // the whole volume: the maximum, 40, in the volume colour
    QCOMPARE(scene(ViewFrame {}, 4, 4, {set}).pixel(2, 2), shade(40));
}

void TestVolumeRender::alongTheSlicePlanesNothingShows()
{
    ViewFrame f;
    f.rotate({1, 0, 0}, pi / 2); // nz now lies in the slice planes
    QCOMPARE(f.nz.z, std::cos(pi / 2));
    f.nz.z = 0; // exactly
    const QImage picture = renderVolume(*randomStack(5, 8, 8, 4), volumeOnly(nullptr, -1, 9).look, f, 16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            QCOMPARE(qAlpha(picture.pixel(x, y)), 0);
}

void TestVolumeRender::blockRangesAreConsulted()
{
    // Ranges that say no block holds anything in the window: the volume is skipped whole, which
    // shows that the ranges are read (the transcription shows that they skip no more than they may).
    auto stack = std::const_pointer_cast<SliceStack>(sparseStack(12, 60, 60, true));
    const QImage before = scene(ViewFrame {}, 40, 40, {volumeOnly(stack, 2, 6)});
    QVERIFY(shownPixels(before) > 30);
    for (SliceData &s : stack->slices) {
        for (size_t b = 0; b < s.blockRanges.size(); b += 2) {
            s.blockRanges[b] = std::numeric_limits<double>::infinity();
            s.blockRanges[b + 1] = -std::numeric_limits<double>::infinity();
        }
    }
    const QImage after = scene(ViewFrame {}, 40, 40, {volumeOnly(stack, 2, 6)});
    QCOMPARE(shownPixels(after), 0);
}

void TestVolumeRender::sectionSampleInASkippedSlice()
{
    // Slice 2 (z = −1) holds 4 everywhere, the others background only. The section plane
    // 0.6·x + 0.8·z = 0.1 puts both z = −1 and z = 0 within the unit before it near x = 0: the later
    // sample, background, is the section's, so the volume colour shows there, not the section's.
    // A slice with nothing in the window is skipped only where no sample of it lies in the slab.
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    auto stack = stackOf(6, 64, 64, [&](int k, int, int) { return k == 2 ? 4.0 : u(rng); });
    for (SliceData &s : stack->slices)
        s.summarizeBlocks();
    SceneSet set = volumeOnly(stack, 2, 6);
    set.look.showCSection = true;
    set.look.cs = 0.1;
    set.look.sectionDir = {0.6, 0.0, 0.8};
    const QImage expected = transcription(ViewFrame {}, 48, 48, {set});
    QCOMPARE(expected.pixel(24, 24), scene(ViewFrame {}, 48, 48, {volumeOnly(stack, 2, 6)}).pixel(24, 24));
    QCOMPARE(differingPixels(scene(ViewFrame {}, 48, 48, {set}), expected), 0);
    QCOMPARE(differingPixels(scene(ViewFrame {}, 48, 48, {set}, true), expected), 0);
}

void TestVolumeRender::frameBackAndFront()
{
    // Seen head on, the back pass draws the face at z = −ss/2 and the front pass the one at +ss/2:
    // both the rectangle of ±sw/2, ±sh/2 around the picture centre.
    const QColor colour(0, 127, 127);
    for (bool front : {false, true}) {
        QImage picture(64, 48, QImage::Format_ARGB32);
        picture.fill(Qt::white);
        QPainter p(&picture);
        ViewFrame f;
        f.viewScale = 0.5;
        paintVolumeFrame(p, f, 64, 48, 6, 20, 10, front, colour);
        p.end();
        // Corners at 32 ± 20, 24 ± 10.
        QCOMPARE(picture.pixelColor(12, 14), colour);
        QCOMPARE(picture.pixelColor(52, 34), colour);
        QCOMPARE(picture.pixelColor(30, 14), colour);
        QCOMPARE(picture.pixelColor(12, 24), colour);
        QCOMPARE(picture.pixelColor(30, 24), QColor(Qt::white));
        QCOMPARE(picture.pixelColor(11, 14), QColor(Qt::white));
    }
}

void TestVolumeRender::frameOfATurnedView()
{
    // Turned a quarter about y: the view looks along x, so only the faces x = ±sw/2 count, the back
    // one (depth −sw/2 · nz.x < 0) in the back pass. Its outline: ±ss/2 across, ±sh/2 up.
    ViewFrame f;
    f.rotate({0, 1, 0}, -pi / 2);
    QVERIFY(std::abs(f.nz.x - 1) < 1e-12);
    QImage picture(40, 40, QImage::Format_ARGB32);
    picture.fill(Qt::white);
    QPainter p(&picture);
    paintVolumeFrame(p, f, 40, 40, 8, 30, 12, false, Qt::black);
    p.end();
    int dark = 0, minX = 40, maxX = -1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            if (picture.pixel(x, y) == qRgb(0, 0, 0)) {
                ++dark;
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
    QVERIFY(dark > 0);
    QVERIFY(maxX - minX <= 9 && maxX - minX >= 7); // the 8 slices, not the 30 columns
}

void TestVolumeRender::rotationTurnsTheFrameBack_data()
{
    QTest::addColumn<Vec3>("axis");
    QTest::addColumn<double>("angle");
    QTest::newRow("quarter turn about z") << Vec3 {0, 0, 1} << pi / 2;
    QTest::newRow("about x") << Vec3 {1, 0, 0} << 0.3;
    QTest::newRow("oblique") << (1 / std::sqrt(14.0)) * Vec3 {1, -2, 3} << 2.1;
    QTest::newRow("negative angle") << (1 / std::sqrt(2.0)) * Vec3 {0, 1, 1} << -1.2;
}

void TestVolumeRender::rotationTurnsTheFrameBack()
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

void TestVolumeRender::frameStaysOrthonormal()
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

void TestVolumeRender::dragZones_data()
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

void TestVolumeRender::dragZones()
{
    QFETCH(double, rx);
    QFETCH(double, ry);
    QFETCH(int, zone);
    QCOMPARE(int(dragZoneAt(rx, ry)), zone);
}

void TestVolumeRender::dragTurns_data()
{
    QTest::addColumn<int>("zone");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dy");
    QTest::addColumn<double>("angle");
    QTest::addColumn<Vec3>("axis"); // in the frame's nx, ny, nz; none for no turn
    // The whole width is half a turn about the picture's y axis: the volume is seen from behind.
    QTest::newRow("middle, across") << int(DragZone::Middle) << 1.0 << 0.0 << pi << Vec3 {0, 1, 0};
    QTest::newRow("middle, oblique") << int(DragZone::Middle) << 0.03 << -0.04 << pi * 0.05
                                     << Vec3 {-0.8, 0.6, 0};
    QTest::newRow("middle, no move") << int(DragZone::Middle) << 0.0 << 0.0 << 0.0 << Vec3 {};
    QTest::newRow("left edge") << int(DragZone::Left) << 0.3 << 0.2 << pi * 0.2 << Vec3 {0, 0, 1};
    QTest::newRow("right edge") << int(DragZone::Right) << 0.3 << 0.2 << -pi * 0.2 << Vec3 {0, 0, 1};
    QTest::newRow("top edge") << int(DragZone::Top) << 0.3 << 0.2 << pi * 0.3 << Vec3 {0, 0, 1};
    QTest::newRow("bottom edge") << int(DragZone::Bottom) << 0.3 << 0.2 << -pi * 0.3 << Vec3 {0, 0, 1};
}

void TestVolumeRender::dragTurns()
{
    QFETCH(int, zone);
    QFETCH(double, dx);
    QFETCH(double, dy);
    QFETCH(double, angle);
    QFETCH(Vec3, axis);
    ViewFrame f;
    f.rotate({1, 0, 0}, 0.4); // a turned frame: the axis is built from its own directions
    const DragTurn turn = dragTurn(f, DragZone(zone), dx, dy);
    QCOMPARE(turn.any, norm(axis) > 0);
    if (!turn.any)
        return;
    QVERIFY(near(turn.axis, axis.x * f.nx + axis.y * f.ny + axis.z * f.nz));
    QCOMPARE(turn.angle, angle);
}

void TestVolumeRender::panMovesWithThePointer()
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

void TestVolumeRender::fitFillsThePicture_data()
{
    QTest::addColumn<double>("turn"); // about the picture's y axis, radians
    QTest::addColumn<int>("pw");
    QTest::addColumn<int>("ph");
    QTest::addColumn<double>("scale");
    // A box of 200 x 100 x 10 (half sizes 100, 50, 5).
    QTest::newRow("face on, wide picture") << 0.0 << 800 << 400 << 200.0 / 800 / 0.9;
    QTest::newRow("face on, tall picture") << 0.0 << 400 << 800 << 200.0 / 400 / 0.9;
    QTest::newRow("edge on") << pi / 2 << 800 << 400 << 100.0 / 400 / 0.9;
}

void TestVolumeRender::fitFillsThePicture()
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

QTEST_MAIN(TestVolumeRender)
#include "tst_volumerender.moc"
