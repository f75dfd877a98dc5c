#include "tools/phantom/phantom.h"

// Qt
#include <QDir>

// Local
#include "imagedata/itexwriter.h"
#include "imagedata/lineblock.h"
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
        if (disc <= 0.0)
            continue;
        if (!e.half) {
            sum += e.mu * std::sqrt(disc) / A;
            continue;
        }
        // The chord from t1 to t2 along the ray, cut where the unit frame's y turns negative.
        double t1 = (-B - std::sqrt(disc)) / (2.0 * A), t2 = (-B + std::sqrt(disc)) / (2.0 * A);
        if (r.y > 0.0)
            t1 = std::max(t1, -q.y / r.y);
        else if (r.y < 0.0)
            t2 = std::min(t2, -q.y / r.y);
        else if (q.y < 0.0)
            continue;
        sum += e.mu * std::max(0.0, t2 - t1);
    }
    return sum;
}

double Phantom::valueAt(double x, double y, double z) const
{
    double sum = 0.0;
    for (const Ellipsoid &e : parts) {
        const UnitPoint q = inUnitFrame(e, x, y, z);
        if (q.x * q.x + q.y * q.y + q.z * q.z < 1.0 && (!e.half || q.y >= 0.0))
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

Phantom demoPhantomReaching(double radius)
{
    return demoPhantom(static_cast<int>(std::lround(radius * 256.0 / 60.0)));
}

Phantom offsetAxisPhantom(double r)
{
    const double mu = 0.75 / r;
    Phantom p;
    p.parts.push_back({0.0, 0.0, 0.0, r, 0.8 * r, 1e4, 0.3, mu});
    p.parts.push_back({0.05 * r, 0.1 * r, 0.0, 0.12 * r, 0.1 * r, 1e4, 0.0, 2.0 * mu});
    p.parts.push_back({-0.45 * r, 0.2 * r, 0.0, 0.08 * r, 0.15 * r, 1e4, 1.0, 3.0 * mu});
    p.parts.push_back({0.3 * r, -0.5 * r, 0.0, 0.1 * r, 0.1 * r, 1e4, 0.0, -0.5 * mu});
    p.parts.push_back({0.75 * r, 0.1 * r, 0.0, 0.08 * r, 0.05 * r, 1e4, 0.5, 2.0 * mu});
    return p;
}

DetectorFaults typicalFaults(int across, int projections, uint32_t seed, const QStringList &kinds)
{
    DetectorFaults f;
    const auto wanted
        = [&kinds](const char *kind) { return kinds.isEmpty() || kinds.contains(QLatin1String(kind)); };
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const auto sign = [&] { return u(rng) < 0.5 ? -1.0 : 1.0; };
    const int margin = std::max(2, across / 25);
    const int inner = std::max(1, across - 2 * margin);
    const auto column = [&] { return margin + static_cast<int>(u(rng) * inner) % inner; };
    if (wanted("gain")) {
        for (int i = margin; i < across - margin; ++i)
            f.gains.push_back({i, 1.0 + sign() * (0.005 + 0.025 * u(rng))});
    }
    if (wanted("large")) {
        for (int group = 0; group < 2; ++group) {
            const int start = column();
            const int width = 6 + static_cast<int>(u(rng) * 7);
            const double g = 1.0 + sign() * (0.01 + 0.02 * u(rng));
            for (int i = start; i < std::min(start + width, across - margin); ++i)
                f.gains.push_back({i, g});
        }
    }
    if (wanted("dead")) { // in the middle half, where the sample usually is
        for (int n = 0; n < 3; ++n)
            f.dead.push_back(across / 4 + static_cast<int>(u(rng) * (across / 2)));
    }
    if (wanted("partial")) {
        const int start = column();
        for (int i = start; i < std::min(start + 20, across - margin); ++i)
            f.partial.push_back({i, 1.0 + sign() * (0.01 + 0.01 * u(rng))});
        f.partialFirst = projections / 3;
        f.partialCount = projections / 3;
    }
    return f;
}

namespace {

// A small generator whose whole state is one number: a stream of its own for every pixel costs
// nothing to start (splitmix64).
struct PixelStream
{
    using result_type = std::uint64_t;
    std::uint64_t state;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return ~result_type(0); }
    result_type operator()()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

// Detector counts: Gaussian noise of `noise` times the Poisson width, or Poisson counts, clipped to
// the pixel range. `pixel` names the pixel when each has a stream of its own.
class Counter
{
public:
    Counter(const ScanSetup &setup)
        : noise_(setup.noise)
        , poisson_(setup.poisson)
        , byPixel_(setup.noiseByPixel)
        , seed_(setup.seed)
        , max_(setup.bytesPerPixel == 4 ? 4294967295.0 : 65535.0)
        , rng_(setup.seed)
    {
    }
    uint32_t operator()(double mean, std::uint64_t pixel = 0)
    {
        double v = mean;
        if (byPixel_) {
            PixelStream stream {(std::uint64_t(seed_) << 48) ^ (pixel * 0xD1B54A32D192ED03ull)};
            v = draw(mean, stream);
        } else {
            v = draw(mean, rng_);
        }
        return static_cast<uint32_t>(std::clamp(std::round(v), 0.0, max_));
    }

private:
    template<typename Engine> double draw(double mean, Engine &engine)
    {
        if (poisson_)
            return static_cast<double>(std::poisson_distribution<long long>(std::max(mean, 0.0))(engine));
        if (noise_ > 0.0)
            return mean
                + noise_ * std::sqrt(std::max(mean, 0.0))
                * (byPixel_ ? std::normal_distribution<double>()(engine) : gauss_(engine));
        return mean;
    }

    double noise_;
    bool poisson_;
    bool byPixel_;
    uint32_t seed_;
    double max_;
    std::mt19937 rng_;
    std::normal_distribution<double> gauss_;
};

// The name of a pixel for its noise stream: image (0 I0, 1 BG, 2 + k projection k), row, column.
std::uint64_t pixelKey(int image, int y, int x)
{
    return (std::uint64_t(image) << 40) | (std::uint64_t(y & 0xFFFFF) << 20) | std::uint64_t(x & 0xFFFFF);
}

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

// The faults of `DetectorFaults` per position across the axis.
struct FaultMap
{
    FaultMap(const DetectorFaults &f, int across)
        : faults(f)
        , gains(static_cast<size_t>(across), 1.0)
        , partialGains(gains)
        , dead(static_cast<size_t>(across), false)
        // A dead pixel reads the same in every projection (it failed after the I0 and BG images
        // were taken). The noise is drawn all the same, so that a scan with faults has the noise of
        // the scan without them.
        , deadReading(static_cast<uint32_t>(std::clamp(std::round(f.deadCounts), 0.0, 65535.0)))
    {
        for (const DetectorFaults::Gain &g : f.gains)
            if (g.column >= 0 && g.column < across)
                gains[g.column] = g.gain;
        for (const DetectorFaults::Gain &g : f.partial)
            if (g.column >= 0 && g.column < across)
                partialGains[g.column] = g.gain;
        for (int c : f.dead)
            if (c >= 0 && c < across)
                dead[c] = true;
    }
    // The response of position i in projection k.
    double gain(int i, int k) const
    {
        const bool inPartial = k >= faults.partialFirst && k < faults.partialFirst + faults.partialCount;
        return gains[i] * (inPartial ? partialGains[i] : 1.0);
    }

    const DetectorFaults &faults;
    std::vector<double> gains, partialGains;
    std::vector<bool> dead;
    uint32_t deadReading;
};

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

    // The I0 and BG images stand for averages of many frames: less noise.
    ScanSetup averaged = setup;
    averaged.noise = setup.noise * setup.flatNoise;
    averaged.seed = setup.seed + 1;
    Counter countAveraged(averaged);
    ScanSetup part = setup;
    if (!setup.noiseByPixel) // with a stream per pixel, the projection is in the pixel's name
        part.seed = setup.seed + static_cast<uint32_t>(std::max(setup.firstProjection, 0));
    Counter count(part);
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);

    const FaultMap faults(setup.faults, across);
    auto fill = [&](Counter &counter, int image, bool projection, auto meanAt) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int i = setup.axisVertical ? x : y;
                const uint32_t counts = counter(meanAt(i, setup.axisVertical ? y : x), pixelKey(image, y, x));
                pixels[static_cast<size_t>(y) * w + x]
                    = projection && faults.dead[i] ? faults.deadReading : counts;
            }
    };

    if (!i0File.isEmpty()) {
        fill(countAveraged, 0, false, [&](int i, int) { return flat[i]; });
        if (!writeOne(i0File, setup, pixels, error))
            return false;
    }
    if (!bgFile.isEmpty()) {
        fill(countAveraged, 1, false, [&](int, int) { return setup.bg; });
        if (!writeOne(bgFile, setup, pixels, error))
            return false;
    }

    const int first = std::clamp(setup.firstProjection, 0, setup.projections);
    const int end = setup.projectionCount < 0
        ? setup.projections
        : first + std::min(setup.projectionCount, setup.projections - first);
    for (int k = first; k < end; ++k) {
        const double theta = setup.rangeDeg / 180.0 * std::numbers::pi * k / setup.projections;
        fill(count, 2 + k, true, [&](int i, int j) {
            const double p
                = phantom.lineIntegral(i - (setup.cor + j * setup.corPerLine), j - 0.5 * along, theta);
            return faults.gain(i, k) * flat[i] * std::exp(-p) + setup.bg;
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

ProjectionSet scanLines(const Phantom &phantom, const ScanSetup &setup, std::vector<int> lines)
{
    const int across = setup.axisVertical ? setup.width : setup.height;
    const int along = setup.axisVertical ? setup.height : setup.width;
    ProjectionSet set;
    set.width = setup.width;
    set.height = setup.height;
    std::vector<double> flat(static_cast<size_t>(across));
    for (int i = 0; i < across; ++i)
        flat[i] = setup.i0
            * (1.0
                + setup.flatRipple
                    * std::cos(2.0 * std::numbers::pi * (i - setup.flatPhase * across) / across));
    ScanSetup averaged = setup;
    averaged.noise = setup.noise * setup.flatNoise;
    averaged.poisson = false;
    averaged.seed = setup.seed + 1;
    Counter countAveraged(averaged);
    Counter count(setup);
    const FaultMap faults(setup.faults, across);
    auto image = [&](const QString &name, Counter &counter, int index, auto meanAt) {
        const bool projection = index >= 2;
        auto img
            = std::make_shared<ImgDataLineBlock>(name, setup.width, setup.height, setup.axisVertical, lines);
        img->allocate(ImgDataLineBlock::Storage::F64);
        for (size_t k = 0; k < lines.size(); ++k) {
            double *line = img->f64Line(k);
            for (int i = 0; i < across; ++i) {
                line[i] = counter(meanAt(i, lines[k]), pixelKey(index, lines[k], i));
                if (projection && faults.dead[i])
                    line[i] = faults.deadReading;
            }
        }
        return img;
    };
    set.i0 = image(QStringLiteral("i0"), countAveraged, 0, [&](int i, int) { return flat[i]; });
    set.bg = image(QStringLiteral("bg"), countAveraged, 1, [&](int, int) { return setup.bg; });
    for (int k = 0; k < setup.projections; ++k) {
        const double theta = setup.rangeDeg / 180.0 * std::numbers::pi * k / setup.projections;
        set.images.push_back(image(QStringLiteral("p%1").arg(k), count, 2 + k, [&](int i, int j) {
            const double p
                = phantom.lineIntegral(i - (setup.cor + j * setup.corPerLine), j - 0.5 * along, theta);
            return faults.gain(i, k) * flat[i] * std::exp(-p) + setup.bg;
        }));
    }
    return set;
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
