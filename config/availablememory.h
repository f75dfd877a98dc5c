#pragma once

// Qt
#include <QString>
#include <QtGlobal>

/// Bytes a new allocation can have now: the system's available memory (MemAvailable of
/// /proc/meminfo), or the room left in the process's control group where that is lower (its limit
/// less its usage: cgroup v2 `memory.max` and `memory.current`, v1 `memory.limit_in_bytes` and
/// `memory.usage_in_bytes`, at every level up to the root). The environment variable
/// QV_AVAILABLE_MEMORY (bytes) replaces the figure, so that tests can size a job beyond memory
/// without allocating it. A very large number when nothing is known.
/// \test tst_availablememory.cpp
qint64 availableMemory();

/// The room left in the control group whose memory files are in `dir` and its parents up to `root`
/// (limit less usage, the lowest of the levels); -1 when no level sets a limit.
qint64 cgroupRoom(const QString &root, const QString &dir);

/// An amount of memory as people read it: "29 GB", "512 MB", "12 kB", "100 bytes" (decimal units,
/// rounded up, a need rounded up).
QString memoryText(qint64 bytes);

/// Empty when `needed` bytes fit into `available`; else "WHAT needs 29 GB, 23 GB are available".
QString memoryShortage(const QString &what, qint64 needed, qint64 available);
