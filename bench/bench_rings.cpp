// Ring removal. What it does to clean data: slices of objects over the rotation axis (a disk, an
// ellipse, a tube and a cylinder centred on the axis, a half disk whose straight edge runs through
// the axis, the demo phantom), with and without Poisson noise of 20 000 counts in the flat field,
// each method against the same slice without removal. What it does to faulty data: the demo phantom
// recorded with faulty columns of each kind (gains off by 0.5 … 3 %, groups, dead columns, a band in
// a third of the projections) and with all of them, against the stripe-free slice. The real tooth scan
// (TomoPy's public test data) when it is at hand. What it costs: each method on a sinogram of
// 2047 × 1800 against the reconstruction of that slice on one core.

// Qt
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

// Local
#include "bench/benchutil.h"
#include "ct/ctfbp.h"
#include "ct/stripefilter.h"
#include "imagedata/imagesource.h"
#include "tools/phantom/ringcheck.h"
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#ifndef QV_TOOTH_SCAN
#define QV_TOOTH_SCAN ""
#endif

namespace {

struct Options
{
    StripeParams params; // the method is set per figure
    int width = 256;
    int projections = 180;
    double cor = 130.0;
    QString only; // a scene name: only that one
    int seeds = 1; // of the clean scenes' noise: 1 … seeds
};

const std::pair<StripeMethod, const char *> methods[] = {{StripeMethod::All, "all"},
    {StripeMethod::Sorting, "sort"}, {StripeMethod::Large, "large"}, {StripeMethod::Dead, "dead"}};

StripeParams with(const Options &o, StripeMethod m)
{
    StripeParams p = o.params;
    p.method = m;
    return p;
}

RingScanSetup scanOf(const Options &o, RingScene scene, bool noise)
{
    RingScanSetup s;
    s.scene = scene;
    s.width = o.width;
    s.projections = o.projections;
    s.cor = o.cor;
    s.noise = noise;
    return s;
}

// Every method on every clean scene: the change against the same slice without removal, over the
// range of the noise-free slice. The demo phantom at several heights (slices 60 … 200 of 256 by 20,
// its inserts among them, and by either end, where its body is a small ellipse beside the axis), the
// other objects in the middle slice.
void clean(const Options &o)
{
    double worstMax = 0.0, worstRms = 0.0;
    for (RingScene scene : ringScenes) {
        if (!o.only.isEmpty() && o.only != QLatin1String(ringSceneName(scene)))
            continue;
        std::vector<int> slices {-1};
        if (scene == RingScene::Demo) {
            slices.clear();
            for (int s : {40, 44, 48, 60, 80, 100, 120, 140, 160, 180, 200, 208, 212, 216})
                slices.push_back(s * o.width / 256);
        }
        for (int slice : slices) {
            RingScanSetup setup = scanOf(o, scene, false);
            setup.slice = slice;
            const int line = ringScanSlice(setup);
            const SliceImage truth = reconstructRingSlice(ringScan(setup), o.cor, {}, 180.0, line);
            if (truth.n < 2) {
                std::fprintf(stderr, "bench_rings: slice %d not reconstructed\n", line);
                std::exit(1);
            }
            const double range = sliceRange(truth);
            for (int seed = 0; seed <= o.seeds; ++seed) { // 0: without noise
                const bool noise = seed > 0;
                setup.noise = noise;
                setup.seed = static_cast<std::uint32_t>(std::max(seed, 1));
                const ProjectionSet set = ringScan(setup);
                const SliceImage off = reconstructRingSlice(set, o.cor, {}, 180.0, line);
                for (auto [m, name] : methods) {
                    const SliceChange c
                        = sliceChange(off, reconstructRingSlice(set, o.cor, with(o, m), 180.0, line), range);
                    const QString what
                        = QStringLiteral("clean %1%2%3, %4")
                              .arg(QLatin1String(ringSceneName(scene)),
                                  slice < 0 ? QString() : QStringLiteral(" slice %1").arg(slice),
                                  !noise      ? QString()
                                      : seed == 1 ? QStringLiteral(" with noise")
                                                  : QStringLiteral(" with noise of seed %1").arg(seed),
                                  QLatin1String(name));
                    printFigure(what + QStringLiteral(": largest change (3 x 3 mean / range)"),
                        100.0 * c.maxSmoothed, QStringLiteral("%"));
                    printFigure(
                        what + QStringLiteral(": RMS change / range"), 100.0 * c.rms, QStringLiteral("%"));
                    worstMax = std::max(worstMax, c.maxSmoothed);
                    worstRms = std::max(worstRms, c.rms);
                }
            }
        }
    }
    printFigure(QStringLiteral("clean, every scene and method: largest change"), 100.0 * worstMax,
        QStringLiteral("%"));
    printFigure(QStringLiteral("clean, every scene and method: largest RMS change"), 100.0 * worstRms,
        QStringLiteral("%"));
}

// The demo phantom with faults of each kind, and of all kinds, with noise.
void faulty(const Options &o)
{
    const std::pair<const char *, QStringList> kinds[] = {{"gains", {QStringLiteral("gain")}},
        {"groups", {QStringLiteral("large")}}, {"dead columns", {QStringLiteral("dead")}},
        {"partial band", {QStringLiteral("partial")}}, {"every kind", {}}};
    RingScanSetup setup = scanOf(o, RingScene::Demo, true);
    const SliceImage truth = reconstructRingSlice(ringScan(setup), o.cor, {});
    const double c = sliceContrast(truth);
    printFigure(QStringLiteral("faulty: ring strength of the stripe-free slice / contrast"),
        100.0 * ringStrength(truth) / c, QStringLiteral("%"));
    for (const auto &[name, list] : kinds) {
        setup.faults = typicalFaults(o.width, o.projections, 7, list);
        const ProjectionSet set = ringScan(setup);
        const SliceImage before = reconstructRingSlice(set, o.cor, {});
        const double errorBefore = rmsDifference(before, truth);
        const double ringsBefore = ringStrength(before);
        const double addedBefore = addedRingStrength(before, truth);
        const QString kind = QLatin1String(name);
        printFigure(QStringLiteral("faulty %1, off: RMS error / contrast").arg(kind), 100.0 * errorBefore / c,
            QStringLiteral("%"));
        printFigure(QStringLiteral("faulty %1, off: ring strength / contrast").arg(kind),
            100.0 * ringsBefore / c, QStringLiteral("%"));
        printFigure(QStringLiteral("faulty %1, off: added ring strength / contrast").arg(kind),
            100.0 * addedBefore / c, QStringLiteral("%"));
        for (auto [m, mname] : methods) {
            const SliceImage after = reconstructRingSlice(set, o.cor, with(o, m));
            const QString what = QStringLiteral("faulty %1, %2").arg(kind, QLatin1String(mname));
            printFigure(what + QStringLiteral(": error reduction"), errorBefore / rmsDifference(after, truth),
                QStringLiteral("x"));
            printFigure(what + QStringLiteral(": ring strength reduction"), ringsBefore / ringStrength(after),
                QStringLiteral("x"));
            printFigure(what + QStringLiteral(": added ring strength reduction"),
                addedBefore / addedRingStrength(after, truth), QStringLiteral("x"));
        }
    }
}

// The pixels of the sample in a slice of the tooth: those more than halfway from the air (the 5th
// percentile inside the circle) to the dense part (the 99th) after a 5 × 5 mean.
std::vector<unsigned char> sampleMask(const SliceImage &s)
{
    std::vector<double> smooth(s.values.size(), 0.0), inside;
    for (int z = 2; z + 2 < s.n; ++z)
        for (int x = 2; x + 2 < s.n; ++x) {
            double sum = 0.0;
            for (int dz = -2; dz <= 2; ++dz)
                for (int dx = -2; dx <= 2; ++dx)
                    sum += s.at(x + dx, z + dz);
            smooth[size_t(z) * s.n + x] = sum / 25.0;
            if (s.inside(x, z))
                inside.push_back(sum / 25.0);
        }
    std::sort(inside.begin(), inside.end());
    const double air = inside[size_t(0.05 * (inside.size() - 1))];
    const double dense = inside[size_t(0.99 * (inside.size() - 1))];
    std::vector<unsigned char> mask(s.values.size(), 0);
    for (int z = 0; z < s.n; ++z)
        for (int x = 0; x < s.n; ++x)
            mask[size_t(z) * s.n + x] = s.inside(x, z) && smooth[size_t(z) * s.n + x] > 0.5 * (air + dense);
    return mask;
}

// The real tooth scan (Data Exchange HDF5): both slices, each method against none.
int tooth(const Options &o, const QString &file)
{
    std::vector<ImageSource> sources;
    std::vector<std::shared_ptr<const Hdf5Scan>> scans;
    QString error;
    if (!QFileInfo::exists(file) || !expandSources({file}, sources, scans, error) || scans.size() != 1) {
        std::printf("tooth scan: not read (%s)\n", qPrintable(error.isEmpty() ? file : error));
        return 0;
    }
    const std::shared_ptr<const Hdf5Scan> &scan = scans.front();
    const std::vector<int> lines = {0, 1};
    ProjectionSet set;
    set.width = scan->width();
    set.height = scan->height();
    for (const ImageSource &source : sources)
        set.images.push_back(readLineBlock(source, true, lines, set.width, set.height));
    set.i0 = readLineBlock({file, scan, Hdf5Scan::Kind::Flat, -1}, true, lines, set.width, set.height);
    set.bg = readLineBlock({file, scan, Hdf5Scan::Kind::Dark, -1}, true, lines, set.width, set.height);
    if (std::any_of(set.images.begin(), set.images.end(), [](const auto &i) { return !i; }) || !set.i0
        || !set.bg) {
        std::printf("tooth scan: not read\n");
        return 1;
    }
    constexpr double cor = 295.5; // the mirror search's centre
    for (int slice : lines) {
        const SliceImage off = reconstructRingSlice(set, cor, {}, 180.0, slice);
        const std::vector<unsigned char> mask = sampleMask(off);
        // The air around the sample: beyond its farthest pixel from the axis. Inside, the sample's own
        // structure, averaged over few angles at small radii, weighs in the mean over angles as rings do.
        double reach = 0.0;
        for (int z = 0; z < off.n; ++z)
            for (int x = 0; x < off.n; ++x)
                if (mask[size_t(z) * off.n + x])
                    reach = std::max(reach, std::hypot(x - off.n / 2.0, z - off.n / 2.0));
        const double c = sliceContrast(off);
        const double ringsAir = ringStrength(off, reach + 5.0) / c, ringsAll = ringStrength(off) / c;
        const QString head = QStringLiteral("tooth slice %1").arg(slice);
        printFigure(head + QStringLiteral(": the sample reaches (pixels from the axis)"), reach, QString());
        printFigure(head + QStringLiteral(", off: ring strength in the air around the sample / contrast"),
            100.0 * ringsAir, QStringLiteral("%"));
        printFigure(head + QStringLiteral(", off: ring strength, whole slice / contrast"), 100.0 * ringsAll,
            QStringLiteral("%"));
        for (auto [m, name] : methods) {
            const SliceImage after = reconstructRingSlice(set, cor, with(o, m), 180.0, slice);
            const QString what = head + QStringLiteral(", ") + QLatin1String(name);
            printFigure(what + QStringLiteral(": ring strength reduction in the air around the sample"),
                ringsAir / (ringStrength(after, reach + 5.0) / c), QStringLiteral("x"));
            printFigure(what + QStringLiteral(": ring strength reduction, whole slice"),
                ringsAll / (ringStrength(after) / c), QStringLiteral("x"));
            printFigure(what + QStringLiteral(": correlation inside the sample"),
                sliceCorrelation(off, after, mask), QString());
        }
    }
    return 0;
}

// A sinogram of the demo phantom, 2047 × 1800 over 180 degrees, with noise and stripes of every kind
// put straight into the attenuation values.
std::vector<double> bigSinogram(int width, int rows)
{
    const Phantom phantom = demoPhantom(2048);
    std::vector<double> att(size_t(width) * rows);
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 0.005);
    const DetectorFaults f = typicalFaults(width, rows, 3);
    for (int k = 0; k < rows; ++k) {
        const double theta = std::numbers::pi * k / rows;
        double *row = att.data() + size_t(k) * width;
        for (int j = 0; j < width; ++j)
            row[j] = phantom.lineIntegral(j - (width - 1) / 2.0, 0.0, theta) + noise(rng);
        for (const DetectorFaults::Gain &g : f.gains)
            row[g.column] -= std::log(g.gain);
        if (k >= f.partialFirst && k < f.partialFirst + f.partialCount)
            for (const DetectorFaults::Gain &g : f.partial)
                row[g.column] -= std::log(g.gain);
        for (int d : f.dead)
            row[d] = 0.7;
    }
    return att;
}

