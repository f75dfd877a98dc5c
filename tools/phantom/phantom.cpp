#include "tools/phantom/phantom.h"

// Qt
#include <QDir>

// Local
#include "imagedata/itexwriter.h"
#include "imagedata/tiffwriter.h"
#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace {

// A point of the slice plane (x, y) at height z in the frame of ellipsoid e, scaled to the unit sphere.
struct UnitPoint
{
    double x, y, z;
};

UnitPoint inUnitFrame(const Ellipsoid &e, double x, double y, double z)
{
    const double cp = std::cos(e.phi), sp = std::sin(e.phi);
    return {
        ((x - e.x) * cp + (y - e.y) * sp) / e.a, (-(x - e.x) * sp + (y - e.y) * cp) / e.b, (z - e.z) / e.c};
}

} // namespace

double Phantom::lineIntegral(double u, double z, double theta) const
{
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    // Point on the ray and its direction (unit length, so chords come out in pixels).
    const double px = u * c, py = -u * s;
    const double dx = s, dy = c;
    double sum = 0.0;
    for (const Ellipsoid &e : parts) {
        const UnitPoint q = inUnitFrame(e, px, py, z);
        // The direction turned and scaled like a point at the ellipsoid's centre.
        const UnitPoint r = inUnitFrame(e, e.x + dx, e.y + dy, e.z);
        const double A = r.x * r.x + r.y * r.y;
        const double B = 2.0 * (q.x * r.x + q.y * r.y);
        const double C = q.x * q.x + q.y * q.y + q.z * q.z - 1.0;
        const double disc = B * B - 4.0 * A * C;
        if (disc > 0.0)
            sum += e.mu * std::sqrt(disc) / A;
    }
    return sum;
}

double Phantom::valueAt(double x, double y, double z) const
{
    double sum = 0.0;
    for (const Ellipsoid &e : parts) {
        const UnitPoint q = inUnitFrame(e, x, y, z);
        if (q.x * q.x + q.y * q.y + q.z * q.z < 1.0)
            sum += e.mu;
    }
    return sum;
}

Phantom demoPhantom(int size)
{
    const double s = size / 256.0;
    Phantom p;
    // A body off the axis, so that a wrong centre of rotation shows, with inserts that differ from
    // slice to slice. Everything stays within 60/256 of the detector width from the axis, so that
    // the centre-of-rotation search, which compares raw counts over 0.35 of the line on each side,
    // sees the whole shadow against the flat field.
    p.parts.push_back({8 * s, -5 * s, 0, 52 * s, 38 * s, 90 * s, 0.35, 0.012});
    p.parts.push_back({-20 * s, 6 * s, -20 * s, 14 * s, 20 * s, 36 * s, 0.0, 0.012});
    p.parts.push_back({28 * s, -12 * s, 25 * s, 11 * s, 11 * s, 11 * s, 0.0, 0.030});
    p.parts.push_back({14 * s, 18 * s, 0, 9 * s, 5 * s, 60 * s, -0.6, -0.007});
    p.parts.push_back({-4 * s, -22 * s, -45 * s, 4 * s, 4 * s, 4 * s, 0.0, 0.060});
    return p;
}

namespace {

// Detector counts: Gaussian noise of `noise` times the Poisson width, clipped to the pixel range.
class Counter
{
public:
    Counter(const ScanSetup &setup)
        : noise_(setup.noise)
        , max_(setup.bytesPerPixel == 4 ? 4294967295.0 : 65535.0)
        , rng_(setup.seed)
    {
    }
    uint32_t operator()(double mean)
    {
        double v = mean;
        if (noise_ > 0.0)
            v += noise_ * std::sqrt(std::max(mean, 0.0)) * gauss_(rng_);
        return static_cast<uint32_t>(std::clamp(std::round(v), 0.0, max_));
    }

private:
    double noise_;
    double max_;
    std::mt19937 rng_;
    std::normal_distribution<double> gauss_;
};

bool writeOne(
    const QString &path, const ScanSetup &setup, const std::vector<uint32_t> &pixels, QString *error)
{
    if (setup.tiff)
        return writeTiffFile(
            path, {setup.width, setup.height, 8 * setup.bytesPerPixel, false, pixels, {}}, error);
    if (writeItexFile(path, {setup.width, setup.height, setup.bytesPerPixel, 1.0, pixels}))
        return true;
    if (error)
        *error = QStringLiteral("cannot write %1").arg(path);
    return false;
}

} // namespace

