#include "view3d/memorylimit.h"

// Qt
#include <QFile>

// Local
#include <limits>
#include <unistd.h>

int64_t availableMemoryBytes()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // "MemAvailable:   12345678 kB"
        while (!meminfo.atEnd()) {
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
    if (pages > 0 && pageSize > 0)
        return int64_t(pages) * pageSize;
    return std::numeric_limits<int64_t>::max() / 2;
}
