#include "xafs/phasecorrelation.h"

// Local
#include "xafs/alignkernels.h"
#include "xafs/upsampleddft.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

using Windows = std::array<std::vector<float>, 3>;

// The box of `volume` at box.begin + offset, less its mean under the window, times the window, into
// `out` (the box's shape). Voxels beyond the volume count as 0 (their window is 0 where it matters).
void fillWindowed(
    const Volume &volume, const VolumeBox &box, const int offset[3], const Windows &w, SpectrumVolume &out)
{
    const AlignKernels &k = alignKernels();
    const VolumeShape s = box.shape();
    const VolumeShape &v = volume.shape;
    int start[3], valid[3][2];
    for (int a = 0; a < 3; ++a) {
        start[a] = box.begin[a] + offset[a];
        valid[a][0] = std::clamp(-start[a], 0, s.extent(a));
        valid[a][1] = std::clamp(v.extent(a) - start[a], valid[a][0], s.extent(a));
    }
    const auto rowOf = [&](int z, int y) {
        return volume.values.data() + (std::size_t(start[0] + z) * v.ny + std::size_t(start[1] + y)) * v.nx
            + start[2] + valid[2][0];
    };
    const std::size_t width = std::size_t(valid[2][1] - valid[2][0]);
    double sum = 0.0, weights = 0.0;
    for (int z = valid[0][0]; z < valid[0][1]; ++z)
        for (int y = valid[1][0]; y < valid[1][1]; ++y) {
            const double wzy = double(w[0][z]) * w[1][y];
            if (wzy == 0.0)
                continue;
            double rs = 0.0, rw = 0.0;
            k.weightedSum(rowOf(z, y), w[2].data() + valid[2][0], width, &rs, &rw);
            sum += wzy * rs;
            weights += wzy * rw;
        }
    const float mean = weights > 0.0 ? static_cast<float>(sum / weights) : 0.0f;
    const std::size_t stride = out.rowStride();
    for (int z = 0; z < s.nz; ++z)
        for (int y = 0; y < s.ny; ++y) {
            float *row = out.row(z, y);
            const float wzy = w[0][z] * w[1][y];
            const bool inside = z >= valid[0][0] && z < valid[0][1] && y >= valid[1][0] && y < valid[1][1];
            if (!inside || wzy == 0.0f || width == 0) {
                std::memset(row, 0, stride * sizeof(float));
                continue;
            }
            std::fill(row, row + valid[2][0], 0.0f);
            k.windowRow(rowOf(z, y), w[2].data() + valid[2][0], wzy, mean, row + valid[2][0], width);
            std::fill(row + valid[2][1], row + stride, 0.0f);
        }
}

void whitenSpectrum(SpectrumVolume &s)
{
    const AlignKernels &k = alignKernels();
    for (std::size_t r = 0; r < s.rows(); ++r)
        k.whiten(s.data() + r * s.rowStride(), s.columns());
}

// The frequency of index k of an axis of n samples in cycles per voxel (negative in the upper half).
double cyclesPerVoxel(int k, int n)
{
    return (k <= n / 2 ? k : k - n) / double(n);
}

constexpr double minimumOverlap = 4.0; // voxels per axis that the two volumes must share
// The upsampled grid: ±0.19 voxel around the estimate (moved while the peak lies on its border).
constexpr double fineSpacing = 1.0 / 40.0;

} // namespace

std::vector<float> tukeyWindow(int n, double a, double b, double taper, double offset)
{
    std::vector<float> w(std::size_t(std::max(n, 0)), 0.0f);
    const double ramp = 0.5 * std::clamp(taper, 0.0, 1.0) * (b - a);
    for (int i = 0; i < n; ++i) {
        const double t = i - offset;
        if (!(t > a && t < b))
            continue;
        double v = 1.0;
        if (t < a + ramp)
            v = 0.5 * (1.0 - std::cos(std::numbers::pi * (t - a) / ramp));
        else if (t > b - ramp)
            v = 0.5 * (1.0 - std::cos(std::numbers::pi * (b - t) / ramp));
        w[std::size_t(i)] = static_cast<float>(v);
    }
    return w;
}

