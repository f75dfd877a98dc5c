#pragma once

// Qt
#include <QStringList>

/// The command lines of a batch file's text lines: each line's comment is cut off; a line whose
/// last non-blank character is a backslash continues on the next line (the backslash and what
/// follows it are dropped and the next line is appended, as in a shell); lines that end up empty
/// are left out, while a line of blanks is kept (it runs as an empty command).
/// \test tst_batch.cpp
QStringList batchCommandLines(const QStringList &fileLines);
