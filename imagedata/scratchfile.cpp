#include "imagedata/scratchfile.h"

// Qt
#include <QDir>
#include <QSysInfo>

// Local
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Whether process `pid` of this machine still runs (or may: one of another user answers EPERM).
bool running(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno != ESRCH);
}

// Reserves the room; where the file system cannot, checks that it has it.
bool reserve(int fd, const QString &folder, qint64 bytes, QString &error)
{
    if (bytes == 0 || ::fallocate(fd, 0, 0, off_t(bytes)) == 0)
        return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS) {
        error = QStringLiteral("%1 cannot take %2 MB of decoded frames (%3)")
                    .arg(folder)
                    .arg(bytes / 1e6, 0, 'f', 0)
                    .arg(systemError());
        return false;
    }
    struct statvfs fs = {};
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) == 0
        && qint64(fs.f_bavail) * qint64(fs.f_frsize) < bytes) {
        error = QStringLiteral("%1 has %2 MB free, the decoded frames need %3 MB")
                    .arg(folder)
                    .arg(qint64(fs.f_bavail) * qint64(fs.f_frsize) / 1e6, 0, 'f', 0)
                    .arg(bytes / 1e6, 0, 'f', 0);
        return false;
    }
    return ::ftruncate(fd, off_t(bytes)) == 0;
}

} // namespace

QString ScratchFile::namePrefix(const QString &host, qint64 pid)
{
    return QStringLiteral("quorvel-scratch-%1-%2-").arg(host).arg(pid);
}

int ScratchFile::removeStale(const QString &folder)
{
    const QString host = QSysInfo::machineHostName();
    const QString mine = QStringLiteral("quorvel-scratch-%1-").arg(host);
    int removed = 0;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({mine + u'*'}, QDir::Files | QDir::Hidden)) {
        bool ok = false;
        const qint64 pid = name.mid(mine.size()).section(u'-', 0, 0).toLongLong(&ok);
        if (ok && !running(pid) && QFile::remove(dir.filePath(name)))
            ++removed;
    }
    return removed;
}

std::unique_ptr<ScratchFile> ScratchFile::create(const QString &folder, qint64 bytes, QString &error)
{
    QDir().mkpath(folder);
    removeStale(folder);
    const QByteArray where = QFile::encodeName(folder);
    int fd = ::open(where.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) { // a file system without unnamed files: a name, removed at once
        QByteArray name = QFile::encodeName(QDir(folder).filePath(
            namePrefix(QSysInfo::machineHostName(), ::getpid()) + QStringLiteral("XXXXXX")));
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0)
            ::unlink(name.constData());
    }
    if (fd < 0) {
        error = QStringLiteral("no scratch file can be made in %1 (%2)").arg(folder, systemError());
        return nullptr;
    }
    std::unique_ptr<ScratchFile> file(new ScratchFile(fd, bytes));
    if (!reserve(fd, folder, bytes, error))
        return nullptr;
    return file;
}

ScratchFile::~ScratchFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool ScratchFile::write(qint64 offset, const void *data, size_t bytes, QString &error) const
{
    const char *p = static_cast<const char *>(data);
    while (bytes > 0) {
        const ssize_t n = ::pwrite(fd_, p, bytes, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = QStringLiteral("the scratch file cannot be written (%1)")
                        .arg(n < 0 ? systemError() : QString());
            return false;
        }
        p += n;
        offset += n;
        bytes -= size_t(n);
    }
    return true;
}

bool ScratchFile::read(qint64 offset, void *data, size_t bytes, QString &error) const
{
    char *p = static_cast<char *>(data);
    while (bytes > 0) {
        const ssize_t n = ::pread(fd_, p, bytes, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = QStringLiteral("the scratch file cannot be read (%1)")
                        .arg(n < 0 ? systemError() : QStringLiteral("it ends early"));
            return false;
        }
        p += n;
        offset += n;
        bytes -= size_t(n);
    }
    return true;
}
