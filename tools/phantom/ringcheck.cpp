#include "tools/phantom/ringcheck.h"

// Local
#include "ct/ctfbp.h"
#include "ct/slicerecon.h"
#include <algorithm>
#include <cmath>
#include <limits>

const char *ringSceneName(RingScene scene)
{
    switch (scene) {
    case RingScene::Disk:
        return "disk";
    case RingScene::Ellipse:
        return "ellipse";
    case RingScene::Ring:
        return "ring";
    case RingScene::Cylinder:
        return "cylinder";
    case RingScene::StepEdge:
        return "step edge";
    case RingScene::SmallOver:
        return "small over";
    case RingScene::SmallBeside:
        return "small beside";
    case RingScene::SmallOff:
        return "small off";
    case RingScene::Demo:
        return "demo";
    }
    return "";
}

Phantom ringScenePhantom(RingScene scene, int width)
{
    // Sizes in 256ths of the width; attenuation per pixel at a width of 256. Every object is long
    // along the axis, so that the slice cuts it where it is round.
    const double s = width / 256.0, tall = 4.0 * width;
    Phantom p;
    switch (scene) {
    case RingScene::Disk:
        p.parts.push_back({6 * s, -4 * s, 0, 50 * s, 50 * s, tall, 0.0, 0.010});
        break;
    case RingScene::Ellipse:
        p.parts.push_back({5 * s, 3 * s, 0, 62 * s, 30 * s, tall, 0.5, 0.012});
        break;
    case RingScene::Ring:
        p.parts.push_back({0, 0, 0, 50 * s, 50 * s, tall, 0.0, 0.015});
        p.parts.push_back({0, 0, 0, 40 * s, 40 * s, tall, 0.0, -0.015});
        break;
    case RingScene::Cylinder:
        p.parts.push_back({0, 0, 0, 50 * s, 50 * s, tall, 0.0, 0.010});
        break;
    case RingScene::StepEdge: {
        // The flat face runs through the half disk's centre, which lies on the face's line 12/256 of
        // the width from the axis: the straight edge passes through the axis, the round one is not
        // centred on it.
        const double phi = 0.3;
        p.parts.push_back(
            {12 * s * std::cos(phi), 12 * s * std::sin(phi), 0, 60 * s, 60 * s, tall, phi, 0.010, true});
        break;
    }
    case RingScene::SmallOver: // 16 × 11, its centre 1.5 off the axis; its largest chord 0.4
        p.parts.push_back({1.2 * s, 0.9 * s, 0, 16 * s, 11.2 * s, tall, 0.4, 0.2 / 16});
        break;
    case RingScene::SmallBeside: // 8 × 6, its centre 9 off the axis
        p.parts.push_back({7.2 * s, 5.4 * s, 0, 8 * s, 5.6 * s, tall, 0.4, 0.2 / 8});
        break;
    case RingScene::SmallOff: // 4 × 3, its centre 20 off the axis, in a body of 70 × 50
        p.parts.push_back({16 * s, 12 * s, 0, 4 * s, 2.8 * s, tall, 0.4, 0.2 / 4});
        p.parts.push_back({-10 * s, 5 * s, 0, 70 * s, 50 * s, tall, 0.2, 0.004});
        break;
    case RingScene::Demo:
        p = demoPhantom(width);
        break;
    }
    for (Ellipsoid &e : p.parts)
        e.mu /= s;
    return p;
}

int ringScanSlice(const RingScanSetup &setup)
{
    return setup.slice >= 0 && setup.slice < setup.width ? setup.slice : setup.width / 2;
}

ProjectionSet ringScan(const RingScanSetup &r)
{
    ScanSetup setup;
    setup.width = r.width;
    setup.height = r.width; // the demo phantom's inserts lie at heights from −45/256 to 25/256 of it
    setup.cor = r.cor;
    setup.projections = r.projections;
    setup.i0 = 20000.0;
    setup.noise = 0.0; // the I0 and BG images without noise: a noisy flat draws stripes of its own
    setup.poisson = r.noise;
    setup.noiseByPixel = true; // the faulty scan has the noise of the clean one
    setup.faults = r.faults;
    setup.seed = r.seed;
    return scanLines(ringScenePhantom(r.scene, r.width), setup, {ringScanSlice(r)});
}

bool SliceImage::inside(int x, int z) const
{
    const double h = n / 2.0, dx = x - h, dz = z - h, r = h - 1.0;
    return dx * dx + dz * dz < r * r;
}

SliceImage reconstructRingSlice(
    const ProjectionSet &set, double cor, const StripeParams &stripes, double rangeDeg, int slice)
{
    SliceTask task;
    task.set = set;
    task.sinogram = SinogramRequest {true, cor, slice < 0 ? set.height / 2 : slice, false, 0, 0};
    task.angles = projectionAngles(0.0, rangeDeg, set.count(), 0);
    task.regionIsSet = false;
    task.stripes = stripes;
    CtFbp engine;
    engine.setup(requiredLength(set, task.sinogram), set.count());
    SinogramCache cache;
    if (!reconstructSlice(engine, cache, task).reconstructed)
        return {};
    return {std::vector<double>(engine.image().begin(), engine.image().end()), engine.n()};
}

