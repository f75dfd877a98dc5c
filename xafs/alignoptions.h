#pragma once

// Qt
#include <QString>
#include <QStringList>

// Local
#include "xafs/phasecorrelation.h"
#include <array>
#include <optional>

/// What `quorvel-xanes` (and a series run's --align) is asked to do.
struct AlignOptions
{
    QString series; // the series folder: one folder per energy
    QString out; // where shifts.tsv, aligned.h5 and alignment.png go
    std::optional<double> referenceEnergy; // none: the highest
    std::optional<std::array<int, 6>> box; // Z0, Y0, X0, Z1, Y1, X1 inclusive, in the reference volume
    bool chain = false; // each energy to its neighbour, accumulated
    bool noAlign = false; // the volumes as they are, every shift 0
    int threads = 1;
    RegistrationSettings registration;
    double minimumPeak = 0.3; // an energy correlating less with the reference fails
    double chainTolerance = 0.2; // voxels between the chain's end and its direct registration
};
