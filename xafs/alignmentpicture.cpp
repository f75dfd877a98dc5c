#include "xafs/alignmentpicture.h"

// Local
#include "xafs/pixelfont.h"
#include <algorithm>
#include <cmath>

namespace {

constexpr int side = 256; // the longer side of a slice in the picture
constexpr int margin = 10;
constexpr int text = 2; // image pixels per font pixel
constexpr int line = pixelfont::height * text + 6;
const QRgb background = qRgb(255, 255, 255);
const QRgb ink = qRgb(0, 0, 0);
const QRgb outside = qRgb(90, 0, 0);
const QRgb grid = qRgb(0, 190, 255);

struct GreyRange
{
    float lo = 0.0f;
    float hi = 1.0f;
};

GreyRange percentiles(const std::vector<float> &values)
{
    std::vector<float> v;
    v.reserve(values.size());
    for (float x : values)
        if (std::isfinite(x))
            v.push_back(x);
    GreyRange r;
    if (v.empty())
        return r;
    const auto at = [&v](double q) {
        const std::size_t k = std::min(v.size() - 1, static_cast<std::size_t>(q * (v.size() - 1)));
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(k), v.end());
        return v[k];
    };
    r.lo = at(0.01);
    r.hi = at(0.99);
    if (!(r.hi > r.lo))
        r.hi = r.lo + 1.0f;
    return r;
}

void drawSlice(QImage &picture, int x0, int y0, int width, int height, const AlignmentPanel &p,
    const std::vector<float> &values, const GreyRange &range)
{
    for (int y = 0; y < height; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(picture.scanLine(y0 + y)) + x0;
        const int sy = std::min(p.ny - 1, y * p.ny / height);
        for (int x = 0; x < width; ++x) {
            const int sx = std::min(p.nx - 1, x * p.nx / width);
            const float v = values[std::size_t(sy) * p.nx + sx];
            if (!std::isfinite(v)) {
                row[x] = outside;
                continue;
            }
            const int g
                = std::clamp(static_cast<int>(255.0f * (v - range.lo) / (range.hi - range.lo)), 0, 255);
            row[x] = qRgb(g, g, g);
        }
    }
    for (int k = 1; k < 4; ++k) { // the grid at quarters
        const int gx = x0 + k * width / 4, gy = y0 + k * height / 4;
        for (int y = y0; y < y0 + height; y += 2)
            reinterpret_cast<QRgb *>(picture.scanLine(y))[gx] = grid;
        for (int x = x0; x < x0 + width; x += 2)
            reinterpret_cast<QRgb *>(picture.scanLine(gy))[x] = grid;
    }
}

} // namespace

QImage alignmentPicture(const std::vector<AlignmentPanel> &panels, int referencePanel, const QString &heading)
{
    int nx = 1, ny = 1;
    for (const AlignmentPanel &p : panels)
        if (p.nx > 0 && p.ny > 0) {
            nx = p.nx;
            ny = p.ny;
            break;
        }
    const double f = double(side) / std::max(nx, ny);
    const int w = std::max(1, static_cast<int>(std::lround(nx * f))),
              h = std::max(1, static_cast<int>(std::lround(ny * f)));
    const int labels = margin + pixelfont::width(QStringLiteral("before"), text) + 2 * margin;
    int columnWidth = w;
    for (const AlignmentPanel &p : panels)
        columnWidth
            = std::max({columnWidth, pixelfont::width(p.title, text), pixelfont::width(p.shift, text)});
    const int count = std::max<int>(1, static_cast<int>(panels.size()));
    QImage picture(labels + count * (columnWidth + 2 * margin), margin + 2 * line + 2 * (h + margin) + line,
        QImage::Format_RGB32);
    picture.fill(background);
    pixelfont::draw(picture, margin, margin, heading, ink, text);
    GreyRange range;
    if (referencePanel >= 0 && referencePanel < int(panels.size()))
        range = percentiles(panels[std::size_t(referencePanel)].after.empty()
                ? panels[std::size_t(referencePanel)].before
                : panels[std::size_t(referencePanel)].after);
    const int top = margin + 2 * line;
    pixelfont::draw(picture, margin, top + h / 2 - line / 2, QStringLiteral("before"), ink, text);
    pixelfont::draw(picture, margin, top + h + margin + h / 2 - line / 2, QStringLiteral("after"), ink, text);
    for (int i = 0; i < int(panels.size()); ++i) {
        const AlignmentPanel &p = panels[std::size_t(i)];
        const int x0 = labels + i * (columnWidth + 2 * margin);
        pixelfont::draw(picture, x0, margin + line, p.title, ink, text);
        const bool fits = p.nx > 0 && p.ny > 0 && p.nx == nx && p.ny == ny;
        for (int row = 0; row < 2; ++row) {
            const std::vector<float> &values = row == 0 ? p.before : p.after;
            const int y0 = top + row * (h + margin);
            if (fits && values.size() == std::size_t(nx) * ny)
                drawSlice(picture, x0, y0, w, h, p, values, range);
            else
                pixelfont::draw(picture, x0 + margin, y0 + h / 2, QStringLiteral("none"), ink, text);
        }
        pixelfont::draw(picture, x0, top + 2 * (h + margin), p.shift, ink, text);
    }
    return picture;
}
