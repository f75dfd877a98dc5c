#include "imagedata/itexcomment.h"

// Local
#include "config/linetokenizer.h"
#include <limits>

namespace {

QString firstItemAfter(const QString &item, const QString &key)
{
    QString value;
    takeItem(item.mid(key.size()), value);
    return value;
}

int intAfter(const QString &item, const QString &key)
{
    return firstItemAfter(item, key).toInt(); // 0 when not a number or not 32-bit
}

// to − from, or 0 when that is not a 32-bit number (corners such as -2147483648 and 2147483647).
int extent(int from, int to)
{
    const qint64 d = qint64(to) - from;
    return d >= std::numeric_limits<int>::min() && d <= std::numeric_limits<int>::max() ? int(d) : 0;
}

void takeAreaSource(const QString &item, const QString &key, ItexProps &props)
{
    QString text = item.mid(key.size());
    text.replace(QLatin1Char(','), QLatin1Char(' '));
    text.remove(QLatin1Char('"'));
    int v[4] = {0, 0, 0, 0};
    for (int &n : v) {
        QString number;
        text = takeItem(text, number);
        n = number.toInt();
    }
    props.areaWidth = extent(v[0], v[2]);
    props.areaHeight = extent(v[1], v[3]);
}

void testItem(const QString &item, ItexProps &props)
{
    static const QString width = QStringLiteral("Prop_ImageWidth=");
    static const QString height = QStringLiteral("Prop_ImageHeight=");
    static const QString bpp = QStringLiteral("BytesPerPixel=");
    static const QString exp1 = QStringLiteral("Prop_ExposureTime1=");
    static const QString exp2 = QStringLiteral("Prop_ExposureTime2=");
    static const QString area = QStringLiteral("areSource=");
    if (item.startsWith(width))
        props.width = intAfter(item, width);
    if (item.startsWith(height))
        props.height = intAfter(item, height);
    if (item.startsWith(bpp))
        props.bytesPerPixel = intAfter(item, bpp);
    if (item.startsWith(exp1))
        props.expTime = firstItemAfter(item, exp1).toDouble();
    if (item.startsWith(exp2))
        props.expTime = firstItemAfter(item, exp2).toDouble();
    if (item.startsWith(area))
        takeAreaSource(item, area, props);
}

} // namespace

ItexProps parseItexComment(const QString &comment)
{
    ItexProps props;
    QString item;
    bool inQuotes = false;
    for (const QChar c : comment) {
        if (c == QLatin1Char('"')) {
            inQuotes = !inQuotes;
            item.append(c);
        } else if (!inQuotes && (c == QLatin1Char(',') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))) {
            testItem(item, props);
            item.clear();
        } else {
            item.append(c);
        }
    }
    return props;
}
