#include "automation/setupfile.h"

// Qt
#include <QFileInfo>

QString setupFileTitle()
{
    return QStringLiteral("### quorvel setup saving setup file");
}

QString setupEntryLine(const QString &key, const QString &value)
{
    constexpr int field = 25;
    const QString padded = key.size() >= field ? key + u' ' : key.leftJustified(field, u' ');
    return padded + value;
}

QString setupFileText(const QList<SetupSection> &sections)
{
    QString text = setupFileTitle() + QStringLiteral("\n\n");
    for (qsizetype i = 0; i < sections.size(); ++i) {
        if (i > 0)
            text += u'\n';
        text += sections[i].heading + QStringLiteral("\n\n");
        for (const SetupEntry &e : sections[i].entries)
            text += setupEntryLine(e.key, e.value) + u'\n';
    }
    return text;
}

QString setupFlag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString setupReal(double v)
{
    return QString::number(v, 'g', 6);
}

QString setupText(const QString &text)
{
    for (QChar c : text) {
        if (c.isSpace())
            return u'"' + text + u'"';
    }
    return text;
}

QString setupDirPattern(const QString &firstFile)
{
    const QFileInfo info(firstFile);
    return setupText(info.absolutePath()) + QStringLiteral(" *.") + info.suffix();
}

QString setupDirFile(const QString &file)
{
    const QFileInfo info(file);
    return setupText(info.absolutePath()) + u' ' + setupText(info.fileName());
}
