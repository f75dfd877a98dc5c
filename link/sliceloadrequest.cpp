#include "link/sliceloadrequest.h"

// Qt
#include <QDir>
#include <QFileInfo>

namespace {

QStringList sliceFilesIn(const QDir &dir, const QString &slice)
{
    QStringList files;
    const QFileInfoList found = dir.entryInfoList(
        {QStringLiteral("*-%1.dat").arg(slice)}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &info : found)
        files << info.absoluteFilePath();
    return files;
}

} // namespace

SliceLoadRequest sliceLoadRequest(const QString &saveDir, bool subFolders, bool ofSlice, int slice)
{
    SliceLoadRequest request;
    if (saveDir.trimmed().isEmpty())
        return request;
    const QDir dir(saveDir);
    const QString s = QString::asprintf("%05d", slice);
    if (subFolders && ofSlice) {
        request.byPattern = true;
        request.patternPath
            = QDir::fromNativeSeparators(dir.absolutePath()) + QLatin1Char('\\') + s + QLatin1Char('\\');
    } else if (subFolders) {
        // Only the folders inside the save folder: its own files and those of its parent belong to
        // other layouts or other runs.
        const QFileInfoList folders = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &folder : folders)
            request.files += sliceFilesIn(QDir(folder.absoluteFilePath()), s);
    } else {
        request.files = sliceFilesIn(dir, s);
    }
    return request;
}
