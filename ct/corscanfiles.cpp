#include "ct/corscanfiles.h"

// Local
#include "ct/ctimagetiff.h"
#include "ct/savenaming.h"
#include <algorithm>
#include <array>
#include <cmath>

QString corScanFileName(const QString &name, const QString &tag, int slice, const QString &extension)
{
    return ctFileName(name, tag + QStringLiteral("-corscan"), sliceText(slice), extension);
}

QString corText(double cor)
{
    return QString::number(cor, 'g', 10);
}

Region corTrialShownRegion(const CorTrial &trial, const CorScoreSetup &score)
{
    if (score.hasRegion)
        return score.region;
    const double half = std::floor(score.radius);
    const double centre = 0.5 * trial.n;
    return Region {centre - half, centre - half, centre + half, centre + half};
}

namespace {

// The shown part of a trial's values, row after row, and its size.
std::vector<double> shownValues(const CorTrial &trial, const CorScoreSetup &score, int &width, int &height)
{
    width = height = 0;
    if (!trial.reconstructed || !trial.values || trial.n < 1)
        return {};
    const Region r = corTrialShownRegion(trial, score);
    long long x0 = 0, x1 = 0, z0 = 0, z1 = 0;
    if (!regionPixelRange(r.x0, r.x1, x0, x1) || !regionPixelRange(r.z0, r.z1, z0, z1))
        return {};
    x0 = std::max(x0, 0LL);
    z0 = std::max(z0, 0LL);
    x1 = std::min<long long>(x1, trial.n);
    z1 = std::min<long long>(z1, trial.n);
    if (x1 <= x0 || z1 <= z0)
        return {};
    width = static_cast<int>(x1 - x0);
    height = static_cast<int>(z1 - z0);
    std::vector<double> v;
    v.reserve(static_cast<size_t>(width) * height);
    const std::vector<float> &all = *trial.values;
    for (long long z = z0; z < z1; ++z)
        for (long long x = x0; x < x1; ++x)
            v.push_back(all[static_cast<size_t>(z * trial.n + x)]);
    return v;
}

// Digits, point, minus and star in 5 × 7 pixels, a row per entry, the high bit on the left: labels
// drawn without a font, so that the command needs no display and the sheet is the same everywhere.
const std::array<uint8_t, 7> &glyph(QChar c)
{
    static const std::array<std::array<uint8_t, 7>, 14> glyphs {{
        {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, // 0
        {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}, // 1
        {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, // 2
        {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}, // 3
        {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, // 4
        {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}, // 5
        {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, // 6
        {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}, // 7
        {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, // 8
        {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}, // 9
        {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}, // .
        {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}, // -
        {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00}, // *
        {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, // anything else
    }};
    const QString order = QStringLiteral("0123456789.-*");
    const qsizetype i = order.indexOf(c);
    return glyphs[static_cast<size_t>(i < 0 ? 13 : i)];
}

constexpr int glyphScale = 2; // screen pixels per glyph pixel
constexpr int labelHeight = 7 * glyphScale + 6;

int textWidth(const QString &text)
{
    return static_cast<int>(text.size()) * 6 * glyphScale;
}

void drawText(QImage &sheet, int x, int y, const QString &text, uchar level)
{
    for (QChar c : text) {
        const std::array<uint8_t, 7> &g = glyph(c);
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (g[static_cast<size_t>(row)] & (0x10 >> col))
                    for (int dy = 0; dy < glyphScale; ++dy)
                        for (int dx = 0; dx < glyphScale; ++dx) {
                            const int px = x + col * glyphScale + dx, py = y + row * glyphScale + dy;
                            if (px >= 0 && py >= 0 && px < sheet.width() && py < sheet.height())
                                sheet.scanLine(py)[px] = level;
                        }
        x += 6 * glyphScale;
    }
}

void fill(QImage &sheet, int x0, int y0, int x1, int y1, uchar level)
{
    for (int y = std::max(0, y0); y < std::min(sheet.height(), y1); ++y)
        for (int x = std::max(0, x0); x < std::min(sheet.width(), x1); ++x)
            sheet.scanLine(y)[x] = level;
}

} // namespace

QImage corTrialPicture(const CorTrial &trial, const CorScoreSetup &score, const GreyScale &scale)
{
    int w = 0, h = 0;
    const std::vector<double> v = shownValues(trial, score, w, h);
    if (v.empty())
        return QImage();
    return greyImage(v, w, h, scale);
}

GreyScale corScanScale(const CorTrial &best, const CorScoreSetup &score)
{
    GreyScale scale;
    int w = 0, h = 0;
    const std::vector<double> v = shownValues(best, score, w, h);
    double min = 0.0, max = 0.0;
    valueRange(v, min, max);
    scale.adoptRange(min, max);
    return scale;
}

QByteArray corScanTiff(const std::vector<CorTrial> &trials, int slice, const Region &region, QString *error)
{
    std::vector<FloatTiffPage> pages;
    for (const CorTrial &t : trials) {
        if (!t.reconstructed || !t.values) {
            if (error)
                *error = QStringLiteral("the trial at %1 was not reconstructed").arg(corText(t.cor));
            return QByteArray();
        }
        pages.push_back(FloatTiffPage {{}, *t.values, t.n, region,
            QStringLiteral("slice %1, centre of rotation %2").arg(slice).arg(corText(t.cor))});
    }
    return floatTiffPages(pages, error);
}

QImage corScanSheet(const std::vector<CorTrial> &trials, int best, const CorScoreSetup &score,
    const GreyScale &scale, int thumbnail)
{
    const int count = static_cast<int>(trials.size());
    if (count == 0 || thumbnail < 8)
        return QImage();
    constexpr int margin = 8;
    const int columns = std::min(count, 7);
    const int rows = (count + columns - 1) / columns;
    const int cellW = thumbnail + margin, cellH = thumbnail + labelHeight + margin;
    QImage sheet(margin + columns * cellW, margin + rows * cellH, QImage::Format_Grayscale8);
    sheet.fill(48);
    for (int i = 0; i < count; ++i) {
        const int x = margin + (i % columns) * cellW, y = margin + (i / columns) * cellH;
        if (i == best)
            fill(sheet, x - 4, y - 4, x + thumbnail + 4, y + thumbnail + labelHeight, 255);
        fill(sheet, x, y, x + thumbnail, y + thumbnail, 0);
        const QImage picture = corTrialPicture(trials[static_cast<size_t>(i)], score, scale);
        if (!picture.isNull()) {
            const QImage small
                = picture.scaled(thumbnail, thumbnail, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                      .convertToFormat(QImage::Format_Grayscale8);
            const int ox = x + (thumbnail - small.width()) / 2, oy = y + (thumbnail - small.height()) / 2;
            for (int r = 0; r < small.height(); ++r)
                std::copy_n(small.constScanLine(r), small.width(), sheet.scanLine(oy + r) + ox);
        }
        const QString label
            = (i == best ? QStringLiteral("*") : QString()) + corText(trials[static_cast<size_t>(i)].cor);
        const uchar ink = i == best ? 0 : 230;
        drawText(sheet, x + (thumbnail - textWidth(label)) / 2, y + thumbnail + 3, label, ink);
    }
    return sheet;
}

QByteArray corScanTable(const std::vector<CorTrial> &trials, int best, int slice)
{
    QString text
        = QStringLiteral("# centre of rotation scan of slice %1: the lowest score is the sharpest trial\n"
                         "# centre\tscore\n")
              .arg(slice);
    for (size_t i = 0; i < trials.size(); ++i) {
        const CorTrial &t = trials[i];
        text += corText(t.cor) + u'\t'
            + (t.reconstructed ? QString::number(t.score, 'f', 6) : QStringLiteral("-"))
            + (static_cast<int>(i) == best ? QStringLiteral("\tbest") : QString()) + u'\n';
    }
    return text.toUtf8();
}
