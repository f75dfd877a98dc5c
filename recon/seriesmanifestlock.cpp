#include "recon/seriesmanifestlock.h"

// Qt
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QThread>

// Local
#include "config/specialfile.h"
#include "ct/atomicfile.h"
#include "recon/reconlog.h"
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The manifest is locked only for a read and a write: a run waits this long for another's.
constexpr int manifestWaitMs = 30000;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// What an exclusive holder wrote into the lock file.
QString holderOf(int fd)
{
    char text[512];
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? QString::fromUtf8(text, n).trimmed() : QString();
}

} // namespace

QString SeriesLock::holderText()
{
    return QStringLiteral("host %1, process %2").arg(QSysInfo::machineHostName()).arg(::getpid());
}

std::unique_ptr<SeriesLock> SeriesLock::take(const QString &path, Mode mode, int waitMs, QString &why)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        why = QStringLiteral("cannot make the folder %1").arg(info.absolutePath());
        return nullptr;
    }
    // Without waiting: a named pipe in the lock file's place must not block the run.
    const int fd
        = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        why = QStringLiteral("cannot open the lock file %1: %2").arg(path, systemError());
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = QStringLiteral("the lock file %1 is %2, not a regular file").arg(path, specialFileKind(path));
        ::close(fd);
        return nullptr;
    }
    const int operation = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    const QDeadlineTimer deadline(waitMs);
    while (::flock(fd, operation) != 0) {
        if (errno == ENOLCK || errno == EOPNOTSUPP) {
            // A file system without locks (an NFS mount without its lock service): the run goes on
            // as it did before locks, said once per lock.
            qCWarning(lcRecon).noquote() << QStringLiteral("The file system takes no lock on %1 (%2): runs into this "
                                                           "folder at once may lose manifest lines")
                                                .arg(path, systemError());
            return std::unique_ptr<SeriesLock>(new SeriesLock(fd, Mode::Shared));
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            why = QStringLiteral("cannot lock %1: %2").arg(path, systemError());
            ::close(fd);
            return nullptr;
        }
        if (deadline.hasExpired()) {
            const QString holder = holderOf(fd);
            why = holder.isEmpty() ? QStringLiteral("another run holds it")
                                   : QStringLiteral("%1 holds it").arg(holder);
            ::close(fd);
            return nullptr;
        }
        QThread::msleep(20);
    }
    if (mode == Mode::Exclusive) {
        const QByteArray me = (holderText() + u'\n').toUtf8();
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, me.constData(), size_t(me.size()), 0) != me.size()) {
            // Naming the holder is a courtesy to the refused; the lock holds without it.
        }
    }
    return std::unique_ptr<SeriesLock>(new SeriesLock(fd, mode));
}

SeriesLock::~SeriesLock()
{
    // An exclusive holder takes its name back out: the next holder may be a shared one.
    if (mode_ == Mode::Exclusive && ::ftruncate(fd_, 0) != 0) { }
    ::close(fd_); // releases the lock
}

std::optional<SeriesClaim> claimSeriesSet(const QString &outDir, const QString &tag, int block, QString &why)
{
    const QDir claims(QDir(outDir).filePath(seriesLockFolder()));
    SeriesClaim claim;
    claim.set = SeriesLock::take(claims.filePath(tag + QStringLiteral(".lock")),
        block < 0 ? SeriesLock::Mode::Exclusive : SeriesLock::Mode::Shared, 0, why);
    if (!claim.set) {
        why = QStringLiteral("its files are being written by another run (%1)").arg(why);
        return std::nullopt;
    }
    if (block < 0)
        return claim;
    claim.block = SeriesLock::take(
        claims.filePath(QStringLiteral("%1-%2.lock").arg(tag).arg(block, 5, 10, QLatin1Char('0'))),
        SeriesLock::Mode::Exclusive, 0, why);
    if (!claim.block) {
        why = QStringLiteral("its block of slices is being written by another run (%1)").arg(why);
        return std::nullopt;
    }
    return claim;
}

bool recordManifestEntry(const QString &path, const ManifestEntry &entry, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(path);
    QString why;
    const std::unique_ptr<SeriesLock> lock
        = SeriesLock::take(QDir(info.absoluteDir().filePath(seriesLockFolder()))
                               .filePath(info.fileName() + QStringLiteral(".lock")),
            SeriesLock::Mode::Exclusive, manifestWaitMs, why);
    if (!lock)
        return fail(QStringLiteral("the manifest %1 stays locked: %2").arg(path, why));
    std::vector<ManifestEntry> entries;
    if (!readManifest(path, entries, &why))
        return fail(why);
    putManifestEntry(entries, entry);
    return writeFileAtomically(path, manifestText(entries), error);
}
