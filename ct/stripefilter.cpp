#include "ct/stripefilter.h"

// Local
#include "ct/columnmedian.h"
#include "ct/columnsort.h"
#include "imagedata/pixelblock.h"
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Kept by each thread between sinograms: tens of megabytes that would otherwise be faulted in anew
// for every slice. Columns of the sinogram one after another, each padded to whole lanes of rows.
struct Workspace
{
    std::vector<float> columns; // the sinogram
    std::vector<float> sorted; // each column sorted along the angle
    std::vector<float> neighbours; // medians of the neighbouring columns
    std::vector<std::uint32_t> order; // the row of each sorted value

    void reserve(std::size_t size)
    {
        for (auto *v : {&columns, &sorted, &neighbours}) {
            if (v->capacity() < size) {
                *v = std::vector<float>();
                v->reserve(size);
                adviseHugePages(v->data(), size * sizeof(float));
            }
            v->resize(size);
        }
        if (order.capacity() < size) {
            order = std::vector<std::uint32_t>();
            order.reserve(size);
            adviseHugePages(order.data(), size * sizeof(std::uint32_t));
        }
        order.resize(size);
    }
};

thread_local Workspace workspace;

// Half the window of the running mean along the angle that tells a dead column from a live one.
constexpr int deadMeanRadius = 5;
// Passes of the levelling: each corrects what the strongest stripes did to their neighbours' medians.
constexpr int levelPasses = 3;
// The spread of the median of n samples of a normal distribution, in units of their spread.
constexpr double medianSpreadFactor = 1.2533;

// Parameters made usable whatever a caller put in: the readers refuse what lies outside.
StripeParams usable(const StripeParams &p)
{
    using L = StripeLimits;
    StripeParams q = p;
    q.snr = std::isfinite(p.snr) ? std::clamp(p.snr, L::snrMin, L::snrMax) : 3.0;
    q.largeSize = std::clamp(p.largeSize, L::sizeMin, L::sizeMax) | 1;
    q.smallSize = std::clamp(p.smallSize, L::sizeMin, L::sizeMax) | 1;
    return q;
}

// NaN and infinite samples (a float image's bad pixels) replaced along their row, linearly between
// the nearest finite samples (the nearest one at the ends; 0 in a row without any).
void interpolateNonFinite(double *att, int width, int height)
{
    for (int r = 0; r < height; ++r) {
        double *row = att + static_cast<std::size_t>(r) * width;
        bool allFinite = true;
        for (int j = 0; j < width; ++j)
            allFinite &= std::isfinite(row[j]);
        if (allFinite)
            continue;
        int left = -1; // the last finite sample
        for (int j = 0; j <= width; ++j) {
            if (j < width && !std::isfinite(row[j]))
                continue;
            // Samples left + 1 … j − 1 are to be filled.
            for (int i = left + 1; i < j; ++i) {
                if (left < 0 && j == width)
                    row[i] = 0.0;
                else if (left < 0)
                    row[i] = row[j];
                else if (j == width)
                    row[i] = row[left];
                else
                    row[i] = row[left] + (row[j] - row[left]) * double(i - left) / double(j - left);
            }
            left = j;
        }
    }
}

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

