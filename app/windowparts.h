#pragma once

// Qt
#include <QString>

class CtCalc;
class CtDisp;
class CtView;
class ImgDatas;
class ProgressLine;
class RawDisp;
class Sinogram;
class Ui_Body;

/// What failed since the window was made: batch lines, slices, files not written and other results
/// asked for and missing (a refused save folder, an unreadable batch file, a manifest not written).
/// The exit status of an unattended run reads it.
struct Tally
{
    int linesFailed = 0;
    int slicesFailed = 0;
    int filesNotWritten = 0;
    int otherFailures = 0;
    bool clean() const { return linesFailed + slicesFailed + filesNotWritten + otherFailures == 0; }
    /// "2 lines failed, 3 slices failed, 1 file not written, 0 other results missing".
    QString text() const;
};

/// What the window's controllers work on: its form, the panels it owns and the tally of failures.
/// They live as long as the window; every controller reaches them on the main thread only.
struct WindowParts
{
    Ui_Body &ui;
    RawDisp *rawDisp = nullptr;
    Sinogram *sinogram = nullptr;
    CtCalc *ctCalc = nullptr;
    CtDisp *ctDisp = nullptr;
    CtView *ctView = nullptr;
    ImgDatas *images = nullptr;
    ProgressLine *progress = nullptr;
    Tally &tally;
};
