#pragma once

// Qt
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

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

struct BatchCmd;

/// The lines of a setup file. Nothing when it is no regular file, larger than the batch file limit
/// or cannot be read; `why` then says so in the words of the log ("can't open save setup file : ").
std::optional<QStringList> readSetupLines(const QString &fileName, QString &why);

/// The data a setup line names that is not there: the folder and patterns of "images_load" when no
/// file of the folder matches, the image of "i0_load" or "bg_load" when there is no such file.
/// Empty when the data is there or the line names none (an empty "i0_load" clears the image).
/// \test tst_batch.cpp
QString missingSetupData(const BatchCmd &cmd);
