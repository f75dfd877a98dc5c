#pragma once

// Local
#include "recon/corscanschedule.h"
#include "recon/corscanwriter.h"
#include <optional>

/// A scan of centres in the window: the run library's schedule, and what the window adds to it.
struct CorScanRun
{
    CorScanSchedule schedule;
    int threads = 1; // the first workers used
    bool fromBatch = false; // its end reports the batch line
    std::optional<CorScanTarget> save; // its files go into the data save folder
};
