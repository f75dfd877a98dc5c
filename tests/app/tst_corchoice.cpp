// Qt
#include <QTest>

// Local
#include "ct/corsearch.h"
#include "recon/corchoice.h"
#include "recon/runplan.h"
#include "tools/phantom/phantom.h"
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Line 2 of a scan of the demo phantom on `width` pixels about `cor`, 180 projections over 180°.
ProjectionSet phantomLine(int width, double cor, bool poisson)
{
    ScanSetup setup;
    setup.width = width;
    setup.height = 4;
    setup.cor = cor;
    setup.noise = 0.0;
    setup.flatRipple = 0.0;
    if (poisson) {
        setup.i0 = 1000.0;
        setup.bg = 0.0;
        setup.poisson = true;
    }
    return scanLines(demoPhantom(width), setup, {2});
}

SliceTask lineTask(const ProjectionSet &set)
{
    RunParams run;
    run.rotAxIsV = true;
    run.dataSetImages = set.count();
    SliceTask task = runSliceTask(run, set.count(), 2, 0.5 * set.width);
    task.set = set;
    // A region of a corner that the choice must not score by.
    task.region = Region {0.0, 0.0, 10.0, 10.0};
    task.regionIsSet = true;
    return task;
}

std::optional<CorSearchResult> found(double cor)
{
    if (std::isnan(cor))
        return std::nullopt;
    return CorSearchResult {cor, 1.0, 126.0, false};
}

} // namespace

/// \test of recon/corchoice.h: which centre a guess takes when the two searches disagree.
class TestCorChoice : public QObject
{
    Q_OBJECT
private slots:
    void choosesTheSharperCentre_data();
    void choosesTheSharperCentre();
    void guessesFromAFarStart_data();
    void guessesFromAFarStart();
};

void TestCorChoice::choosesTheSharperCentre_data()
{
    QTest::addColumn<double>("mirror"); // NaN: the search found nothing
    QTest::addColumn<double>("fourier");
    QTest::addColumn<bool>("askFourier");
    QTest::addColumn<bool>("compared");
    QTest::addColumn<double>("expected"); // NaN: no centre
    const double none = std::nan("");
    // The scan turns about 63.3 on 128 pixels.
    QTest::newRow("mirror wrong by 19, mirror asked") << 44.1 << 63.3 << false << true << 63.3;
    QTest::newRow("fourier wrong by 19, fourier asked") << 63.3 << 82.5 << true << true << 63.3;
    QTest::newRow("mirror wrong by 3, mirror asked") << 60.3 << 63.4 << false << true << 63.4;
    QTest::newRow("a mirror centre that leaves no sinogram") << 0.6 << 63.3 << false << true << 63.3;
    QTest::newRow("agree: the mirror stays") << 63.3 << 62.5 << false << false << 63.3;
    QTest::newRow("agree: the fourier stays") << 63.3 << 62.5 << true << false << 62.5;
    QTest::newRow("no fourier centre: the mirror stays") << 44.1 << none << false << false << 44.1;
    QTest::newRow("no mirror centre, mirror asked") << none << 63.3 << false << false << none;
}

void TestCorChoice::choosesTheSharperCentre()
{
    QFETCH(double, mirror);
    QFETCH(double, fourier);
    QFETCH(bool, askFourier);
    QFETCH(bool, compared);
    QFETCH(double, expected);
    const ProjectionSet set = phantomLine(128, 63.3, false);
    CorGuesses g;
    g.mirror = found(mirror);
    g.fourier = found(fourier);
    g.mirrorProblem = u"no mirror"_s;
    const CorMethod asked = askFourier ? CorMethod::Fourier : CorMethod::Mirror;
    for (bool single : {false, true}) {
        const CorChoice c = chooseCor(g, asked, lineTask(set), set.count(), single);
        QCOMPARE(c.compared, compared);
        QCOMPARE(c.reason.isEmpty(), !compared);
        if (std::isnan(expected)) {
            QVERIFY(!c.cor);
            QCOMPARE(c.problem, u"no mirror"_s);
            continue;
        }
        QVERIFY2(c.cor, qPrintable(c.problem));
        QCOMPARE(*c.cor, expected);
        QCOMPARE(c.method == CorMethod::Mirror ? mirror : fourier, expected);
        if (compared) {
            // The reason names the centre taken, and the score of the slice taken is the lower.
            QVERIFY2(c.reason.contains(QString::number(expected, 'f', 2)), qPrintable(c.reason));
            if (c.mirrorScore && c.fourierScore)
                QVERIFY(c.method == CorMethod::Mirror ? *c.mirrorScore < *c.fourierScore
                                                      : *c.fourierScore < *c.mirrorScore);
        }
    }
}

void TestCorChoice::guessesFromAFarStart_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("cor");
    QTest::addColumn<bool>("poisson");
    QTest::addColumn<double>("start");
    // From a start far to one side (as after another data set's centre) the mirror search climbs to
    // the wrong hill on 256 pixels; the Fourier search does not start anywhere.
    QTest::newRow("256, from 25") << 256 << 127.3 << false << 0.1;
    QTest::newRow("256, from 205") << 256 << 127.3 << false << 0.8;
    // They agree within a pixel: the mirror centre stays.
    QTest::newRow("64, Poisson 1000") << 64 << 30.5 << true << 0.3;
}

void TestCorChoice::guessesFromAFarStart()
{
    QFETCH(int, width);
    QFETCH(double, cor);
    QFETCH(bool, poisson);
    const ProjectionSet set = phantomLine(width, cor, poisson);
    SinogramRequest r;
    r.rowLines = true;
    r.slice = 2;
    r.cor = 0.5 * width;
    // From a start far to one side, as after another data set's centre.
    QFETCH(double, start);
    const CorGuesses g = guessCorBoth(set, r, 180.0, start * width, 0.35);
    const CorChoice c = chooseCor(g, CorMethod::Mirror, lineTask(set), set.count(), false);
    QVERIFY2(c.cor, qPrintable(c.problem));
    QVERIFY(g.mirror && g.fourier);
    QCOMPARE(c.compared, corGuessesDisagree(g));
    if (!c.compared)
        QCOMPARE(*c.cor, g.mirror->cor);
    QVERIFY2(std::abs(*c.cor - cor) <= 1.0,
        qPrintable(u"%1 (mirror %2, fourier %3)"_s.arg(*c.cor)
                       .arg(g.mirror ? g.mirror->cor : -1)
                       .arg(g.fourier ? g.fourier->cor : -1)));
}

QTEST_APPLESS_MAIN(TestCorChoice)
#include "tst_corchoice.moc"
