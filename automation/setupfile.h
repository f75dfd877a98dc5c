#pragma once

// Qt
#include <QList>
#include <QString>

/// One setting of a setup file: a command word and the value text that the command reads back.
struct SetupEntry
{
    QString key;
    QString value;
};

/// A group of settings under its heading line.
struct SetupSection
{
    QString heading;
    QList<SetupEntry> entries;
};

/// The first line of every setup file.
QString setupFileTitle();

/// An entry line: the key left-justified in a field of 25 characters, then the value (a key of 25
/// characters or more is followed by one blank).
QString setupEntryLine(const QString &key, const QString &value);

/// The whole text: the title and an empty line, then each section as its heading, an empty line
/// and its entry lines, with one more empty line before every heading after the first.
/// \test tst_batch.cpp
QString setupFileText(const QList<SetupSection> &sections);

// Value texts as the commands read them back.
QString setupFlag(bool on);
/// General notation with 6 significant digits.
QString setupReal(double v);
/// A text as it reads back whole through the line tokenizer: in double quotes when it holds white
/// space or a "#", else unchanged. A text with a double quote that no form can carry is warned of.
QString setupText(const QString &text);
/// "DIR *.SUFFIX" for the first file of a list: where the files came from and their kind.
QString setupDirPattern(const QString &firstFile);
/// "DIR NAME" for a file that holds a whole data set (a scan file).
QString setupDirFile(const QString &file);
