#include "ct/stripefilter.h"

// Local
#include "ct/columnmedian.h"
#include "ct/columnoffset.h"
#include "ct/columnsort.h"
#include "ct/deadcolumns.h"
#include "ct/stripeprofile.h"
#include "imagedata/pixelblock.h"
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// Kept by each thread between sinograms: tens of megabytes that would otherwise be faulted in anew
// for every slice. Columns of the sinogram one after another, each padded to whole lanes of rows.
struct Workspace
{
    std::vector<float> columns; // the sinogram
    std::vector<float> sorted; // each column sorted along the angle
    std::vector<float> neighbours; // medians of the neighbouring columns
    // A few hundred rows (or ranks) of each column, and their neighbours' plain and curved medians.
    std::vector<float> few, fewNeighbours, fewCurved;
    std::vector<float> fewRows, fewRowNeighbours; // a few hundred rows, for the sorting's check
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

    void reserveFew(std::size_t size)
    {
        for (auto *v : {&few, &fewNeighbours, &fewCurved, &fewRows, &fewRowNeighbours})
            v->resize(size);
    }
};

thread_local Workspace workspace;

// Passes of the levelling: each corrects what the strongest stripes did to their neighbours' medians.
constexpr int levelPasses = 3;
// Rows (or ranks) taken for a column's offsets: its median over a few hundred is as good as over
// thousands, at a fraction of the neighbours' medians.
constexpr int sampledRows = 320;

// A column's rows padded to whole lanes.
std::size_t lanesFor(int rows)
{
    return (static_cast<std::size_t>(std::max(rows, 1)) + medianLanes - 1) / medianLanes * medianLanes;
}

// `rows` of the `height` rows of each column, taken evenly (row i·height/rows), into `out`, `outStride`
// apart, the padding 0.
void takeEvenly(
    const float *in, int width, int height, std::size_t stride, float *out, int rows, std::size_t outStride)
{
    for (int j = 0; j < width; ++j) {
        const float *c = in + static_cast<std::size_t>(j) * stride;
        float *o = out + static_cast<std::size_t>(j) * outStride;
        for (int i = 0; i < rows; ++i)
            o[i] = c[static_cast<std::size_t>(static_cast<long long>(i) * height / rows)];
        std::fill(o + rows, o + outStride, 0.0f);
    }
}

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

struct Profile
{
    std::vector<double> mean; // of each column over the rows
    std::vector<double> spread; // of a column's mean, and of the median of its offsets
};

// Whether column j's mean (`mean`, the profile as levelled so far) departs from the cubic of its
// neighbours' as a stripe's offset `level` makes it: by `share` of the offset at least, and beyond
// `snr` times the spread of the departure (1.4 times a mean's, and as much again for the profile's
// own unevenness). About the axis a small sample over it, a bump of the profile narrower than the
// window, is seen by its columns at every angle: the neighbours' median lies below the bump in most
// rows, and the ranks of a sorted column, whose least values change across the columns faster than
// the mean, stand off the neighbours' in every quarter; the column's mean follows the cubic all the
// same. The levelling asks a quarter (where every column is off, the cubic carries the neighbours'
// offsets too), the sorting half. What it costs: about the axis a band of faulty columns (the cubic
// follows each one), stripes within the noise of a column's mean and stripes in part of the turn that
// hardly move it are left.
bool departsFromNeighbours(std::span<const double> mean, int j, double level, const Profile &profile,
    const StripeParams &p, double share)
{
    return departsLikeOffset(mean, j, level, share, 2.0 * p.snr * profile.spread[j]);
}

