#pragma once

// Qt
#include <QString>
#include <QStringList>

/// How the viewer is told to load the saved data files of one slice.
struct SliceLoadRequest
{
    bool byPattern = false; // every "*.dat" of `patternPath`, else the files of `files`
    QString patternPath; // absolute directory with forward slashes, then "\", slice text, "\"
    QStringList files; // absolute paths, by name
};

/// The request for slice `slice` of the data files saved into `saveDir` with the window's
/// sub-folder options:
/// - sub-folders of slice: the slice folder, by pattern (its files need not exist yet);
/// - sub-folders without "of slice": the files "*-NNNNN.dat" of every folder inside `saveDir`
///   (energy folders, or slice folders when neither option was chosen);
/// - no sub-folders: the files "*-NNNNN.dat" of `saveDir` itself.
/// An empty `saveDir` names no files.
/// \test tst_zelmaplink.cpp
SliceLoadRequest sliceLoadRequest(const QString &saveDir, bool subFolders, bool ofSlice, int slice);
