#include "imagedata/nonfinite.h"

// Qt
#include <QDebug>

// Local
#include "imagedata/imagedatalog.h"
#include <cmath>

namespace {

// Each replaced value is worked out in doubles and stored as T, or rounded to float first: a row
// of float samples read into doubles gets the bits the float row would.
template<typename T> NonFiniteCount repair(std::span<T> row, bool roundToFloat)
{
    NonFiniteCount c;
    c.pixels = std::int64_t(row.size());
    const std::int64_t n = c.pixels;
    std::int64_t last = -1; // the last finite sample
    for (std::int64_t i = 0; i < n; ++i) {
        if (std::isfinite(row[size_t(i)])) {
            last = i;
            continue;
        }
        std::int64_t end = i; // the run is i … end − 1
        while (end < n && !std::isfinite(row[size_t(end)]))
            ++end;
        c.found += end - i;
        if (last < 0 && end == n) { // nothing finite in the row
            c.rowsWithout = 1;
            return c;
        }
        for (std::int64_t j = i; j < end; ++j) {
            if (last < 0) {
                row[size_t(j)] = row[size_t(end)];
            } else if (end == n) {
                row[size_t(j)] = row[size_t(last)];
            } else {
                const double a = row[size_t(last)], b = row[size_t(end)];
                const double v = a + double(j - last) / double(end - last) * (b - a);
                row[size_t(j)] = roundToFloat ? T(float(v)) : T(v);
            }
        }
        i = end - 1;
    }
    return c;
}

} // namespace

NonFiniteCount repairRow(std::span<double> row, bool roundToFloat)
{
    return repair(row, roundToFloat);
}

NonFiniteCount repairRow(std::span<float> row)
{
    return repair(row, true);
}

QString judgeNonFinite(const NonFiniteCount &count, const QString &label)
{
    if (count.tooMany()) {
        return count.rowsWithout > 0
            ? (count.rowsWithout == 1 ? QStringLiteral("a row holds no finite pixel")
                                      : QStringLiteral("%1 rows hold no finite pixel").arg(count.rowsWithout))
            : QStringLiteral("%1 of %2 pixels are not finite (more than 1 %)")
                  .arg(count.found)
                  .arg(count.pixels);
    }
    if (count.found > 0)
        qCWarning(lcImageData).noquote() << (count.found == 1
                ? QStringLiteral("1 pixel that is not finite replaced from its row's neighbours :")
                : QStringLiteral("%1 pixels that are not finite replaced from their rows' neighbours :")
                      .arg(count.found)) << label;
    return QString();
}
