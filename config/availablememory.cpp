#include "config/availablememory.h"

// Qt
#include <QDir>
#include <QFile>

// Local
#include <limits>
#include <unistd.h>

namespace {

constexpr qint64 unknown = std::numeric_limits<qint64>::max() / 4;
// cgroup v1 writes "no limit" as the largest page-aligned 63-bit number; v2 as "max".
constexpr qint64 noLimit = qint64(1) << 60;

// The first number of a small file, -1 when it holds none (or "max").
qint64 fileNumber(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const qint64 value = f.read(64).trimmed().toLongLong(&ok);
    return ok && value >= 0 ? value : -1;
}

qint64 systemAvailable()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly | QIODevice::Text)) {
        while (!meminfo.atEnd()) { // "MemAvailable:   12345678 kB"
            const QByteArray line = meminfo.readLine();
            if (!line.startsWith("MemAvailable:"))
                continue;
            const QList<QByteArray> parts = line.simplified().split(' ');
            bool ok = false;
            const qint64 kb = parts.size() >= 2 ? parts[1].toLongLong(&ok) : 0;
            if (ok && kb > 0)
                return kb * 1024;
        }
    }
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : unknown;
}

// The lowest room of the process's control groups, v2 and v1 alike; -1 without a limit.
qint64 processCgroupRoom()
{
    QFile self(QStringLiteral("/proc/self/cgroup"));
    if (!self.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    qint64 room = -1;
    const auto lower = [&room](qint64 r) {
        if (r >= 0 && (room < 0 || r < room))
            room = r;
    };
    // "0::/path" (v2) or "4:memory:/path" (v1). Inside a container the group's own files are often
    // mounted at the root of the hierarchy, and its path from /proc does not exist there.
    for (const QByteArray &line : self.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() < 3)
            continue;
        const QString path = QString::fromUtf8(parts.mid(2).join(':'));
        QStringList roots;
        if (parts[0] == "0" && parts[1].isEmpty())
            roots << QStringLiteral("/sys/fs/cgroup") << QStringLiteral("/sys/fs/cgroup/unified");
        else if (parts[1].split(',').contains("memory"))
            roots << QStringLiteral("/sys/fs/cgroup/memory");
        for (const QString &root : std::as_const(roots)) {
            lower(cgroupRoom(root, root + path));
            lower(cgroupRoom(root, root));
        }
    }
    return room;
}

} // namespace

qint64 cgroupRoom(const QString &root, const QString &dir)
{
    const QString top = QDir::cleanPath(root);
    QString at = QDir::cleanPath(dir);
    if (!at.startsWith(top))
        return -1;
    qint64 room = -1;
    for (;;) {
        for (auto [limitFile, usageFile] : {std::pair {"memory.max", "memory.current"},
                 std::pair {"memory.limit_in_bytes", "memory.usage_in_bytes"}}) {
            const qint64 limit = fileNumber(at + u'/' + QLatin1String(limitFile));
            if (limit < 0 || limit >= noLimit)
                continue;
            const qint64 usage = std::max<qint64>(0, fileNumber(at + u'/' + QLatin1String(usageFile)));
            const qint64 r = std::max<qint64>(0, limit - usage);
            if (room < 0 || r < room)
                room = r;
        }
        if (at.size() <= top.size())
            break;
        at = QDir::cleanPath(at + QStringLiteral("/.."));
    }
    return room;
}

qint64 availableMemory()
{
    bool ok = false;
    const qint64 given = qEnvironmentVariable("QV_AVAILABLE_MEMORY").toLongLong(&ok);
    if (ok && given >= 0)
        return given;
    qint64 available = systemAvailable();
    if (const qint64 room = processCgroupRoom(); room >= 0 && room < available)
        available = room;
    return available;
}

namespace {

// In decimal units, rounded up (a need) or down (a room), so that a shortage never reads as none.
QString amount(qint64 bytes, bool up)
{
    bytes = std::max<qint64>(bytes, 0);
    const std::pair<qint64, const char *> units[]
        = {{1000000000000, "TB"}, {1000000000, "GB"}, {1000000, "MB"}, {1000, "kB"}};
    for (auto [unit, name] : units) {
        if (bytes >= unit)
            return QStringLiteral("%1 %2")
                .arg(up ? (bytes + unit - 1) / unit : bytes / unit)
                .arg(QLatin1String(name));
    }
    return QStringLiteral("%1 bytes").arg(bytes);
}

} // namespace

QString memoryText(qint64 bytes)
{
    return amount(bytes, true);
}

QString memoryShortage(const QString &what, qint64 needed, qint64 available)
{
    if (needed <= available)
        return QString();
    return QStringLiteral("%1 needs %2, %3 are available")
        .arg(what, amount(needed, true), amount(available, false));
}
