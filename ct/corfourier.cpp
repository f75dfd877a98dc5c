#include "ct/corfourier.h"

// Local
#include "ct/fftwplanner.h"
#include "ct/corguess.h"
#include "ct/fftlength.h"
#include "ct/sinogramgen.h"
#include "ct/sinogramviews.h"
#include "imagedata/imgdata.h"
#include "imagedata/projectionset.h"
#include "imagedata/transmission.h"
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fftw3.h>
#include <memory>
#include <numbers>

namespace {

// Angular frequencies kept: the seam of a wrong centre spreads over all of them, the object's own
// spectrum fills the low ones; a few hundred carry the signal of a sinogram of any size.
constexpr int angularKept = 256;
// The coarse search looks at fewer of them: it only has to find the valley.
constexpr int angularCoarse = 96;

// A detector frequency j (in bins of the padded rows) lies outside the sinogram's support at angular
// frequency m when |m| > π · L · j / P: the support of an object inside the field of radius L/2.
double supportEdge(int j, int lineLength, int padded)
{
    return std::numbers::pi * lineLength * j / padded;
}

struct FftwFree
{
    void operator()(void *p) const { fftw_free(p); }
};

} // namespace

FourierCorMetric::FourierCorMetric(std::span<const double> sinogram, int rows, int lineLength)
    : lineLength_(lineLength)
{
    if (rows < 4 || lineLength < 4 || sinogram.size() < static_cast<size_t>(rows) * lineLength)
        return;
    const int L = lineLength;
    padded_ = fastFftLength(2 * L);
    lead_ = (padded_ - L) / 2;
    const int trail = padded_ - L - lead_;
    maxM_ = std::min(rows - 1, angularKept);
    columns_ = std::min(
        padded_ / 2, static_cast<int>(std::ceil(maxM_ * double(padded_) / (std::numbers::pi * L))));
    if (maxM_ < 2 || columns_ < 1) {
        maxM_ = 0;
        return;
    }

    // Row spectra, detector frequencies 1 … columns_.
    std::unique_ptr<double, FftwFree> row(fftw_alloc_real(static_cast<size_t>(padded_)));
    std::unique_ptr<fftw_complex, FftwFree> rowSpectrum(
        fftw_alloc_complex(static_cast<size_t>(padded_ / 2 + 1)));
    fftw_plan rowPlan = nullptr;
    {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        rowPlan = fftw_plan_dft_r2c_1d(padded_, row.get(), rowSpectrum.get(), FFTW_ESTIMATE);
    }
    std::vector<std::complex<double>> spectra(static_cast<size_t>(rows) * columns_);
    const auto taper
        = [](int d, int length) { return 0.5 * (1.0 + std::cos(std::numbers::pi * d / length)); };
    // Each row less the mean of its ends: a level the whole row shares (the flat field's logarithm
    // without an I0 image, a body wider than the field) only moves detector frequency 0, which is
    // not compared, but it would make the tapers of the two halves differ wherever the mirror
    // image leaves the padding.
    const int ends = std::clamp(L / 32, 1, 16);
    for (int k = 0; k < rows; ++k) {
        const double *a = sinogram.data() + static_cast<size_t>(k) * L;
        double level = 0.0;
        for (int i = 0; i < ends; ++i)
            level += a[i] + a[L - 1 - i];
        level /= 2.0 * ends;
        double *p = row.get();
        for (int i = 0; i < L; ++i)
            p[lead_ + i] = a[i] - level;
        for (int d = 1; d <= lead_; ++d)
            p[lead_ - d] = p[lead_] * taper(d, lead_);
        for (int d = 1; d <= trail; ++d)
            p[lead_ + L - 1 + d] = p[lead_ + L - 1] * taper(d, trail);
        fftw_execute(rowPlan);
        for (int j = 1; j <= columns_; ++j)
            spectra[static_cast<size_t>(k) * columns_ + (j - 1)]
                = {rowSpectrum.get()[j][0], rowSpectrum.get()[j][1]};
    }
    {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        fftw_destroy_plan(rowPlan);
    }

    // Along the angle: the 180° half zero-padded to 360°, one detector frequency at a time.
    const int turn = 2 * rows;
    std::unique_ptr<fftw_complex, FftwFree> column(fftw_alloc_complex(static_cast<size_t>(turn)));
    std::unique_ptr<fftw_complex, FftwFree> columnSpectrum(fftw_alloc_complex(static_cast<size_t>(turn)));
    fftw_plan columnPlan = nullptr;
    {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        columnPlan = fftw_plan_dft_1d(turn, column.get(), columnSpectrum.get(), FFTW_FORWARD, FFTW_ESTIMATE);
    }
    half_.assign(static_cast<size_t>(2 * maxM_ + 1) * columns_, {});
    for (int j = 1; j <= columns_; ++j) {
        for (int k = 0; k < turn; ++k) {
            const std::complex<double> v
                = k < rows ? spectra[static_cast<size_t>(k) * columns_ + (j - 1)] : std::complex<double>();
            column.get()[k][0] = v.real();
            column.get()[k][1] = v.imag();
        }
        fftw_execute(columnPlan);
        for (int m = -maxM_; m <= maxM_; ++m) {
            const fftw_complex &v = columnSpectrum.get()[(m + turn) % turn];
            half_[static_cast<size_t>(m + maxM_) * columns_ + (j - 1)] = {v[0], v[1]};
        }
    }
    {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        fftw_destroy_plan(columnPlan);
    }
}

