#pragma once

// Qt
#include <QByteArray>
#include <QString>

// Local
#include <span>
#include <vector>

/// A reference spectrum of a known compound for the linear-combination fit: normalised absorption
/// over energy.
struct Standard
{
    QString name; // as given on the command line: fraction-NAME.tif
    QString file;
    std::vector<double> energy; // eV, rising
    std::vector<double> value; // normalised absorption

    /// The first and last energy it covers.
    double first() const { return energy.front(); }
    double last() const { return energy.back(); }
    /// Linear interpolation at `e`, within [first(), last()].
    double at(double e) const;
};

/// The most points a standards file may hold (a spectrum at 0.01 eV over 10 keV is 10⁶).
constexpr std::size_t maxStandardPoints = 1'000'000;

/// Reads a standards file's text: one point a line, the energy and the normalised absorption, apart
/// by blanks, tabs, a comma or a semicolon; "#" starts a comment; blank lines are passed over. The
/// energies are in eV, or in keV when every one is below 100 (then scaled by 1000), and must rise.
/// False, with the reason and the line in `error`, for a line that is not two finite numbers,
/// energies that do not rise, fewer than two points or more than `maxStandardPoints`.
/// \test tst_xanesfiles.cpp
bool parseStandard(const QByteArray &text, Standard &standard, QString &error);

/// Reads the standards file `standard.file` (a regular file of at most 64 MB) into `standard`.
bool readStandard(Standard &standard, QString &error);