// Whether column j's offset `level`[j] against its neighbours is a stripe's rather than the sample's,
// where it holds in every quarter of the turn or of the ranks: the mirrored column about the axis must
// not show the same (`mirroredBySample`), and the axis column itself, its own mirror image, must be
// unmistakable (`scale`: the spread of an offset over that of a column's mean). The sample's edges
// stand far out of the offsets of the other columns, stripes among them: an offset within four times
// the typical one is no edge's and is not weighed against the mirror image.
bool stripeLike(std::span<const double> level, double typical, const Profile &profile, double scale, int j,
    double snr, bool mirroredOffsets = false)
{
    const int w = static_cast<int>(level.size());
    if (w % 2 == 1 && j == (w - 1) / 2) {
        // Twice the margin of a quarter of the turn, and a mean that departs as far from the cubic
        // through the two columns on either side: a sample centred on the axis, however small, curves
        // smoothly across it.
        return std::abs(level[j]) >= 4.0 * snr * scale * profile.spread[j]
            && departsLikeOffset(profile.mean, j, level[j]);
    }
    if (std::abs(level[j]) <= 4.0 * typical
        || !mirroredBySample(profile.mean, profile.spread, j, level[j], snr))
        return true;
    if (!mirroredOffsets)
        return false;
    // Offsets against the neighbours' median alone: the sample's edge stands out of its neighbours at
    // the mirrored column as well (within half a column, the centre lying between pixels), a faulty
    // column's mirror image does not; a profile that is not quite symmetric (a half turn) can match a
    // faulty column's mean by chance.
    const int v = w - 1 - j;
    for (int u = std::max(0, v - 1); u <= std::min(w - 1, v + 1); ++u)
        if (level[u] * level[j] > 0.0 && std::abs(level[u]) >= 0.25 * std::abs(level[j]))
            return false;
    return true;
}

// The curved reference of columns first … last − 1 into `curved`: where the profile's curvature is 0
// (all but a few dozen columns about the axis) it is the plain one, copied from `plain`.
void curvedReference(const float *in, const float *plain, float *curved, int width, std::size_t stride,
    int window, std::span<const double> curvature, int first, int last, OwnValue own)
{
    for (int j = first; j < last;) {
        const bool curves = curvature[j] != 0.0;
        int end = j + 1;
        while (end < last && (curvature[end] != 0.0) == curves)
            ++end;
        if (curves)
            medianAcrossColumnsCurved(in, curved, width, stride, window, curvature, j, end, own);
        else
            std::copy(plain + static_cast<std::size_t>(j) * stride,
                plain + static_cast<std::size_t>(end) * stride,
                curved + static_cast<std::size_t>(j) * stride);
        j = end;
    }
}

// The buffers of `levelColumns`, each as the columns (a column's rows `stride` apart).
struct LevelBuffers
{
    float *columns; // levelled in place
    float *kept; // the neighbours' median keeping the column's own value where it lies between
    float *curved; // the same following the profile's curvature
    float *left; // the neighbours' median alone
};