// What each method costs on a sinogram of 2047 × 1800 against the reconstruction of that slice.
void speed(const Options &o)
{
    const int width = 2047, rows = 1800, n = 2046;
    const std::vector<double> sinogram = bigSinogram(width, rows);
    CtFbp engine;
    engine.setup(n, rows);
    const double reconSeconds = bestSeconds(2, [&] {
        engine.resetImage(n);
        for (int i = 0; i < rows; ++i)
            engine.forwardRow(sinogram.data() + size_t(i) * width, i);
        for (int i = 0; i < rows; ++i)
            engine.filterRow(i);
        engine.backProjectRows(rows, 0, n, 0, n, 0.0, std::numbers::pi / rows);
    });
    printFigure(
        QStringLiteral("slice reconstruction, 2046 x 1800, one core"), reconSeconds, QStringLiteral("s"));
    std::vector<double> work;
    for (auto [m, name] : methods) {
        double best = 1e30;
        for (int repeat = 0; repeat < 4; ++repeat) {
            work = sinogram;
            best = std::min(best, bestSeconds(1, [&] { removeStripes(work, width, rows, with(o, m)); }));
        }
        printFigure(QStringLiteral("ring removal %1, 2047 x 1800").arg(QLatin1String(name)), best * 1e3,
            QStringLiteral("ms"));
        printFigure(QStringLiteral("ring removal %1: time added to the slice").arg(QLatin1String(name)),
            100.0 * best / reconSeconds, QStringLiteral("%"));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv,
            R"(Usage: bench_rings [--only clean|faulty|tooth|speed] [--scene NAME] [--params snr=3,large=31,small=21]
                   [--width N] [--projections P] [--cor C] [--seeds N] [--tooth FILE]
Ring removal: what each method does to slices of phantoms recorded with a sound and with a faulty
detector (error against the stripe-free slice, change on the sound scan, ring strength), and what
it costs on a sinogram of 2047 x 1800 against the reconstruction of that slice on one core.
  --only PART       one part only: clean, faulty, tooth or speed
  --scene NAME      only this clean scene
  --params ITEMS    parameters of ring removal (snr=3,large=31,small=21)
  --width N         detector width of the phantoms (256; faulty ones 640)
  --projections P   projections of the phantoms (180; faulty ones 720)
  --cor C           centre of rotation (width * 130/256; faulty ones 325.3)
  --seeds N         the clean scenes with the noise of seeds 1 ... N (1)
  --tooth FILE      the tooth scan (default: the shared data beside the project)
)"))
        return 0;
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures what ring removal does and what it costs."));
    parser.addHelpOption();
    const QCommandLineOption params(QStringLiteral("params"),
        QStringLiteral("parameters of ring removal (snr=3,large=31,small=21)"), QStringLiteral("ITEMS"));
    const QCommandLineOption width(QStringLiteral("width"),
        QStringLiteral("detector width of the phantoms (256; faulty ones 640)"), QStringLiteral("N"));
    const QCommandLineOption projections(QStringLiteral("projections"),
        QStringLiteral("projections of the phantoms (180; faulty ones 720)"), QStringLiteral("P"));
    const QCommandLineOption cor(QStringLiteral("cor"),
        QStringLiteral("centre of rotation (width · 130/256; faulty ones 325.3)"), QStringLiteral("C"));
    const QCommandLineOption seeds(QStringLiteral("seeds"),
        QStringLiteral("the clean scenes with the noise of seeds 1 … N (1)"), QStringLiteral("N"));
    const QCommandLineOption scene(
        QStringLiteral("scene"), QStringLiteral("only this clean scene"), QStringLiteral("NAME"));
    const QCommandLineOption toothFile(QStringLiteral("tooth"),
        QStringLiteral("the tooth scan (default: the shared data beside the project)"),
        QStringLiteral("FILE"));
    const QCommandLineOption only(QStringLiteral("only"),
        QStringLiteral("one part only: clean, faulty, tooth or speed"), QStringLiteral("PART"));
    parser.addOptions({params, width, projections, cor, seeds, scene, toothFile, only});
    parser.process(app);
    Options o;
    if (parser.isSet(params)) {
        QString problem;
        if (!applyStripeParams(parser.value(params).split(QLatin1Char(',')), o.params, problem)) {
            std::fprintf(stderr, "bench_rings: %s\n", qPrintable(problem));
            return 2;
        }
    }
    if (parser.isSet(width))
        o.width = parser.value(width).toInt();
    if (parser.isSet(projections))
        o.projections = parser.value(projections).toInt();
    o.cor = parser.isSet(cor) ? parser.value(cor).toDouble() : o.width * 130.0 / 256.0;
    o.only = parser.value(scene);
    if (parser.isSet(seeds)) {
        bool ok = false;
        o.seeds = parser.value(seeds).toInt(&ok);
        if (!ok || o.seeds < 1 || o.seeds > 1000) {
            std::fprintf(stderr, "bench_rings: --seeds must be 1 … 1000\n");
            return 2;
        }
    }
    const QString part = parser.value(only);
    const auto wanted = [&](const char *name) { return part.isEmpty() || part == QLatin1String(name); };
    printProcessor();
    if (wanted("clean"))
        clean(o);
    if (wanted("faulty")) {
        // Without a size given, the faulty scans as large as the bench has always had them: 640 pixels
        // across, 720 projections, the centre between pixels.
        Options f = o;
        if (!parser.isSet(width) && !parser.isSet(projections) && !parser.isSet(cor)) {
            f.width = 640;
            f.projections = 720;
            f.cor = 325.3;
        }
        faulty(f);
    }
    int status = 0;
    if (wanted("tooth"))
        status = tooth(o, parser.isSet(toothFile) ? parser.value(toothFile) : QStringLiteral(QV_TOOTH_SCAN));
    if (wanted("speed"))
        speed(o);
    return status;
}
