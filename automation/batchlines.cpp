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

std::vector<NumberedLine> numberedCommandLines(const QStringList &fileLines)
{
    std::vector<NumberedLine> lines;
    QString pending; // the start of a line continued by a backslash
    bool continuing = false;
    int first = 0; // the file line the pending text began on
    for (qsizetype i = 0; i < fileLines.size(); ++i) {
        if (!continuing)
            first = static_cast<int>(i) + 1;
        QString line = pending + stripComment(fileLines[i]);
        const qsizetype last = lastNonBlank(line);
        if (last >= 0 && line[last] == u'\\') {
            pending = line.left(last);
            continuing = true;
            continue;
        }
        pending.clear();
        continuing = false;
        if (!line.isEmpty())
            lines.push_back({line, first});
    }
    if (continuing && !pending.isEmpty()) // the file ended inside a continued line
        lines.push_back({pending, first});
    return lines;
}

QStringList batchCommandLines(const QStringList &fileLines)
{
    QStringList texts;
    for (const NumberedLine &line : numberedCommandLines(fileLines))
        texts << line.text;
    return texts;
}
