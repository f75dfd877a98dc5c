#include "ct/deadcolumns.h"

// Local
#include "ct/columnmedian.h"
#include "ct/stripeprofile.h"
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace {

// Half the window of the running mean along the angle that tells a dead column from a live one.
constexpr int deadMeanRadius = 5;

// A median filter over a short list, the ends mirrored.
std::vector<double> medianAlong(std::span<const double> values, int window)
{
    const int n = static_cast<int>(values.size());
    const int half = window / 2;
    std::vector<double> out(values.size()), buffer(static_cast<std::size_t>(window));
    for (int j = 0; j < n; ++j) {
        for (int d = -half; d <= half; ++d)
            buffer[d + half] = values[reflectedColumn(j + d, n)];
        std::nth_element(buffer.begin(), buffer.begin() + half, buffer.end());
        out[j] = buffer[half];
    }
    return out;
}

void dilate(std::vector<unsigned char> &mask)
{
    const std::vector<unsigned char> m = mask;
    for (std::size_t j = 0; j < m.size(); ++j)
        mask[j] = m[j] || (j > 0 && m[j - 1]) || (j + 1 < m.size() && m[j + 1]);
}

// Every marked column replaced, row by row, by the cubic through the two nearest unmarked columns
// on each side (the line between the nearest ones where a second is missing, the nearest one's
// values beyond the last): exact for a sample whose columns follow a cubic, so that the columns
// about a dead one keep the sample's curvature. Nothing happens when every column is marked.
void fillMarkedColumns(double *att, int width, int height, const std::vector<unsigned char> &mask)
{
    struct Fill
    {
        int column;
        int from[4]; // columns
        double weight[4];
        int count;
    };
    std::vector<Fill> fills;
    int left = -1;
    for (int j = 0; j < width; ++j) {
        if (!mask[j]) {
            left = j;
            continue;
        }
        int right = j + 1;
        while (right < width && mask[right])
            ++right;
        if (left < 0 && right >= width)
            return;
        Fill f {j, {0, 0, 0, 0}, {0, 0, 0, 0}, 0};
        if (left < 0 || right >= width) {
            f.from[0] = left < 0 ? right : left;
            f.weight[0] = 1.0;
            f.count = 1;
        } else if (left >= 1 && !mask[left - 1] && right + 1 < width && !mask[right + 1]) {
            const double x[4] = {double(left - 1), double(left), double(right), double(right + 1)};
            for (int a = 0; a < 4; ++a) { // Lagrange weights at j
                double w = 1.0;
                for (int b = 0; b < 4; ++b)
                    if (b != a)
                        w *= (j - x[b]) / (x[a] - x[b]);
                f.from[a] = static_cast<int>(x[a]);
                f.weight[a] = w;
            }
            f.count = 4;
        } else {
            const double t = double(j - left) / double(right - left);
            f.from[0] = left;
            f.weight[0] = 1.0 - t;
            f.from[1] = right;
            f.weight[1] = t;
            f.count = 2;
        }
        fills.push_back(f);
    }
    for (int r = 0; r < height; ++r) {
        double *row = att + static_cast<std::size_t>(r) * width;
        for (const Fill &f : fills) {
            double v = 0.0;
            for (int a = 0; a < f.count; ++a)
                v += f.weight[a] * row[f.from[a]];
            row[f.column] = v;
        }
    }
}

// Each column's noise along the angle: the median absolute difference of disjoint pairs of rows,
// a few hundred of them (the sample's edges pass a column at few angles, so they hardly count).
std::vector<double> rowPairNoise(const double *att, int width, int height)
{
    const int skip = std::max(1, height / 512) * 2;
    const int pairs = (height - 1 + skip - 1) / skip;
    std::vector<float> steps(static_cast<std::size_t>(width) * std::max(pairs, 1));
    int count = 0;
    for (int r = 0; r + 1 < height && count < pairs; r += skip, ++count) {
        const double *a = att + static_cast<std::size_t>(r) * width;
        const double *b = a + width;
        for (int j = 0; j < width; ++j)
            steps[static_cast<std::size_t>(j) * pairs + count] = static_cast<float>(std::abs(b[j] - a[j]));
    }
    std::vector<double> noise(static_cast<std::size_t>(width), 0.0);
    for (int j = 0; count > 0 && j < width; ++j) {
        float *c = steps.data() + static_cast<std::size_t>(j) * pairs;
        std::nth_element(c, c + count / 2, c + count);
        noise[j] = c[count / 2];
    }
    return noise;
}

// The median of the ten values of `noise` at j ± 2 … j ± 6 (mirrored at the ends).
double around5(const std::vector<double> &noise, int j, int width)
{
    double around[10];
    int n = 0;
    for (int d = 2; d <= 6; ++d) {
        around[n++] = noise[reflectedColumn(j - d, width)];
        around[n++] = noise[reflectedColumn(j + d, width)];
    }
    std::nth_element(around, around + 5, around + 10);
    return around[5];
}

// Column j against what its neighbours make of it, row by row: the cubic through the columns two
// and three away on each side (a dead pixel can spill into the next column when the sinogram is
// resampled about a centre between pixels), which a smooth sample follows.
struct Departure
{
    double level = 0.0; // the median difference
    double jitter = 0.0; // its spread from angle to angle (from differences of successive rows)
    double neighbours = 0.0; // the spread the neighbours' noise gives the difference
};

// What of column j none of its two direct neighbours explains: the least RMS residual of a straight
// line fitted to its values against theirs, row by row. A dead pixel blended with a live one (the
// sinogram resampled about a centre between pixels) reads a fixed share of the live one's values, the
// next column's but for the sample's difference across a pixel; a column of the sample by its edge
// changes in a shape of its own.
double unexplained(const double *att, int width, int height, int j)
{
    double least = std::numeric_limits<double>::infinity();
    for (int n : {j - 1, j + 1}) {
        if (n < 0 || n >= width)
            continue;
        double sx = 0.0, sy = 0.0;
        for (int r = 0; r < height; ++r) {
            sx += att[static_cast<std::size_t>(r) * width + n];
            sy += att[static_cast<std::size_t>(r) * width + j];
        }
        const double mx = sx / height, my = sy / height;
        double vxx = 0.0, vxy = 0.0, vyy = 0.0;
        for (int r = 0; r < height; ++r) {
            const double x = att[static_cast<std::size_t>(r) * width + n] - mx;
            const double y = att[static_cast<std::size_t>(r) * width + j] - my;
            vxx += x * x;
            vxy += x * y;
            vyy += y * y;
        }
        const double rest = vxx > 0.0 ? vyy - vxy * vxy / vxx : vyy;
        least = std::min(least, std::sqrt(std::max(rest, 0.0) / height));
    }
    return least;
}

// 1.2533 times the mean absolute deviation from the median (reorders `v`): a column that meets the
// sample at a few angles only varies by this much, where the median absolute deviation is 0.
double meanDeviation(std::vector<double> &v)
{
    const std::size_t m = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + m, v.end());
    const double median = v[m];
    double sum = 0.0;
    for (double x : v)
        sum += std::abs(x - median);
    return 1.2533 * sum / std::max<std::size_t>(v.size(), 1);
}

