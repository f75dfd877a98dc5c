#pragma once

// Qt
#include <QString>

/// Whether `name` exists but is no regular file (after following links): a FIFO, a socket, a device
/// or a directory. Readers refuse such names before opening them, since opening a FIFO blocks until
/// a writer comes and a device such as /dev/zero never ends.
bool isSpecialFile(const QString &name);
