#include "ct/stripeprofile.h"

// Local
#include <algorithm>
#include <cmath>

NeighbourFit::NeighbourFit(int width, int half, std::span<const double> weights)
    : width_(std::max(width, 0))
    , half_(std::max(half, 1))
    , taps_(2 * half_ + 1)
    , value_(static_cast<size_t>(width_) * taps_, 0.0)
    , curve_(value_.size(), 0.0)
    , valid_(static_cast<size_t>(width_), 0)
{
    const auto weight = [&](int i) { return static_cast<int>(weights.size()) == width_ ? weights[i] : 1.0; };
    for (int j = 0; j < width_; ++j) {
        const int lo = first(j), hi = std::min(width_ - 1, j + half_);
        // Normal equations of the parabola a + b·x + c·x² in x = i − j over the neighbours.
        double s[5] = {0, 0, 0, 0, 0};
        int used = 0;
        for (int i = lo; i <= hi; ++i) {
            if (i == j || weight(i) <= 0.0)
                continue;
            const double x = i - j;
            double p = weight(i);
            for (double &t : s) {
                t += p;
                p *= x;
            }
            ++used;
        }
        if (used < 4)
            continue; // too few neighbours for a parabola: no prediction (weights 0)
        const double m[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
        const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
            - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
            + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        if (std::abs(det) < 1e-9 * std::max(1.0, s[0] * s[2] * s[4]))
            continue;
        // Rows 0 and 2 of the inverse (the matrix is symmetric): a and c.
        const double inv0[3] = {(m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det,
            -(m[0][1] * m[2][2] - m[0][2] * m[2][1]) / det, (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det};
        const double inv2[3] = {(m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det,
            -(m[0][0] * m[2][1] - m[0][1] * m[2][0]) / det, (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det};
        double *v = value_.data() + static_cast<size_t>(j) * taps_;
        double *c = curve_.data() + static_cast<size_t>(j) * taps_;
        for (int i = lo; i <= hi; ++i) {
            if (i == j || weight(i) <= 0.0)
                continue;
            const double x = i - j;
            v[i - lo] = weight(i) * (inv0[0] + inv0[1] * x + inv0[2] * x * x);
            c[i - lo] = weight(i) * 2.0 * (inv2[0] + inv2[1] * x + inv2[2] * x * x);
        }
        valid_[j] = 1;
    }
}

int NeighbourFit::first(int j) const
{
    return std::max(0, j - half_);
}

int NeighbourFit::last(int j) const
{
    return std::min(width_ - 1, j + half_);
}

std::span<const double> NeighbourFit::weights(int j) const
{
    return {value_.data() + static_cast<size_t>(j) * taps_, static_cast<size_t>(last(j) - first(j) + 1)};
}

double NeighbourFit::predict(std::span<const double> profile, int j) const
{
    const int lo = first(j), hi = std::min(width_ - 1, j + half_);
    const double *v = value_.data() + static_cast<size_t>(j) * taps_;
    double sum = 0.0;
    for (int i = lo; i <= hi; ++i)
        sum += v[i - lo] * profile[i];
    return sum;
}

double NeighbourFit::curvature(std::span<const double> profile, int j) const
{
    const int lo = first(j), hi = std::min(width_ - 1, j + half_);
    const double *c = curve_.data() + static_cast<size_t>(j) * taps_;
    double sum = 0.0;
    for (int i = lo; i <= hi; ++i)
        sum += c[i - lo] * profile[i];
    return sum;
}

double NeighbourFit::predictionVariance(std::span<const double> variance, int j) const
{
    const int lo = first(j), hi = std::min(width_ - 1, j + half_);
    const double *v = value_.data() + static_cast<size_t>(j) * taps_;
    double sum = 0.0;
    for (int i = lo; i <= hi; ++i)
        sum += v[i - lo] * v[i - lo] * variance[i];
    return sum;
}

namespace {

// Rounds of refitting without the columns that stand out.
constexpr int fitRounds = 4;

// Columns left out of their neighbours' fits, from the residuals `r` of the present fit (`use` the
// columns it uses): those that stand out more than four times the typical residual (or `snr` times
// their spread), and runs of three or more side by side that stand out alike, where they are at least
// half the largest residual within the window (a strong stripe pulls its neighbours' residuals along
// by less: they are not left out for it). A column with too few neighbours for a fit keeps its place.
std::vector<double> columnsToUse(const NeighbourFit &fit, std::span<const double> r,
    std::span<const double> sd, std::span<const double> use, double snr)
{
    const int w = static_cast<int>(r.size());
    std::vector<double> size(r.begin(), r.end());
    for (double &s : size)
        s = std::abs(s);
    std::nth_element(size.begin(), size.begin() + w / 2, size.end());
    const double spread = 1.4826 * size[w / 2];
    std::vector<double> next(use.begin(), use.end());
    std::vector<unsigned char> out(static_cast<size_t>(w), 0);
    const auto stands = [&](int j) { return fit.valid(j) && std::abs(r[j]) > snr * sd[j]; };
    const auto alike = [&](int a, int b) {
        return r[a] * r[b] > 0.0
            && std::abs(r[a] - r[b])
            <= std::max(snr * std::hypot(sd[a], sd[b]), 0.5 * std::max(std::abs(r[a]), std::abs(r[b])));
    };
    for (int j = 0; j < w; ++j)
        out[j] = fit.valid(j) && std::abs(r[j]) > 4.0 * std::max(spread, snr * sd[j]);
    for (int j = 0; j < w;) {
        int end = j;
        while (end < w && stands(end) && (end == j || alike(end - 1, end)))
            ++end;
        if (end - j >= 3)
            std::fill(out.begin() + j, out.begin() + end, 1);
        j = std::max(end, j + 1);
    }
    const int half = fit.half();
    for (int j = 0; j < w; ++j) {
        if (!fit.valid(j))
            continue;
        double largest = 0.0;
        for (int i = std::max(0, j - half); i <= std::min(w - 1, j + half); ++i)
            largest = std::max(largest, std::abs(r[i]));
        next[j] = out[j] && std::abs(r[j]) >= 0.5 * largest ? 0.0 : 1.0;
    }
    return next;
}

// The second derivative of the least-squares parabola through columns lo … hi of `profile` with
// weight `use` (0 where there are too few of them for a parabola).
double sideCurvature(std::span<const double> profile, std::span<const double> use, int lo, int hi)
{
    if (hi - lo < 3)
        return 0.0;
    const double centre = 0.5 * (lo + hi);
    double m[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, b[3] = {0, 0, 0};
    int used = 0;
    for (int i = lo; i <= hi; ++i) {
        if (use[i] <= 0.0)
            continue;
        const double x = i - centre, basis[3] = {1.0, x, x * x};
        for (int r = 0; r < 3; ++r) {
            b[r] += use[i] * basis[r] * profile[i];
            for (int c = 0; c < 3; ++c)
                m[r][c] += use[i] * basis[r] * basis[c];
        }
        ++used;
    }
    if (used < 4)
        return 0.0;
    const auto det3 = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1])
            - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0])
            + a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double det = det3(m);
    if (std::abs(det) < 1e-9 * std::max(1.0, m[0][0] * m[1][1] * m[2][2]))
        return 0.0;
    double mc[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            mc[r][c] = c == 2 ? b[r] : m[r][c];
    return 2.0 * det3(mc) / det; // Cramer's rule for the x² coefficient
}

} // namespace

bool mirroredBySample(
    std::span<const double> mean, std::span<const double> sd, int j, double level, double snr)
{
    const int w = static_cast<int>(mean.size());
    // Column u against the mirrored profile within half a column of v: resampled about a centre of
    // rotation between pixels, the two sides of a sharp edge are interpolated differently.
    const auto matches = [&](int d) {
        const int u = j + d, v = w - 1 - j - d;
        if (u < 0 || u >= w || v < 0 || v >= w)
            return false;
        double lo = mean[v], hi = mean[v];
        for (int n : {v - 1, v + 1})
            if (n >= 0 && n < w) {
                lo = std::min(lo, 0.5 * (mean[v] + mean[n]));
                hi = std::max(hi, 0.5 * (mean[v] + mean[n]));
            }
        const double tolerance = std::hypot(sd[u], sd[v]) + 0.25 * std::abs(level);
        return mean[u] >= lo - tolerance && mean[u] <= hi + tolerance;
    };
    // The sample's edges stand far out; an offset within twice the usual margin is no edge's.
    if (std::abs(level) < 2.0 * snr * sd[j] || !matches(0))
        return false;
    int around = 0;
    for (int d : {-2, -1, 1, 2})
        around += matches(d);
    return around >= 3;
}

bool nearTheAxis(int j, int width, int window)
{
    const int half = std::max(2, window / 2), axis = (width - 1) / 2;
    return j >= axis - 2 * half && j <= width - 1 - axis + 2 * half;
}

std::vector<double> profileCurvature(
    std::span<const double> mean, std::span<const double> noise, int rows, int window, double snr)
{
    const int w = static_cast<int>(mean.size());
    std::vector<double> curvature(mean.size(), 0.0);
    if (w < 8 || rows < 1)
        return curvature;
    const int half = std::max(2, window / 2);
    double largest = 0.0;
    for (double m : mean)
        largest = std::max(largest, std::abs(m));
    const double floor = 1e-4 * largest;
    std::vector<double> variance(static_cast<size_t>(w)), residual(variance.size()), sd(variance.size());
    for (int j = 0; j < w; ++j)
        variance[j] = noise[j] * noise[j];
    std::vector<double> use(static_cast<size_t>(w), 1.0);
    NeighbourFit fit(w, half, use);
    for (int round = 0;; ++round) {
        for (int j = 0; j < w; ++j) {
            residual[j] = fit.valid(j) ? mean[j] - fit.predict(mean, j) : 0.0;
            sd[j] = std::max(std::sqrt((variance[j] + fit.predictionVariance(variance, j)) / rows), floor);
        }
        if (round == fitRounds)
            break;
        const std::vector<double> next = columnsToUse(fit, residual, sd, use, snr);
        if (next == use)
            break;
        use = next;
        fit = NeighbourFit(w, half, use);
    }
    // The curvature of the parabolas through the columns on either side alone (the column itself left
    // out): of the two, the smaller when they agree in sign, else none. Beside the sample's edge the
    // side away from it sees no curvature, where a fit across the edge bends to follow it. Only about
    // the axis (within twice the window) does the sample's curvature matter: elsewhere its features
    // move across the columns with the angle, and a column's neighbours rise on one side and fall on
    // the other in most rows.
    for (int j = 0; j < w; ++j) {
        if (!nearTheAxis(j, w, window))
            continue;
        const double left = sideCurvature(mean, use, std::max(0, j - 2 * half), j - 1);
        const double right = sideCurvature(mean, use, j + 1, std::min(w - 1, j + 2 * half));
        curvature[j] = left * right > 0.0 ? (std::abs(left) < std::abs(right) ? left : right) : 0.0;
    }
    return curvature;
}
