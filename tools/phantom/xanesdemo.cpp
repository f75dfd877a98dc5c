#include "tools/phantom/xanesdemo.h"

// Qt
#include <QDir>
#include <QFile>
#include <QTextStream>

// Local
#include <atomic>
#include <cmath>
#include <mutex>
#include <numbers>
#include <thread>

namespace {

constexpr double edgeMetal = 7112.0;
constexpr double edgeOxide = 7124.0;

// An edge broadened by the monochromator's resolution (a Gaussian of standard deviation `width`):
// flat at 0 below and at 1 above within a few widths, as normalised spectra are over the pre- and
// post-edge ranges (an arctangent's tails would still rise there, and a normalisation by lines over
// those ranges would not give the spectrum back).
double step(double e, double edge, double width)
{
    return 0.5 * std::erfc((edge - e) / (width * std::numbers::sqrt2));
}

double gauss(double e, double centre, double width)
{
    const double t = (e - centre) / width;
    return std::exp(-0.5 * t * t);
}

// An insert: where it lies (pixels of the demo object at size 256, scaled) and its iron's shares.
struct Insert
{
    const char *name;
    double x, y, z, radius;
    double metal, oxide;
};
constexpr Insert inserts[] = {
    {"A", -18.0, 8.0, 0.0, 12.0, 0.75, 0.25},
    {"B", 24.0, -10.0, 6.0, 10.0, 0.20, 0.80},
};

bool writeText(const QString &path, const QString &text, QString *error)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) == text.toUtf8().size())
        return true;
    if (error)
        *error = QStringLiteral("cannot write %1").arg(path);
    return false;
}

} // namespace

std::vector<double> xanesDemoEnergies()
{
    std::vector<double> e;
    for (double v = 7040.0; v < 7100.0; v += 12.0) // before the edge
        e.push_back(v);
    for (double v = 7100.0; v <= 7140.0; v += 1.5) // across it
        e.push_back(v);
    for (double v = 7150.0; v <= 7230.0; v += 20.0) // after it
        e.push_back(v);
    return e;
}

double metalSpectrum(double e)
{
    return step(e, edgeMetal, 2.5) + 0.08 * gauss(e, 7126.0, 4.0) * step(e, edgeMetal, 2.5);
}

double oxideSpectrum(double e)
{
    return step(e, edgeOxide, 1.5) + 0.05 * gauss(e, 7114.0, 1.2)
        + 0.55 * gauss(e, 7131.0, 3.0) * step(e, edgeOxide, 1.5);
}

Drift xanesDemoDrift(int i, const XanesDemoSetup &setup)
{
    // Slow, smooth wandering, a little different along each axis, from 0 at the first energy.
    const double t = 0.11 * i;
    const double a = setup.maxDrift / 2.0;
    return {a * (std::sin(1.3 * t) + std::sin(0.4 * t)), a * (1.0 - std::cos(0.9 * t)) * (i % 2 ? 1.0 : 0.97),
        -a * (std::sin(0.7 * t + 0.5) - std::sin(0.5)) - a * 0.5 * std::sin(1.9 * t)};
}

Phantom xanesDemoPhantom(int i, const XanesDemoSetup &setup)
{
    const double energy = xanesDemoEnergies()[std::size_t(i)];
    const double s = setup.scan.width / 256.0;
    const double fall = std::pow(edgeMetal / energy, 3.0);
    Phantom p;
    // A body off the axis with a hollow and a dense grain that do not change across the edge.
    p.parts.push_back({8 * s, -5 * s, 0, 52 * s, 38 * s, 90 * s, 0.35, 0.012 * fall});
    p.parts.push_back({14 * s, 18 * s, 0, 9 * s, 5 * s, 60 * s, -0.6, -0.007 * fall});
    p.parts.push_back({-4 * s, -22 * s, -10 * s, 6 * s, 6 * s, 6 * s, 0.0, 0.03 * fall});
    for (const Insert &in : inserts) {
        const double iron = setup.ironPre * fall
            + setup.ironJump * (in.metal * metalSpectrum(energy) + in.oxide * oxideSpectrum(energy));
        p.parts.push_back(
            {in.x * s, in.y * s, in.z * s, in.radius * s, in.radius * s, in.radius * s, 0.0, iron});
    }
    // The whole sample moved. A reconstruction puts x in its columns and y in its rows, and the
    // slice number runs with z.
    const Drift d = xanesDemoDrift(i, setup);
    for (Ellipsoid &e : p.parts) {
        e.x += d.x;
        e.y += d.y;
        e.z += d.z;
    }
    return p;
}

