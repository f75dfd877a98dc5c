#pragma once

// Qt
#include <QString>

// Local
#include "config/joboutcome.h"
#include "recon/seriesmanifest.h"

/// How a data set of a series is recorded, alike by the window, a batch and the command.

/// The outcome a manifest line says of a set's run: "done", or "failed: " and what failed (stopped,
/// slices that failed, the first reason and the other problems).
QString manifestOutcome(const JobOutcome &outcome);

/// Records `entry` in the manifest of the folder `dir`, in place of the entry of the same tag: under
/// the manifest's lock, read, merged and written anew, whole, under its name only when complete, so
/// that a run that stops leaves the lines of every set it finished and runs on other sets of the
/// folder keep theirs. False (with the reason in `error`) when it could not be written.
bool recordInManifest(const QString &dir, const ManifestEntry &entry, QString *error);
