#include "xafs/upsampleddft.h"

// Local
#include "xafs/fftvolume.h"
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int P = UpsampledGrid::points;

// The frequency of index k of an axis of n samples, in cycles per n samples (negative in the upper half).
double signedFrequency(int k, int n)
{
    return k <= n / 2 ? k : k - n;
}

// e^(i·2π·f·p/n) for the frequencies of an axis and the grid's positions: re and im tables [k][j].
void phaseTable(int count, int n, const UpsampledGrid &grid, int axis, bool half, std::vector<float> &re,
    std::vector<float> &im)
{
    re.assign(std::size_t(count) * P, 0.0f);
    im.assign(std::size_t(count) * P, 0.0f);
    for (int k = 0; k < count; ++k) {
        const double f = half ? k : signedFrequency(k, n);
        // A half spectrum stands for itself and its mirror: the sum over both is twice the real
        // part, except on the planes that are their own mirror (0 and n/2).
        const double weight = half && k != 0 && !(n % 2 == 0 && k == n / 2) ? 2.0 : 1.0;
        for (int j = 0; j < P; ++j) {
            // The phase reduced to one turn in double precision before the float tables.
            const double turns = f * grid.position(axis, j) / n;
            const double angle = 2.0 * std::numbers::pi * (turns - std::floor(turns));
            re[std::size_t(k) * P + j] = static_cast<float>(weight * std::cos(angle));
            im[std::size_t(k) * P + j] = static_cast<float>(weight * std::sin(angle));
        }
    }
}

} // namespace

UpsampledGrid upsampledCorrelation(const SpectrumVolume &c, const Shift3 &centre, double spacing)
{
    UpsampledGrid grid;
    grid.centre = centre;
    grid.spacing = spacing;
    const VolumeShape s = c.shape();
    const std::size_t columns = c.columns();
    std::vector<float> eRe, eIm;
    // Along x over the half spectrum: the bulk of the work, one row of the spectrum at a time.
    phaseTable(static_cast<int>(columns), s.nx, grid, 2, true, eRe, eIm);
    const std::size_t rows = c.rows();
    std::vector<float> tRe(rows * P), tIm(rows * P);
    const AlignKernels &k = alignKernels();
    for (std::size_t r = 0; r < rows; ++r) // rows are padded: one call per row
        k.dftRows(c.data() + r * c.rowStride(), 1, columns, eRe.data(), eIm.data(), tRe.data() + r * P,
            tIm.data() + r * P);
    // Along y, then z, on what is left.
    phaseTable(s.ny, s.ny, grid, 1, false, eRe, eIm);
    std::vector<float> uRe(std::size_t(s.nz) * P * P, 0.0f), uIm(uRe.size(), 0.0f);
    for (int z = 0; z < s.nz; ++z)
        for (int y = 0; y < s.ny; ++y) {
            const float *tr = tRe.data() + (std::size_t(z) * s.ny + y) * P;
            const float *ti = tIm.data() + (std::size_t(z) * s.ny + y) * P;
            for (int jy = 0; jy < P; ++jy) {
                const float er = eRe[std::size_t(y) * P + jy], ei = eIm[std::size_t(y) * P + jy];
                float *ur = uRe.data() + (std::size_t(z) * P + jy) * P;
                float *ui = uIm.data() + (std::size_t(z) * P + jy) * P;
                for (int jx = 0; jx < P; ++jx) {
                    ur[jx] += tr[jx] * er - ti[jx] * ei;
                    ui[jx] += tr[jx] * ei + ti[jx] * er;
                }
            }
        }
    phaseTable(s.nz, s.nz, grid, 0, false, eRe, eIm);
    std::vector<double> v(std::size_t(P) * P * P, 0.0);
    for (int z = 0; z < s.nz; ++z)
        for (int jz = 0; jz < P; ++jz) {
            const double er = eRe[std::size_t(z) * P + jz], ei = eIm[std::size_t(z) * P + jz];
            for (int j = 0; j < P * P; ++j)
                v[std::size_t(jz) * P * P + j]
                    += er * uRe[std::size_t(z) * P * P + j] - ei * uIm[std::size_t(z) * P * P + j];
        }
    grid.values.assign(v.begin(), v.end());
    return grid;
}

GridPeak gridPeak(const UpsampledGrid &grid)
{
    int best[3] = {0, 0, 0};
    float top = grid.at(0, 0, 0);
    for (int z = 0; z < P; ++z)
        for (int y = 0; y < P; ++y)
            for (int x = 0; x < P; ++x)
                if (grid.at(z, y, x) > top) {
                    top = grid.at(z, y, x);
                    best[0] = z;
                    best[1] = y;
                    best[2] = x;
                }
    GridPeak peak;
    peak.value = top;
    peak.inside = true;
    for (int axis = 0; axis < 3; ++axis) {
        double offset = 0.0;
        if (best[axis] == 0 || best[axis] == P - 1) {
            peak.inside = false;
        } else {
            int lo[3] = {best[0], best[1], best[2]}, hi[3] = {best[0], best[1], best[2]};
            --lo[axis];
            ++hi[axis];
            const double a = grid.at(lo[0], lo[1], lo[2]), b = top, c = grid.at(hi[0], hi[1], hi[2]);
            const double curvature = a - 2.0 * b + c;
            if (curvature < 0.0)
                offset = std::clamp(0.5 * (a - c) / curvature, -0.5, 0.5);
        }
        peak.position[axis] = grid.position(axis, best[axis]) + offset * grid.spacing;
    }
    return peak;
}
