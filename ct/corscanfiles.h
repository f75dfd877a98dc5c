#pragma once

// Qt
#include <QByteArray>
#include <QImage>
#include <QString>

// Local
#include "ct/corscan.h"
#include "display/greyscale.h"
#include <vector>

/// What a scan of trial centres is written as: the trials' values as pages of one float TIFF, a
/// contact sheet of their pictures labelled with their centres, and a table of their scores.
/// \test tst_recon.cpp

/// "NAME-TAG-corscan-00012.EXT" (TAG-corscan-… without a name): the files of a scan of slice 12.
QString corScanFileName(const QString &name, const QString &tag, int slice, const QString &extension);

/// The part of a trial that is shown and compared: the region when one is set, else the square
/// about the rotation axis that holds the scan's common circle; in pixels of the trial's image.
Region corTrialShownRegion(const CorTrial &trial, const CorScoreSetup &score);

/// A trial's picture of that part through `scale`, 8-bit grey (null for a trial not reconstructed).
QImage corTrialPicture(const CorTrial &trial, const CorScoreSetup &score, const GreyScale &scale);

/// The grey scale of a scan's pictures: the value range of trial `best` over its shown part (all
/// trials through one scale, so that their contrast compares).
GreyScale corScanScale(const CorTrial &best, const CorScoreSetup &score);

/// All trials as pages of one 32-bit float TIFF file, each page `region` of its trial (pixels outside
/// a trial's image are 0), so that every page has one size and the file opens as one stack; the
/// slice and the trial's centre in the description. Empty, with the reason in `error`, when a trial
/// was not reconstructed or the file cannot be made.
QByteArray corScanTiff(
    const std::vector<CorTrial> &trials, int slice, const Region &region, QString *error = nullptr);

/// The contact sheet: the pictures side by side in rows of up to seven, each labelled with its
/// centre under it, the best framed and its label starred. 8-bit grey.
QImage corScanSheet(const std::vector<CorTrial> &trials, int best, const CorScoreSetup &score,
    const GreyScale &scale, int thumbnail = 160);

/// The table: a heading line, then "centre TAB score" per trial (score "-" when not reconstructed),
/// "TAB best" after the best.
QByteArray corScanTable(const std::vector<CorTrial> &trials, int best, int slice);

/// A centre as the scan writes it: up to 10 significant digits, no exponent for pixel positions.
QString corText(double cor);
