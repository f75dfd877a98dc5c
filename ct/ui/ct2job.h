#pragma once

// Qt
#include <QMetaType>

// Local
#include "ct/slicerecon.h"
#include <memory>
#include <vector>

/// One slice for a calculation worker, with everything taken from the window at dispatch.
struct Ct2Job
{
    SliceTask task;
    bool show = false; // "Show Res.": show the result on the worker's panel
};

/// The values of a reconstructed slice, shared read-only with the panel that shows it.
using SliceValues = std::shared_ptr<const std::vector<double>>;

Q_DECLARE_METATYPE(Ct2Job)
Q_DECLARE_METATYPE(SliceValues)
Q_DECLARE_METATYPE(GreyScale)
