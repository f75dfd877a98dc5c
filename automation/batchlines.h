#pragma once

// Qt
#include <QStringList>

// Local
#include <vector>

/// A command line of a batch file and the number of the file line it begins on (from 1).
struct NumberedLine
{
    QString text;
    int number = 0;
};

/// The command lines of a batch file's text lines: each line's comment is cut off; a line whose
/// last non-blank character is a backslash continues on the next line (the backslash and what
/// follows it are dropped and the next line is appended, as in a shell); lines that end up empty
/// are left out, while a line of blanks is kept (it does nothing).
/// \test tst_batch.cpp
std::vector<NumberedLine> numberedCommandLines(const QStringList &fileLines);
/// The texts of `numberedCommandLines`.
QStringList batchCommandLines(const QStringList &fileLines);
