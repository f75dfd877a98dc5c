#pragma once

// Qt
#include <QStringList>

// Local
#include "display/greyscale.h"
#include "recon/corscanschedule.h"
#include <optional>

/// Where a scan of centres is written, and the grey scale of its contact sheet: fixed (the
/// command's `--color-range`, the window's fixed colour scale) or, by default, the value range of
/// the best trial, so that all pictures compare through one scale.
struct CorScanTarget
{
    QString dir;
    QString name;
    QString tag;
    std::optional<GreyScale> scale;
};

/// The scale of a fixed colour range, as both clients give it.
GreyScale fixedColourRange(double min, double max);

/// What writing a scan gave: the files written, and what could not be written.
struct CorScanWritten
{
    QStringList paths;
    QStringList problems;
};

/// The one writer of a scan's files, the window's and the command's: the table of centres and
/// scores (`NAME-TAG-corscan-00012.txt`), the trials as pages of one float TIFF (`.tif`) and the
/// contact sheet (`.png`), each under its name only when complete. When no trial was reconstructed
/// only the table is written.
CorScanWritten writeCorScan(const CorScanSchedule &scan, const CorScanTarget &target);
