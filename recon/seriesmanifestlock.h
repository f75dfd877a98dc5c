#pragma once

// Qt
#include <QString>

// Local
#include "recon/seriesmanifest.h"
#include <memory>
#include <optional>

/// The hidden folder of an output folder that holds its lock files.
inline QString seriesLockFolder()
{
    return QStringLiteral(".series-locks");
}

/// An advisory lock (flock) on a lock file of a series' output folder, held while the object lives.
/// The system releases it when the process ends however it ends, so a killed run leaves no stale
/// lock behind. Lock files are opened without waiting and must be regular files.
/// \test tst_series.cpp
class SeriesLock
{
public:
    enum class Mode { Shared, Exclusive };

    /// The lock on `path` (made when missing), waiting up to `waitMs` for another holder to let go;
    /// none, with `why`, when it is not had. An exclusive holder's host and process are written into
    /// the file, so that one refused can name it.
    static std::unique_ptr<SeriesLock> take(const QString &path, Mode mode, int waitMs, QString &why);
    ~SeriesLock();
    SeriesLock(const SeriesLock &) = delete;
    SeriesLock &operator=(const SeriesLock &) = delete;

    /// "host beamline-1, process 4711": this process, as an exclusive holder names itself.
    static QString holderText();

private:
    SeriesLock(int fd, Mode mode)
        : fd_(fd)
        , mode_(mode)
    {
    }
    int fd_ = -1;
    Mode mode_;
};

/// The locks of a data set that one run writes, held while the claim lives.
struct SeriesClaim
{
    std::unique_ptr<SeriesLock> set;
    std::unique_ptr<SeriesLock> block;
};

/// Claims a data set (`block` < 0: all of it; else the block of its slices beginning at slice
/// `block`, a job-array task's share) for this run, so that of two runs that would write the same
/// files at once the second refuses. A whole set is claimed exclusively and each block shares it,
/// so that the tasks of one set run side by side while no whole run of the set does. None, with
/// `why` naming the holder where it can, when another run holds it.
std::optional<SeriesClaim> claimSeriesSet(const QString &outDir, const QString &tag, int block, QString &why);

/// Puts `entry` into the manifest `path` under the manifest's lock: read, merged (`putManifestEntry`)
/// and written whole, so that runs on other sets of the folder keep their lines. False, with
/// `error`, when the manifest is no regular file, cannot be read or written, or stays locked.
bool recordManifestEntry(const QString &path, const ManifestEntry &entry, QString *error = nullptr);
