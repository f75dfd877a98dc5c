#include "imagedata/hdf5probe.h"

// Qt
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProcess>

// Local
#include "config/specialfile.h"
#include "imagedata/hdf5scan.h"
#include "imagedata/imagedatalog.h"
#include <csignal>
#include <mutex>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// Files that passed, by path, as they were then: a file rewritten since is checked again.
struct Passed
{
    qint64 inode = -1;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    bool operator==(const Passed &) const = default;
};

std::mutex &passedMutex()
{
    static std::mutex mutex;
    return mutex;
}

QHash<QString, Passed> &passedFiles()
{
    static QHash<QString, Passed> files;
    return files;
}

Passed stampOf(const QString &path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return Passed {};
    return Passed {
        qint64(st.st_ino), qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool executable(const QString &path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isExecutable();
}

} // namespace

namespace scanprobe {

QString damagedText()
{
    return QStringLiteral("the HDF5 library could not read this file's structure: damaged or unsupported");
}

QByteArray passedWord()
{
    return QByteArrayLiteral("structure read");
}

QString program()
{
    const QString given = qEnvironmentVariable("QUORVEL_SCANPROBE");
    if (!given.isEmpty())
        return executable(given) ? given : QString();
    if (QCoreApplication::instance()) {
        const QString beside
            = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quorvel-scanprobe"));
        if (executable(beside))
            return beside;
    }
#ifdef QV_SCANPROBE_PATH
    if (executable(QStringLiteral(QV_SCANPROBE_PATH)))
        return QStringLiteral(QV_SCANPROBE_PATH);
#endif
    return QString();
}

int run(const QString &fileName)
{
    QString error;
    const std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::openHere(fileName, error);
    if (!scan)
        return 0; // refused with a reason: the caller's own opening gives it
    // What a run reads beyond the structure: the chunks at both ends of each dataset's index, raw,
    // and one row of the first and the last frame of each kind through the library's filters.
    std::vector<unsigned char> raw;
    for (int d = 0; d < scan->datasetCount(); ++d) {
        const Hdf5Scan::Storage &s = scan->storage(d);
        if (!s.chunked || s.frames == 0 || s.chunk[0] == 0)
            continue;
        std::uint32_t skipped = 0;
        for (std::uint64_t frame : {std::uint64_t(0), (s.frames - 1) / s.chunk[0] * s.chunk[0]})
            scan->readRawChunk(d, {frame, 0, 0}, raw, skipped, error);
    }
    std::vector<double> row(size_t(scan->width()));
    for (Hdf5Scan::Kind kind : {Hdf5Scan::Kind::Projection, Hdf5Scan::Kind::Flat, Hdf5Scan::Kind::Dark}) {
        const int count = scan->count(kind);
        for (int frame : {0, count - 1}) {
            if (frame >= 0)
                scan->readRect(
                    kind, frame, 0, 1, 0, scan->width(), Hdf5Scan::Samples::Float64, row.data(), error);
        }
    }
    return 0;
}

} // namespace scanprobe

bool probeScanFile(const QString &fileName, QString &error, int timeLimitMs)
{
    const QString key = QFileInfo(fileName).absoluteFilePath();
    const Passed before = stampOf(key);
    {
        const std::lock_guard<std::mutex> lock(passedMutex());
        const auto it = passedFiles().constFind(key);
        if (before.inode >= 0 && it != passedFiles().cend() && *it == before)
            return true;
    }
    const QString helper = scanprobe::program();
    if (helper.isEmpty()) {
        error
            = QStringLiteral("its structure cannot be checked: the helper quorvel-scanprobe is not installed "
                             "beside the program");
        return false;
    }
    QProcess child;
    child.setProgram(helper);
    child.setArguments({key});
    child.setStandardErrorFile(QProcess::nullDevice());
    // A child that faults writes no core file (the fault is the library's, and expected), and one
    // that the library keeps in a loop ends with this process or with its processor time.
    const rlim_t cpuSeconds = rlim_t(timeLimitMs / 1000 + 2);
    child.setChildProcessModifier([cpuSeconds] {
        const rlimit none {0, 0};
        setrlimit(RLIMIT_CORE, &none);
        const rlimit cpu {cpuSeconds, cpuSeconds + 1};
        setrlimit(RLIMIT_CPU, &cpu);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    child.start();
    if (!child.waitForStarted(timeLimitMs)) {
        error = QStringLiteral("its structure cannot be checked: %1 does not start (%2)")
                    .arg(helper, child.errorString());
        return false;
    }
    if (!child.waitForFinished(timeLimitMs)) {
        child.kill();
        child.waitForFinished(-1);
        qCWarning(lcImageData).noquote() << QStringLiteral(
            "The check of a scan file's structure took more than %1 s: the file is refused :")
                                                .arg(timeLimitMs / 1000.0)
                                         << key;
        error = scanprobe::damagedText();
        return false;
    }
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
        && child.readAllStandardOutput().trimmed() == scanprobe::passedWord();
    if (!passed) {
        qCWarning(lcImageData).noquote() << (child.exitStatus() == QProcess::CrashExit
                ? QStringLiteral("The HDF5 library faulted on a scan file's structure :")
                : child.exitCode() != 0
                ? QStringLiteral("The check of a scan file's structure ended with status %1 :")
                      .arg(child.exitCode())
                : QStringLiteral("The check of a scan file's structure ended without its result :"))
                                         << key;
        error = scanprobe::damagedText();
        return false;
    }
    if (before.inode >= 0) {
        const std::lock_guard<std::mutex> lock(passedMutex());
        passedFiles().insert(key, before);
    }
    return true;
}

std::shared_ptr<Hdf5Scan> Hdf5Scan::open(const QString &fileName, QString &error)
{
    error.clear();
    if (isSpecialFile(fileName)) {
        error = QStringLiteral("not a regular file");
        return nullptr;
    }
    if (!probeScanFile(fileName, error))
        return nullptr;
    return openHere(fileName, error);
}