// Weights of the columns ±2 and ±3 in the cubic through them, at the column between.
constexpr double nearWeight = 9.0 / 10.0, farWeight = -4.0 / 10.0;

Departure departure(const double *att, int width, int height, int j, const std::vector<double> &sigma)
{
    Departure dep;
    if (j < 3 || j + 3 >= width)
        return dep;
    std::vector<double> e(static_cast<std::size_t>(height));
    for (int r = 0; r < height; ++r) {
        const double *row = att + static_cast<std::size_t>(r) * width;
        e[r] = row[j] - (nearWeight * (row[j - 2] + row[j + 2]) + farWeight * (row[j - 3] + row[j + 3]));
    }
    std::vector<double> steps(static_cast<std::size_t>(std::max(height - 1, 1)), 0.0);
    for (int r = 0; r + 1 < height; ++r)
        steps[r] = std::abs(e[r + 1] - e[r]);
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    dep.jitter = 1.4826 / std::sqrt(2.0) * steps[steps.size() / 2];
    std::nth_element(e.begin(), e.begin() + height / 2, e.end());
    dep.level = e[height / 2];
    dep.neighbours
        = std::sqrt(nearWeight * nearWeight * (sigma[j - 2] * sigma[j - 2] + sigma[j + 2] * sigma[j + 2])
            + farWeight * farWeight * (sigma[j - 3] * sigma[j - 3] + sigma[j + 3] * sigma[j + 3]));
    return dep;
}

} // namespace

