#pragma once

// Qt
#include <QFileInfoList>
#include <QStringList>

/// The entries of folder `dir` whose names match `patterns` (wildcards; hidden names left out), in
/// name order (case-sensitive), whatever they are: regular files, and also folders, named pipes,
/// sockets, devices and links that lead nowhere. The readers refuse those by name, so that a stray
/// entry among the projections fails the load like an unreadable file instead of vanishing from the
/// list, which would shift every later projection's angle.
/// \test tst_itexreader.cpp
QFileInfoList imageFileEntries(const QString &dir, const QStringList &patterns);
