#include "widgets/numberfield.h"

// Qt
#include <QCoreApplication>
#include <QLineEdit>
#include <QString>

// Local
#include "widgets/statestyles.h"
#include <cmath>

namespace {

const char ownToolTip[] = "qvOwnToolTip";
const char ownStyle[] = "qvOwnStyle";
const char marked[] = "qvNotANumber";

void markField(QLineEdit *edit, NumberKind kind)
{
    const bool bad = !edit->text().trimmed().isEmpty() && !isNumberText(edit->text(), kind);
    const bool wasBad = edit->property(marked).toBool();
    if (bad == wasBad)
        return;
    edit->setProperty(marked, bad);
    if (bad) {
        edit->setProperty(ownToolTip, edit->toolTip());
        edit->setProperty(ownStyle, edit->styleSheet());
        edit->setStyleSheet(ButtonStyle::failed);
        edit->setToolTip(kind == NumberKind::Integer
                ? QCoreApplication::translate("NumberField", "Not a whole number: read as 0")
                : QCoreApplication::translate("NumberField", "Not a number: read as 0"));
    } else {
        edit->setStyleSheet(edit->property(ownStyle).toString());
        edit->setToolTip(edit->property(ownToolTip).toString());
    }
}

} // namespace

bool isNumberText(const QString &text, NumberKind kind)
{
    bool ok = false;
    if (kind == NumberKind::Integer) {
        text.trimmed().toInt(&ok);
        return ok;
    }
    const double v = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(v);
}

void watchNumberField(QLineEdit *edit, NumberKind kind)
{
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, kind] { markField(edit, kind); });
    markField(edit, kind);
}
