// Qt
#include <QTest>

// Local
#include "ct/corfourier.h"
#include "ct/corguess.h"
#include "ct/corline.h"
#include "ct/corscan.h"
#include "ct/corsearch.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatavalues.h"
#include "imagedata/lineblock.h"
#include "tools/phantom/phantom.h"
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// One slice line (line 2 of 4) of a scan in memory; the axis vertical.
struct Scan
{
    int width = 128;
    int projections = 180;
    double range = 180.0; // degrees
    double cor = 64.0;
    bool poisson = false; // 1000 counts in the flat field
    bool truncated = false; // a body wider than the field
    bool small = false; // an ellipse of 15 × 12 only
    bool pair = false; // two off-centre ellipses only
};

ProjectionSet scanSet(const Scan &s)
{
    Phantom phantom = demoPhantom(s.width);
    const double k = s.width / 128.0;
    if (s.truncated) {
        phantom.parts.clear();
        phantom.parts.push_back({5 * k, -2 * k, 0, 85 * k, 60 * k, 400, 0.2, 0.004});
        phantom.parts.push_back({-15 * k, 10 * k, 0, 12 * k, 8 * k, 400, 0.5, 0.01});
        phantom.parts.push_back({20 * k, -15 * k, 0, 5 * k, 5 * k, 400, 0.0, 0.03});
    } else if (s.small) {
        phantom.parts = {{2, 1, 0, 15, 12, 400, 0.3, 0.05}};
    } else if (s.pair) {
        phantom.parts = {{18, -9, 0, 14, 9, 30, 0.4, 0.03}, {-10, 6, 0, 4, 4, 30, 0.0, 0.08}};
    }
    ScanSetup setup;
    setup.width = s.width;
    setup.height = 4;
    setup.cor = s.cor;
    setup.projections = s.projections;
    setup.rangeDeg = s.range;
    setup.noise = 0.0;
    setup.flatRipple = 0.0;
    if (s.poisson) {
        setup.i0 = 1000.0;
        setup.bg = 0.0;
        setup.poisson = true;
    }
    return scanLines(phantom, setup, {2});
}

SinogramRequest lineTwo(double cor)
{
    SinogramRequest r;
    r.rowLines = true;
    r.slice = 2;
    r.cor = cor;
    return r;
}

SliceTask trialTask(const ProjectionSet &set, double cor)
{
    SliceTask t;
    t.set = set;
    t.sinogram = lineTwo(cor);
    t.angles = projectionAngles(0.0, 180.0, set.count(), 0);
    t.regionIsSet = false;
    return t;
}

} // namespace
Q_DECLARE_METATYPE(Scan)

class TestCorGuess : public QObject
{
    Q_OBJECT
private slots:
    void oppositeImage_data();
    void oppositeImage();
    void scoreMirrorsAboutTheTrialCentre_data();
    void scoreMirrorsAboutTheTrialCentre();
    void bothMethodsFindTheAxis_data();
    void bothMethodsFindTheAxis();
    void fourierAxisOutsideItsRangeIsAtTheEdge();
    void warnings_data();
    void warnings();
    void scanCentres_data();
    void scanCentres();
    void trialsOfOneLengthStayWithOneEngine();
    void scanBestIsWithinAStep_data();
    void scanBestIsWithinAStep();
    void trialEqualsTheSliceBitForBit_data();
    void trialEqualsTheSliceBitForBit();
    void scoreIsFairToWholeAndHalfCentres();
    void lineFit_data();
    void lineFit();
    void spreadSlices_data();
    void spreadSlices();
    void guessAlongATiltedAxis();
    void searchesOverNothingFail_data();
    void searchesOverNothingFail();
};

