#include "ct/savenaming.h"

// Qt
#include <QDir>

QString sliceText(int slice)
{
    return QString::asprintf("%05d", slice);
}

QString saveNameProblem(const QString &name, const QString &tag)
{
    for (const auto &[text, what] : {std::pair {name, "name"}, std::pair {tag, "tag"}}) {
        if (text.contains(u'/') || text.contains(u'\\') || text.contains(QLatin1String("..")))
            return QStringLiteral("the %1 \"%2\" holds a path separator or \"..\"")
                .arg(QLatin1String(what), text);
    }
    return QString();
}

QString ctFileName(const QString &name, const QString &tag, const QString &slice, const QString &extension)
{
    if (name.isEmpty())
        return QStringLiteral("%1-%2.%4").arg(tag, slice, extension);
    return QStringLiteral("%1-%2-%3.%4").arg(name, tag, slice, extension);
}

QStringList targetDirs(
    const QString &dir, const QString &tag, const QString &slice, const SubFolderRule &rule)
{
    if (!rule.subFolders)
        return {dir};
    QStringList dirs;
    if (rule.ofEnergy) {
        dirs << QDir(dir).filePath(tag);
        if (!rule.ofSlice)
            return dirs;
    }
    dirs << QDir(dir).filePath(slice);
    return dirs;
}
