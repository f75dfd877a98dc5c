#pragma once

// Qt
#include <QString>

// Local
#include "ct/ctimagefile.h"
#include "ct/offsetaxis.h"
#include <optional>
#include <vector>

struct ProjectionSet;

/// The offset axis of a run that the window and the command share: whether a data set may be
/// stitched, where its axis is searched, and how the axis is reported. A stitched run reconstructs
/// the sinogram of `SinogramRequest::offsetAxis` at the run's centre, which is the axis in columns
/// of the recorded lines.
/// \test tst_offsetaxisrun.cpp, tst_bodycalc.cpp

/// What keeps a run over `rangeDeg` from being stitched: a range other than 360° or a partial data
/// set (the stitched rows pair every projection with the one facing it). Empty when it may be.
QString offsetAxisRunProblem(double rangeDeg, bool partial);

/// What keeps `cor` from being the axis of a stitched sinogram on lines of `lineLength` pixels (an
/// axis outside 1 … L − 2). Empty when it may be.
QString offsetAxisCorProblem(double cor, int lineLength);

/// Whether a stitched slice is computed whole rather than over `calcRegion`: while the region is
/// the one a load sets, the recorded line 0 … L − 1, which would cut the stitched slice, about twice
/// as wide, down to its middle. A region chosen otherwise is kept.
bool stitchedSliceWhole(const Region &calcRegion, int lineLength);

/// "offset axis: C (overlap O pixels, axis near the right edge)", C in recorded columns.
QString offsetAxisText(double cor, int lineLength);

/// The slices an axis search of a run over `from` … `to` compares: that slice alone for one, else
/// five spread inside the range (its ends are left out: a sample seldom fills the first and last
/// lines). Every task of a run split into blocks searches the same slices, so all find one axis.
std::vector<int> offsetAxisSearchSlices(int from, int to);

/// The axis of the offset-axis scan `set` (every projection over 360° loaded, at least the lines of
/// `slices`), searched at `slices`; none, with the reason in `problem`, when no overlap matches.
std::optional<OffsetAxisGuess> searchOffsetAxis(
    const ProjectionSet &set, bool rowLines, const std::vector<int> &slices, QString *problem);