void TestCorGuess::oppositeImage_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("used");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("range");
    QTest::addColumn<int>("opposite"); // −1: none among the images used
    QTest::newRow("360 over 180: one before the end") << 0 << 360 << 360 << 180.0 << 359;
    QTest::newRow("360 over 360") << 0 << 360 << 360 << 360.0 << 180;
    QTest::newRow("partial start wraps") << 350 << 360 << 360 << 360.0 << 170;
    QTest::newRow("180 over 180") << 0 << 180 << 180 << 180.0 << 179;
    // Before, (180 + 10) − 0 … modulo 180 gave image 10 back: the image compared with itself.
    QTest::newRow("partial 10:170 of 180 over 180") << 10 << 170 << 180 << 180.0 << -1;
    QTest::newRow("partial 10:170 of 360 over 360") << 10 << 170 << 360 << 360.0 << -1;
    QTest::newRow("partial 10:181 of 360 over 360") << 10 << 181 << 360 << 360.0 << 190;
    QTest::newRow("partial 300:200 of 360 over 360 wraps") << 300 << 200 << 360 << 360.0 << 120;
    QTest::newRow("90 degrees hold no facing pair") << 0 << 90 << 90 << 90.0 << -1;
    QTest::newRow("range 0") << 0 << 90 << 90 << 0.0 << -1;
    QTest::newRow("negative range") << 0 << 90 << 90 << -180.0 << -1;
    QTest::newRow("one image") << 0 << 1 << 1 << 180.0 << -1;
}

void TestCorGuess::oppositeImage()
{
    QFETCH(int, first);
    QFETCH(int, used);
    QFETCH(int, count);
    QFETCH(double, range);
    QFETCH(int, opposite);
    const std::optional<int> found = ::oppositeImage(first, used, count, range);
    QCOMPARE(found.value_or(-1), opposite);
}

void TestCorGuess::scoreMirrorsAboutTheTrialCentre_data()
{
    QTest::addColumn<double>("axis");
    QTest::newRow("20") << 20.0;
    QTest::newRow("20.3") << 20.3;
    QTest::newRow("19.7") << 19.7;
}

void TestCorGuess::scoreMirrorsAboutTheTrialCentre()
{
    // b is a mirrored about the axis: the best trial c is the axis itself, where the reconstruction
    // puts its axis (before, the lines were mirrored about c − 0.5 and the guess came out 0.5 off).
    QFETCH(double, axis);
    const int L = 48;
    const auto profile = [](double x) {
        return std::exp(-0.02 * (x - 14) * (x - 14)) + 0.3 * std::exp(-0.1 * (x - 30) * (x - 30));
    };
    std::vector<double> a(L), b(L);
    for (int x = 0; x < L; ++x) {
        a[x] = profile(x);
        b[x] = profile(2 * axis - x);
    }
    const double w = 0.35 * L;
    QVERIFY(corScore(a, b, axis, L, w) > corScore(a, b, axis + 0.5, L, w));
    QVERIFY(corScore(a, b, axis, L, w) > corScore(a, b, axis - 0.5, L, w));
    // The guess is the double of the tenth: the field and the log read "20.3", not "20.299999999999997".
    QCOMPARE(QString::number(guessCorPosition(a, b, L, 17.0, w), 'g', QLocale::FloatingPointShortest),
        QString::number(axis));
    // No window, or no line, scores nothing and keeps the start.
    QCOMPARE(corScore(a, b, axis, L, 0.0), 0.0);
    QCOMPARE(guessCorPosition(a, b, L, 16.25, 0.0), 16.25);
    QCOMPARE(corScore(a, b, axis, 0, w), 0.0);
}

