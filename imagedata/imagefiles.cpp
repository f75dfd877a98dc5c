#include "imagedata/imagefiles.h"

// Qt
#include <QDir>

// Local
#include <algorithm>

QFileInfoList imageFileEntries(const QString &dir, const QStringList &patterns)
{
    if (dir.isEmpty() || patterns.isEmpty())
        return {};
    // System: named pipes, sockets, devices and dangling links; Dirs: folders, by the patterns too.
    QFileInfoList entries = QDir(dir).entryInfoList(
        patterns, QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    std::stable_sort(entries.begin(), entries.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.fileName().compare(b.fileName(), Qt::CaseSensitive) < 0;
    });
    return entries;
}
