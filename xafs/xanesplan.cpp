#include "xafs/xanesplan.h"

// Local
#include <algorithm>
#include <bit>
#include <cmath>

namespace {

// Energies within this of a range's end count as inside it.
constexpr double slack = 1e-6;

struct IndexRange
{
    int begin = 0;
    int end = 0;
    int count() const { return end - begin; }
};

// The energies within [edge + from, edge + to] (to the last energy without `to`).
IndexRange rangeOf(const std::vector<double> &e, double edge, const EdgeRange &r)
{
    const double lo = edge + r.from - slack;
    const double hi = r.to ? edge + *r.to + slack : e.back() + 1.0;
    IndexRange out;
    out.begin = int(std::lower_bound(e.begin(), e.end(), lo) - e.begin());
    out.end = int(std::upper_bound(e.begin(), e.end(), hi) - e.begin());
    out.end = std::max(out.end, out.begin);
    return out;
}

QString rangeText(const EdgeRange &r)
{
    return r.to ? QStringLiteral("%1:%2 eV").arg(r.from).arg(*r.to)
                : QStringLiteral("%1 eV to the last energy").arg(r.from);
}

// Weights w with Σ w_i μ_i = the least-squares line through (t_i, μ_i), i in `r`, at t = 0 (`at`)
// and its slope (`slope`).
void lineWeights(
    const std::vector<double> &t, IndexRange r, std::vector<float> &at, std::vector<float> &slope)
{
    double mean = 0.0;
    for (int i = r.begin; i < r.end; ++i)
        mean += t[std::size_t(i)];
    mean /= r.count();
    double spread = 0.0;
    for (int i = r.begin; i < r.end; ++i)
        spread += (t[std::size_t(i)] - mean) * (t[std::size_t(i)] - mean);
    for (int i = r.begin; i < r.end; ++i) {
        const double s = (t[std::size_t(i)] - mean) / spread;
        at[std::size_t(i)] = float(1.0 / r.count() - mean * s);
        slope[std::size_t(i)] = float(s);
    }
}

// Inverts the n × n matrix `m` (row-major) by Gauss–Jordan elimination with partial pivoting; false
// when it is singular.
bool invert(std::vector<double> m, int n, double *inverse)
{
    std::vector<double> r(std::size_t(n) * n, 0.0);
    for (int i = 0; i < n; ++i)
        r[std::size_t(i) * n + i] = 1.0;
    for (int c = 0; c < n; ++c) {
        int pivot = c;
        for (int i = c + 1; i < n; ++i)
            if (std::abs(m[std::size_t(i) * n + c]) > std::abs(m[std::size_t(pivot) * n + c]))
                pivot = i;
        const double p = m[std::size_t(pivot) * n + c];
        if (!(std::abs(p) > 1e-300))
            return false;
        for (int j = 0; j < n; ++j) {
            std::swap(m[std::size_t(c) * n + j], m[std::size_t(pivot) * n + j]);
            std::swap(r[std::size_t(c) * n + j], r[std::size_t(pivot) * n + j]);
        }
        for (int j = 0; j < n; ++j) {
            m[std::size_t(c) * n + j] /= p;
            r[std::size_t(c) * n + j] /= p;
        }
        for (int i = 0; i < n; ++i) {
            const double f = m[std::size_t(i) * n + c];
            if (i == c || f == 0.0)
                continue;
            for (int j = 0; j < n; ++j) {
                m[std::size_t(i) * n + j] -= f * m[std::size_t(c) * n + j];
                r[std::size_t(i) * n + j] -= f * r[std::size_t(c) * n + j];
            }
        }
    }
    std::copy(r.begin(), r.end(), inverse);
    return true;
}

// The smallest pivot of the Cholesky factorisation of the Gram matrix scaled to a unit diagonal:
// 1 for orthogonal standards, 1 − c² for two of correlation c, 0 for a combination of the others.
double smallestPivot(const std::vector<double> &g, int k)
{
    std::vector<double> c(std::size_t(k) * k);
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j)
            c[std::size_t(i) * k + j] = g[std::size_t(i) * k + j]
                / std::sqrt(g[std::size_t(i) * k + i] * g[std::size_t(j) * k + j]);
    double smallest = 1.0;
    for (int j = 0; j < k; ++j) {
        double d = c[std::size_t(j) * k + j];
        for (int q = 0; q < j; ++q)
            d -= c[std::size_t(j) * k + q] * c[std::size_t(j) * k + q];
        smallest = std::min(smallest, d);
        if (!(d > 0.0))
            return 0.0;
        const double root = std::sqrt(d);
        c[std::size_t(j) * k + j] = root;
        for (int i = j + 1; i < k; ++i) {
            double s = c[std::size_t(i) * k + j];
            for (int q = 0; q < j; ++q)
                s -= c[std::size_t(i) * k + q] * c[std::size_t(j) * k + q];
            c[std::size_t(i) * k + j] = s / root;
        }
    }
    return smallest;
}

} // namespace

QString sliceUnit()
{
    return QStringLiteral("twice the attenuation per pixel");
}