void TestCorGuess::bothMethodsFindTheAxis_data()
{
    QTest::addColumn<Scan>("scan");
    QTest::addColumn<double>("mirrorTolerance"); // < 0: the mirror guess is not held to it
    QTest::addColumn<double>("fourierTolerance"); // < 0: nor the Fourier guess
    // The axis of the phantom is the axis of the reconstruction: the mirror guess lands on it (its fine
    // search steps by 0.1 from a whole pixel, so 0.1 is the closest it can promise). 4 over 360 degrees
    // compares images 0 and 2, exactly 180 degrees apart; 180 over 180 compares 0 and 179, one step
    // short. With the lines mirrored about c − 0.5 the guesses came out half a pixel high, and with
    // linear interpolation up to 0.2 pixel towards whole pixels.
    for (const double cor : {70.5, 70.3, 63.8, 64.0, 66.3})
        QTest::addRow("two ellipses, 4 over 360, axis %g", cor)
            << Scan {.projections = 4, .range = 360.0, .cor = cor, .pair = true} << 0.1 << -1.0;
    QTest::newRow("two ellipses, 180 over 180, axis 57") << Scan {.cor = 57.0, .pair = true} << 0.1 << -1.0;
    QTest::newRow("256, axis 127.3") << Scan {.width = 256, .cor = 127.3} << 0.1 << 1.0;
    QTest::newRow("256, 4 over 360, axis 130")
        << Scan {.width = 256, .projections = 4, .range = 360.0, .cor = 130.0} << 0.1 << -1.0;
    QTest::newRow("256, 4 over 360, axis 121.6")
        << Scan {.width = 256, .projections = 4, .range = 360.0, .cor = 121.6} << 0.1 << -1.0;
    QTest::newRow("128, noise-free") << Scan {.cor = 66.37} << 0.1 << 0.03; // found within 0.02
    QTest::newRow("512, Poisson 1000")
        << Scan {.width = 512, .projections = 360, .cor = 261.5, .poisson = true} << 0.3 << 0.3;
    // On 48 pixels the mirror guess climbs to the wrong hill (about 10 pixels off).
    QTest::newRow("48, noise-free") << Scan {.width = 48, .cor = 23.2} << -1.0 << 0.1;
    QTest::newRow("48, Poisson 1000") << Scan {.width = 48, .cor = 26.74, .poisson = true} << -1.0 << 1.0;
    QTest::newRow("64, Poisson 1000") << Scan {.width = 64, .cor = 30.5, .poisson = true} << -1.0 << 1.0;
    QTest::newRow("truncated, Poisson 1000")
        << Scan {.cor = 65.3, .poisson = true, .truncated = true} << -1.0 << 1.0;
    // Inside the Fourier search's range, near its end (see fourierAxisOutsideItsRangeIsAtTheEdge).
    QTest::newRow("small ellipse, axis 40") << Scan {.cor = 40.0, .small = true} << -1.0 << 0.1;
}

void TestCorGuess::bothMethodsFindTheAxis()
{
    QFETCH(Scan, scan);
    QFETCH(double, mirrorTolerance);
    QFETCH(double, fourierTolerance);
    const CorGuesses g
        = guessCorBoth(scanSet(scan), lineTwo(0.5 * scan.width), scan.range, 0.5 * scan.width, 0.35);
    if (fourierTolerance > 0.0) {
        QVERIFY2(g.fourier, qPrintable(g.fourierProblem));
        QVERIFY2(std::abs(g.fourier->cor - scan.cor) <= fourierTolerance,
            qPrintable(QString::number(g.fourier->cor)));
        QVERIFY(!g.fourier->atEdge);
    }
    if (mirrorTolerance > 0.0) {
        QVERIFY2(g.mirror, qPrintable(g.mirrorProblem));
        QVERIFY2(std::abs(g.mirror->cor - scan.cor) <= mirrorTolerance + 1e-9,
            qPrintable(QString::number(g.mirror->cor, 'g', 10)));
        // ... and is the double of a tenth, which reads "130.1" in the field and the log, not
        // "130.09999999999988".
        QCOMPARE(g.mirror->cor, std::round(g.mirror->cor * 10.0) / 10.0);
    }
}