bool writeScan(const Phantom &phantom, const ScanSetup &setup, const QString &projDir, const QString &prefix,
    const QString &i0File, const QString &bgFile, QString *error)
{
    if (!QDir().mkpath(projDir)) {
        if (error)
            *error = QStringLiteral("cannot make %1").arg(projDir);
        return false;
    }
    const int w = setup.width, h = setup.height;
    // Across the axis runs u, along it z; a vertical axis makes image columns the u direction.
    const int across = setup.axisVertical ? w : h;
    const int along = setup.axisVertical ? h : w;
    std::vector<double> flat(static_cast<size_t>(across));
    for (int i = 0; i < across; ++i)
        flat[i] = setup.i0
            * (1.0
                + setup.flatRipple
                    * std::cos(2.0 * std::numbers::pi * (i - setup.flatPhase * across) / across));

    // The I0 and BG images stand for averages of many frames: a quarter of the noise.
    ScanSetup averaged = setup;
    averaged.noise = setup.noise / 4;
    averaged.seed = setup.seed + 1;
    Counter countAveraged(averaged);
    Counter count(setup);
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    auto fill = [&](Counter &counter, auto meanAt) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels[static_cast<size_t>(y) * w + x]
                    = counter(meanAt(setup.axisVertical ? x : y, setup.axisVertical ? y : x));
    };

    fill(countAveraged, [&](int i, int) { return flat[i]; });
    if (!writeOne(i0File, setup, pixels, error))
        return false;
    fill(countAveraged, [&](int, int) { return setup.bg; });
    if (!writeOne(bgFile, setup, pixels, error))
        return false;

    for (int k = 0; k < setup.projections; ++k) {
        const double theta = setup.rangeDeg / 180.0 * std::numbers::pi * k / setup.projections;
        fill(count, [&](int i, int j) {
            const double p = phantom.lineIntegral(i - setup.cor, j - 0.5 * along, theta);
            return flat[i] * std::exp(-p) + setup.bg;
        });
        const QString name = QStringLiteral("%1%2.%3")
                                 .arg(prefix)
                                 .arg(k, 4, 10, QLatin1Char('0'))
                                 .arg(setup.tiff ? QLatin1String("tif") : QLatin1String("img"));
        if (!writeOne(QDir(projDir).filePath(name), setup, pixels, error))
            return false;
    }
    return true;
}

std::vector<double> xafsSeriesEnergies(int count)
{
    std::vector<double> energies;
    for (int i = 0; i < count; ++i) {
        const double e = count == 1 ? 7115.0 : 7090.0 + 50.0 * i / (count - 1);
        energies.push_back(std::round(2.0 * e) / 2.0);
    }
    return energies;
}

QString energyFieldText(double energyEv)
{
    QString number = QString::number(energyEv, 'f', 1);
    if (number.endsWith(QLatin1String(".0")))
        number.chop(2);
    return number.replace(QLatin1Char('.'), QLatin1Char('_')) + QStringLiteral("eV");
}

Phantom xafsPhantom(int size, double energyEv)
{
    Phantom p = demoPhantom(size);
    constexpr double edge = 7112.0;
    // Away from edges attenuation falls roughly as E^-3; across the K edge of iron it jumps.
    const double fall = std::pow(edge / energyEv, 3.0);
    const double jump = 1.0 + 4.0 * (0.5 + std::atan((energyEv - edge) / 1.5) / std::numbers::pi);
    for (size_t i = 0; i < p.parts.size(); ++i) {
        const bool iron = i == 2 || i == 4; // the two small, dense inserts
        p.parts[i].mu *= fall * (iron ? jump : 1.0);
    }
    return p;
}

bool writeXafsSeries(const XafsSeriesSetup &setup, const QString &projDir, const QString &i0Dir,
    const QString &bgFile, QString *error)
{
    if (!QDir().mkpath(i0Dir)) {
        if (error)
            *error = QStringLiteral("cannot make %1").arg(i0Dir);
        return false;
    }
    const std::vector<double> energies = xafsSeriesEnergies(setup.energies);
    for (size_t i = 0; i < energies.size(); ++i) {
        const double e = energies[i];
        const QString field = energyFieldText(e);
        ScanSetup scan = setup.scan;
        scan.i0 = setup.scan.i0 * (1.0 + 0.2 * (e - 7090.0) / 50.0);
        scan.seed = setup.scan.seed + static_cast<uint32_t>(i);
        scan.flatPhase = setup.scan.flatPhase + setup.flatDrift * (e - 7090.0);
        if (!writeScan(xafsPhantom(scan.width, e), scan, projDir, QStringLiteral("demo-%1-").arg(field),
                QDir(i0Dir).filePath(QStringLiteral("I0-%1-0001.img").arg(field)), bgFile, error))
            return false;
    }
    return true;
}
