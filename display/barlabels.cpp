#include "display/barlabels.h"

// Local
#include <algorithm>

QString barNumberText(double v)
{
    return QString::number(v, 'g', 6);
}

std::vector<BarLabel> barLabels(const BarLabelSetup &setup)
{
    using Kind = BarLabel::Kind;
    const double h = setup.barHeight, textH = setup.fontHeight;
    std::vector<BarLabel> kept;
    if (!(h > 0.0) || !setup.textLength)
        return kept;
    const GreyScale &s = setup.scale;
    auto valueAt = [&s](double f) { return s.minV + (s.maxV - s.minV) * f; };
    constexpr double inset = 4.0; // the range's ends stand off the bar's ends
    constexpr double gap = 2.0; // between labels, and between a bound and its marker
    auto offer = [&](Kind kind, double value, double from, double length) {
        BarLabel label {kind, value, barNumberText(value), from, from + length};
        if (label.from < 0.0 || label.to > h)
            return;
        for (const BarLabel &k : kept) {
            if (label.from < k.to + gap && k.from < label.to + gap)
                return;
        }
        kept.push_back(std::move(label));
    };
    auto length = [&setup](double value) { return setup.textLength(barNumberText(value)); };
    offer(Kind::Max, s.maxV, inset, length(s.maxV));
    offer(Kind::Min, s.minV, h - inset - length(s.minV), length(s.minV));
    if (setup.grabbed == Kind::Hi || setup.grabbed == Kind::Lo) {
        const double v = valueAt(setup.grabbed == Kind::Hi ? s.hi : s.lo);
        offer(Kind::Grabbed, v, h / 2.0 - length(v) / 2.0, length(v));
    }
    // The window's bounds on its inside, level with the bar.
    const double yHi = (1.0 - s.hi) * h, yLo = (1.0 - s.lo) * h;
    if (s.hi < 1.0)
        offer(Kind::Hi, valueAt(s.hi), yHi + gap, textH);
    if (s.lo > 0.0)
        offer(Kind::Lo, valueAt(s.lo), yLo - gap - textH, textH);
    return kept;
}