void TestCorGuess::fourierAxisOutsideItsRangeIsAtTheEdge()
{
    // An ellipse turning about x = 28 on 128 pixels: the search over 32 … 95 cannot reach it, but
    // its valley reaches into the range.
    const std::optional<CorSearchResult> r
        = fourierCor(scanSet({.cor = 28.0, .small = true}), lineTwo(64.0), 180.0);
    QVERIFY(r);
    QCOMPARE(r->from, 32.0);
    QVERIFY(r->atEdge);
    QVERIFY(r->cor < r->from + 0.5);
}

void TestCorGuess::warnings_data()
{
    QTest::addColumn<double>("mirror");
    QTest::addColumn<double>("fourier");
    QTest::addColumn<bool>("mirrorAtEdge");
    QTest::addColumn<bool>("fourierAtEdge");
    QTest::addColumn<QStringList>("words"); // one word of each warning expected, in order
    QTest::newRow("agree") << 100.2 << 101.1 << false << false << QStringList {};
    QTest::newRow("differ by more than a pixel")
        << 100.2 << 101.3 << false << false << QStringList {u"differ"_qs};
    QTest::newRow("fourier at the edge") << 100.2 << 100.4 << false << true << QStringList {u"fourier"_qs};
    QTest::newRow("differ, and mirror at the edge")
        << 3.0 << 64.0 << true << false << QStringList {u"differ"_qs, u"mirror"_qs};
}

void TestCorGuess::warnings()
{
    QFETCH(double, mirror);
    QFETCH(double, fourier);
    QFETCH(bool, mirrorAtEdge);
    QFETCH(bool, fourierAtEdge);
    QFETCH(QStringList, words);
    CorGuesses g;
    g.mirror = CorSearchResult {mirror, 1.0, 126.0, mirrorAtEdge};
    g.fourier = CorSearchResult {fourier, 32.0, 95.0, fourierAtEdge};
    const QStringList w = corGuessWarnings(g);
    QCOMPARE(w.size(), words.size());
    for (qsizetype i = 0; i < w.size(); ++i)
        QVERIFY2(w[i].contains(words[i]), qPrintable(w[i]));
    // A missing guess warns of nothing by itself (its problem is reported where it arose).
    g.fourier.reset();
    QCOMPARE(corGuessWarnings(g).size(), mirrorAtEdge ? 1 : 0);
}

void TestCorGuess::scanCentres_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<double>("step");
    QTest::addColumn<QList<double>>("centres"); // empty: refused
    QTest::newRow("± 1 by 0.5") << 9.0 << 11.0 << 0.5 << QList<double> {9, 9.5, 10, 10.5, 11};
    QTest::newRow("downwards, step's sign ignored") << 5.0 << 3.0 << 1.0 << QList<double> {5, 4, 3};
    QTest::newRow("step not dividing the range") << 0.0 << 1.0 << 0.3 << QList<double> {0, 0.3, 0.6, 0.9};
    QTest::newRow("0.1 steps end on to") << 1.0 << 1.3 << 0.1 << QList<double> {1.0, 1.1, 1.2, 1.3};
    QTest::newRow("one centre") << 7.0 << 7.0 << 0.5 << QList<double> {7};
    QTest::newRow("step 0") << 0.0 << 1.0 << 0.0 << QList<double> {};
    QTest::newRow("step nan") << 0.0 << 1.0 << qQNaN() << QList<double> {};
    QTest::newRow("to inf") << 0.0 << qInf() << 1.0 << QList<double> {};
    QTest::newRow("more than the limit") << 0.0 << 1000.0 << 0.5 << QList<double> {};
}

void TestCorGuess::scanCentres()
{
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(double, step);
    QFETCH(QList<double>, centres);
    const std::vector<double> got = corScanCentres(from, to, step);
    QCOMPARE(got.size(), size_t(centres.size()));
    for (size_t i = 0; i < got.size(); ++i)
        QVERIFY2(std::abs(got[i] - centres[qsizetype(i)]) < 1e-12, qPrintable(QString::number(got[i])));
    // A scan whose centres all give a sinogram on 128 pixels, and one reaching past the line.
    QCOMPARE(corScanProblem(60, 70, 0.5, 128).isEmpty(), true);
    QCOMPARE(corScanProblem(120, 126.5, 0.5, 128).isEmpty(), false);
}