namespace {

template<typename F> void forInside(const SliceImage &s, F f)
{
    for (int z = 0; z < s.n; ++z)
        for (int x = 0; x < s.n; ++x)
            if (s.inside(x, z))
                f(x, z);
}

} // namespace

double sliceRange(const SliceImage &s)
{
    double lo = 0.0, hi = 0.0;
    bool first = true;
    forInside(s, [&](int x, int z) {
        const double v = s.at(x, z);
        lo = first ? v : std::min(lo, v);
        hi = first ? v : std::max(hi, v);
        first = false;
    });
    return hi - lo;
}

double sliceContrast(const SliceImage &s)
{
    std::vector<double> v;
    forInside(s, [&](int x, int z) { v.push_back(s.at(x, z)); });
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[size_t(0.995 * (v.size() - 1))] - v[size_t(0.005 * (v.size() - 1))];
}

SliceChange sliceChange(const SliceImage &before, const SliceImage &after, double range)
{
    // Slices that cannot be compared count as changed beyond measure.
    SliceChange c {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
    if (before.n != after.n || before.n < 3 || !(range > 0.0))
        return c;
    c = SliceChange();
    const auto d = [&](int x, int z) { return after.at(x, z) - before.at(x, z); };
    double sum = 0.0;
    long count = 0;
    forInside(before, [&](int x, int z) {
        sum += d(x, z) * d(x, z);
        ++count;
        double box = 0.0;
        for (int dz = -1; dz <= 1; ++dz)
            for (int dx = -1; dx <= 1; ++dx)
                box += d(x + dx, z + dz); // pixels beyond the circle are 0 in both slices
        c.maxSmoothed = std::max(c.maxSmoothed, std::abs(box / 9.0));
    });
    c.maxSmoothed /= range;
    c.rms = std::sqrt(sum / std::max(count, 1L)) / range;
    return c;
}

double rmsDifference(const SliceImage &a, const SliceImage &b)
{
    double sum = 0.0;
    long count = 0;
    forInside(a, [&](int x, int z) {
        const double d = a.at(x, z) - b.at(x, z);
        sum += d * d;
        ++count;
    });
    return std::sqrt(sum / std::max(count, 1L));
}

double ringStrength(const SliceImage &s, double rMin)
{
    const double h = s.n / 2.0;
    const int radii = static_cast<int>(h) + 1;
    std::vector<double> sum(radii, 0.0), count(radii, 0.0);
    for (int z = 0; z < s.n; ++z)
        for (int x = 0; x < s.n; ++x) {
            // The axis passes through pixel (n/2, n/2): a ring of radius r is a circle about it.
            const int r = static_cast<int>(std::lround(std::hypot(x - h, z - h)));
            if (r < radii) {
                sum[r] += s.at(x, z);
                count[r] += 1.0;
            }
        }
    std::vector<double> mean(radii);
    for (int r = 0; r < radii; ++r)
        mean[r] = count[r] > 0 ? sum[r] / count[r] : 0.0;
    const int last = static_cast<int>(0.95 * h);
    double total = 0.0;
    int used = 0;
    std::vector<double> around;
    for (int r = std::max(0, static_cast<int>(rMin)); r <= last; ++r) {
        around.assign(mean.begin() + std::max(0, r - 4), mean.begin() + std::min(last, r + 4) + 1);
        std::nth_element(around.begin(), around.begin() + around.size() / 2, around.end());
        const double high = mean[r] - around[around.size() / 2];
        total += high * high;
        ++used;
    }
    return std::sqrt(total / std::max(used, 1));
}

double addedRingStrength(const SliceImage &s, const SliceImage &clean)
{
    if (s.n != clean.n || s.values.size() != clean.values.size())
        return 0.0;
    SliceImage d = s;
    for (size_t i = 0; i < d.values.size(); ++i)
        d.values[i] -= clean.values[i];
    return ringStrength(d);
}

double sliceCorrelation(const SliceImage &a, const SliceImage &b, const std::vector<unsigned char> &mask)
{
    double sa = 0.0, sb = 0.0, saa = 0.0, sbb = 0.0, sab = 0.0, n = 0.0;
    for (size_t i = 0; i < mask.size() && i < a.values.size() && i < b.values.size(); ++i) {
        if (!mask[i])
            continue;
        const double x = a.values[i], y = b.values[i];
        sa += x;
        sb += y;
        saa += x * x;
        sbb += y * y;
        sab += x * y;
        n += 1.0;
    }
    if (n < 2.0)
        return 0.0;
    const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    return va > 0.0 && vb > 0.0 ? (sab - sa * sb / n) / std::sqrt(va * vb) : 0.0;
}
