#pragma once

// Qt
#include <QImage>
#include <QString>

// Local
#include <vector>

/// One energy in the alignment picture: its middle slice before and after the shift.
struct AlignmentPanel
{
    QString title; // "7090 eV, lowest"
    QString shift; // "dz +0.12 dy -1.40 dx +0.88", or why there is none
    int nx = 0;
    int ny = 0;
    std::vector<float> before; // nx × ny, or empty when the energy could not be read
    std::vector<float> after; // empty when it could not be aligned
};

/// The picture `alignment.png`: a column per energy (lowest, reference, highest), the slice before
/// the alignment above the slice after it, each energy's shift written under it. All slices share
/// the reference's grey scale (its 1st to 99th percentile); NaN (brought in from outside the volume)
/// is dark red; the same faint grid lies on every slice, so that drift shows as features moving
/// against it above and standing still below.
/// \test tst_seriesalign.cpp
QImage alignmentPicture(
    const std::vector<AlignmentPanel> &panels, int referencePanel, const QString &heading);