void TestCorGuess::trialsOfOneLengthStayWithOneEngine()
{
    // Lengths of a scan across the middle of a line: a single, then pairs. Two engines, of lengths 0
    // and 0 at first, take turns as they become free.
    const std::vector<int> lengths {10, 12, 12, 14, 14, 16, 16};
    std::vector<bool> taken(lengths.size(), false);
    int engine[2] = {0, 0};
    QList<int> order;
    for (int turn = 0; turn < 7; ++turn) {
        int &n = engine[turn % 2];
        const int i = nextCorTrial(lengths, taken, n);
        QVERIFY(i >= 0);
        taken[size_t(i)] = true;
        n = lengths[size_t(i)];
        order << i;
    }
    // Each engine keeps to its pair: 0 | 1 2 on one, 3 4 on the other, and so on.
    QCOMPARE(order, QList<int>({0, 1, 3, 2, 4, 5, 6}));
    QCOMPARE(nextCorTrial(lengths, taken, 16), -1);
}

void TestCorGuess::scanBestIsWithinAStep_data()
{
    QTest::addColumn<bool>("poisson");
    QTest::addColumn<double>("cor");
    QTest::newRow("noise-free, axis 65.3") << false << 65.3;
    QTest::newRow("noise-free, axis 62.8") << false << 62.8;
    // With noise a plain entropy prefers every half centre (interpolated, so less noisy): it would
    // pick 64.5 or 65.5 here.
    QTest::newRow("Poisson 1000, axis 65.0") << true << 65.0;
    QTest::newRow("Poisson 1000, axis 63.9") << true << 63.9;
}

void TestCorGuess::scanBestIsWithinAStep()
{
    QFETCH(bool, poisson);
    QFETCH(double, cor);
    const ProjectionSet set = scanSet({.cor = cor, .poisson = poisson});
    const std::vector<double> centres = corScanCentres(61.5, 66.5, 0.5);
    const SliceTask task = trialTask(set, 64.0);
    const CorScoreSetup score = corScanScoreSetup(task, centres);
    CtFbp engine;
    SinogramCache sinograms;
    CorScorer scorer;
    std::vector<CorTrial> trials;
    for (double c : centres) {
        const SliceTask t = trialTask(set, c);
        const int n = requiredLength(set, t.sinogram);
        engine.setup(n, set.count());
        scorer.setup(n);
        trials.push_back(runCorTrial(engine, sinograms, scorer, t, score));
        QVERIFY2(trials.back().reconstructed, qPrintable(trials.back().problem));
    }
    const int best = bestCorTrial(trials);
    QVERIFY(best >= 0);
    QVERIFY2(std::abs(trials[size_t(best)].cor - cor) <= 0.5,
        qPrintable(QString::number(trials[size_t(best)].cor)));
    // A trial that could not be made (score 0) never wins; with none made there is no best.
    trials.push_back(CorTrial {});
    QCOMPARE(bestCorTrial(trials), best);
    QCOMPARE(bestCorTrial({CorTrial {}}), -1);
}

void TestCorGuess::trialEqualsTheSliceBitForBit_data()
{
    QTest::addColumn<double>("cor");
    QTest::addColumn<bool>("region");
    QTest::newRow("whole centre") << 64.0 << false;
    QTest::newRow("half centre, region") << 63.5 << true;
    QTest::newRow("odd centre") << 64.37 << false;
}

