#include "recon/energyfield.h"

QString beforeLastDash(const QString &text)
{
    const qsizetype dash = text.lastIndexOf(QLatin1Char('-'));
    return dash < 0 ? text : text.left(dash);
}

QString afterLastDash(const QString &text)
{
    const qsizetype dash = text.lastIndexOf(QLatin1Char('-'));
    return dash < 0 ? text : text.mid(dash + 1);
}

EnergyField parseEnergyField(const QString &text)
{
    EnergyField field;
    field.text = text;
    qsizetype lastDigit = -1;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
            lastDigit = i;
            break;
        }
    }
    QString number = text.left(lastDigit + 1);
    number.replace(QLatin1Char('_'), QLatin1Char('.'));
    bool ok = false;
    const double value = number.toDouble(&ok); // C locale; an overflow is no number either
    field.value = ok ? value : 0.0;
    field.unit = text.mid(lastDigit + 1);
    field.unitFactor = field.unit.toUpper() == QLatin1String("KEV") ? 1000.0 : 1.0;
    return field;
}
