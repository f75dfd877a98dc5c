#pragma once

// Qt
#include <QByteArray>
#include <QString>

/// Whether `name` exists but is no regular file (after following links): a FIFO, a socket, a device,
/// a directory or a link that leads nowhere. Readers refuse such names before opening them, since opening a
/// FIFO blocks until a writer comes and a device such as /dev/zero never ends.
bool isSpecialFile(const QString &name);

/// What `name` is when it exists but is no regular file ("a named pipe", "a socket", "a device",
/// "a folder", "a link that leads nowhere" for a dangling link or a loop of links); empty for a
/// regular file, a link to one, or nothing at all.
QString specialFileKind(const QString &name);

/// How `readRegularFile` ended.
enum class RegularRead { Read, Missing, Refused };

/// Reads `name` whole when it is a regular file of at most `limit` bytes. The file is opened without
/// waiting, so a named pipe put in its place is refused instead of blocking until a writer comes.
/// `Missing` when there is no such file; `Refused`, with `why`, when it is no regular file, larger
/// than `limit` or cannot be read.
RegularRead readRegularFile(const QString &name, qint64 limit, QByteArray &bytes, QString &why);
