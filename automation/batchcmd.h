#pragma once

// Qt
#include <QMetaType>
#include <QString>
#include <QStringList>

/// One parsed command line of a batch file, a setup file or the configuration file.
/// \test tst_batch.cpp
struct BatchCmd
{
    QString line; // the whole source line
    QString cmd; // the command word: the first item of the line
    QStringList args; // the following items, in order
};

Q_DECLARE_METATYPE(BatchCmd)

/// Splits a line into its command word and arguments with the shared tokenizer. An empty item
/// (two double quotes) ends the argument list: items after it are not read.
BatchCmd parseBatchCmd(const QString &line);

// The ways a command reads its arguments (n counts from 0). A missing argument reads as 0, off or
// empty; so does text that is not a number (not-a-number and infinities included).

/// On only when the argument reads as the integer 1.
bool flagArg(const BatchCmd &cmd, int n = 0);
/// A decimal integer that fits 32 bits, else 0.
int intArg(const BatchCmd &cmd, int n = 0);
/// A finite decimal number, else 0.
double realArg(const BatchCmd &cmd, int n = 0);
/// The argument unchanged, or empty.
QString textArg(const BatchCmd &cmd, int n = 0);