std::shared_ptr<const RegistrationReference> RegistrationReference::make(std::shared_ptr<const Volume> volume,
    const VolumeBox &box, const RegistrationSettings &settings, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return std::shared_ptr<const RegistrationReference>();
    };
    for (int a = 0; a < 3; ++a)
        if (box.begin[a] < 0 || box.end[a] > volume->shape.extent(a) || box.size(a) < 2 * minimumOverlap)
            return fail(QStringLiteral("the box is not inside the volume or thinner than %1 voxels")
                            .arg(2 * minimumOverlap));
    std::shared_ptr<RegistrationReference> r(new RegistrationReference);
    r->volume_ = std::move(volume);
    r->box_ = box;
    r->settings_ = settings;
    const VolumeShape s = box.shape();
    if (!r->spectrum_.allocate(s))
        return fail(QStringLiteral("no memory for the spectrum of %1 x %2 x %3 voxels")
                        .arg(s.nz)
                        .arg(s.ny)
                        .arg(s.nx));
    Windows w;
    for (int a = 0; a < 3; ++a)
        w[a] = tukeyWindow(s.extent(a), 0.0, s.extent(a) - 1.0, settings.taper);
    const int none[3] = {0, 0, 0};
    fillWindowed(*r->volume_, box, none, w, r->spectrum_);
    r->spectrum_.forward();
    whitenSpectrum(r->spectrum_);
    return r;
}

PhaseCorrelation::PhaseCorrelation(std::shared_ptr<const RegistrationReference> reference)
    : reference_(std::move(reference))
{
    const VolumeShape s = reference_->box().shape();
    const double sigma = reference_->settings().lowPass;
    const auto g = [sigma](double f) { return static_cast<float>(std::exp(-f * f / (2.0 * sigma * sigma))); };
    double totals[3] = {0.0, 0.0, 0.0};
    for (int a = 0; a < 3; ++a) {
        const int n = s.extent(a);
        const int count = a == 2 ? n / 2 + 1 : n;
        gauss_[a].resize(std::size_t(count));
        for (int k = 0; k < count; ++k)
            gauss_[a][std::size_t(k)] = g(cyclesPerVoxel(k, n));
        for (int k = 0; k < n; ++k) // the whole axis, for the largest possible peak
            totals[a] += g(cyclesPerVoxel(k, n));
    }
    gaussTotal_ = totals[0] * totals[1] * totals[2] - 1.0; // without the mean, which is left out
}

bool PhaseCorrelation::refine(const Shift3 &start, double spacing, Shift3 &found, double &height)
{
    // A grid of 16 points a side around the start, moved to its peak while that lies on its border.
    Shift3 centre = start;
    for (int attempt = 0; attempt < 6; ++attempt) {
        const GridPeak peak = gridPeak(upsampledCorrelation(moving_, centre, spacing));
        centre = peak.position;
        height = peak.value;
        if (peak.inside) {
            found = centre;
            return true;
        }
    }
    return false;
}

