#pragma once

// Qt
#include <QString>

// Local
#include <cstddef>
#include <memory>

/// A temporary file for decoded frames, beside a run's output or in a folder of the user's choice.
/// It has no name in the folder while it is used (made without one where the file system allows,
/// else named and unlinked at once), so the system frees its room when the process ends, however it
/// ends: a run that is killed leaves nothing behind. Its room is reserved when it is made, so a
/// folder that cannot hold it is known before anything is written. Reads and writes at given
/// offsets, from any thread.
/// \test tst_decodedbands.cpp
class ScratchFile
{
public:
    /// A file of `bytes` bytes in `folder`; none, with `error` saying why, when the folder cannot
    /// take it. Names left by processes of this machine that ended in the moment between naming
    /// and unlinking their file are removed first.
    static std::unique_ptr<ScratchFile> create(const QString &folder, qint64 bytes, QString &error);
    ~ScratchFile();
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    bool write(qint64 offset, const void *data, size_t bytes, QString &error) const;
    bool read(qint64 offset, void *data, size_t bytes, QString &error) const;
    qint64 size() const { return size_; }

    /// The prefix of a named scratch file: "quorvel-scratch-HOST-PID-".
    static QString namePrefix(const QString &host, qint64 pid);
    /// Removes the scratch files in `folder` named by this machine's processes that no longer run;
    /// how many were removed.
    static int removeStale(const QString &folder);

private:
    ScratchFile(int fd, qint64 size)
        : fd_(fd)
        , size_(size)
    {
    }
    int fd_ = -1;
    qint64 size_ = 0;
};
