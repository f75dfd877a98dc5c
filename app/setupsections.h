#pragma once

// Qt
#include <QList>

// Local
#include "automation/setupfile.h"

class Sinogram;
class Ui_Body;
class XanesPanel;

/// The window's settings as the command lines of a setup file, under the file's headings: each
/// line sets a control back as it is now when the file is loaded (a setup file is a batch file).
/// The "XANES" tab's settings come under a heading of their own when any differs from its default.
QList<SetupSection> windowSetupSections(Ui_Body &ui, const Sinogram &sinogram, const XanesPanel &xanes);