double FourierCorMetric::operator()(double cor, int maxAngular) const
{
    if (!isValid())
        return 0.0;
    const int M = std::clamp(maxAngular, 2, maxM_);
    // The mirrored row about cor, in the padded frame: g[q] = p[s − q] with s = 2·cor + 2·lead. Its
    // spectrum is conj(p̂(j)) · e^{−2πi·j·s/P}, and the 360° spectrum at (m, j) is
    // A(m, j) + (−1)^m · e^{−2πi·j·s/P} · conj(A(−m, j)).
    const double s = 2.0 * cor + 2.0 * lead_;
    double sum = 0.0;
    for (int j = 1; j <= columns_; ++j) {
        const double edge = supportEdge(j, lineLength_, padded_);
        const int first = static_cast<int>(std::floor(edge)) + 1;
        if (first > M)
            break;
        const double angle = -2.0 * std::numbers::pi * j * s / padded_;
        const std::complex<double> phase(std::cos(angle), std::sin(angle));
        for (int m = first; m <= M; ++m) {
            const std::complex<double> shifted = phase * ((m & 1) ? -1.0 : 1.0);
            sum += std::abs(at(m, j) + shifted * std::conj(at(-m, j)));
            sum += std::abs(at(-m, j) + shifted * std::conj(at(m, j)));
        }
    }
    return sum;
}

std::pair<double, double> fourierCorRange(int lineLength)
{
    const double middle = 0.5 * (lineLength - 1);
    const double reach = 0.25 * lineLength;
    return {std::max(1.0, std::ceil(middle - reach)), std::min(lineLength - 2.0, std::floor(middle + reach))};
}

CorSearchResult fourierCorPosition(
    std::span<const double> sinogram, int rows, int lineLength, double from, double to)
{
    CorSearchResult result;
    result.from = std::min(from, to);
    result.to = std::max(from, to);
    result.cor = 0.5 * (result.from + result.to);
    const FourierCorMetric metric(sinogram, rows, lineLength);
    if (!metric.isValid())
        return result;

    // Coarse: every whole pixel (and both ends) at a low angular resolution.
    std::vector<double> coarse;
    for (double c = std::ceil(result.from); c <= result.to; c += 1.0)
        coarse.push_back(c);
    if (coarse.empty() || coarse.front() != result.from)
        coarse.insert(coarse.begin(), result.from);
    if (coarse.back() != result.to)
        coarse.push_back(result.to);
    const int low = std::min(metric.angularLimit(), angularCoarse);
    size_t best = 0;
    double bestValue = metric(coarse[0], low);
    for (size_t i = 1; i < coarse.size(); ++i) {
        const double v = metric(coarse[i], low);
        if (v < bestValue) {
            bestValue = v;
            best = i;
        }
    }

    // Fine: steps of 0.05 round the valley at full resolution, then the vertex of the parabola.
    constexpr double step = 0.05;
    constexpr int reach = 30; // 1.5 pixel
    const int M = metric.angularLimit();
    std::vector<double> cs, vs;
    for (int i = -reach; i <= reach; ++i) {
        const double c = coarse[best] + i * step;
        if (c < result.from - 1e-9 || c > result.to + 1e-9)
            continue;
        cs.push_back(c);
        vs.push_back(metric(c, M));
    }
    const size_t k = static_cast<size_t>(std::min_element(vs.begin(), vs.end()) - vs.begin());
    // The vertex of the parabola fitted (least squares) to the points within half a pixel of the
    // lowest: noise makes the valley's floor ragged, a fit over its width is steadier than its
    // lowest point.
    double cor = cs[k];
    {
        const int span = 10;
        const size_t lo = k >= span ? k - span : 0;
        const size_t hi = std::min(vs.size() - 1, k + span);
        double s[5] = {}, t[3] = {}; // Σ uⁱ for i = 0 … 4, Σ uⁱ·v for i = 0 … 2
        for (size_t i = lo; i <= hi; ++i) {
            const double u = cs[i] - cs[k];
            double p = 1.0;
            for (int e = 0; e < 5; ++e, p *= u) {
                s[e] += p;
                if (e < 3)
                    t[e] += p * vs[i];
            }
        }
        // Normal equations for v = a + b·u + c·u².
        const double m[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
        const auto det3 = [](const double a[3][3]) {
            return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1])
                - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0])
                + a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
        };
        const double d = det3(m);
        if (hi - lo >= 2 && std::abs(d) > 0.0) {
            double mb[3][3], mc[3][3];
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c) {
                    mb[r][c] = c == 1 ? t[r] : m[r][c];
                    mc[r][c] = c == 2 ? t[r] : m[r][c];
                }
            }
            const double b = det3(mb) / d, c = det3(mc) / d;
            if (c > 0.0)
                cor += std::clamp(-b / (2.0 * c), cs[lo] - cs[k], cs[hi] - cs[k]);
        }
    }
    result.cor = cor;
    // Within half a pixel of an end, the valley may lie beyond it.
    result.atEdge = cor - result.from < 0.5 || result.to - cor < 0.5;
    return result;
}

