#pragma once

// Qt
#include <QFileDialog>

/// The options of every file and directory dialog of the window: the toolkit's own dialog, which
/// speaks the interface's language (Japanese unless "-e"), unless the configuration value
/// "native_dialog" is 1, which asks for the desktop's dialog (in the desktop's language).
QFileDialog::Options fileDialogOptions();

/// The folder a file or folder dialog opens in: the folder that dialog used last while it is still
/// there, else the data's folder (that of the projections loaded) while it is there, else `root`
/// (the data root: "-d" or "DataRoot", the home folder only when neither is given).
/// \test tst_panels.cpp
QString dialogStartDir(const QString &lastUsed, const QString &dataFolder, const QString &root);
/// The same with the data's folder of this window and the data root.
QString dialogStartDir(const QString &lastUsed);
/// The folder of the projections loaded (a load sets it); dialogs open there before they are used.
void setDataFolder(const QString &dir);
QString dataFolder();

/// A dialog closed with Return while the completion list of its file-name field showed leaves that
/// list on screen (it is a window of its own): it is closed with the dialog, whichever way it ends.
void closeCompletionsWhenFinished(QDialog *dialog);
