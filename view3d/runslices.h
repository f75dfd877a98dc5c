#pragma once

// Qt
#include <QString>
#include <QStringList>

/// The kinds of slice files a set can stack: one kind per set.
enum class SliceFileKind { Data, Tiff, Png, Other };

/// The kind by the file's suffix (".dat", ".tif"/".tiff", ".png"; any case).
SliceFileKind sliceFileKind(const QString &path);

/// Slice files chosen for a stack, and what was left out of it.
struct SliceFileChoice
{
    QStringList files;
    SliceFileKind kind = SliceFileKind::Other;
    int leftOutKinds = 0; // files of the other kinds
    int leftOutSeries = 0; // files of other series (another name or tag) of the kind kept
    /// What was left out, for the log; empty when nothing was.
    QString leftOutText() const;
};

/// Keeps the files of one kind, in the order given: the kind most of them are (data files before
/// TIFF before PNG before other files when as many). Other files (any other suffix) count as one kind.
SliceFileChoice oneKindOfSlices(const QStringList &files);

/// The slice files a run saved into `dir` and its sub-folders (of energy, of slice, of both), of one
/// kind and one series ("name-tag"), in slice order (the number after the last "-" of the name).
/// Files of other suffixes are not slices of a run and are passed over unsaid.
/// At most `maxFiles` files are looked at: a folder picked by mistake is never walked for long.
SliceFileChoice runSliceFiles(const QString &dir, int maxFiles = 100000);
