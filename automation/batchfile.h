#pragma once

// Qt
#include <QByteArray>
#include <QStringList>

// Local
#include <vector>

/// Where a command line of a batch run comes from, for its messages.
struct BatchLineOrigin
{
    QString file;
    int line = 0; // from 1

    /// "night.bat line 12".
    QString text() const;
};

/// The command lines of a batch file with their origins, INCLUDE lines replaced by the lines of the
/// files they name.
struct BatchFileLines
{
    QStringList lines;
    std::vector<BatchLineOrigin> origins; // one per line
};

/// Batch files larger than this are refused: a command file is a few kilobytes, and a large file
/// given by mistake must not be read into memory.
constexpr qint64 maxBatchFileBytes = 16 * 1024 * 1024;
/// INCLUDE lines are followed this many files deep.
constexpr int maxBatchIncludeDepth = 8;
/// More command lines than this, included ones counted, refuse the batch (a file that includes
/// another many times, which includes another many times, …).
constexpr qsizetype maxBatchLines = 1000000;

/// The text of a batch file's bytes: UTF-8, or Latin-1 when they are no valid UTF-8 (a leading
/// byte-order mark dropped). False, with `why`, when they are no text: a NUL byte, or a control
/// character other than tab, line feed, carriage return, vertical tab and form feed.
bool batchFileText(const QByteArray &bytes, QString &text, QString &why);

/// Reads the batch file `fileName` into command lines (`numberedCommandLines`); a line whose first
/// item is INCLUDE (in any case) is replaced by the lines of the file its second item names,
/// relative to the working folder as in configuration files. False, with `error` naming the file
/// (and the INCLUDE line) and the reason, when a file is no regular file, cannot be opened, is
/// larger than `maxBatchFileBytes` or no text, or when an INCLUDE would read a file being read (a
/// loop) or go deeper than `maxBatchIncludeDepth`: a batch is run whole or not at all.
/// \test tst_batch.cpp
bool readBatchFile(const QString &fileName, BatchFileLines &out, QString &error);
