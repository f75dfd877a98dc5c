#include "ct/atomicfile.h"

// Qt
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <QTemporaryFile>

// Local
#include "config/specialfile.h"
#include <cerrno>
#include <cstdio>
#include <cstring>

bool renameIntoPlace(const QString &temporary, const QString &path, QString *error)
{
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    if (error)
        *error = QStringLiteral("cannot rename %1 to %2 (%3): the complete file stays under the first name")
                     .arg(temporary, path, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(path);
    // A named pipe or a device in the file's place would block the write or take it in silence.
    if (const QString kind = specialFileKind(path); !kind.isEmpty())
        return fail(QStringLiteral("%1 is %2, not a regular file: not written over").arg(path, kind));
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("cannot make the folder %1").arg(info.absolutePath()));
    QSaveFile file(info.absoluteFilePath());
    // Unbuffered: a buffered QSaveFile flushes in commit() and does not look at that flush's
    // failure, so a small file on a full disk was "completed" empty.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    // A write that stops short (the disk filled up) sets no error; the next one names the cause.
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        done += n;
    }
    if (!file.commit()) {
        const int code = errno;
        const QString why = file.error() != QFileDevice::NoError
            ? file.errorString()
            : QString::fromLocal8Bit(std::strerror(code));
        return fail(QStringLiteral("cannot complete %1: %2").arg(path, why));
    }
    return true;
}

QString directoryWriteProblem(const QString &dir)
{
    const QFileInfo info(dir);
    if (!info.isDir())
        return QStringLiteral("%1 is not a directory").arg(dir);
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".quorvel-write-test-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("files cannot be made in %1: %2").arg(dir, probe.errorString());
    return QString();
}

bool writeImageAtomically(const QString &path, const QImage &image, QString *error)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    QImageWriter writer(&buffer, format);
    // PNG is lossless: the fastest zlib level (quality 80 here) halves the encoding time of a grey
    // slice for a file about a tenth larger, and the pixels are the same.
    if (format == "png")
        writer.setQuality(80);
    // The resolution is written as a fixed 96 dpi, not the screen's: the window and the command
    // write the same bytes for the same slice.
    QImage fixed = image;
    fixed.setDotsPerMeterX(imageDotsPerMeter);
    fixed.setDotsPerMeterY(imageDotsPerMeter);
    if (!writer.write(fixed)) {
        if (error)
            *error = QStringLiteral("cannot encode %1: %2").arg(path, writer.errorString());
        return false;
    }
    return writeFileAtomically(path, bytes, error);
}
