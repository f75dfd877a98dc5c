#pragma once

// Qt
#include <QByteArray>
#include <QString>

/// The HDF5 library faults on some damaged files (a segmentation fault inside it, which no check of
/// ours can foresee). A scan file's structure is therefore first opened in a short-lived child
/// process, the helper `quorvel-scanprobe` installed beside the program: it opens the file as a run
/// does (its datasets, attributes, angles and keys, the index of its chunks) and reads its first and
/// last chunks. Only a file the child survived is opened by the program itself. A helper of its own
/// rather than the program re-invoked: every program that opens scan files (the window, the command,
/// the tests, the benchmarks) can start it, and it starts as a fresh process, inheriting none of the
/// caller's threads, locks or open files of the library, as a fork without exec would.
/// \test tst_hdf5probe.cpp
namespace scanprobe {

/// How long the child may take: far beyond any readable file's structure (tens of milliseconds on a
/// local disk, a few seconds on a slow network file system), short enough that a library caught in
/// a loop does not hold a load for long.
constexpr int timeLimitMs = 20000;

/// The reason given for a file the child did not survive or did not finish in time.
QString damagedText();

/// What the child writes on standard output once it has finished the check.
QByteArray passedWord();

/// The helper's path: $QUORVEL_SCANPROBE, else `quorvel-scanprobe` beside the running program, else
/// the one of the build tree; empty when none exists.
QString program();

/// The child's work on `fileName`; its exit status (0 when the file was read or refused with a
/// reason, which the caller's own opening will give again).
int run(const QString &fileName);

} // namespace scanprobe

/// Whether the library survives opening `fileName`'s structure in a child process. False, with
/// `error` set, when the child died on a signal, ran past `timeLimitMs` (it is then killed) or could
/// not be started. A file that passed keeps its pass, while its size and time stay the same, for the
/// rest of the process: a series opens each of its files several times.
bool probeScanFile(const QString &fileName, QString &error, int timeLimitMs = scanprobe::timeLimitMs);
