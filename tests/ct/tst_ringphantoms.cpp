// Qt
#include <QTest>

// Local
#include "ct/stripefilter.h"
#include "ct/stripeparams.h"
#include "tools/phantom/phantom.h"
#include "tools/phantom/ringcheck.h"
#include <cstdint>

using namespace Qt::StringLiterals;

namespace {

StripeParams params(const QString &word)
{
    StripeParams p;
    stripeMethodFromWord(word, p.method);
    return p;
}

} // namespace

/// Ring removal on phantoms reconstructed whole: what every method does to slices of objects over the
/// rotation axis recorded by a sound detector, and what "all" takes out of a faulty one.
class TestRingPhantoms : public QObject
{
    Q_OBJECT
private slots:
    void cleanPhantomsStayClean_data();
    void cleanPhantomsStayClean();
    void faultyPhantomImproved_data();
    void faultyPhantomImproved();
};

void TestRingPhantoms::cleanPhantomsStayClean_data()
{
    QTest::addColumn<int>("scene");
    QTest::addColumn<bool>("noise");
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("slice"); // −1: the middle one
    QTest::addColumn<int>("seed"); // of the noise
    QTest::addColumn<int>("width"); // of the detector, the projections 180/256 of it
    for (RingScene scene : ringScenes)
        for (const bool noise : {false, true})
            QTest::addRow("%s%s", ringSceneName(scene), noise ? ", Poisson noise" : "")
                << int(scene) << noise << 130.0 << -1 << 1 << 256;
    // The demo phantom's small dense inserts turn about the axis at a column's distance for a good
    // part of the turn (slice 80), its edges cross the cubic of a column's neighbours (100, 160); near
    // its ends the body is a small ellipse beside the axis, over it (44, 48) or not quite (40): the
    // columns just inside it see it at every angle.
    for (const int slice : {40, 44, 48, 80, 100, 160})
        for (const bool noise : {false, true})
            QTest::addRow("demo, slice %d%s", slice, noise ? ", Poisson noise" : "")
                << int(RingScene::Demo) << noise << 130.0 << slice << 1 << 256;
    // Other noise by the ends: the levelling's medians miss the columns beside the axis too.
    QTest::newRow("demo, slice 212, other noise") << int(RingScene::Demo) << true << 130.0 << 212 << 3 << 256;
    QTest::newRow("demo, slice 46, other noise") << int(RingScene::Demo) << true << 130.0 << 46 << 8 << 256;
    // The body's flank bends alike at a column 42 out for many angles: its neighbours' median alone
    // lies off the bend there, as off a stripe on a slope.
    QTest::newRow("demo, slice 100, other noise") << int(RingScene::Demo) << true << 130.0 << 100 << 37 << 256;
    QTest::newRow("demo, Poisson noise, centre between pixels")
        << int(RingScene::Demo) << true << 130.4 << -1 << 1 << 256;
    QTest::newRow("demo, slice 160, centre between pixels") << int(RingScene::Demo) << false << 130.4 << 160 << 1 << 256;
    QTest::newRow("cylinder, centre between pixels") << int(RingScene::Cylinder) << false << 130.5 << -1 << 1 << 256;
    // Twice as large, the small ellipse 40 columns off the axis: its edge turns at the same columns
    // for a good part of the turn, and their sorted values stand off the neighbours' in every quarter.
    QTest::newRow("small off, 512 wide") << int(RingScene::SmallOff) << true << 260.0 << -1 << 1 << 512;
}

void TestRingPhantoms::cleanPhantomsStayClean()
{
    // Objects over the rotation axis, recorded by a sound detector: against the same slice without
    // removal, every method changes no 3 × 3 mean inside the circle by more than 1 % of the value
    // range of the noise-free slice, and the RMS by no more than 0.1 %.
    QFETCH(int, scene);
    QFETCH(bool, noise);
    QFETCH(double, cor);
    QFETCH(int, slice);
    QFETCH(int, seed);
    QFETCH(int, width);
    RingScanSetup setup;
    setup.width = width;
    setup.projections = width * 180 / 256;
    setup.scene = RingScene(scene);
    setup.cor = cor;
    setup.slice = slice;
    setup.seed = static_cast<std::uint32_t>(seed);
    const int line = ringScanSlice(setup);
    const double range = sliceRange(reconstructRingSlice(ringScan(setup), cor, {}, 180.0, line));
    setup.noise = noise;
    const ProjectionSet set = ringScan(setup);
    const SliceImage off = reconstructRingSlice(set, cor, {}, 180.0, line);
    QVERIFY(off.n > 200 && range > 0.0);
    for (const char *method : {"all", "sort", "large", "dead"}) {
        const SliceChange c = sliceChange(
            off, reconstructRingSlice(set, cor, params(QLatin1String(method)), 180.0, line), range);
        QVERIFY2(c.maxSmoothed <= 0.01 && c.rms <= 0.001,
            qPrintable(u"%1: largest %2 %, RMS %3 %"_s.arg(QLatin1String(method))
                           .arg(100 * c.maxSmoothed)
                           .arg(100 * c.rms)));
    }
}

void TestRingPhantoms::faultyPhantomImproved_data()
{
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<double>("error"); // reduction of the RMS error against the stripe-free slice, at least
    QTest::addColumn<double>("rings"); // reduction of the ring strength, at least
    // Gains off by 0.5 … 3 % in every column, two groups, three dead columns and a band of partial
    // stripes: the targets of "all".
    QTest::newRow("every kind") << QStringList() << 5.0 << 10.0;
    QTest::newRow("dead columns") << QStringList {u"dead"_s} << 5.0 << 10.0;
    // Alone, gains and groups are reduced, though less: what is left lies within the noise of a
    // column's offset or by the sample's edges.
    QTest::newRow("gains") << QStringList {u"gain"_s} << 1.2 << 1.2;
}

void TestRingPhantoms::faultyPhantomImproved()
{
    // The demo phantom 640 pixels across, 720 projections, the centre between pixels, with faulty
    // columns: the slice with "all" against the stripe-free one.
    QFETCH(QStringList, kinds);
    QFETCH(double, error);
    QFETCH(double, rings);
    RingScanSetup setup;
    setup.width = 640;
    setup.projections = 720;
    setup.cor = 325.3;
    setup.noise = true;
    const SliceImage truth = reconstructRingSlice(ringScan(setup), setup.cor, {});
    setup.faults = typicalFaults(setup.width, setup.projections, 7, kinds);
    const ProjectionSet set = ringScan(setup);
    const SliceImage before = reconstructRingSlice(set, setup.cor, {});
    const SliceImage after = reconstructRingSlice(set, setup.cor, params(u"all"_s));
    QVERIFY(truth.n > 600 && after.n == truth.n);
    const double errorReduction = rmsDifference(before, truth) / rmsDifference(after, truth);
    const double ringReduction = ringStrength(before) / ringStrength(after);
    QVERIFY2(errorReduction >= error && ringReduction >= rings,
        qPrintable(u"error %1×, rings %2×"_s.arg(errorReduction).arg(ringReduction)));
}

QTEST_APPLESS_MAIN(TestRingPhantoms)
#include "tst_ringphantoms.moc"