bool writeXanesDemo(const XanesDemoSetup &setup, const QString &dir, int threads, QString *error)
{
    const QDir root(dir);
    const QString projections = root.filePath(QStringLiteral("projections"));
    const QString i0 = root.filePath(QStringLiteral("i0"));
    const QString standards = root.filePath(QStringLiteral("standards"));
    for (const QString &d : {projections, i0, standards})
        if (!QDir().mkpath(d)) {
            if (error)
                *error = QStringLiteral("cannot make %1").arg(d);
            return false;
        }
    const std::vector<double> energies = xanesDemoEnergies();
    std::atomic<int> next {0};
    std::atomic<bool> ok {true};
    std::mutex failure;
    QString why;
    const auto work = [&] {
        for (int i = next++; i < int(energies.size()) && ok; i = next++) {
            const double e = energies[std::size_t(i)];
            const QString field = energyFieldText(e);
            ScanSetup scan = setup.scan;
            scan.i0
                = setup.scan.i0 * (1.0 + 0.1 * (e - energies.front()) / (energies.back() - energies.front()));
            scan.seed = setup.scan.seed + static_cast<uint32_t>(i);
            QString problem;
            // The BG image once, by the first energy.
            if (!writeScan(xanesDemoPhantom(i, setup), scan, projections,
                    QStringLiteral("demo-%1-").arg(field),
                    QDir(i0).filePath(QStringLiteral("I0-%1-0001.img").arg(field)),
                    i == 0 ? root.filePath(QStringLiteral("bg.img")) : QString(), &problem)) {
                const std::lock_guard<std::mutex> lock(failure);
                ok = false;
                why = problem;
            }
        }
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < std::max(1, threads); ++t)
        pool.emplace_back(work);
    for (std::thread &t : pool)
        t.join();
    if (!ok) {
        if (error)
            *error = why;
        return false;
    }
    // The standards on a fine grid over the whole scan, the truth of the drift and of the inserts.
    for (const auto &[name, spectrum, what] :
        {std::tuple {QStringLiteral("metal"), &metalSpectrum, "metallic iron, edge 7112 eV"},
            std::tuple {QStringLiteral("oxide"), &oxideSpectrum,
                "iron(III) oxide, edge 7124 eV, white line 7131 eV"}}) {
        QString text;
        QTextStream out(&text);
        out << "# Fe K edge, normalised absorption of the demo's " << what << " (analytic)\n"
            << "# energy_eV\tnormalised_absorption\n";
        for (double e = energies.front() - 10.0; e <= energies.back() + 10.0 + 1e-9; e += 0.5)
            out << QString::number(e, 'f', 1) << '\t' << QString::number(spectrum(e), 'f', 6) << '\n';
        out.flush();
        if (!writeText(QDir(standards).filePath(name + QStringLiteral(".txt")), text, error))
            return false;
    }
    QString drift
        = QStringLiteral("# the sample's drift per energy in pixels: z along the rotation axis (slices), y "
                         "the rows and x the columns of a reconstructed slice, from the first energy\n"
                         "# energy_eV\tdz\tdy\tdx\n");
    for (int i = 0; i < int(energies.size()); ++i) {
        const Drift d = xanesDemoDrift(i, setup);
        drift += QStringLiteral("%1\t%2\t%3\t%4\n")
                     .arg(energies[std::size_t(i)], 0, 'g', 10)
                     .arg(d.z, 0, 'f', 4)
                     .arg(d.y, 0, 'f', 4)
                     .arg(d.x, 0, 'f', 4);
    }
    const double s = setup.scan.width / 256.0;
    QString composition = QStringLiteral(
        "# the iron inserts: centre (pixels from the rotation axis: x columns, y rows; z from the middle "
        "detector row) at the first energy, radius, and the shares of the species\n"
        "# insert\tx\ty\tz\tradius\tmetal\toxide\n");
    for (const Insert &in : inserts)
        composition += QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\n")
                           .arg(QLatin1String(in.name))
                           .arg(in.x * s)
                           .arg(in.y * s)
                           .arg(in.z * s)
                           .arg(in.radius * s)
                           .arg(in.metal)
                           .arg(in.oxide);
    return writeText(root.filePath(QStringLiteral("drift.tsv")), drift, error)
        && writeText(root.filePath(QStringLiteral("composition.tsv")), composition, error);
}
