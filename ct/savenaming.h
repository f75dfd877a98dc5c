#pragma once

// Qt
#include <QString>
#include <QStringList>

/// Where saved slices go: the sub-folder options of the saver.
struct SubFolderRule
{
    bool subFolders = false; // "Save in Sub Folders"
    bool ofEnergy = false; // a folder named by the tag
    bool ofSlice = true; // a folder named by the slice number
};

/// The slice number as at least five digits ("%05d").
QString sliceText(int slice);

/// Why a name or tag cannot be used in file and folder names (empty when it can): a path separator
/// or ".." could place files outside the folder chosen to save in.
QString saveNameProblem(const QString &name, const QString &tag);

/// "name-tag-slice.ext", or "tag-slice.ext" when the name is empty.
QString ctFileName(const QString &name, const QString &tag, const QString &slice, const QString &extension);

/// The folders a file is written into: the directory itself, or with sub-folders the tag folder
/// (of energy), the slice folder (of slice, or when neither is chosen), or both.
QStringList targetDirs(
    const QString &dir, const QString &tag, const QString &slice, const SubFolderRule &rule);
