#include "xafs/mappicture.h"

// Local
#include "xafs/pixelfont.h"
#include <algorithm>
#include <cmath>

namespace {

constexpr int longSide = 384;
constexpr int border = 12;
constexpr int scale = 2; // image pixels per font pixel
constexpr int barWidth = 24;
const QRgb masked = qRgb(200, 200, 200);
const QRgb paper = qRgb(255, 255, 255);
const QRgb lettering = qRgb(0, 0, 0);

// Viridis (van der Walt and Smith, matplotlib 2.0) at nine points, linear in between: even in
// lightness, readable without colour vision.
constexpr int viridis[9][3] = {{68, 1, 84}, {71, 44, 122}, {59, 81, 139}, {44, 113, 142}, {33, 144, 141},
    {39, 173, 129}, {92, 200, 99}, {170, 220, 50}, {253, 231, 37}};

QString number(double v)
{
    return QString::number(v, 'g', 4);
}

} // namespace

QRgb mapColour(double f)
{
    f = std::clamp(std::isfinite(f) ? f : 0.0, 0.0, 1.0) * 8.0;
    const int i = std::min(7, int(f));
    const double w = f - i;
    int c[3];
    for (int k = 0; k < 3; ++k)
        c[k] = int(std::lround(viridis[i][k] + w * (viridis[i + 1][k] - viridis[i][k])));
    return qRgb(c[0], c[1], c[2]);
}

std::pair<double, double> mapRange(
    const std::vector<float> &values, std::optional<std::pair<double, double>> fixed)
{
    if (fixed)
        return *fixed;
    std::vector<float> v;
    for (float x : values)
        if (std::isfinite(x))
            v.push_back(x);
    if (v.empty())
        return {0.0, 1.0};
    const auto at = [&v](double q) {
        const std::size_t k = std::min(v.size() - 1, std::size_t(q * double(v.size() - 1)));
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(k), v.end());
        return double(v[k]);
    };
    double lo = at(0.01), hi = at(0.99);
    if (!(hi > lo)) { // one value: a range about it
        const double c = lo, a = std::max(std::abs(c), 1e-6);
        lo = c - 0.5 * a;
        hi = c + 0.5 * a;
    }
    return {lo, hi};
}

QImage mapPicture(
    const std::vector<float> &values, int nx, int ny, std::pair<double, double> range, const QString &title)
{
    nx = std::max(nx, 1);
    ny = std::max(ny, 1);
    // Square pixels: one factor for both axes.
    const double f = double(longSide) / std::max(nx, ny);
    const int w = std::max(1, int(std::lround(nx * f))), h = std::max(1, int(std::lround(ny * f)));
    const QString hi = number(range.second), lo = number(range.first);
    const int labels = std::max(pixelfont::width(hi, scale), pixelfont::width(lo, scale));
    const int line = pixelfont::height * scale + 8;
    const int width = std::max(border + w + border + barWidth + border + labels + border,
        border + pixelfont::width(title, scale) + border);
    QImage picture(width, border + line + h + border, QImage::Format_RGB32);
    picture.fill(paper);
    pixelfont::draw(picture, border, border, title, lettering, scale);
    const int top = border + line;
    const double span = range.second - range.first;
    for (int y = 0; y < h; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(picture.scanLine(top + y)) + border;
        const int sy = std::min(ny - 1, int(y / f));
        for (int x = 0; x < w; ++x) {
            const int sx = std::min(nx - 1, int(x / f));
            const std::size_t i = std::size_t(sy) * nx + sx;
            const float v = i < values.size() ? values[i] : std::nanf("");
            row[x] = std::isfinite(v) ? mapColour((v - range.first) / span) : masked;
        }
    }
    const int bar = border + w + border;
    for (int y = 0; y < h; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(picture.scanLine(top + y)) + bar;
        const QRgb c = mapColour(1.0 - double(y) / std::max(1, h - 1));
        for (int x = 0; x < barWidth; ++x)
            row[x] = c;
    }
    pixelfont::draw(picture, bar + barWidth + border, top, hi, lettering, scale);
    pixelfont::draw(picture, bar + barWidth + border, top + h - pixelfont::height * scale, lo, lettering, scale);
    return picture;
}

bool isShareMap(const QString &name)
{
    return name.startsWith(QLatin1String("fraction-")) || name == QLatin1String("mask");
}
