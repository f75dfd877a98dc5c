#pragma once

// Qt
#include <QByteArray>

// Local
#include "xafs/volume.h"
#include <optional>
#include <span>

/// One line of `shifts.tsv`.
struct ShiftRecord
{
    double energy = 0.0; // eV
    std::optional<Shift3> shift; // none when the energy could not be registered
    std::optional<double> peak; // none when it could not be compared with the reference
};

/// The text of `shifts.tsv`: the header line "# energy_eV<TAB>dz<TAB>dy<TAB>dx<TAB>peak", then one
/// line per record in the given (energy) order; shifts in voxels to 1e-4, "nan" for what is unknown.
/// \test tst_seriesalign.cpp
QByteArray shiftsTable(std::span<const ShiftRecord> records);
