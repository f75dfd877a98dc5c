#pragma once

// Qt
#include <QString>

// Local
#include "xafs/xanesoptions.h"

class QTextStream;

/// Runs quorvel-xanes as `options` ask, with its lines on `out` (progress: a line per energy aligned,
/// the mask's threshold, the maps' progress with the time left, the summary) and `err` (warnings and
/// failures, each after "PROGRAM: "):
/// - a series folder is aligned (SeriesAligner) and, with --edge, its maps made from the aligned.h5
///   just written; with --no-align and --edge the maps are made from the slices as they are;
/// - an aligned file is only analysed.
/// Options of the maps are checked against the series' energies and the standards read before
/// anything is aligned. With --spectrum one voxel's spectrum is printed instead of the maps.
/// The exit status: 0 when everything asked is done; 1 when the alignment failed in part (the maps
/// are still made from the energies aligned), the input cannot be read or a file is not written;
/// 2 for options that do not fit the series (its energies, a standard that cannot be read or does
/// not cover the fit, a voxel outside the volume).
/// runs on: the calling thread (with an event loop of its own while aligning)
/// \test tst_xanesfiles.cpp
int runXanes(const XanesOptions &options, QTextStream &out, QTextStream &err, const QString &program);
