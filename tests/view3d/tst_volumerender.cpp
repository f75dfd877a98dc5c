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
    if (generic) {
        QImage picture(pw, ph, QImage::Format_ARGB32);
        QPainter p(&picture);
        p.fillRect(picture.rect(), Qt::white);
        for (const SceneSet &set : sets)
            p.drawImage(0, 0, renderVolume(*set.stack, set.look, f, pw, ph, true));
        return picture;
    }
    QImage picture(pw, ph, QImage::Format_ARGB32);
    QPainter p(&picture);
    paintVolumeScene(p, f, pw, ph, sets);
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
    void blockRangesSkipOnlyWhatCannotShow_data();
    void blockRangesSkipOnlyWhatCannotShow();
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
    void middleDragTurnsAboutAnAxisInThePicture();
    void edgeTurns_data();
    void edgeTurns();
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
    QTest::addColumn<bool>("twoSets");
    QTest::addColumn<bool>("section");
    QTest::addColumn<double>("minPC");
    QTest::addColumn<double>("maxPC");
    const Vec3 none {0, 0, 1};
    const Vec3 oblique = (1 / std::sqrt(14.0)) * Vec3 {1, -2, 3};
    QTest::newRow("initial view") << 24 << 20 << none << 0.0 << 1.0 << Vec3 {} << false << false << 0.0
                                  << 100.0;
    QTest::newRow("odd picture, zoomed, panned")
        << 31 << 17 << none << 0.0 << 0.45 << Vec3 {1.5, -2.25, 0.5} << false << false << 10.0 << 90.0;
    QTest::newRow("window part of the range")
        << 24 << 20 << none << 0.0 << 0.8 << Vec3 {} << false << false << 40.0 << 60.0;
    QTest::newRow("two sets, opacity 255 and 128")
        << 24 << 20 << none << 0.0 << 1.0 << Vec3 {} << true << false << 0.0 << 100.0;
    QTest::newRow("section at slider 0")
        << 24 << 20 << none << 0.0 << 1.0 << Vec3 {} << false << true << 0.0 << 100.0;
    QTest::newRow("turned view") << 32 << 32 << oblique << 0.9 << 0.7 << Vec3 {0.5, 1, -1} << false << false
                                 << 0.0 << 100.0;
    QTest::newRow("turned view, two sets, section")
        << 32 << 28 << oblique << -2.0 << 0.6 << Vec3 {} << true << true << 5.0 << 95.0;
    QTest::newRow("reversed window") << 20 << 20 << oblique << 0.4 << 1.0 << Vec3 {} << false << false << 80.0
                                     << 20.0;
    QTest::newRow("empty window") << 20 << 20 << none << 0.0 << 1.0 << Vec3 {} << false << false << 50.0
                                  << 50.0;
}