std::vector<double> sliceAttenuation(const ProjectionSet &set, const SinogramRequest &request, int rows)
{
    const int L = lineLength(set, request.rowLines);
    const int count = set.count();
    if (rows < 1 || count < 1 || L < 1 || request.slice < 0
        || request.slice >= sliceCount(set, request.rowLines))
        return {};
    const size_t n = static_cast<size_t>(L);
    std::vector<double> i0(n, 1.0), bg(n, 0.0), raw(n);
    if (set.i0)
        readSliceLine(*set.i0, request.rowLines, request.slice, i0.data());
    if (set.bg)
        readSliceLine(*set.bg, request.rowLines, request.slice, bg.data());
    std::vector<double> att(static_cast<size_t>(rows) * n);
    const int first = firstImage(request, count);
    for (int k = 0; k < rows; ++k) {
        readSliceLine(*set.images[static_cast<size_t>((first + k) % count)], request.rowLines, request.slice,
            raw.data());
        attenuationLine(i0, bg, raw, std::span<double>(att.data() + k * n, n));
    }
    return att;
}

std::optional<CorSearchResult> fourierCor(
    const ProjectionSet &set, const SinogramRequest &request, double rangeDeg, QString *problem)
{
    auto fail = [problem](const QString &why) {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    QString why;
    const std::optional<int> images = searchImages(set, request, why);
    if (!images)
        return fail(why);
    const int L = lineLength(set, request.rowLines);
    const int count = set.count();
    const int used = *images;
    const int rows = projectionsPer180(rangeDeg, count);
    if (rows < 4 || rows > used)
        return fail(QStringLiteral("the %1 images used hold no 180 degrees of at least 4 projections "
                                   "(range %2 degrees over %3 images)")
                        .arg(used)
                        .arg(rangeDeg)
                        .arg(count));
    if (L < 8)
        return fail(QStringLiteral("lines of %1 pixels are too short").arg(L));
    if (set.i0) { // the correction would clamp: no attenuation to search in
        std::vector<double> i0(static_cast<size_t>(L)), bg(static_cast<size_t>(L), 0.0);
        readSliceLine(*set.i0, request.rowLines, request.slice, i0.data());
        if (set.bg)
            readSliceLine(*set.bg, request.rowLines, request.slice, bg.data());
        if (i0NotAboveBgFails(countI0NotAboveBg(i0, bg), L))
            return fail(QStringLiteral("%1 (at more than half of the line of slice %2)")
                            .arg(i0NotAboveBgText())
                            .arg(request.slice));
    }
    const std::vector<double> att = sliceAttenuation(set, request, rows);
    if (const QString bad = lineProblem(att); !bad.isEmpty())
        return fail(QStringLiteral("the sinogram of slice %1 would %2").arg(request.slice).arg(bad));
    const auto [from, to] = fourierCorRange(L);
    return fourierCorPosition(att, rows, L, from, to);
}
