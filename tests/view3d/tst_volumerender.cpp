// Qt
#include <QPainter>
#include <QTest>

// Local
#include "view3d/volumescene.h"
#include <cmath>
#include <numbers>
#include <random>

namespace {

/// A stack of ns random slices of sw × sh, values −1 … 9, a few NaN.
SliceStackPtr randomStack(int ns, int sw, int sh, unsigned seed)
{
    auto stack = std::make_shared<SliceStack>();
    stack->nx = sw;
    stack->ny = sh;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1, 9);
    for (int k = 0; k < ns; ++k) {
        SliceData s;
        s.makeGrid(sw, sh);
        for (double &v : s.values)
            v = u(rng) < 8.9 ? u(rng) : std::nan("");
        stack->slices.push_back(std::move(s));
    }
    return stack;
}

/// A stack as a reconstruction gives it: background noise below the window (−0.5 … 0.5; NaN, +∞
/// and −∞ here and there in a band across the middle), two small balls of 2 … 8, and values at the
/// window's top (window 2 … 6): a block of values above it, one of them exactly the upper value of
/// q 255. With block ranges worked out when `summarized`.
SliceStackPtr sparseStack(int ns, int sw, int sh, bool summarized)
{
    auto stack = std::make_shared<SliceStack>();
    stack->nx = sw;
    stack->ny = sh;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-0.5, 0.5), inside(2, 8);
    const double special[]
        = {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (int k = 0; k < ns; ++k) {
        SliceData s;
        s.makeGrid(sw, sh);
        const double dz = k - ns / 2.0;
        for (int y = 0; y < sh; ++y) {
            for (int x = 0; x < sw; ++x) {
                const double r1 = std::hypot(x - sw * 0.3, y - sh * 0.4, dz);
                const double r2 = std::hypot(x - sw * 0.6, y - sh * 0.6, dz - 3);
                double v = u(rng);
                if (r1 < sw * 0.08 || r2 < sw * 0.05)
                    v = inside(rng);
                else if (std::abs(y - sh / 2) < 2 && u(rng) > 0.4)
                    v = special[rng() % 3];
                s.values[size_t(y) * sw + x] = v;
            }
        }
        stack->slices.push_back(std::move(s));
    }
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
    auto stack = std::make_shared<SliceStack>();
    stack->nx = 40;
    stack->ny = 30;
    for (int k = 0; k < 3; ++k) {
        SliceData s;
        s.makeGrid(40, 30);
        stack->slices.push_back(s);
    }
    stack->slices[1].values[size_t(12 * 40 + 25)] = 128; // column 25, row 12 of the middle slice
    stack->slices[2].values[size_t(12 * 40 + 25)] = 64;
    SceneSet set = volumeOnly(stack, 0, 256);
    const QImage picture = scene(ViewFrame {}, 256, 256, {set});
    const int i = 25 - 20 + 128, j = 12 - 15 + 128;
    // q = 128: channels trunc(255 − 128·(1 − C/255)) of (0, 127, 127).
    const int g = int(std::trunc(255 - 128 * (1 - 127 / 255.0)));
    QCOMPARE(picture.pixel(i, j), qRgb(127, g, g));
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
    auto stack = std::make_shared<SliceStack>();
    stack->nx = stack->ny = 4;
    SliceData s;
    s.makeGrid(4, 4);
    std::fill(s.values.begin(), s.values.end(), value);
    stack->slices.push_back(s);
    SliceData low;
    low.makeGrid(4, 4);
    std::fill(low.values.begin(), low.values.end(), 3.0); // q = 64 where nothing larger counts
    stack->slices.push_back(low);
    const QImage picture = scene(ViewFrame {}, 4, 4, {volumeOnly(stack, 2, 6)});
    const int shown = q < 0 ? 64 : std::max(q, 64);
    const int g = int(std::trunc(255 - shown * (1 - 127 / 255.0)));
    QCOMPARE(picture.pixel(1, 1), qRgb(int(std::trunc(255 - shown * 1.0)), g, g));
}

void TestVolumeRender::sectionCutsAndColours()
{
    // Four slices of one value each (10, 20, 30, 40 in a window 0 … 256) at z = −2 … 1, seen head
    // on; the section normal is the viewing direction. With the plane at cs = 0.5 the slice at z = 1
    // is cut away and the one at z = 0, within one unit before the plane, shows in the section colour.
    auto stack = std::make_shared<SliceStack>();
    stack->nx = stack->ny = 4;
    for (int k = 0; k < 4; ++k) {
        SliceData s;
        s.makeGrid(4, 4);
        std::fill(s.values.begin(), s.values.end(), 10.0 * (k + 1));
        stack->slices.push_back(s);
    }
    SceneSet set = volumeOnly(stack, 0, 256);
    set.look.showCSection = true;
    set.look.sectionDir = {0, 0, 1};
    set.look.sectionColor = QColor(127, 0, 0);
    auto red = [](double w) {
        const int r = int(std::trunc(255 - w * (1 - 127 / 255.0))), o = int(std::trunc(255 - w));
        return qRgb(r, o, o);
    };
    set.look.cs = 0.5;
    QCOMPARE(scene(ViewFrame {}, 4, 4, {set}).pixel(2, 2), red(30));
    set.look.cs = 1.5; // nothing cut; z = 1 is the last within one unit before the plane
    QCOMPARE(scene(ViewFrame {}, 4, 4, {set}).pixel(2, 2), red(40));
    set.look.cs = 0; // z = −1 lies a whole unit before the plane: no section sample, the volume shows
    QCOMPARE(scene(ViewFrame {}, 4, 4, {set}).pixel(2, 2),
        qRgb(int(std::trunc(255 - 20.0)), int(std::trunc(255 - 20 * (1 - 127 / 255.0))),
            int(std::trunc(255 - 20 * (1 - 127 / 255.0)))));
    set.look.cs = -2.5; // nothing before the plane: all cut away
    QCOMPARE(scene(ViewFrame {}, 4, 4, {set}).pixel(2, 2), qRgb(255, 255, 255));
    set.look.showCSection = false; // the whole volume: the maximum, 40, in the volume colour
    const int g = int(std::trunc(255 - 40 * (1 - 127 / 255.0)));
    QCOMPARE(scene(ViewFrame {}, 4, 4, {set}).pixel(2, 2), qRgb(int(std::trunc(255 - 40.0)), g, g));
}

void TestVolumeRender::alongTheSlicePlanesNothingShows()
{
    ViewFrame f;
    f.rotate({1, 0, 0}, std::numbers::pi / 2); // nz now lies in the slice planes
    QCOMPARE(f.nz.z, std::cos(std::numbers::pi / 2));
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
    auto stack = std::make_shared<SliceStack>();
    stack->nx = stack->ny = 64;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    for (int k = 0; k < 6; ++k) {
        SliceData s;
        s.makeGrid(64, 64);
        for (double &v : s.values)
            v = k == 2 ? 4.0 : u(rng);
        s.summarizeBlocks();
        stack->slices.push_back(std::move(s));
    }
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
    f.rotate({0, 1, 0}, -std::numbers::pi / 2);
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

QTEST_MAIN(TestVolumeRender)
#include "tst_volumerender.moc"
