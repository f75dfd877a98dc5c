#include "config/linetokenizer.h"
#include "config/configlog.h"

// Qt
#include <QDebug>

namespace {

qsizetype firstNonSpace(const QString &text, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (!text.at(i).isSpace())
            return i;
    }
    return -1;
}

qsizetype firstSpace(const QString &text, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text.at(i).isSpace())
            return i;
    }
    return -1;
}

void reportQuoteEndOnly(const QString &text)
{
    qCWarning(lcConfig).noquote()
        << QStringLiteral("In a line [%1] item is started from not quote but ended by quote").arg(text);
}

} // namespace

QString takeItem(const QString &text, QString &item)
{
    item.clear();
    const qsizetype p = firstNonSpace(text, 0);
    if (p < 0)
        return QString();

    const QChar quote = QLatin1Char('"');
    if (text.at(p) != quote) {
        const qsizetype q = firstSpace(text, p + 1);
        if (q < 0) {
            item = text.mid(p);
            if (text.endsWith(quote))
                reportQuoteEndOnly(text);
            return QString();
        }
        item = text.mid(p, q - p);
        if (item.endsWith(quote))
            reportQuoteEndOnly(text);
        return text.mid(q);
    }

    const qsizetype r = text.indexOf(quote, p + 1);
    if (r < 0) {
        qCWarning(lcConfig).noquote()
            << QStringLiteral("In a line [%1] item is started from quote but not ended by quote").arg(text);
        item = text.mid(p + 1);
        return QString();
    }
    item = text.mid(p + 1, r - p - 1);
    return text.mid(r + 1);
}

QString stripComment(const QString &line)
{
    // Double quotes and apostrophes each open a quoted span that only the same character closes:
    // an apostrophe inside a double-quoted text ("/data/bob's run#3") keeps its "#" in the text.
    QChar open;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            if (open.isNull())
                open = c;
            else if (c == open)
                open = QChar();
        } else if (c == QLatin1Char('#') && open.isNull()) {
            return line.left(i);
        }
    }
    return line;
}

bool isBlankLine(const QString &line)
{
    return stripComment(line).simplified().isEmpty();
}
