#pragma once

// Qt
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Local
#include <cstddef>
#include <cstdint>

/// What every fuzz target shares: a scratch folder for the files an input becomes (on /dev/shm when
/// there is one, since every input rewrites them), and silence for the debug output, which the
/// readers write for every bad input.
namespace fuzz {

inline QString scratchPath(const QString &name)
{
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
            ? QStringLiteral("/dev/shm/quorvel-fuzz-XXXXXX")
            : QDir::tempPath() + QStringLiteral("/quorvel-fuzz-XXXXXX"));
    return dir.filePath(name);
}

inline void quiet()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

/// Writes `size` bytes to the scratch file `name` and returns its path.
inline QString writeScratch(const QString &name, const uint8_t *data, size_t size)
{
    const QString path = scratchPath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    return path;
}

} // namespace fuzz