void TestCorGuess::trialEqualsTheSliceBitForBit()
{
    QFETCH(double, cor);
    QFETCH(bool, region);
    const ProjectionSet set = scanSet({.poisson = true});
    SliceTask task = trialTask(set, cor);
    task.regionIsSet = region;
    task.region = Region {10.3, 20.0, 100.0, 90.7};
    const int n = requiredLength(set, task.sinogram);

    // The slice as a run makes it, with its image and files.
    CtFbp engine;
    SinogramCache sinograms;
    engine.setup(n, set.count());
    SliceTask slice = task;
    slice.makeImage = slice.makeData = slice.makeTiff = true;
    QVERIFY(reconstructSlice(engine, sinograms, slice).reconstructed);
    const std::vector<double> expected(engine.image().begin(), engine.image().end());

    // The trial on another engine that held another length before.
    CtFbp other;
    SinogramCache otherSinograms;
    CorScorer scorer;
    other.setup(n + 2, set.count());
    other.setup(n, set.count());
    scorer.setup(n);
    const CorTrial trial = runCorTrial(other, otherSinograms, scorer, task, corScanScoreSetup(task, {cor}));
    QVERIFY(trial.reconstructed && trial.values);
    QCOMPARE(trial.n, n);
    // The trial's engine holds the slice's values to the bit; the trial keeps them as float.
    QVERIFY(std::equal(other.image().begin(), other.image().end(), expected.begin(), expected.end()));
    std::vector<float> rounded(expected.begin(), expected.end());
    QVERIFY(*trial.values == rounded);
}

void TestCorGuess::scoreIsFairToWholeAndHalfCentres()
{
    // Pure noise, no object: only the interpolation tells a whole centre from a half one. The plain
    // entropy of the two differs by far more than a step of the centre moves it near the optimum;
    // the score by a hundredth of that.
    const int width = 128, rows = 180;
    ProjectionSet set;
    set.width = width;
    set.height = 4;
    std::mt19937 rng(3);
    std::poisson_distribution<int> counts(1000);
    for (int k = 0; k < rows; ++k) {
        auto img = std::make_shared<ImgDataLineBlock>(u"p"_qs, width, 4, true, std::vector<int> {2});
        img->allocate(ImgDataLineBlock::Storage::F64);
        for (int i = 0; i < width; ++i)
            img->f64Line(0)[i] = counts(rng);
        set.images.push_back(img);
    }
    double plain[2] = {}, score[2] = {};
    const double centres[2] = {64.0, 63.5};
    for (int i = 0; i < 2; ++i) {
        const SliceTask t = trialTask(set, centres[i]);
        const int n = requiredLength(set, t.sinogram);
        CtFbp engine;
        SinogramCache sinograms;
        CorScorer scorer;
        engine.setup(n, rows);
        scorer.setup(n);
        const CorScoreSetup setup = corScoreSetup(124);
        const CorTrial trial = runCorTrial(engine, sinograms, scorer, t, setup);
        QVERIFY(trial.reconstructed);
        score[i] = trial.score;
        std::vector<double> inside;
        for (int z = 0; z < n; ++z)
            for (int x = 0; x < n; ++x)
                if ((x - 0.5 * n) * (x - 0.5 * n) + (z - 0.5 * n) * (z - 0.5 * n)
                    < setup.radius * setup.radius)
                    inside.push_back((*trial.values)[size_t(z) * n + x]);
        plain[i] = differentialEntropy(inside, setup.bins);
    }
    // Halving the noise variance lowers a Gaussian's entropy by ln(2)/2 ≈ 0.35.
    QVERIFY2(plain[0] - plain[1] > 0.2, qPrintable(QString::number(plain[0] - plain[1])));
    QVERIFY2(std::abs(score[0] - score[1]) < 0.02, qPrintable(QString::number(score[0] - score[1])));
}