std::vector<unsigned char> stripeOutliers(std::span<const double> values, double snr, StripeSide side)
{
    const std::size_t n = values.size();
    std::vector<unsigned char> mask(n, 0);
    if (n < 8)
        return mask;
    std::vector<double> sorted(values.begin(), values.end());
    std::sort(sorted.begin(), sorted.end());
    // Least squares over the middle half.
    const std::size_t drop = n / 4;
    const std::size_t first = drop, last = n - drop - 1; // [first, last)
    double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
    const double m = double(last - first);
    for (std::size_t i = first; i < last; ++i) {
        const double x = double(i), y = sorted[i];
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double denominator = m * sxx - sx * sx;
    const double slope = denominator != 0.0 ? (m * sxy - sx * sy) / denominator : 0.0;
    const double intercept = (sy - slope * sx) / m;
    const double end = intercept + slope * double(n - 1);
    const double spread = std::max(std::abs(end - intercept), 1e-6);
    if (side != StripeSide::Low && std::abs(sorted[n - 1] - end) / spread >= snr) {
        const double upper = end + spread * snr * 0.5;
        for (std::size_t j = 0; j < n; ++j)
            mask[j] |= values[j] > upper;
    }
    if (side != StripeSide::High && std::abs(intercept - sorted[0]) / spread >= snr) {
        const double lower = intercept - spread * snr * 0.5;
        for (std::size_t j = 0; j < n; ++j)
            mask[j] |= values[j] <= lower;
    }
    return mask;
}

// Unresponsive: after the paper, a column's summed deviation from its running mean along the angle,
// against the median over `largeSize` columns, among the values that stand out low, when it also
// departs from its neighbours. Fluctuating: a column whose noise along the angle is more than
// e^(snr·spread) times the median of the ten columns beyond its direct neighbours (spread: that of
// the logarithm of the ratio over all columns, at least 0.1). The paper takes the deviation for both; a
// small dense feature that turns at a column deviates as much as a pixel that reads wildly, but it
// changes smoothly from angle to angle.
void removeDeadColumns(double *att, int width, int height, const StripeParams &p)
{
    if (width < 8 || height < 2)
        return;
    std::vector<double> sum(static_cast<std::size_t>(width), 0.0), deviation(sum), total(sum);
    const auto addRow = [&](int r, double sign) {
        const double *row = att + static_cast<std::size_t>(r) * width;
        for (int j = 0; j < width; ++j)
            sum[j] += sign * row[j];
    };
    for (int r = 0; r <= std::min(deadMeanRadius, height - 1); ++r)
        addRow(r, 1.0);
    for (int r = 0; r < height; ++r) {
        const int count = std::min(height - 1, r + deadMeanRadius) - std::max(0, r - deadMeanRadius) + 1;
        const double *row = att + static_cast<std::size_t>(r) * width;
        const double share = 1.0 / count;
        for (int j = 0; j < width; ++j) {
            deviation[j] += std::abs(row[j] - sum[j] * share);
            total[j] += row[j];
        }
        if (r + deadMeanRadius + 1 < height)
            addRow(r + deadMeanRadius + 1, 1.0);
        if (r - deadMeanRadius >= 0)
            addRow(r - deadMeanRadius, -1.0);
    }
    const std::vector<double> level = medianAlong(deviation, p.largeSize);
    std::vector<double> ratio(deviation.size());
    for (std::size_t j = 0; j < ratio.size(); ++j)
        ratio[j] = level[j] > 0.0 ? deviation[j] / level[j] : 1.0;
    std::vector<unsigned char> mask = stripeOutliers(ratio, p.snr, StripeSide::Low);
    const std::vector<double> noise = rowPairNoise(att, width, height);
    // Each column's noise along the angle (the spread of one sample), and the least difference that
    // counts: a thousandth of the largest mean of a column (data without noise would otherwise make
    // any unevenness count).
    std::vector<double> sigma(noise.size());
    for (std::size_t j = 0; j < noise.size(); ++j)
        sigma[j] = 1.4826 / std::sqrt(2.0) * noise[j];
    double largest = 0.0;
    for (double t : total)
        largest = std::max(largest, std::abs(t) / height);
    const double floor = 1e-3 * largest;
    // Columns whose mean lies far (a twentieth of the largest mean, and beyond the noise of the
    // departure: through air alone the largest mean is noise) from the cubic through the means two and
    // three columns away: a dead pixel blended with a live one where the sinogram was resampled about a
    // centre between pixels varies too much for the running-mean test, but it reads nothing like the
    // sample either.
    const double departureNoise = std::sqrt(
        (1.0 + 2.0 * nearWeight * nearWeight + 2.0 * farWeight * farWeight) / std::max(height, 1));
    std::vector<unsigned char> gross(static_cast<std::size_t>(width), 0);
    for (int j = 3; j + 3 < width; ++j) {
        const double cubic
            = (nearWeight * (total[j - 2] + total[j + 2]) + farWeight * (total[j - 3] + total[j + 3]))
            / height;
        gross[j] = std::abs(total[j] / height - cubic) > 0.05 * largest + p.snr * departureNoise * sigma[j];
    }
    // An unresponsive column departs from its neighbours: its median difference stands out of the
    // noise and is a twentieth of the largest mean at least (a dead pixel reads nothing like the
    // sample; where the sample turns within a few columns the cubic misses it by less), or the columns
    // on either side (two or three away) vary over the angles twice as much as it does (a dead column
    // where the sample moves). About the axis a sample's columns vary little, but they follow the
    // cubic; just beyond the sample a column varies less than those inside, but no less than those
    // further out.
    std::vector<double> variation(static_cast<std::size_t>(width)), column(static_cast<std::size_t>(height));
    const auto candidate = [&](int j) { return mask[j] || gross[j]; };
    for (int j = 0; j < width; ++j) {
        if (!candidate(j)
            && !(j >= 2 && j + 2 < width
                && (candidate(j - 2) || candidate(j + 2) || (j >= 3 && candidate(j - 3))
                    || (j + 3 < width && candidate(j + 3)))))
            continue;
        for (int r = 0; r < height; ++r)
            column[r] = att[static_cast<std::size_t>(r) * width + j];
        variation[j] = meanDeviation(column);
    }
    for (int j = 0; j < width; ++j) {
        if (!candidate(j))
            continue;
        const double sides = j >= 3 && j + 3 < width ? std::min(std::max(variation[j - 2], variation[j - 3]),
                                 std::max(variation[j + 2], variation[j + 3]))
                                                     : 0.0;
        const bool respondsLess = 0.8 * sides > variation[j] + floor;
        const bool nearAxis = nearTheAxis(j, width, p.largeSize);
        if (!mask[j]) {
            // Gross only: confirmed when it responds distinctly less than the columns about it, as a
            // share of a direct neighbour (within the noise, or a quarter of its own variation). Just
            // inside a small sample beside the axis a column sees the sample at every angle and varies
            // less than those about it too, but not as any one of them does. About the axis the
            // columns just inside a small sample over it (a fibre, the end of a body) each read as a
            // share of the next, too: there only an unresponsive column counts.
            mask[j] = !nearAxis && respondsLess
                && unexplained(att, width, height, j) <= std::max(0.25 * variation[j], 1.5 * sigma[j]) + floor;
            continue;
        }
        const Departure dep = departure(att, width, height, j, sigma);
        const double expected = std::hypot(sigma[j], dep.neighbours);
        // About the axis it must also respond distinctly less than the columns about it: a thin
        // feature over the axis two or three columns away pulls the cubic off any column there.
        mask[j] = j >= 3 && j + 3 < width
            && (std::abs(dep.level) > p.snr * 1.2533 * expected / std::sqrt(double(height)) + 0.05 * largest
                || sides > 2.0 * variation[j] + floor)
            && (!nearAxis || respondsLess);
    }

    if (height >= 4) {
        std::vector<double> logRatio(noise.size(), 0.0);
        for (int j = 0; j < width; ++j) {
            const double around = around5(noise, j, width);
            if (around > 0.0 && noise[j] > 0.0)
                logRatio[j] = std::log(noise[j] / around);
        }
        std::vector<double> size(logRatio.size());
        for (int j = 0; j < width; ++j)
            size[j] = std::abs(logRatio[j]);
        std::nth_element(size.begin(), size.begin() + width / 2, size.end());
        const double spread = std::max(1.4826 * size[width / 2], 0.1);
        // A fluctuating column's own noise stands out too: what the difference from its neighbours'
        // cubic jitters from angle to angle beyond their noise. The sample's structure, which changes
        // a column's values from angle to angle as much, moves its neighbours alike (the cubic follows
        // it) and moves smoothly where it does not (an edge turning at the column). Twice their noise
        // at least: from a few hundred angles a column's noise is known to a tenth or so, and among
        // hundreds of columns one reads half as noisy again by chance (filled, on the sample's steep
        // side its neighbours' cubic misses the sample by more than the noise).
        const double factor = std::max(std::exp(p.snr * spread), 2.0);
        for (int j = 0; j < width; ++j) {
            if (mask[j] || !(logRatio[j] > p.snr * spread))
                continue;
            // About the axis the edge of a small sample turns at the same columns for many angles and
            // its departure from the cubic jitters as much, over a few columns side by side: there
            // only a column that stands alone and reads four times as noisy counts.
            const bool nearAxis = nearTheAxis(j, width, p.largeSize);
            const double standsOut = p.snr * spread;
            if (nearAxis
                && (logRatio[std::max(j - 1, 0)] > standsOut || logRatio[std::min(j + 1, width - 1)] > standsOut))
                continue;
            const Departure dep = departure(att, width, height, j, sigma);
            const double own
                = std::sqrt(std::max(0.0, dep.jitter * dep.jitter - dep.neighbours * dep.neighbours));
            mask[j] = j >= 3 && j + 3 < width
                && own > (nearAxis ? std::max(factor, 4.0) : factor) * 1.4826 / std::sqrt(2.0)
                            * around5(noise, j, width)
                        + floor;
        }
    }
    dilate(mask);
    // The outermost columns have neighbours on one side only, and lie outside the slice's circle.
    mask[0] = mask[1] = mask[width - 2] = mask[width - 1] = 0;
    fillMarkedColumns(att, width, height, mask);
}
