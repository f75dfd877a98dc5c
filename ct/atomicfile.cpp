#include "ct/atomicfile.h"

// Qt
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("cannot make the folder %1").arg(info.absolutePath()));
    QSaveFile file(info.absoluteFilePath());
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    if (file.write(bytes) != bytes.size())
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    if (!file.commit())
        return fail(QStringLiteral("cannot complete %1: %2").arg(path, file.errorString()));
    return true;
}

bool writeImageAtomically(const QString &path, const QImage &image, QString *error)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, QFileInfo(path).suffix().toLatin1());
    if (!writer.write(image)) {
        if (error)
            *error = QStringLiteral("cannot encode %1: %2").arg(path, writer.errorString());
        return false;
    }
    return writeFileAtomically(path, bytes, error);
}