void TestCorGuess::lineFit_data()
{
    QTest::addColumn<QList<int>>("slices");
    QTest::addColumn<QList<double>>("cors");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<double>("slope");
    QTest::addColumn<double>("atZero");
    QTest::addColumn<double>("rms");
    QTest::newRow("exact") << QList<int> {0, 500, 1000} << QList<double> {100, 102, 104} << true << 0.004
                           << 100.0 << 0.0;
    // Residuals +0.5, −1, +0.5 about the line 10 + 0·s.
    QTest::newRow("bent") << QList<int> {0, 10, 20} << QList<double> {10.5, 9.0, 10.5} << true << 0.0 << 10.0
                          << std::sqrt(0.5);
    QTest::newRow("large slice numbers")
        << QList<int> {1000000, 1000002} << QList<double> {5.0, 6.0} << true << 0.5 << -499995.0 << 0.0;
    QTest::newRow("one point") << QList<int> {3} << QList<double> {10.0} << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("one slice twice") << QList<int> {3, 3} << QList<double> {10.0, 11.0} << false << 0.0 << 0.0
                                     << 0.0;
}

void TestCorGuess::lineFit()
{
    QFETCH(QList<int>, slices);
    QFETCH(QList<double>, cors);
    QFETCH(bool, fits);
    QFETCH(double, slope);
    QFETCH(double, atZero);
    QFETCH(double, rms);
    const std::vector<int> s(slices.begin(), slices.end());
    const std::vector<double> c(cors.begin(), cors.end());
    const std::optional<CorLineFit> fit = fitCorLine(s, c);
    QCOMPARE(fit.has_value(), fits);
    if (!fits)
        return;
    QVERIFY(std::abs(fit->slope - slope) < 1e-12);
    QVERIFY(std::abs(fit->at(0) - atZero) < 1e-6);
    QVERIFY(std::abs(fit->rms - rms) < 1e-9);
    // Its two records put every slice back on the line.
    const CorLine line = fit->records(s.front(), s.back());
    QVERIFY(line.isValid());
    QVERIFY(std::abs(line.at(s.front() + 7) - fit->at(s.front() + 7)) < 1e-6);
}

void TestCorGuess::spreadSlices_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("slices");
    QTest::newRow("5 over 0 … 999") << 0 << 999 << 5 << QList<int> {0, 250, 500, 749, 999};
    QTest::newRow("downwards") << 10 << 0 << 3 << QList<int> {10, 5, 0};
    QTest::newRow("more than the slices") << 4 << 6 << 10 << QList<int> {4, 5, 6};
    QTest::newRow("one") << 4 << 8 << 1 << QList<int> {6};
}

void TestCorGuess::spreadSlices()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, count);
    QFETCH(QList<int>, slices);
    const std::vector<int> got = ::spreadSlices(from, to, count);
    QCOMPARE(QList<int>(got.begin(), got.end()), slices);
}

void TestCorGuess::guessAlongATiltedAxis()
{
    // The axis moves 1.2 pixels over 60 lines; five guesses and their line follow it everywhere.
    ScanSetup setup;
    setup.width = 128;
    setup.height = 64;
    setup.cor = 63.0;
    setup.corPerLine = 0.02;
    setup.projections = 180;
    setup.noise = 0.0;
    setup.flatRipple = 0.0;
    const std::vector<int> lines {2, 17, 32, 47, 62};
    const ProjectionSet set = scanLines(demoPhantom(128), setup, lines);
    for (CorMethod method : {CorMethod::Mirror, CorMethod::Fourier}) {
        const CorLineGuess g = guessCorLine(set, lineTwo(64.0), 180.0, method, 64.0, 0.35, 2, 62, 5);
        QVERIFY2(g.problems.isEmpty(), qPrintable(g.problems.join(u'\n')));
        QCOMPARE(g.slices, lines);
        QVERIFY(g.fit);
        for (int slice = 0; slice < 64; ++slice)
            QVERIFY2(
                std::abs(g.fit->at(slice) - (63.0 + 0.02 * slice)) < 0.1, qPrintable(corMethodName(method)));
        QVERIFY(g.fit->rms < corLineResidualLimit);
    }
}

