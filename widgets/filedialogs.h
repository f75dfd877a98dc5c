#pragma once

// Qt
#include <QFileDialog>

/// The options of every file and directory dialog of the window: the toolkit's own dialog, which
/// speaks the interface's language (Japanese unless "-e"), unless the configuration value
/// "native_dialog" is 1, which asks for the desktop's dialog (in the desktop's language).
QFileDialog::Options fileDialogOptions();
