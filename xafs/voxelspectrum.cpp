#include "xafs/voxelspectrum.h"

// Local
#include <cmath>
#include <limits>

namespace {

QString value(double v)
{
    return std::isfinite(v) ? QString::number(v, 'g', 7) : QStringLiteral("nan");
}

} // namespace

bool voxelSpectrum(SlabSource &source, const XanesPlan &plan, int z, int y, int x, int radius, double minJump,
    VoxelSpectrum &spectrum, QString &error)
{
    const VolumeShape s = source.shape();
    if (z < 0 || y < 0 || x < 0 || z >= s.nz || y >= s.ny || x >= s.nx) {
        error = QStringLiteral("the voxel %1,%2,%3 lies outside the volume of %4 x %5 x %6 voxels (z, y, x)")
                    .arg(z)
                    .arg(y)
                    .arg(x)
                    .arg(s.nz)
                    .arg(s.ny)
                    .arg(s.nx);
        return false;
    }
    if (radius < 0 || radius > maxSpectrumRadius) {
        error = QStringLiteral("the radius is 0 to %1 voxels, not %2").arg(maxSpectrumRadius).arg(radius);
        return false;
    }
    const VolumeBox box {{std::max(0, z - radius), std::max(0, y - radius), std::max(0, x - radius)},
        {std::min(s.nz, z + radius + 1), std::min(s.ny, y + radius + 1), std::min(s.nx, x + radius + 1)}};
    const int n = int(plan.energies().size());
    std::vector<int> energies(std::size_t(n), 0);
    for (int i = 0; i < n; ++i)
        energies[std::size_t(i)] = i;
    const std::size_t voxels = box.shape().voxels();
    std::vector<float> values(voxels * std::size_t(n));
    if (!source.read(energies, box, values.data(), error))
        return false;
    spectrum = VoxelSpectrum {};
    spectrum.z = z;
    spectrum.y = y;
    spectrum.x = x;
    spectrum.radius = radius;
    spectrum.energy = plan.energies();
    spectrum.mu.assign(std::size_t(n), 0.0);
    std::size_t v = 0;
    for (int bz = box.begin[0]; bz < box.end[0]; ++bz)
        for (int by = box.begin[1]; by < box.end[1]; ++by)
            for (int bx = box.begin[2]; bx < box.end[2]; ++bx, ++v) {
                const int dz = bz - z, dy = by - y, dx = bx - x;
                if (dz * dz + dy * dy + dx * dx > radius * radius)
                    continue;
                bool finite = true;
                for (int i = 0; i < n && finite; ++i)
                    finite = std::isfinite(values[std::size_t(i) * voxels + v]);
                if (!finite)
                    continue;
                for (int i = 0; i < n; ++i)
                    spectrum.mu[std::size_t(i)] += values[std::size_t(i) * voxels + v];
                ++spectrum.voxels;
            }
    if (spectrum.voxels == 0) {
        error = QStringLiteral("no voxel within %1 of %2,%3,%4 holds a number at every energy")
                    .arg(radius)
                    .arg(z)
                    .arg(y)
                    .arg(x);
        return false;
    }
    for (double &m : spectrum.mu)
        m /= spectrum.voxels;

    // The maps' values as the maps hold them, and the fractions for the fit even where masked.
    const std::vector<float> mu(spectrum.mu.begin(), spectrum.mu.end());
    const int maps = int(plan.maps().size());
    const XanesKernelPlan &kp = plan.kernel();
    std::vector<float> out(plan.maps().size()), unmasked(plan.maps().size());
    const auto run = [&](float threshold, std::vector<float> &o) {
        XanesKernelMaps m;
        m.jump = &o[EdgeJumpMap];
        m.edgeEnergy = &o[EdgeEnergyMap];
        m.whiteLineEnergy = &o[WhiteLineEnergyMap];
        m.whiteLineHeight = &o[WhiteLineHeightMap];
        m.fractions = kp.standards > 0 ? &o[FirstFractionMap] : nullptr;
        m.fractionStride = 1;
        m.rFactor = kp.standards > 0 ? &o[std::size_t(FirstFractionMap + kp.standards)] : nullptr;
        m.mask = &o[std::size_t(maps - 1)];
        xanesKernels().analyse(kp, mu.data(), 1, 1, threshold, m);
    };
    run(float(std::min<double>(minJump, std::numeric_limits<float>::max())), out);
    run(-std::numeric_limits<float>::infinity(), unmasked);
    spectrum.maps.assign(out.begin(), out.end());

    spectrum.pre = plan.preLine(spectrum.mu);
    spectrum.post = plan.postLine(spectrum.mu);
    const double edge = plan.settings().edge;
    const double jump = spectrum.post.at - spectrum.pre.at;
    spectrum.normalised.resize(std::size_t(n));
    spectrum.fit.assign(std::size_t(n), std::nan(""));
    for (int i = 0; i < n; ++i) {
        const double e = spectrum.energy[std::size_t(i)];
        spectrum.normalised[std::size_t(i)]
            = jump > 0.0 ? (spectrum.mu[std::size_t(i)] - spectrum.pre(e, edge)) / jump : std::nan("");
        if (kp.standards > 0 && i >= kp.fitBegin && i < kp.fitEnd) {
            double f = 0.0;
            for (int k = 0; k < kp.standards; ++k)
                f += plan.standardAt(k, i) * unmasked[std::size_t(FirstFractionMap + k)];
            spectrum.fit[std::size_t(i)] = f;
        }
    }
    return true;
}

QString spectrumText(const VoxelSpectrum &s, const XanesPlan &plan, const std::vector<int> &slices)
{
    QString text = QStringLiteral("# voxel z %1, y %2, x %3 (slice %4)")
                       .arg(s.z)
                       .arg(s.y)
                       .arg(s.x)
                       .arg(std::size_t(s.z) < slices.size() ? slices[std::size_t(s.z)] : s.z);
    if (s.radius > 0)
        text += QStringLiteral(", the mean of %1 voxels within %2").arg(s.voxels).arg(s.radius);
    text += QStringLiteral("\n# energy_eV\tmu\tnormalised\tfit\n");
    for (std::size_t i = 0; i < s.energy.size(); ++i)
        text += QStringLiteral("%1\t%2\t%3\t%4\n")
                    .arg(value(s.energy[i]), value(s.mu[i]), value(s.normalised[i]), value(s.fit[i]));
    text += QStringLiteral("# maps\n");
    for (std::size_t m = 0; m < s.maps.size() && m < plan.maps().size(); ++m)
        text += QStringLiteral("%1\t%2\n").arg(plan.maps()[m].name, value(s.maps[m]));
    return text;
}