// Full stripes, as wide as half the window: each column's offset against its neighbours at the same
// angle (the median of the `window` − 1 columns about it, and the curved one, which follows the
// sample's curvature across the columns), taken as the median over the angles, so that the sample's
// edges, which pass a column at a few angles only, do not count. The offset is taken off the column
// when it holds in every quarter of the angles against both (where the sample makes a column differ
// from its neighbours over part of the turn, an edge seen side-on, it does not) and `stripeLike` finds
// it a stripe's: the curved median's offset where the two differ (the sample curves), else the plain
// one's. These medians keep a column's own value where it lies between its neighbours' two middle
// values, so that the sample's steps and slopes pass; a stripe on a slope steeper than itself passes
// too. Away from the axis (beyond twice the half window) such a column's offset is taken against the
// neighbours' median alone, when it holds as well and `stripeAlone` finds it a stripe's; about the
// axis an offset counts only where `departsFromNeighbours`. A strong stripe shifts its neighbours'
// medians a little: the next pass, with it gone, corrects that.
// The columns hold `height` rows taken evenly from the sinogram's `rows` (an offset needs a few hundred
// of them, not thousands); `total` gathers the offsets.
void levelColumns(const LevelBuffers &b, int width, int height, std::size_t stride, int rows,
    const std::vector<double> &noise, const Profile &profile, std::span<const double> curvature,
    const StripeParams &p, std::vector<double> &total)
{
    const double scale = std::sqrt(double(rows) / std::max(height, 1));
    std::vector<float> d(static_cast<std::size_t>(height)), scratch(d.size());
    std::vector<unsigned char> check(static_cast<std::size_t>(width), 1), changed(check.size(), 0),
        holds(check.size(), 0), holdsLeft(check.size(), 0);
    std::vector<double> level(static_cast<std::size_t>(width), 0.0), levelLeft(level.size()),
        levelSpread(level.size()), mean(level.size());
    for (int j = 0; j < width; ++j)
        levelSpread[j] = medianSpreadFactor * noise[j] / std::sqrt(double(std::max(height, 1)));
    const int half = p.largeSize / 2;
    // The differences of column j from a reference, their median, and whether it holds.
    const auto offset = [&](int j, const float *reference, bool &holdsHere) {
        const float *c = b.columns + static_cast<std::size_t>(j) * stride;
        const float *nb = reference + static_cast<std::size_t>(j) * stride;
        for (int r = 0; r < height; ++r)
            d[r] = c[r] - nb[r];
        return offsetOf(d.data(), scratch.data(), height, noise[j], p.snr, 4.0, holdsHere);
    };
    int axisFirst = 0; // the columns about the axis: axisFirst … axisEnd − 1
    while (axisFirst < width && !nearTheAxis(axisFirst, width, p.largeSize))
        ++axisFirst;
    int axisEnd = axisFirst;
    while (axisEnd < width && nearTheAxis(axisEnd, width, p.largeSize))
        ++axisEnd;
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
            medianAcrossColumns(b.columns, b.kept, width, stride, p.largeSize, j, end);
            curvedReference(
                b.columns, b.kept, b.curved, width, stride, p.largeSize, curvature, j, end, OwnValue::Kept);
            // The neighbours' median alone is asked only away from the axis: on either side of it.
            medianAcrossColumns(b.columns, b.left, width, stride, p.largeSize, j, std::min(end, axisFirst),
                OwnValue::Left);
            medianAcrossColumns(b.columns, b.left, width, stride, p.largeSize, std::max(j, axisEnd), end,
                OwnValue::Left);
            j = end;
        }
        // Each column's offset (the median over the angles) against either reference, and whether it
        // holds in every quarter against both; away from the axis, against the neighbours alone too.
        for (int j = 0; j < width; ++j) {
            if (!check[j])
                continue;
            const bool curves = curvature[j] != 0.0;
            double lv[2] = {0.0, 0.0};
            bool both = true;
            for (int ref = 0; ref < (curves ? 2 : 1); ++ref) {
                bool holdsHere = false;
                lv[ref] = offset(j, ref == 0 ? b.kept : b.curved, holdsHere);
                both = both && holdsHere;
            }
            if (!curves) // the two references are one
                lv[1] = lv[0];
            // Where the sample curves (the two differ), the curved median's offset; else the plain one's.
            level[j] = std::abs(lv[0] - lv[1]) > p.snr * levelSpread[j] ? lv[1] : lv[0];
            holds[j] = both && lv[0] * lv[1] > 0.0;
            bool holdsHere = false;
            levelLeft[j] = nearTheAxis(j, width, p.largeSize) ? 0.0 : offset(j, b.left, holdsHere);
            holdsLeft[j] = holdsHere;
        }
        std::fill(changed.begin(), changed.end(), 0);
        bool any = false;
        const double typical = typicalOffset(level), typicalLeft = typicalOffset(levelLeft);
        for (int j = 0; j < width; ++j)
            mean[j] = profile.mean[j] - total[j];
        for (int j = 0; j < width; ++j) {
            if (!check[j])
                continue;
            double lv = 0.0;
            if (holds[j] && stripeLike(level, typical, profile, scale, j, p.snr)
                && (!nearTheAxis(j, width, p.largeSize) || departsFromNeighbours(mean, j, level[j], profile, p, 0.25)))
                lv = level[j];
            else if (holdsLeft[j] && stripeLike(levelLeft, typicalLeft, profile, scale, j, p.snr, true)
                && stripeAlone(mean, levelLeft, j))
                lv = levelLeft[j];
            if (lv == 0.0)
                continue;
            float *c = b.columns + static_cast<std::size_t>(j) * stride;
            for (int r = 0; r < height; ++r)
                c[r] -= static_cast<float>(lv);
            total[j] += lv;
            changed[j] = 1;
            any = true;
        }
        if (!any)
            break;
        // Only the columns whose neighbours changed can come out differently next time; a levelled
        // column's own offset is now (nearly) 0.
        std::fill(check.begin(), check.end(), 0);
        for (int j = 0; j < width; ++j)
            if (changed[j]) {
                level[j] = 0.0;
                levelLeft[j] = 0.0;
                for (int k = std::max(0, j - half); k <= std::min(width - 1, j + half); ++k)
                    check[k] = 1;
            }
    }
}

