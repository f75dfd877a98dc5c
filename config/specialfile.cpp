#include "config/specialfile.h"

// Qt
#include <QFile>

// Local
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return QString();
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    return QStringLiteral("no regular file");
}

} // namespace

bool isSpecialFile(const QString &name)
{
    return !specialFileKind(name).isEmpty();
}

QString specialFileKind(const QString &name)
{
    struct stat st;
    if (name.isEmpty())
        return QString();
    const QByteArray path = QFile::encodeName(name);
    if (::stat(path.constData(), &st) == 0)
        return kindOf(st.st_mode);
    // A link to nothing, or a loop of links, stands where a file is looked for.
    if (::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode))
        return QStringLiteral("a link that leads nowhere");
    return QString();
}

RegularRead readRegularFile(const QString &name, qint64 limit, QByteArray &bytes, QString &why)
{
    bytes.clear();
    const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return RegularRead::Missing;
        why = QStringLiteral("%1 cannot be read: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno)));
        return RegularRead::Refused;
    }
    struct stat st;
    RegularRead result = RegularRead::Refused;
    if (::fstat(fd, &st) != 0) {
        why = QStringLiteral("%1 cannot be read: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno)));
    } else if (const QString kind = kindOf(st.st_mode); !kind.isEmpty()) {
        why = QStringLiteral("%1 is %2, not a regular file").arg(name, kind);
    } else if (st.st_size > limit) {
        why = QStringLiteral("%1 is larger than %2 bytes").arg(name).arg(limit);
    } else {
        result = RegularRead::Read;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n == 0)
                break;
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 || bytes.size() + n > limit) {
                why = n < 0 ? QStringLiteral("%1 cannot be read: %2")
                                  .arg(name, QString::fromLocal8Bit(std::strerror(errno)))
                            : QStringLiteral("%1 is larger than %2 bytes").arg(name).arg(limit);
                bytes.clear();
                result = RegularRead::Refused;
                break;
            }
            bytes.append(buffer, n);
        }
    }
    ::close(fd);
    return result;
}
