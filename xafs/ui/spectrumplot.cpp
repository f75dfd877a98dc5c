#include "xafs/ui/spectrumplot.h"

// Qt
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

// Local
#include <algorithm>
#include <cmath>

namespace {

constexpr double marginLeft = 58, marginRight = 10, marginTop = 8, gap = 22, marginBottom = 34;

struct Span
{
    double lo = 0.0, hi = 1.0;
    void take(double v)
    {
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
};

// Round steps of 1, 2 or 5 × 10ⁿ, about `count` of them over the span.
double tickStep(double span, int count)
{
    const double raw = span / std::max(1, count);
    const double unit = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (raw <= m * unit)
            return m * unit;
    return 10.0 * unit;
}

} // namespace

SpectrumPlot::SpectrumPlot(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setMinimumSize(180, 160);
    setObjectName(QStringLiteral("SpectrumPlot"));
}

void SpectrumPlot::setSpectrum(const VoxelSpectrum &spectrum, double edge)
{
    spectrum_ = spectrum;
    edge_ = edge;
    cursor_ = -1;
    update();
}

void SpectrumPlot::clear()
{
    spectrum_.reset();
    cursor_ = -1;
    update();
}

QRectF SpectrumPlot::plotArea(int pane) const
{
    const double h = (height() - marginTop - gap - marginBottom) / 2.0;
    const double top = marginTop + pane * (h + gap);
    return {marginLeft, top, std::max(1.0, width() - marginLeft - marginRight), std::max(1.0, h)};
}

double SpectrumPlot::xOf(double energy) const
{
    const std::vector<double> &e = spectrum_->energy;
    const QRectF a = plotArea(0);
    const double span = std::max(1e-9, e.back() - e.front());
    return a.left() + (energy - e.front()) / span * a.width();
}

int SpectrumPlot::energyIndexAt(double x) const
{
    if (!spectrum_ || spectrum_->energy.empty())
        return -1;
    int best = 0;
    for (int i = 1; i < int(spectrum_->energy.size()); ++i)
        if (std::abs(xOf(spectrum_->energy[std::size_t(i)]) - x)
            < std::abs(xOf(spectrum_->energy[std::size_t(best)]) - x))
            best = i;
    return best;
}

QString SpectrumPlot::valuesText(int i) const
{
    if (!spectrum_ || i < 0 || i >= int(spectrum_->energy.size()))
        return {};
    const auto k = std::size_t(i);
    QString text = tr("%1 eV  μ %2  normalised %3")
                       .arg(spectrum_->energy[k], 0, 'f', 1)
                       .arg(spectrum_->mu[k], 0, 'g', 4)
                       .arg(spectrum_->normalised[k], 0, 'g', 4);
    if (k < spectrum_->fit.size() && std::isfinite(spectrum_->fit[k]))
        text += tr("  fit %1").arg(spectrum_->fit[k], 0, 'g', 4);
    return text;
}

void SpectrumPlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    if (!spectrum_ || spectrum_->energy.size() < 2) {
        p.setPen(Qt::darkGray);
        p.drawText(rect(), Qt::AlignCenter, tr("Click a voxel of the map to see its spectrum"));
        return;
    }
    const VoxelSpectrum &s = *spectrum_;
    const std::vector<double> &e = s.energy;
    // μ with the lines over the whole range; the normalised spectrum and the fit.
    Span muSpan {s.mu.front(), s.mu.front()};
    for (std::size_t i = 0; i < e.size(); ++i) {
        muSpan.take(s.mu[i]);
        muSpan.take(s.pre(e[i], edge_));
        muSpan.take(s.post(e[i], edge_));
    }
    Span normSpan {0.0, 1.0};
    for (std::size_t i = 0; i < e.size(); ++i) {
        normSpan.take(s.normalised[i]);
        if (i < s.fit.size())
            normSpan.take(s.fit[i]);
    }
    const Span spans[2] = {muSpan, normSpan};
    const QString titles[2] = {tr("μ, pre- and post-edge lines"), tr("normalised, fit")};
    const QFontMetrics fm = p.fontMetrics();
    for (int pane = 0; pane < 2; ++pane) {
        const QRectF a = plotArea(pane);
        Span v = spans[pane];
        if (!(v.hi > v.lo))
            v.hi = v.lo + 1.0;
        const double pad = 0.05 * (v.hi - v.lo);
        v.lo -= pad;
        v.hi += pad;
        const auto yOf = [&](double value) { return a.bottom() - (value - v.lo) / (v.hi - v.lo) * a.height(); };
        p.setPen(QColor(200, 200, 200));
        p.drawRect(a);
        // Value ticks.
        const double step = tickStep(v.hi - v.lo, 4);
        p.setPen(Qt::black);
        for (double t = std::ceil(v.lo / step) * step; t <= v.hi; t += step) {
            const double y = yOf(t);
            p.drawLine(QPointF(a.left() - 4, y), QPointF(a.left(), y));
            p.drawText(QRectF(0, y - fm.height() / 2.0, a.left() - 6, fm.height()),
                Qt::AlignRight | Qt::AlignVCenter, QString::number(t, 'g', 3));
        }
        p.drawText(QRectF(a.left() + 4, a.top() + 2, a.width() - 8, fm.height()), Qt::AlignLeft, titles[pane]);
        if (pane == 1) {
            p.setPen(QPen(QColor(160, 160, 160), 1, Qt::DotLine));
            for (double level : {0.0, 1.0})
                p.drawLine(QPointF(a.left(), yOf(level)), QPointF(a.right(), yOf(level)));
        }
        // The edge.
        p.setPen(QPen(QColor(180, 180, 180), 1, Qt::DashLine));
        p.drawLine(QPointF(xOf(edge_), a.top()), QPointF(xOf(edge_), a.bottom()));
        const auto curve = [&](const std::vector<double> &values, const QColor &colour, bool dots) {
            QPainterPath path;
            bool open = false;
            p.setPen(QPen(colour, 1.5));
            for (std::size_t i = 0; i < e.size() && i < values.size(); ++i) {
                if (!std::isfinite(values[i])) {
                    open = false;
                    continue;
                }
                const QPointF pt(xOf(e[i]), yOf(values[i]));
                open ? path.lineTo(pt) : path.moveTo(pt);
                open = true;
                if (dots)
                    p.drawEllipse(pt, 2.0, 2.0);
            }
            p.drawPath(path);
        };
        p.save();
        p.setClipRect(a);
        if (pane == 0) {
            std::vector<double> pre(e.size()), post(e.size());
            for (std::size_t i = 0; i < e.size(); ++i) {
                pre[i] = s.pre(e[i], edge_);
                post[i] = s.post(e[i], edge_);
            }
            curve(pre, QColor(40, 160, 40), false);
            curve(post, QColor(200, 120, 0), false);
            curve(s.mu, QColor(20, 60, 200), true);
        } else {
            curve(s.normalised, QColor(20, 60, 200), true);
            curve(s.fit, QColor(210, 30, 30), false);
        }
        p.restore();
    }
    // Energy ticks under the lower pane.
    const QRectF a = plotArea(1);
    const double step = tickStep(e.back() - e.front(), std::max(2, int(a.width() / 70)));
    p.setPen(Qt::black);
    for (double t = std::ceil(e.front() / step) * step; t <= e.back(); t += step) {
        const double x = xOf(t);
        p.drawLine(QPointF(x, a.bottom()), QPointF(x, a.bottom() + 4));
        p.drawText(QRectF(x - 40, a.bottom() + 4, 80, fm.height()), Qt::AlignHCenter, QString::number(t, 'f', 0));
    }
    p.drawText(QRectF(a.left(), height() - fm.height() - 1, a.width(), fm.height()), Qt::AlignRight,
        cursor_ >= 0 ? valuesText(cursor_) : tr("energy (eV)"));
    if (cursor_ >= 0) {
        p.setPen(QPen(QColor(0, 0, 0, 120), 1));
        const double x = xOf(e[std::size_t(cursor_)]);
        p.drawLine(QPointF(x, plotArea(0).top()), QPointF(x, a.bottom()));
    }
}

void SpectrumPlot::mouseMoveEvent(QMouseEvent *event)
{
    const int i = energyIndexAt(event->position().x());
    if (i != cursor_) {
        cursor_ = i;
        setToolTip(valuesText(i));
        update();
    }
}

void SpectrumPlot::leaveEvent(QEvent *)
{
    cursor_ = -1;
    update();
}