// Small and partial stripes by sorting: each column sorted along the angle is compared, rank by rank,
// with its neighbours' sorted columns (the median of the `window` − 1 columns about it, the paper's
// filter). Where the difference holds in every quarter of the ranks (a stripe shifts them all, even
// when it is present in part of the turn only), `stripeLike` finds it a stripe's, the offset shows
// row by row as well or moves the column's mean as it would (`departsFromNeighbours`; about the axis
// the latter always), the column's values are replaced by the neighbours' in its own rank order;
// elsewhere the column is left as it is, so that the sample's structure, which makes sorted columns
// differ in some ranks only, is not touched. Where the plain median and the curved one differ (the
// sample curves about the axis, and the plain median lies below its peak), the curved one must find
// the offset too and gives the values. The decision is made on a few hundred ranks taken evenly. Marks the replaced columns in
// `replaced`.
void replaceSortedStripes(float *columns, float *sorted, std::uint32_t *order, float *neighbours, int width,
    int height, std::size_t stride, const std::vector<double> &noise, const Profile &profile,
    std::span<const double> curvature, const StripeParams &p, Workspace &ws,
    std::vector<unsigned char> &replaced)
{
    sortColumns(columns, sorted, order, width, stride, height);
    for (int j = 0; j < width; ++j) // the padding rows take part in the lanes: finite values
        std::fill(sorted + static_cast<std::size_t>(j) * stride + height,
            sorted + static_cast<std::size_t>(j + 1) * stride, 0.0f);
    // The decision from a few hundred ranks, taken evenly: against the plain median and the curved one.
    const int fewRanks = std::min(height, sampledRows);
    const std::size_t fewStride = lanesFor(fewRanks);
    ws.reserveFew(fewStride * static_cast<std::size_t>(width));
    takeEvenly(sorted, width, height, stride, ws.few.data(), fewRanks, fewStride);
    medianAcrossColumns(ws.few.data(), ws.fewNeighbours.data(), width, fewStride, p.smallSize);
    curvedReference(ws.few.data(), ws.fewNeighbours.data(), ws.fewCurved.data(), width, fewStride,
        p.smallSize, curvature, 0, width, OwnValue::Kept);
    std::vector<float> e(static_cast<std::size_t>(fewRanks)), scratch(e.size());
    std::vector<double> level(static_cast<std::size_t>(width), 0.0), curvedLevel(level.size());
    std::vector<unsigned char> holds(static_cast<std::size_t>(width), 0), curvedHolds(holds.size());
    for (int j = 0; j < width; ++j) {
        const float *s = ws.few.data() + static_cast<std::size_t>(j) * fewStride;
        for (int ref = 0; ref < (curvature[j] != 0.0 ? 2 : 1); ++ref) {
            const float *nb = (ref == 0 ? ws.fewNeighbours : ws.fewCurved).data()
                + static_cast<std::size_t>(j) * fewStride;
            for (int k = 0; k < fewRanks; ++k)
                e[k] = s[k] - nb[k];
            bool holdsHere = false;
            (ref == 0 ? level : curvedLevel)[j] = offsetOf(e.data(), scratch.data(), fewRanks, noise[j],
                p.snr, std::numeric_limits<double>::infinity(), holdsHere);
            (ref == 0 ? holds : curvedHolds)[j] = holdsHere;
        }
        if (curvature[j] == 0.0) { // the two references are one
            curvedLevel[j] = level[j];
            curvedHolds[j] = holds[j];
        }
    }
    const double typical = typicalOffset(level);
    const double fewSpread = std::sqrt(double(height) / fewRanks);
    std::vector<unsigned char> curvedRun(static_cast<std::size_t>(width), 0);
    for (int j = 0; j < width; ++j) {
        if (!holds[j] || !stripeLike(level, typical, profile, fewSpread, j, p.snr))
            continue;
        if (nearTheAxis(j, width, p.largeSize) && !departsFromNeighbours(profile.mean, j, level[j], profile, p, 0.5))
            continue;
        const bool curves = std::abs(level[j] - curvedLevel[j]) > p.snr * profile.spread[j] * fewSpread;
        if (curves && !(curvedHolds[j] && curvedLevel[j] * level[j] > 0.0))
            continue;
        replaced[j] = 1;
        curvedRun[j] = curves;
    }
    // A stripe shifts a column's values alike whether they are sorted or not; a small dense feature
    // of the sample that dwells at the column for part of the turn raises it in those rows far more
    // than in the ranks of the sorted column. Such a column, whose offset against its neighbours row
    // by row (over a few hundred rows) is more than twice that of its ranks, is left as it is.
    takeEvenly(columns, width, height, stride, ws.fewRows.data(), fewRanks, fewStride);
    for (int j = 0; j < width;) {
        if (!replaced[j]) {
            ++j;
            continue;
        }
        int end = j;
        while (end < width && replaced[end])
            ++end;
        medianAcrossColumns(
            ws.fewRows.data(), ws.fewRowNeighbours.data(), width, fewStride, p.smallSize, j, end);
        for (int i = j; i < end; ++i) {
            const float *c = ws.fewRows.data() + static_cast<std::size_t>(i) * fewStride;
            const float *nb = ws.fewRowNeighbours.data() + static_cast<std::size_t>(i) * fewStride;
            for (int k = 0; k < fewRanks; ++k)
                e[k] = c[k] - nb[k];
            // No quarter of the turn stands out far beyond the ranks' offset, or to the other side.
            bool alike = true;
            const int quarter = fewRanks / 4;
            const double limit = quarterMargin(fewRanks, noise[i], p.snr);
            for (int q = 0; q < 4 && alike; ++q) {
                const int k0 = q * quarter, k1 = q == 3 ? fewRanks : k0 + quarter;
                const double m = medianOf(e.data() + k0, k1 - k0);
                alike = m * level[i] >= 0.0 ? std::abs(m) <= 3.0 * std::abs(level[i]) + limit
                                            : std::abs(m) <= limit;
            }
            // And a stripe shows row by row too (it drifts over the turn at most), or moves the
            // column's mean: where a small dense feature's edge turns at the column for part of the
            // turn, the column's ranks stand off its neighbours' while its rows and its mean do not.
            const double rowLevel = medianOf(e.data(), fewRanks);
            const bool rowsShow = rowLevel * level[i] > 0.0 && std::abs(rowLevel) >= 0.5 * std::abs(level[i]);
            if (!alike || (rowLevel * level[i] > 0.0 && std::abs(rowLevel) > 2.0 * std::abs(level[i]))
                || !(rowsShow || departsFromNeighbours(profile.mean, i, level[i], profile, p, 0.5)))
                replaced[i] = 0;
        }
        j = end;
    }
    // The replacing medians over all the ranks, in runs of replaced columns.
    for (int j = 0; j < width;) {
        if (!replaced[j]) {
            ++j;
            continue;
        }
        int end = j;
        while (end < width && replaced[end] && curvedRun[end] == curvedRun[j])
            ++end;
        if (curvedRun[j])
            medianAcrossColumnsCurved(sorted, neighbours, width, stride, p.smallSize, curvature, j, end);
        else
            medianAcrossColumns(sorted, neighbours, width, stride, p.smallSize, j, end);
        for (int i = j; i < end; ++i) {
            // The replacement shifts the column's mean by what it found, or it is no stripe's: among
            // neighbours that differ from each other (a band of partial stripes by the sample's edge)
            // their median can miss the column's own values by more than the stripe.
            const float *s = sorted + static_cast<std::size_t>(i) * stride;
            const float *nb = neighbours + static_cast<std::size_t>(i) * stride;
            double shift = 0.0;
            for (int k = 0; k < height; ++k)
                shift += s[k] - nb[k];
            shift /= height;
            const double found = curvedRun[i] ? curvedLevel[i] : level[i];
            if (shift * found <= 0.0 || std::abs(shift) > 1.5 * std::abs(found)) {
                replaced[i] = 0;
                continue;
            }
            float *c = columns + static_cast<std::size_t>(i) * stride;
            const std::uint32_t *rank = order + static_cast<std::size_t>(i) * stride;
            for (int k = 0; k < height; ++k)
                c[rank[k]] = nb[k];
        }
        j = end;
    }
}

} // namespace

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

    const std::size_t stride = lanesFor(height);
    Workspace &ws = workspace;
    ws.reserve(static_cast<std::size_t>(width) * stride);
    toColumns(data, width, height, ws.columns.data(), stride);
    std::vector<double> noise = noiseOfColumns(ws.columns.data(), width, height, stride);
    // The mean profile, its spread, and its curvature, which the neighbours' medians follow.
    Profile profile;
    profile.mean.assign(static_cast<std::size_t>(width), 0.0);
    profile.spread.assign(profile.mean.size(), 0.0);
    double largest = 0.0;
    for (int j = 0; j < width; ++j) {
        // Eight sums side by side (the padding rows are 0): doubles, and no chain through one sum.
        const float *c = ws.columns.data() + static_cast<std::size_t>(j) * stride;
        double part[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        for (std::size_t r = 0; r < stride; r += 8)
            for (int l = 0; l < 8; ++l)
                part[l] += c[r + l];
        profile.mean[j]
            = (part[0] + part[1] + part[2] + part[3] + part[4] + part[5] + part[6] + part[7]) / height;
        largest = std::max(largest, std::abs(profile.mean[j]));
    }
    // Data without noise (simulated) would make the least unevenness stand out: below a thousandth
    // of the largest mean of a column a column's noise counts as that.
    for (int j = 0; j < width; ++j) {
        noise[j] = std::max(noise[j], 1e-3 * largest);
        profile.spread[j] = medianSpreadFactor * noise[j] / std::sqrt(double(height));
    }
    const std::vector<double> curvature = profileCurvature(profile.mean, noise, height, p.largeSize, p.snr);
    std::vector<double> levels(static_cast<std::size_t>(width), 0.0);
    // Both on the sinogram as it is: the levelling takes a full stripe's offset exactly; the sorting
    // also replaces stripes that drift over the turn or are present in part of it only. A column both
    // find is levelled.
    if (large) {
        const int fewRows = std::min(height, sampledRows); // a few hundred rows, taken evenly
        const std::size_t fewStride = lanesFor(fewRows);
        ws.reserveFew(fewStride * static_cast<std::size_t>(width));
        takeEvenly(ws.columns.data(), width, height, stride, ws.few.data(), fewRows, fewStride);
        levelColumns({ws.few.data(), ws.fewNeighbours.data(), ws.fewCurved.data(), ws.fewRows.data()}, width,
            fewRows, fewStride, height, noise, profile, curvature, p, levels);
    }
    std::vector<unsigned char> replaced(static_cast<std::size_t>(width), 0);
    if (sorting)
        replaceSortedStripes(ws.columns.data(), ws.sorted.data(), ws.order.data(), ws.neighbours.data(),
            width, height, stride, noise, profile, curvature, p, ws, replaced);
    // Levelled columns keep their own values (in double) less the offset; replaced ones take the floats.
    for (int r = 0; r < height; ++r) {
        double *row = data + static_cast<std::size_t>(r) * width;
        for (int j = 0; j < width; ++j) {
            if (levels[j] != 0.0)
                row[j] -= levels[j];
            else if (replaced[j])
                row[j] = ws.columns[static_cast<std::size_t>(j) * stride + r];
        }
    }
}

void releaseStripeWorkspace()
{
    workspace = Workspace();
}