void TestVolumeRender::sameAsDrawingEveryPixel()
{
    QFETCH(int, pw);
    QFETCH(int, ph);
    QFETCH(Vec3, axis);
    QFETCH(double, angle);
    QFETCH(double, scale);
    QFETCH(Vec3, pan);
    QFETCH(bool, twoSets);
    QFETCH(bool, section);
    QFETCH(double, minPC);
    QFETCH(double, maxPC);
    ViewFrame f;
    f.rotate(axis, angle);
    f.viewScale = scale;
    f.panOffset = pan;
    auto window = [minPC, maxPC](double min, double max) {
        return std::pair {min + minPC * (max - min) / 100, min + maxPC * (max - min) / 100};
    };
    const auto [lo1, hi1] = window(-1, 9);
    std::vector<SceneSet> sets {volumeOnly(randomStack(7, 13, 11, 1), lo1, hi1)};
    if (twoSets) {
        const auto [lo2, hi2] = window(-1, 9);
        sets.push_back(volumeOnly(randomStack(9, 10, 14, 2), lo2, hi2, 128));
        sets.back().look.volumeColor = QColor(127, 0, 127);
        sets.back().look.sectionColor = QColor(0, 127, 0);
    }
    if (section) {
        for (SceneSet &s : sets) {
            s.look.showCSection = true;
            s.look.cs = 0.0; // the slider at 0
            s.look.sectionDir = (1 / std::sqrt(3.0)) * Vec3 {1, 1, 1};
        }
    }
    const QImage expected = transcription(f, pw, ph, sets);
    const QImage rendered = scene(f, pw, ph, sets);
    QCOMPARE(differingPixels(rendered, expected), 0);
    QCOMPARE(differingPixels(scene(f, pw, ph, sets, true), expected), 0);
    // Something shows, unless the window is empty.
    QCOMPARE(rendered.pixel(pw / 2, ph / 2) != qRgb(255, 255, 255), minPC != maxPC);
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

void TestVolumeRender::blockRangesSkipOnlyWhatCannotShow_data()
{
    QTest::addColumn<Vec3>("axis");
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("scale");
    QTest::addColumn<bool>("section");
    QTest::addColumn<double>("cs");
    QTest::addColumn<Vec3>("sectionDir");
    QTest::addColumn<int>("minShown"); // pixels of the balls at least, at this scale
    const Vec3 none {0, 0, 1};
    const Vec3 oblique = (1 / std::sqrt(14.0)) * Vec3 {1, -2, 3};
    const Vec3 diagonal = (1 / std::sqrt(3.0)) * Vec3 {1, 1, 1};
    // Scale 0.5: a tile spans one or two blocks; 3: several; 8: too many to look at.
    QTest::newRow("straight, zoomed in") << none << 0.0 << 0.5 << false << 0.0 << none << 300;
    QTest::newRow("straight") << none << 0.0 << 1.0 << false << 0.0 << none << 100;
    QTest::newRow("turned") << oblique << 0.9 << 1.3 << false << 0.0 << none << 80;
    QTest::newRow("turned, zoomed out") << oblique << -2.0 << 3.0 << false << 0.0 << none << 15;
    QTest::newRow("turned, far out") << diagonal << 0.7 << 8.0 << false << 0.0 << none << 2;
    QTest::newRow("section across the view") << oblique << 0.9 << 1.0 << true << 0.0 << diagonal << 80;
    // The slab holds a ball's front and the background around it (NaN and noise).
    QTest::newRow("section through a ball and the background")
        << none << 0.0 << 0.7 << true << -3.5 << none << 80;
    QTest::newRow("section edge-on, turned") << diagonal << 1.2 << 1.1 << true << 4.0 << Vec3 {1, 0, 0} << 80;
}

void TestVolumeRender::blockRangesSkipOnlyWhatCannotShow()
{
    QFETCH(Vec3, axis);
    QFETCH(double, angle);
    QFETCH(double, scale);
    QFETCH(bool, section);
    QFETCH(double, cs);
    QFETCH(Vec3, sectionDir);
    QFETCH(int, minShown);
    ViewFrame f;
    f.rotate(axis, angle);
    f.viewScale = scale;
    // Grid sizes that are no multiple of the block size: the last blocks are cut.
    auto set = [&](bool summarized) {
        SceneSet s = volumeOnly(sparseStack(20, 93, 78, summarized), 2, 6);
        s.look.showCSection = section;
        s.look.cs = cs;
        s.look.sectionDir = sectionDir;
        return s;
    };
    const std::vector<SceneSet> sets {set(true)};
    QVERIFY(sets[0].stack->slices[0].hasBlockRanges());
    const QImage expected = transcription(f, 64, 56, {set(false)});
    QCOMPARE(differingPixels(scene(f, 64, 56, sets), expected), 0);
    QCOMPARE(differingPixels(scene(f, 64, 56, sets, true), expected), 0);
    // The balls show, and background round them, where slices are skipped.
    const int shown = shownPixels(expected);
    QVERIFY2(shown >= minShown && shown < 64 * 56 * 9 / 10, qPrintable(QString::number(shown)));
}

void TestVolumeRender::blockRangesAreConsulted()
{
    // Ranges that say no block holds anything in the window: the volume is skipped whole, which
    // shows that the ranges are read (the test above shows that they skip no more than they may).
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

void TestVolumeRender::middleDragTurnsAboutAnAxisInThePicture()
{
    ViewFrame f;
    DragTurn turn = dragTurn(f, DragZone::Middle, 1.0, 0.0);
    QVERIFY(turn.any);
    QCOMPARE(turn.angle, pi);
    f.rotate(turn.axis, turn.angle);
    // The whole width is half a turn about the picture's y axis: the volume is seen from behind.
    QVERIFY(near(f.nx, {-1, 0, 0}));
    QVERIFY(near(f.ny, {0, 1, 0}));
    QVERIFY(near(f.nz, {0, 0, -1}));

    f = ViewFrame {};
    f.rotate({0, 0, 1}, 0.7); // a turned frame: the axis is built from its own x and y
    turn = dragTurn(f, DragZone::Middle, 0.03, -0.04);
    QVERIFY(turn.any);
    QCOMPARE(turn.angle, pi * 0.05);
    QVERIFY(near(turn.axis, (1 / 0.05) * (-0.04 * f.nx + 0.03 * f.ny)));
    QVERIFY(!dragTurn(f, DragZone::Middle, 0, 0).any);
}

void TestVolumeRender::edgeTurns_data()
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

void TestVolumeRender::edgeTurns()
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
