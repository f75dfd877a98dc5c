// Ring removal. What it does: scans of the demo phantom (640 pixels across, 720 projections) recorded
// once with a sound detector and once with faulty columns of each kind (gains off by 0.5 … 3 %, groups
// of such columns, dead columns, a band of partial stripes in a third of the projections), written
// as ITEX files and reconstructed through the workers' road; the RMS error of each slice against the
// stripe-free slice, the change on the sound scan, and the ring strength in the air around the
// sample. What it costs: each method on a sinogram of 2047 × 1800 against the reconstruction of that
// slice (filtering and back-projection) on one core.
//
//   bench_rings [--speed-only | --quality-only] [--params snr=3,large=31,small=21]

// Qt
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

// Local
#include "bench/benchutil.h"
#include "ct/ctfbp.h"
#include "ct/slicerecon.h"
#include "ct/stripefilter.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"
#include "tools/phantom/phantom.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

struct Slice
{
    std::vector<double> values;
    int n = 0;
};

constexpr int scanWidth = 640;
constexpr int scanRows = 4;
constexpr int scanProjections = 720;
constexpr double scanCor = 325.3;

bool writeFaultyScan(const QString &dir, const DetectorFaults &faults, ProjectionSet &set)
{
    ScanSetup setup;
    setup.width = scanWidth;
    setup.height = scanRows;
    setup.cor = scanCor;
    setup.projections = scanProjections;
    setup.faults = faults;
    setup.flatNoise = 0.0; // a noisy I0 draws faint stripes of its own: the reference has none
    const QString i0 = QDir(dir).filePath(QStringLiteral("i0.img"));
    const QString bg = QDir(dir).filePath(QStringLiteral("bg.img"));
    QString error;
    // The demo phantom at this size, its attenuation per pixel scaled as the size grows, so that the
    // thickest path lets through a third of the beam as in the demo data set (256 pixels).
    Phantom phantom = demoPhantom(scanWidth);
    for (Ellipsoid &e : phantom.parts)
        e.mu *= 256.0 / scanWidth;
    if (!writeScan(
            phantom, setup, QDir(dir).filePath(QStringLiteral("p")), QStringLiteral("p"), i0, bg, &error)) {
        std::fprintf(stderr, "bench_rings: %s\n", qPrintable(error));
        return false;
    }
    set = ProjectionSet();
    set.width = scanWidth;
    set.height = scanRows;
    for (int k = 0; k < scanProjections; ++k) {
        set.images.push_back(
            openImgData(QDir(dir).filePath(QStringLiteral("p/p%1.img").arg(k, 4, 10, QLatin1Char('0')))));
        if (!set.images.back())
            return false;
    }
    set.i0 = openImgData(i0);
    set.bg = openImgData(bg);
    return set.i0 && set.bg;
}

Slice reconstruct(const ProjectionSet &set, const StripeParams &stripes)
{
    SliceTask task;
    task.set = set;
    task.sinogram = SinogramRequest {true, scanCor, scanRows / 2, false, 0, 0};
    task.angles = projectionAngles(0.0, 180.0, set.count(), 0);
    task.regionIsSet = false; // the whole circle
    task.stripes = stripes;
    CtFbp engine;
    engine.setup(requiredLength(set, task.sinogram), set.count());
    SinogramCache cache;
    const SliceResult result = reconstructSlice(engine, cache, task);
    if (!result.reconstructed) {
        std::fprintf(stderr, "bench_rings: %s\n", qPrintable(result.problem));
        return {};
    }
    return {std::vector<double>(engine.image().begin(), engine.image().end()), engine.n()};
}

// Pixels well inside the reconstructed circle.
bool inside(int n, int x, int z)
{
    const double h = n / 2.0, dx = x - h, dz = z - h;
    return dx * dx + dz * dz < 0.95 * 0.95 * h * h;
}

double rmsDifference(const Slice &a, const Slice &b)
{
    double sum = 0.0;
    long count = 0;
    for (int z = 0; z < a.n; ++z)
        for (int x = 0; x < a.n; ++x)
            if (inside(a.n, x, z)) {
                const double d = a.values[size_t(z) * a.n + x] - b.values[size_t(z) * b.n + x];
                sum += d * d;
                ++count;
            }
    return std::sqrt(sum / std::max(count, 1L));
}

// The spread of the slice's values: from the 0.5th to the 99.5th percentile inside the circle.
double contrast(const Slice &s)
{
    std::vector<double> v;
    for (int z = 0; z < s.n; ++z)
        for (int x = 0; x < s.n; ++x)
            if (inside(s.n, x, z))
                v.push_back(s.values[size_t(z) * s.n + x]);
    std::sort(v.begin(), v.end());
    return v[size_t(0.995 * (v.size() - 1))] - v[size_t(0.005 * (v.size() - 1))];
}

// The RMS over the radii in the air round the sample (from rMin to 0.95 of the circle) of the angular
// mean of the slice, high-passed along the radius (minus the median of the 9 radii about it).
double ringStrength(const Slice &s, double rMin)
{
    const double h = s.n / 2.0;
    const int radii = static_cast<int>(h) + 1;
    std::vector<double> sum(radii, 0.0), count(radii, 0.0);
    for (int z = 0; z < s.n; ++z)
        for (int x = 0; x < s.n; ++x) {
            const int r = static_cast<int>(std::hypot(x + 0.5 - h, z + 0.5 - h));
            if (r < radii) {
                sum[r] += s.values[size_t(z) * s.n + x];
                count[r] += 1.0;
            }
        }
    std::vector<double> mean(radii);
    for (int r = 0; r < radii; ++r)
        mean[r] = count[r] > 0 ? sum[r] / count[r] : 0.0;
    double total = 0.0;
    int used = 0;
    for (int r = static_cast<int>(rMin); r < static_cast<int>(0.95 * h) - 4; ++r) {
        std::vector<double> around(mean.begin() + (r - 4), mean.begin() + (r + 5));
        std::nth_element(around.begin(), around.begin() + 4, around.end());
        const double high = mean[r] - around[4];
        total += high * high;
        ++used;
    }
    return std::sqrt(total / std::max(used, 1));
}

