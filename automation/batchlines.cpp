#include "automation/batchlines.h"

// Local
#include "config/linetokenizer.h"

namespace {

// Index of the last non-blank character, −1 when there is none.
qsizetype lastNonBlank(const QString &s)
{
    qsizetype i = s.size() - 1;
    while (i >= 0 && s[i].isSpace())
        --i;
    return i;
}

} // namespace

QStringList batchCommandLines(const QStringList &fileLines)
{
    QStringList lines;
    QString pending; // the start of a line continued by a backslash
    bool continuing = false;
    for (const QString &raw : fileLines) {
        QString line = pending + stripComment(raw);
        const qsizetype last = lastNonBlank(line);
        if (last >= 0 && line[last] == u'\\') {
            pending = line.left(last);
            continuing = true;
            continue;
        }
        pending.clear();
        continuing = false;
        if (!line.isEmpty())
            lines.append(line);
    }
    if (continuing && !pending.isEmpty()) // the file ended inside a continued line
        lines.append(pending);
    return lines;
}
