#pragma once

// Local
#include "xafs/slabsource.h"
#include "xafs/standardsfile.h"
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

// Synthetic XANES series for the tests: two species with analytic edges (Gaussian-broadened steps with
// a white line), mixed in known fractions over a flat pre-edge background.

namespace xanestest {

constexpr double edge = 7112.0;

inline double step(double e, double at, double width)
{
    return 0.5 * std::erfc((at - e) / (width * std::numbers::sqrt2));
}

inline double peak(double e, double at, double width)
{
    const double t = (e - at) / width;
    return std::exp(-0.5 * t * t);
}

/// Species A: edge at 7112 eV, a weak white line; species B: edge at 7120 eV, a strong one.
inline double speciesA(double e)
{
    return step(e, 7112.0, 1.5) + 0.15 * peak(e, 7116.0, 2.0) * step(e, 7112.0, 1.5);
}
inline double speciesB(double e)
{
    return step(e, 7120.0, 1.2) + 0.6 * peak(e, 7125.0, 2.5) * step(e, 7120.0, 1.2);
}

/// The energies: coarse below and above the edge, 1 eV across it.
inline std::vector<double> energies()
{
    std::vector<double> e;
    for (double v = 7040.0; v < 7095.0; v += 10.0)
        e.push_back(v);
    for (double v = 7096.0; v <= 7140.0; v += 1.0)
        e.push_back(v);
    for (double v = 7155.0; v <= 7250.0; v += 15.0)
        e.push_back(v);
    return e;
}

inline Standard standardOf(const QString &name, double (*f)(double), double from = 7000.0, double to = 7300.0)
{
    Standard s;
    s.name = name;
    s.file = name + QStringLiteral(".txt");
    for (double e = from; e <= to + 1e-9; e += 0.25) {
        s.energy.push_back(e);
        s.value.push_back(f(e));
    }
    return s;
}

/// μ of a voxel holding the species in shares fa and 1 − fa with edge jump `jump` over the line
/// 0.3 − 0.0004·(E − edge).
inline double mu(double e, double fa, double jump)
{
    return 0.3 - 0.0004 * (e - edge) + jump * (fa * speciesA(e) + (1.0 - fa) * speciesB(e));
}

/// A series held in memory: values[((i·nz + z)·ny + y)·nx + x].
class MemorySource : public SlabSource
{
public:
    MemorySource(const std::vector<double> &energies, const VolumeShape &shape)
        : values(energies.size() * shape.voxels(), 0.0f)
    {
        energies_ = energies;
        shape_ = shape;
        for (int z = 0; z < shape.nz; ++z)
            slices_.push_back(10 + 2 * z);
    }
    QString name() const override { return QStringLiteral("memory"); }
    VolumeShape grain() const override { return {chunk.nz, chunk.ny, shape_.nx}; }
    bool read(std::span<const int> energyIndices, const VolumeBox &box, float *out, QString &) override
    {
        ++reads;
        for (const int i : energyIndices)
            for (int z = box.begin[0]; z < box.end[0]; ++z)
                for (int y = box.begin[1]; y < box.end[1]; ++y, out += box.size(2))
                    std::memcpy(out, &at(i, z, y, box.begin[2]), sizeof(float) * std::size_t(box.size(2)));
        return true;
    }
    float &at(int i, int z, int y, int x)
    {
        return values[((std::size_t(i) * shape_.nz + z) * shape_.ny + y) * shape_.nx + x];
    }
    std::vector<float> values;
    int reads = 0;
    VolumeShape chunk {1, 1, 1}; // slices and rows read best together
};

/// A series of 4 slices of 24 × 32 voxels: species A in share 0.7 in columns 0 … 15, 0.2 in columns
/// 16 … 31, the jump rising from 0.05 to 0.1 along the rows; rows 20 … 23 hold no element (the
/// background line only). `noise`: Gaussian, as a share of the jump 0.075.
inline std::unique_ptr<MemorySource> twoRegions(double noise, unsigned seed = 1)
{
    const std::vector<double> e = energies();
    auto s = std::make_unique<MemorySource>(e, VolumeShape {4, 24, 32});
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, noise * 0.075);
    for (int i = 0; i < int(e.size()); ++i)
        for (int z = 0; z < 4; ++z)
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < 32; ++x) {
                    const double jump = y < 20 ? 0.05 + 0.05 * y / 19.0 : 0.0;
                    const double fa = x < 16 ? 0.7 : 0.2;
                    s->at(i, z, y, x) = float(mu(e[std::size_t(i)], fa, jump) + (noise > 0 ? g(rng) : 0.0));
                }
    return s;
}

} // namespace xanestest
