#pragma once

// Qt
#include <QString>

// The line tokenizer shared by every line-oriented reader: the configuration file, batch files,
// the ITEX comment and the viewer link. Items are separated by white space; an item that begins
// with a double quote runs to the next double quote (there is no escape character); "#" outside
// quotes starts a comment.

/// Splits the next item off `text` into `item` and returns the rest of the text. The rest keeps
/// the white space that separated the item from what follows.
QString takeItem(const QString &text, QString &item);

/// The line without its comment: the text before the first "#" that stands outside quotes.
/// Apostrophes and double quotes toggle the same inside-quotes flag.
QString stripComment(const QString &line);

/// True when the line holds nothing but white space once its comment is cut off.
bool isBlankLine(const QString &line);