RegistrationResult PhaseCorrelation::align(const Volume &moving)
{
    RegistrationResult result;
    const RegistrationReference &ref = *reference_;
    const VolumeBox &box = ref.box();
    const VolumeShape s = box.shape();
    const RegistrationSettings &settings = ref.settings();
    if (!(moving.shape == ref.volume().shape)) {
        result.problem = QStringLiteral("the volume differs in size from the reference");
        return result;
    }
    if (!moving_.allocate(s) || !scratch_.allocate(s)) {
        result.problem = QStringLiteral("no memory for two spectra of %1 x %2 x %3 voxels")
                             .arg(s.nz)
                             .arg(s.ny)
                             .arg(s.nx);
        return result;
    }
    const AlignKernels &k = alignKernels();
    const auto crossPower = [&](const SpectrumVolume &reference) {
        for (int z = 0; z < s.nz; ++z)
            for (int y = 0; y < s.ny; ++y)
                k.crossPower(moving_.row(z, y), reference.row(z, y), gauss_[2].data(),
                    gauss_[0][std::size_t(z)] * gauss_[1][std::size_t(y)], moving_.columns());
        moving_.data()[0] = moving_.data()[1] = 0.0f; // the means are gone; leave out their rounding
    };

    // First pass: both windows on the box, the reference's spectrum made once.
    Windows w;
    for (int a = 0; a < 3; ++a)
        w[a] = tukeyWindow(s.extent(a), 0.0, s.extent(a) - 1.0, settings.taper);
    const int none[3] = {0, 0, 0};
    fillWindowed(moving, box, none, w, moving_);
    moving_.forward();
    crossPower(ref.spectrum());
    std::memcpy(scratch_.data(), moving_.data(), SpectrumVolume::bytesFor(s));
    scratch_.inverse();
    float top = -1.0f;
    int peak[3] = {0, 0, 0};
    for (int z = 0; z < s.nz; ++z)
        for (int y = 0; y < s.ny; ++y) {
            const float *row = scratch_.row(z, y);
            for (int x = 0; x < s.nx; ++x)
                if (row[x] > top) {
                    top = row[x];
                    peak[0] = z;
                    peak[1] = y;
                    peak[2] = x;
                }
        }
    // The whole-voxel peak and a parabola through it and its neighbours on each axis (the correlation
    // is periodic: the upper half are negative shifts): near enough to place the windows.
    Shift3 estimate;
    for (int a = 0; a < 3; ++a) {
        const int n = s.extent(a);
        int lo[3] = {peak[0], peak[1], peak[2]}, hi[3] = {peak[0], peak[1], peak[2]};
        lo[a] = (peak[a] + n - 1) % n;
        hi[a] = (peak[a] + 1) % n;
        const double f0 = scratch_.row(lo[0], lo[1])[lo[2]], f2 = scratch_.row(hi[0], hi[1])[hi[2]];
        const double curvature = f0 - 2.0 * top + f2;
        const double offset = curvature < 0.0 ? std::clamp(0.5 * (f0 - f2) / curvature, -0.5, 0.5) : 0.0;
        estimate[a] = (peak[a] > n / 2 ? peak[a] - n : peak[a]) + offset;
    }
    double height = top; // both transforms leave the sums unnormalised
    result.passes = 1;

    // Then with the windows on the region both volumes hold, the moving one's moved by the estimate.
    for (int pass = 0; pass < settings.followUps; ++pass) {
        int whole[3];
        Shift3 part;
        Windows wr, wm;
        for (int a = 0; a < 3; ++a) {
            const int n = s.extent(a);
            whole[a] = static_cast<int>(std::lround(estimate[a]));
            part[a] = estimate[a] - whole[a];
            const int start = box.begin[a] + whole[a];
            const int lo = std::clamp(-start, 0, n);
            const int hi = std::clamp(ref.volume().shape.extent(a) - start, lo, n);
            const double from = std::max(0.0, lo - part[a]);
            const double to = std::min(n - 1.0, hi - 1.0 - part[a]);
            if (to - from < minimumOverlap) {
                result.problem = QStringLiteral("the volumes share too little: a shift of %1 voxels along %2")
                                     .arg(estimate[a], 0, 'f', 1)
                                     .arg(QLatin1Char("zyx"[a]));
                return result;
            }
            wr[a] = tukeyWindow(n, from, to, settings.taper);
            wm[a] = tukeyWindow(n, from, to, settings.taper, part[a]);
        }
        fillWindowed(ref.volume(), box, none, wr, scratch_);
        scratch_.forward();
        whitenSpectrum(scratch_);
        fillWindowed(moving, box, whole, wm, moving_);
        moving_.forward();
        crossPower(scratch_);
        Shift3 found;
        if (!refine(part, fineSpacing, found, height)) {
            result.problem = QStringLiteral("the correlation has no clear peak");
            return result;
        }
        const Shift3 next {whole[0] + found.z, whole[1] + found.y, whole[2] + found.x};
        const Shift3 change = next - estimate;
        estimate = next;
        ++result.passes;
        // Windows placed within a fifth of a voxel leave a bias of a hundredth or less.
        if (std::max({std::abs(change.z), std::abs(change.y), std::abs(change.x)}) < 0.2)
            break;
    }
    result.ok = true;
    result.shift = estimate;
    result.score = height / gaussTotal_;
    return result;
}
