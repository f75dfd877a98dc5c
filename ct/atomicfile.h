#pragma once

// Qt
#include <QByteArray>
#include <QString>

class QImage;

/// Writes the bytes under a temporary name in the same folder and renames the file when it is
/// complete, so that a file under its final name is never half-written. Makes the folder (with
/// its parents) when needed. False, with the reason in `error`, when anything fails, or when a file
/// that is no regular one (a named pipe, a device, a folder) stands under the name.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);

/// Gives a file written under `temporary` its final name `path` (one rename in one folder, so that
/// no reader sees it half-written). On failure the complete file stays under its temporary name,
/// which `error` names with the reason: a finished result is never thrown away.
bool renameIntoPlace(const QString &temporary, const QString &path, QString *error = nullptr);

/// Whether files can be made in `dir` (an existing folder): empty when they can, else why not.
/// Made once before a run, so that an unusable folder is known before any slice is computed.
QString directoryWriteProblem(const QString &dir);

/// The resolution written into image files: 96 dots per inch.
constexpr int imageDotsPerMeter = 3780;

/// The same for an image, in the format its suffix names (PNG for ".png"), at `imageDotsPerMeter`.
bool writeImageAtomically(const QString &path, const QImage &image, QString *error = nullptr);
