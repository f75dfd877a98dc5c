#include "imagedata/itexcomment.h"

// Local
#include "app/config/linetokenizer.h"

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
    props.areaWidth = v[2] - v[0];
    props.areaHeight = v[3] - v[1];
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