// Every marked column replaced, row by row, by the line between the nearest unmarked columns (the
// nearest one's values beyond the last). Nothing happens when every column is marked.
void fillMarkedColumns(double *att, int width, int height, const std::vector<unsigned char> &mask)
{
    struct Fill
    {
        int column, left, right;
        double weight; // of the right column
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
        if (left < 0)
            fills.push_back({j, right, right, 1.0});
        else if (right >= width)
            fills.push_back({j, left, left, 0.0});
        else
            fills.push_back({j, left, right, double(j - left) / double(right - left)});
    }
    for (int r = 0; r < height; ++r) {
        double *row = att + static_cast<std::size_t>(r) * width;
        for (const Fill &f : fills)
            row[f.column] = row[f.left] + (row[f.right] - row[f.left]) * f.weight;
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

// Unresponsive and fluctuating columns, marked with a column on each side and interpolated.
// Unresponsive, after the paper: a column's summed deviation from its running mean along the angle,
// against the median over `largeSize` columns, among the values that stand out low. Fluctuating: a
// column whose noise along the angle is more than e^(snr·spread) times the median of the ten columns
// beyond its direct neighbours (spread: that of the logarithm of the ratio over all columns, at
// least 0.1). The paper takes the deviation for both; a small dense feature that turns at a column
// deviates as much as a pixel that reads wildly, but it changes smoothly from angle to angle.
void removeDeadColumns(double *att, int width, int height, const StripeParams &p)
{
    if (width < 8 || height < 2)
        return;
    std::vector<double> sum(static_cast<std::size_t>(width), 0.0), deviation(sum);
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
        for (int j = 0; j < width; ++j)
            deviation[j] += std::abs(row[j] - sum[j] / count);
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

    if (height >= 4) {
        const std::vector<double> noise = rowPairNoise(att, width, height);
        std::vector<double> logRatio(noise.size(), 0.0), around;
        for (int j = 0; j < width; ++j) {
            around.clear();
            for (int d = 2; d <= 6; ++d) {
                around.push_back(noise[reflectedColumn(j - d, width)]);
                around.push_back(noise[reflectedColumn(j + d, width)]);
            }
            std::nth_element(around.begin(), around.begin() + 5, around.end());
            if (around[5] > 0.0 && noise[j] > 0.0)
                logRatio[j] = std::log(noise[j] / around[5]);
        }
        std::vector<double> size(logRatio.size());
        for (int j = 0; j < width; ++j)
            size[j] = std::abs(logRatio[j]);
        std::nth_element(size.begin(), size.begin() + width / 2, size.end());
        const double spread = std::max(1.4826 * size[width / 2], 0.1);
        for (int j = 0; j < width; ++j)
            mask[j] |= logRatio[j] > p.snr * spread;
    }
    dilate(mask);
    // The outermost columns have neighbours on one side only, and lie outside the slice's circle.
    mask[0] = mask[1] = mask[width - 2] = mask[width - 1] = 0;
    fillMarkedColumns(att, width, height, mask);
}

// Row-major doubles into columns of floats, `stride` apart, the padding rows 0.
void toColumns(const double *att, int width, int height, float *columns, std::size_t stride)
{
    constexpr int tile = 32;
    for (int r0 = 0; r0 < height; r0 += tile) {
        const int r1 = std::min(height, r0 + tile);
        for (int j0 = 0; j0 < width; j0 += tile) {
            const int j1 = std::min(width, j0 + tile);
            for (int r = r0; r < r1; ++r) {
                const double *row = att + static_cast<std::size_t>(r) * width;
                for (int j = j0; j < j1; ++j)
                    columns[static_cast<std::size_t>(j) * stride + r] = static_cast<float>(row[j]);
            }
        }
    }
    for (int j = 0; j < width; ++j)
        std::fill(columns + static_cast<std::size_t>(j) * stride + height,
            columns + static_cast<std::size_t>(j + 1) * stride, 0.0f);
}

// The spread of the noise along each column: 1.4826 times the median absolute difference of successive
// values, divided by √2. The sample's structure changes slowly along the angle, or (at its edges) at a
// few angles only, so it leaves the figure alone.
std::vector<double> noiseOfColumns(const float *columns, int width, int height, std::size_t stride)
{
    std::vector<double> noise(static_cast<std::size_t>(width), 0.0);
    if (height < 3)
        return noise;
    // Differences of disjoint pairs, one pair in every `skip` rows: a figure of the spread needs a few
    // hundred of them, not thousands.
    const int skip = std::max(1, height / 512) * 2;
    const int n = (height - 1) / skip + ((height - 1) % skip > 0 ? 1 : 0);
    std::vector<float> steps(static_cast<std::size_t>(std::max(n, 1)));
    const int m = n / 2;
    for (int j = 0; j < width; ++j) {
        const float *c = columns + static_cast<std::size_t>(j) * stride;
        int count = 0;
        for (int r = 0; r + 1 < height && count < n; r += skip)
            steps[count++] = std::abs(c[r + 1] - c[r]);
        std::nth_element(steps.begin(), steps.begin() + m, steps.begin() + count);
        noise[j] = 1.4826 * steps[m] / std::sqrt(2.0);
    }
    return noise;
}

float medianOf(float *values, int n)
{
    const int m = n / 2;
    std::nth_element(values, values + m, values + n);
    return values[m];
}

// Whether the medians of the four quarters of `values` all lie on the same side of 0 and stand out
// of `spread` (the spread of one value) `snr` times: in every quarter (`everyQuarter`) or in one at
// least. A median lies above a limit when more than half the values do, so counting takes the place
// of selecting.
bool holdsInEveryQuarter(const float *values, int n, double spread, double snr, bool everyQuarter)
{
    const int quarter = n / 4;
    if (quarter < 2)
        return false;
    const float limit = static_cast<float>(snr * medianSpreadFactor * spread / std::sqrt(double(quarter)));
    bool positive = true, negative = true; // every quarter's median on that side
    bool above = everyQuarter, below = everyQuarter; // beyond the limit: in all, or in one
    for (int q = 0; q < 4 && (positive || negative); ++q) {
        const int k0 = q * quarter, k1 = q == 3 ? n : k0 + quarter;
        int plus = 0, minus = 0, over = 0, under = 0;
        for (int k = k0; k < k1; ++k) {
            plus += values[k] > 0.0f;
            minus += values[k] < 0.0f;
            over += values[k] > limit;
            under += values[k] < -limit;
        }
        const int half = k1 - k0;
        positive &= 2 * plus > half;
        negative &= 2 * minus > half;
        if (everyQuarter) {
            above &= 2 * over > half;
            below &= 2 * under > half;
        } else {
            above |= 2 * over > half;
            below |= 2 * under > half;
        }
    }
    return (positive && above) || (negative && below);
}

// Full stripes, as wide as half the window: each column's offset against its neighbours at the same
// angle (the median of the `window` − 1 columns about it, which follows the sample's structure across
// the columns), taken as the median over all angles, so that the sample's edges, which pass a column at
// a few angles only, do not count. The offset is taken off the column when it holds in every quarter of
// the angles: where the sample makes a column differ from its neighbours over part of the turn (an
// edge seen side-on), it does not. A strong stripe shifts its neighbours' medians a little: the next
// pass, with it gone, corrects that. `total` gathers the offsets.
void levelColumns(float *columns, float *neighbours, int width, int height, std::size_t stride,
    const std::vector<double> &noise, const StripeParams &p, std::vector<double> &total)
{
    std::vector<float> d(static_cast<std::size_t>(height));
    std::vector<unsigned char> check(static_cast<std::size_t>(width), 1), changed(check.size(), 0);
    const int half = p.largeSize / 2;
    const int sampleStep = std::max(1, height / 512);
    for (int pass = 0; pass < levelPasses; ++pass) {
        // The medians where they may have changed: runs of columns to check.
        for (int j = 0; j < width;) {
            if (!check[j]) {
                ++j;
                continue;
            }
            int end = j;
            while (end < width && check[end])
                ++end;
            medianAcrossColumns(columns, neighbours, width, stride, p.largeSize, j, end);
            j = end;
        }
        std::fill(changed.begin(), changed.end(), 0);
        bool any = false;
        for (int j = 0; j < width; ++j) {
            if (!check[j])
                continue;
            float *c = columns + static_cast<std::size_t>(j) * stride;
            const float *nb = neighbours + static_cast<std::size_t>(j) * stride;
            for (int r = 0; r < height; ++r)
                d[r] = c[r] - nb[r];
            if (!holdsInEveryQuarter(d.data(), height, noise[j], p.snr, true))
                continue;
            // The median of a few hundred of them is as good a level: later passes refine it.
            int count = 0;
            for (int r = 0; r < height; r += sampleStep)
                d[count++] = d[r];
            const float level = medianOf(d.data(), count);
            for (int r = 0; r < height; ++r)
                c[r] -= level;
            total[j] += level;
            changed[j] = 1;
            any = true;
        }
        if (!any)
            break;
        // Only the columns whose neighbours changed can come out differently next time.
        std::fill(check.begin(), check.end(), 0);
        for (int j = 0; j < width; ++j)
            if (changed[j])
                for (int k = std::max(0, j - half); k <= std::min(width - 1, j + half); ++k)
                    check[k] = 1;
    }
}

// Small and partial stripes by sorting: each column sorted along the angle is compared, rank by rank,
// with its neighbours' sorted columns (the median of the `window` − 1 columns about it). Where the
// difference holds in every quarter of the ranks (a stripe shifts them all, even when it is present in
// part of the turn only), the column's values are replaced by the neighbours' in its own rank order;
// elsewhere the column is left as it is, so that the sample's structure, which makes sorted columns
// differ in some ranks only, is not touched. Marks the replaced columns in `replaced`.
void replaceSortedStripes(float *columns, float *sorted, std::uint32_t *order, float *neighbours, int width,
    int height, std::size_t stride, const std::vector<double> &noise, const StripeParams &p,
    std::vector<unsigned char> &replaced)
{
    sortColumns(columns, sorted, order, width, stride, height);
    for (int j = 0; j < width; ++j) // the padding rows take part in the lanes: finite values
        std::fill(sorted + static_cast<std::size_t>(j) * stride + height,
            sorted + static_cast<std::size_t>(j + 1) * stride, 0.0f);
    medianAcrossColumns(sorted, neighbours, width, stride, p.smallSize);
    std::vector<float> e(static_cast<std::size_t>(height));
    for (int j = 0; j < width; ++j) {
        float *c = columns + static_cast<std::size_t>(j) * stride;
        const float *s = sorted + static_cast<std::size_t>(j) * stride;
        const float *nb = neighbours + static_cast<std::size_t>(j) * stride;
        for (int k = 0; k < height; ++k)
            e[k] = s[k] - nb[k];
        if (!holdsInEveryQuarter(e.data(), height, noise[j], p.snr, true))
            continue;
        const std::uint32_t *rank = order + static_cast<std::size_t>(j) * stride;
        for (int k = 0; k < height; ++k)
            c[rank[k]] = nb[k];
        replaced[j] = 1;
    }
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

void removeStripes(std::span<double> att, int width, int height, const StripeParams &params)
{
    if (!params.isOn() || width < 1 || height < 1
        || att.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return;
    const StripeParams p = usable(params);
    const StripeMethod m = p.method;
    double *data = att.data();
    interpolateNonFinite(data, width, height);
    if (m == StripeMethod::All || m == StripeMethod::Dead)
        removeDeadColumns(data, width, height, p);
    const bool large = m == StripeMethod::All || m == StripeMethod::Large;
    const bool sorting = m == StripeMethod::All || m == StripeMethod::Sorting;
    if (!large && !sorting)
        return;

    const std::size_t stride
        = (static_cast<std::size_t>(height) + medianLanes - 1) / medianLanes * medianLanes;
    Workspace &ws = workspace;
    ws.reserve(static_cast<std::size_t>(width) * stride);
    toColumns(data, width, height, ws.columns.data(), stride);
    const std::vector<double> noise = noiseOfColumns(ws.columns.data(), width, height, stride);
    std::vector<double> levels(static_cast<std::size_t>(width), 0.0);
    if (large)
        levelColumns(ws.columns.data(), ws.neighbours.data(), width, height, stride, noise, p, levels);
    std::vector<unsigned char> replaced(static_cast<std::size_t>(width), 0);
    if (sorting)
        replaceSortedStripes(ws.columns.data(), ws.sorted.data(), ws.order.data(), ws.neighbours.data(),
            width, height, stride, noise, p, replaced);
    // Levelled columns keep their own values (in double) less the offset; replaced ones take the floats.
    for (int r = 0; r < height; ++r) {
        double *row = data + static_cast<std::size_t>(r) * width;
        for (int j = 0; j < width; ++j) {
            if (replaced[j])
                row[j] = ws.columns[static_cast<std::size_t>(j) * stride + r];
            else
                row[j] -= levels[j];
        }
    }
}

void releaseStripeWorkspace()
{
    workspace = Workspace();
}
