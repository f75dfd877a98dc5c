#pragma once

// Qt
#include <QList>
#include <QString>

// Local
#include "ct/savingrecords.h"
#include "ct/slicerecon.h"
#include <optional>
#include <utility>
#include <vector>

/// Where a run's slice files go: the data file and the float TIFF beside it (same folder, name and
/// tag), and the PNG image, each kind with its own folder, name and tag.
struct SaveTargets
{
    struct Target
    {
        bool on = false;
        QString dir, name, tag;
    };
    Target data;
    bool tiff = false; // the float TIFF, with the data file's folder, name and tag
    Target image;
    bool any() const { return data.on || tiff || image.on; }
};

/// The files of one reconstructed slice as records for the writer, by value, in the order they are
/// written (data file, float TIFF, PNG image); and the files asked for that could not be made (their
/// path and why: a region too large for a data file, a TIFF that could not be made).
struct SliceRecords
{
    std::vector<SavingData> data;
    std::optional<SavingImg> image;
    QList<std::pair<QString, QString>> missing;
};

/// The records of `result`'s files for `targets`: the window hands them to its saver, the command
/// writes them. The file texts are moved out of `result` and the names copied afresh, so that the
/// records share no data with what stays behind (they may go on to another thread). Nothing for a
/// slice that was not reconstructed.
SliceRecords takeSliceRecords(SliceResult &result, const SaveTargets &targets);
