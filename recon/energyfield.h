#pragma once

// Qt
#include <QString>

/// The energy written into a file or folder name, as the beamline names CT-XAFS data: a number with
/// "_" for the decimal point followed by its unit, "7112_5eV" or "7_112keV".
struct EnergyField
{
    QString text; // the field as written
    double value = 0.0; // the text up to its last digit, "_" read as ".", 0 when that is no number
    QString unit; // the text after the last digit
    double unitFactor = 1.0; // 1000 for keV in any letter case, else 1

    /// The energy in eV (when the unit is eV or keV).
    double energy() const { return value * unitFactor; }
};

/// Reads an energy field; a text without a digit has the value 0 and is all unit.
EnergyField parseEnergyField(const QString &text);

/// The text up to, not including, its last "-"; all of it when it has none.
QString beforeLastDash(const QString &text);
/// The text after its last "-"; all of it when it has none.
QString afterLastDash(const QString &text);

/// The energy field of a name "sample-energy-number.ext": the part between the last two "-".
inline QString energyFieldOfName(const QString &name)
{
    return afterLastDash(beforeLastDash(name));
}
