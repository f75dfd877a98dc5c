#pragma once

class QLineEdit;
class QString;

/// What a number field holds.
enum class NumberKind { Integer, Real };

/// True when `text` reads as a finite number of `kind` (blanks around it allowed).
bool isNumberText(const QString &text, NumberKind kind);

/// Marks `edit` red, with a tooltip that says so, while its text is not a number of `kind`: such a
/// field is read as 0, and a typo such as "13o.5" would otherwise pass unseen. The field's own
/// style and tooltip come back when the text is corrected. An empty field is not marked.
void watchNumberField(QLineEdit *edit, NumberKind kind);
