#pragma once

// Qt
#include <QString>

// Local
#include <span>

/// How the rotation angles of a data set's projections fit the even steps the reconstruction
/// assumes: Δθ = range / images, projection k at origin + k · Δθ.
struct AngleFit
{
    bool ok = false;
    double rangeDeg = 0.0; // the data-set range: 180, 360 or the range asked for, signed like the steps
    int images = 0; // projections spanning it: all of them, or one less when the last is at the end angle
    double stepDeg = 0.0; // the mean step
    double firstDeg = 0.0; // the angle of the first projection: the data set's angle origin
    QString problem; // why the angles cannot be used

    /// "181 projections 1° apart over 180°, the last at the end angle".
    QString summary(int projections) const;
};

/// Fits the angles (degrees, one per projection in order): they must step evenly, every step within
/// 1 % of the mean step, and cover 180°, 360° or `rangeDeg` (the range the user set) either without
/// the end angle (N steps) or with it (N − 1 steps: the last projection faces the first). Otherwise
/// the fit fails and says why, naming the first uneven step.
/// \test tst_hdf5scan.cpp
AngleFit fitAngles(std::span<const double> anglesDeg, double rangeDeg);