// The parameters of the run (--params snr=3,large=31,small=21: the defaults otherwise).
StripeParams benchParams;

StripeParams method(StripeMethod m)
{
    StripeParams p = benchParams;
    p.method = m;
    return p;
}

int quality()
{
    QTemporaryDir temporary;
    const std::pair<const char *, QStringList> kinds[] = {{"gains", {QStringLiteral("gain")}},
        {"large stripes", {QStringLiteral("large")}}, {"dead columns", {QStringLiteral("dead")}},
        {"partial stripes", {QStringLiteral("partial")}}, {"every kind", {}}};
    ProjectionSet clean;
    if (!writeFaultyScan(temporary.filePath(QStringLiteral("clean")), {}, clean))
        return 1;
    const Slice truth = reconstruct(clean, {});
    const double c = contrast(truth);
    printFigure(QStringLiteral("contrast of the stripe-free slice (0.5 … 99.5 %)"), c, QString());
    const double rAir = 0.3 * scanWidth;

    for (auto [m, name] : {std::pair {StripeMethod::All, "all"}, std::pair {StripeMethod::Sorting, "sort"},
             std::pair {StripeMethod::Large, "large"}, std::pair {StripeMethod::Dead, "dead"}})
        printFigure(
            QStringLiteral("change of the stripe-free slice by %1 (RMS / contrast)").arg(QLatin1String(name)),
            100.0 * rmsDifference(reconstruct(clean, method(m)), truth) / c, QStringLiteral("%"));

    int k = 0;
    for (const auto &[name, list] : kinds) {
        ProjectionSet faulty;
        if (!writeFaultyScan(temporary.filePath(QStringLiteral("faulty%1").arg(k++)),
                typicalFaults(scanWidth, scanProjections, 7, list), faulty))
            return 1;
        const Slice before = reconstruct(faulty, {});
        const double errorBefore = rmsDifference(before, truth);
        const QString kind = QLatin1String(name);
        printFigure(QStringLiteral("RMS error, %1, off (/ contrast)").arg(kind), 100.0 * errorBefore / c,
            QStringLiteral("%"));
        const std::pair<StripeMethod, const char *> methods[] = {{StripeMethod::All, "all"},
            {StripeMethod::Sorting, "sort"}, {StripeMethod::Large, "large"}, {StripeMethod::Dead, "dead"}};
        for (auto [m, mname] : methods) {
            const Slice after = reconstruct(faulty, method(m));
            const double errorAfter = rmsDifference(after, truth);
            printFigure(QStringLiteral("RMS error, %1, %2: reduction").arg(kind, QLatin1String(mname)),
                errorBefore / errorAfter, QStringLiteral("x"));
            if (m == StripeMethod::All && list.isEmpty()) {
                const double ringsBefore = ringStrength(before, rAir) / c;
                const double ringsAfter = ringStrength(after, rAir) / c;
                printFigure(QStringLiteral("ring strength, every kind, off"), 100.0 * ringsBefore,
                    QStringLiteral("%"));
                printFigure(QStringLiteral("ring strength, every kind, all"), 100.0 * ringsAfter,
                    QStringLiteral("%"));
                printFigure(QStringLiteral("ring strength, every kind: reduction"), ringsBefore / ringsAfter,
                    QStringLiteral("x"));
                printFigure(QStringLiteral("ring strength, stripe-free slice"),
                    100.0 * ringStrength(truth, rAir) / c, QStringLiteral("%"));
            }
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

int speed()
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
    for (auto [m, name] : {std::pair {StripeMethod::All, "all"}, std::pair {StripeMethod::Sorting, "sort"},
             std::pair {StripeMethod::Large, "large"}, std::pair {StripeMethod::Dead, "dead"}}) {
        double best = 1e30;
        for (int repeat = 0; repeat < 4; ++repeat) {
            work = sinogram;
            best = std::min(best, bestSeconds(1, [&] { removeStripes(work, width, rows, method(m)); }));
        }
        printFigure(QStringLiteral("ring removal %1, 2047 x 1800").arg(QLatin1String(name)), best * 1e3,
            QStringLiteral("ms"));
        printFigure(QStringLiteral("ring removal %1: time added to the slice").arg(QLatin1String(name)),
            100.0 * best / reconSeconds, QStringLiteral("%"));
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_rings [--speed-only | --quality-only] [--params snr=3,large=31,small=21]
Ring removal: what each method does to slices of phantoms recorded with a sound and with a faulty
detector (error against the stripe-free slice, change on the sound scan, ring strength), and what
it costs on a sinogram of 2047 x 1800 against the reconstruction of that slice on one core.
)"))
        return 0;
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int status = 0;
    if (const qsizetype i = args.indexOf(QStringLiteral("--params")); i >= 0 && i + 1 < args.size()) {
        QString problem;
        if (!applyStripeParams(args[i + 1].split(QLatin1Char(',')), benchParams, problem)) {
            std::fprintf(stderr, "bench_rings: %s\n", qPrintable(problem));
            return 2;
        }
    }
    if (!args.contains(QStringLiteral("--speed-only")))
        status = quality();
    if (status == 0 && !args.contains(QStringLiteral("--quality-only")))
        status = speed();
    return status;
}