std::shared_ptr<const XanesPlan> XanesPlan::make(const std::vector<double> &e, const XanesSettings &settings,
    const std::vector<Standard> &standards, QString &error)
{
    const auto fail = [&error](const QString &why) {
        error = why;
        return std::shared_ptr<const XanesPlan>();
    };
    const int n = int(e.size());
    if (n < 4 || n > maxXanesEnergies)
        return fail(QStringLiteral("the maps need 4 to %1 energies, not %2").arg(maxXanesEnergies).arg(n));
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(e[std::size_t(i)]) || (i > 0 && !(e[std::size_t(i)] > e[std::size_t(i - 1)])))
            return fail(QStringLiteral("the energies of the series do not rise"));
    const double edge = settings.edge;
    if (!(edge >= e.front() && edge <= e.back()))
        return fail(QStringLiteral("--edge %1 eV lies outside the energies of the series, %2 … %3 eV")
                        .arg(edge)
                        .arg(e.front())
                        .arg(e.back()));
    const int k = int(standards.size());
    if (k > maxStandards)
        return fail(QStringLiteral("at most %1 standards, not %2").arg(maxStandards).arg(k));

    std::shared_ptr<XanesPlan> plan(new XanesPlan);
    XanesPlan &p = *plan;
    p.settings_ = settings;
    p.energies_ = e;
    p.standards_ = standards;
    std::vector<double> t(e.size());
    for (int i = 0; i < n; ++i)
        t[std::size_t(i)] = e[std::size_t(i)] - edge;
    p.t_.assign(t.begin(), t.end());

    const IndexRange pre = rangeOf(e, edge, settings.pre), post = rangeOf(e, edge, settings.post);
    const int preNeeded = settings.minJump ? 2 : 3;
    if (pre.count() < preNeeded)
        return fail(QStringLiteral("the pre-edge range %1 holds %2 energies of the series: at least %3%4")
                        .arg(rangeText(settings.pre))
                        .arg(pre.count())
                        .arg(preNeeded)
                        .arg(settings.minJump
                                ? QString()
                                : QStringLiteral(" (the default --min-jump needs the noise about a line)")));
    if (post.count() < 2)
        return fail(QStringLiteral("the post-edge range %1 holds %2 energies of the series: at least 2")
                        .arg(rangeText(settings.post))
                        .arg(post.count()));
    p.preAt_.assign(std::size_t(n), 0.0f);
    p.preSlope_.assign(std::size_t(n), 0.0f);
    p.postAt_.assign(std::size_t(n), 0.0f);
    p.postSlope_.assign(std::size_t(n), 0.0f);
    lineWeights(t, pre, p.preAt_, p.preSlope_);
    lineWeights(t, post, p.postAt_, p.postSlope_);

    const double w = settings.edgeWindow;
    const IndexRange window = rangeOf(e, edge, {-w, w});
    if (window.count() < 2)
        return fail(QStringLiteral("the edge window ±%1 eV holds %2 energies of the series: at least 2")
                        .arg(w)
                        .arg(window.count()));
    XanesKernelPlan &kp = p.kernel_;
    kp.energies = n;
    kp.edge = float(edge);
    kp.jumpScale = settings.pixelSizeUm ? float(1.0 / (2.0 * *settings.pixelSizeUm * 1e-4)) : 1.0f;
    kp.preBegin = pre.begin;
    kp.preEnd = pre.end;
    kp.windowLo = float(-w - slack);
    kp.windowHi = float(w + slack);
    kp.e0Begin = std::max(1, window.begin);
    kp.e0End = std::min(n, window.end + 1);
    kp.wlBegin = window.begin;
    kp.wlEnd = window.end;
    kp.normBegin = std::max(0, window.begin - 1);
    kp.normEnd = std::min(n, window.end + 1);

    if (k > 0) {
        const IndexRange fit = rangeOf(e, edge, settings.fit);
        if (fit.count() < k + 1)
            return fail(QStringLiteral("the fit range %1 holds %2 energies of the series: at least %3 for %4 "
                                       "standards")
                            .arg(rangeText(settings.fit))
                            .arg(fit.count())
                            .arg(k + 1)
                            .arg(k));
        const double lo = e[std::size_t(fit.begin)], hi = e[std::size_t(fit.end - 1)];
        for (const Standard &s : standards)
            if (s.first() > lo + slack || s.last() < hi - slack)
                return fail(
                    QStringLiteral("the standard %1 covers %2 … %3 eV, not the fit's energies %4 … %5 eV")
                        .arg(s.name)
                        .arg(s.first())
                        .arg(s.last())
                        .arg(lo)
                        .arg(hi));
        for (int a = 0; a < k; ++a)
            for (int b = a + 1; b < k; ++b)
                if (standards[std::size_t(a)].name == standards[std::size_t(b)].name)
                    return fail(
                        QStringLiteral("two standards are named %1").arg(standards[std::size_t(a)].name));
        const int m = fit.count();
        p.design_.resize(std::size_t(k) * m);
        for (int s = 0; s < k; ++s)
            for (int i = 0; i < m; ++i)
                p.design_[std::size_t(s) * m + i]
                    = float(standards[std::size_t(s)].at(e[std::size_t(fit.begin + i)]));
        p.gram_.assign(std::size_t(k) * k, 0.0);
        for (int a = 0; a < k; ++a)
            for (int b = 0; b < k; ++b)
                for (int i = 0; i < m; ++i)
                    p.gram_[std::size_t(a) * k + b] += double(p.design_[std::size_t(a) * m + i])
                        * double(p.design_[std::size_t(b) * m + i]);
        for (int a = 0; a < k; ++a)
            if (!(p.gram_[std::size_t(a) * k + a] > 0.0))
                return fail(QStringLiteral("the standard %1 is 0 over the fit's energies")
                                .arg(standards[std::size_t(a)].name));
        if (smallestPivot(p.gram_, k) < 1e-6)
            return fail(
                QStringLiteral("the standards are too much alike over the fit's energies (one is nearly a "
                               "combination of the others): their fractions cannot be told apart"));
        // Every subset, the largest first; the empty one (all fractions 0) only without the sum.
        std::vector<unsigned> masks;
        for (unsigned mask = settings.sumToOne ? 1 : 0; mask < (1u << k); ++mask)
            masks.push_back(mask);
        std::stable_sort(masks.begin(), masks.end(),
            [](unsigned a, unsigned b) { return std::popcount(a) > std::popcount(b); });
        for (const unsigned mask : masks) {
            XanesSubset sub;
            for (int s = 0; s < k; ++s)
                (mask & (1u << s) ? sub.inside[sub.size++] : sub.outside[sub.outsideCount++]) = s;
            const int dim = sub.size + (settings.sumToOne ? 1 : 0);
            std::vector<double> g(std::size_t(dim) * dim, 0.0);
            for (int r = 0; r < sub.size; ++r) {
                for (int c = 0; c < sub.size; ++c)
                    g[std::size_t(r) * dim + c] = p.gram_[std::size_t(sub.inside[r]) * k + sub.inside[c]];
                if (settings.sumToOne)
                    g[std::size_t(r) * dim + sub.size] = g[std::size_t(sub.size) * dim + r] = 1.0;
            }
            if (dim > 0 && !invert(g, dim, sub.inverse))
                return fail(QStringLiteral("the standards cannot be solved for"));
            p.subsets_.push_back(sub);
        }
        kp.standards = k;
        kp.fitBegin = fit.begin;
        kp.fitEnd = fit.end;
        kp.sumToOne = settings.sumToOne;
        kp.normBegin = std::min(kp.normBegin, fit.begin);
        kp.normEnd = std::max(kp.normEnd, fit.end);
    }
    kp.t = p.t_.data();
    kp.preAt = p.preAt_.data();
    kp.preSlope = p.preSlope_.data();
    kp.postAt = p.postAt_.data();
    kp.design = p.design_.data();
    kp.gram = p.gram_.data();
    kp.subsetCount = int(p.subsets_.size());
    kp.subsets = p.subsets_.data();

    const QString jumpUnit = settings.pixelSizeUm ? QStringLiteral("1/cm") : sliceUnit();
    p.maps_ = {{QStringLiteral("edge_jump"), QStringLiteral("edge jump"), jumpUnit},
        {QStringLiteral("edge_energy"), QStringLiteral("edge energy E0"), QStringLiteral("eV")},
        {QStringLiteral("white_line_energy"), QStringLiteral("white line energy"), QStringLiteral("eV")},
        {QStringLiteral("white_line_height"), QStringLiteral("white line height"),
            QStringLiteral("normalised")}};
    for (const Standard &s : standards)
        p.maps_.push_back({QStringLiteral("fraction-%1").arg(s.name),
            QStringLiteral("fraction of %1").arg(s.name), QString()});
    if (k > 0)
        p.maps_.push_back({QStringLiteral("r_factor"), QStringLiteral("R-factor"), QString()});
    p.maps_.push_back({QStringLiteral("mask"), QStringLiteral("mask (1 analysed)"), QString()});
    return plan;
}

int XanesPlan::mapIndex(const QString &name) const
{
    for (std::size_t i = 0; i < maps_.size(); ++i)
        if (maps_[i].name == name)
            return int(i);
    return -1;
}

double XanesPlan::standardAt(int k, int i) const
{
    if (k < 0 || k >= kernel_.standards || i < kernel_.fitBegin || i >= kernel_.fitEnd)
        return std::nan("");
    return design_[std::size_t(k) * (kernel_.fitEnd - kernel_.fitBegin) + (i - kernel_.fitBegin)];
}

XanesPlan::Line XanesPlan::preLine(std::span<const double> mu) const
{
    Line line;
    for (std::size_t i = 0; i < mu.size() && i < preAt_.size(); ++i) {
        line.at += double(preAt_[i]) * mu[i];
        line.slope += double(preSlope_[i]) * mu[i];
    }
    return line;
}

XanesPlan::Line XanesPlan::postLine(std::span<const double> mu) const
{
    Line line;
    for (std::size_t i = 0; i < mu.size() && i < postAt_.size(); ++i) {
        line.at += double(postAt_[i]) * mu[i];
        line.slope += double(postSlope_[i]) * mu[i];
    }
    return line;
}