void TestCorGuess::searchesOverNothingFail_data()
{
    // A set without structure, or with a value that is not finite in the first image's line, or
    // with an I0 below BG: what each search and a trial of the scan say (empty: it succeeds). A
    // search that found nothing used to return where it started, the trial to score 0.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("mirror");
    QTest::addColumn<QString>("fourier");
    QTest::addColumn<QString>("trial");
    QTest::newRow("every pixel alike") << u"flat"_s << u"hold no structure to compare"_s
                                       << u"would hold no structure to compare"_s << QString();
    QTest::newRow("a pixel that is not a number")
        << u"nan"_s << u"hold values that are not finite"_s << u"would hold values that are not finite"_s
        << u"values that are not finite: it is not written"_s;
    QTest::newRow("an infinite pixel")
        << u"inf"_s << u"hold values that are not finite"_s << u"would hold values that are not finite"_s
        << u"values that are not finite: it is not written"_s;
    QTest::newRow("I0 not above BG") << u"i0"_s << QString() << u"I0 is not above BG"_s
                                     << u"I0 is not above BG: check the I0 and BG images"_s;
}

void TestCorGuess::searchesOverNothingFail()
{
    QFETCH(QString, fault);
    QFETCH(QString, mirror);
    QFETCH(QString, fourier);
    QFETCH(QString, trial);
    // Line 2 of 4 rows of 128 pixels, from the phantom's scan (or 1000 everywhere).
    const ProjectionSet scan = scanSet({});
    ProjectionSet set;
    set.width = 128;
    set.height = 4;
    for (int k = 0; k < scan.count(); ++k) {
        std::vector<double> values(4 * 128, 1000.0);
        if (fault != u"flat"_s)
            scan.images[size_t(k)]->getRow(2, values.data() + 2 * 128);
        if (k == 0 && (fault == u"nan"_s || fault == u"inf"_s))
            values[2 * 128 + 70] = fault == u"nan"_s ? qQNaN() : qInf();
        set.images.push_back(std::make_shared<ImgDataValues>(u"p"_s, QString(), 128, 4, std::move(values)));
    }
    if (fault == u"i0"_s) {
        set.i0
            = std::make_shared<ImgDataValues>(u"i0"_s, QString(), 128, 4, std::vector<double>(4 * 128, 50.0));
        set.bg = std::make_shared<ImgDataValues>(
            u"bg"_s, QString(), 128, 4, std::vector<double>(4 * 128, 100.0));
    }
    const CorGuesses g = guessCorBoth(set, lineTwo(64.0), 180.0, 64.0, 0.35);
    QCOMPARE(bool(g.mirror), mirror.isEmpty());
    QVERIFY2(g.mirrorProblem.contains(mirror), qPrintable(g.mirrorProblem));
    QCOMPARE(bool(g.fourier), fourier.isEmpty());
    QVERIFY2(g.fourierProblem.contains(fourier), qPrintable(g.fourierProblem));
    // Guesses along a range: none, so no line (it had a residual of 0 on a set without structure).
    if (!mirror.isEmpty())
        QVERIFY(!guessCorLine(set, lineTwo(64.0), 180.0, CorMethod::Mirror, 64.0, 0.35, 1, 2, 2).fit);

    const SliceTask task = trialTask(set, 64.0);
    CtFbp engine;
    SinogramCache sinograms;
    CorScorer scorer;
    const int n = requiredLength(set, task.sinogram);
    engine.setup(n, set.count());
    scorer.setup(n);
    const CorTrial t = runCorTrial(engine, sinograms, scorer, task, corScanScoreSetup(task, {64.0}));
    QCOMPARE(t.reconstructed, trial.isEmpty());
    QVERIFY2(t.problem.contains(trial), qPrintable(t.problem));
}

QTEST_APPLESS_MAIN(TestCorGuess)
#include "tst_corguess.moc"
