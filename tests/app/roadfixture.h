#pragma once

// Qt
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStringList>

// Local
#include "app/body.h"
#include "imagedata/ui/selectdatafiles.h"

// Small steps the window tests take again and again.

/// Writes `bytes` as the whole of file `path`.
inline bool writeText(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

/// Chooses `files` as raw images and waits for the load to end.
inline bool loadFiles(Body &body, const QStringList &files, int timeoutMs = 10000)
{
    QSignalSpy done(&body, &Body::finishedLoadingCTFiles);
    body.ui().CTFiles->filesChosen(files);
    return done.wait(timeoutMs);
}

/// Chooses the files of `dir` that match `filters` (none: the selector's own) and waits for the load.
inline bool loadDir(Body &body, const QString &dir, const QStringList &filters = {}, int timeoutMs = 10000)
{
    QSignalSpy done(&body, &Body::finishedLoadingCTFiles);
    body.ui().CTFiles->selectDirFiles(dir, filters);
    return done.wait(timeoutMs);
}

/// Writes `lines` as batch file `path` and starts it in the window.
inline bool startBatch(Body &body, const QString &path, const QStringList &lines)
{
    if (!writeText(path, (lines.join(u'\n') + u'\n').toUtf8()))
        return false;
    body.batchLoad(path);
    body.batchExec();
    return true;
}

/// The files `names` (relative paths) hold the same bytes under `a` and `b`; else the first that
/// differs or is missing.
inline QString firstDifferentFile(const QString &a, const QString &b, const QStringList &names)
{
    for (const QString &name : names) {
        QFile fa(QDir(a).filePath(name)), fb(QDir(b).filePath(name));
        if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.readAll() != fb.readAll())
            return name;
    }
    return {};
}

/// The whole text of file `path`; empty if it cannot be read.
inline QString readText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(f.readAll()) : QString();
}

/// The bytes of file `path`; empty if it cannot be read.
inline QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
