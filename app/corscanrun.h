#pragma once

// Qt
#include <QString>

// Local
#include "ct/corscan.h"
#include <vector>

/// A scan of centres in the window: what it was given when it started and what has come back.
struct CorScanRun
{
    SliceTask task; // the slice with everything a run would take, its centre set per trial
    std::vector<double> centres;
    CorScoreSetup score;
    std::vector<CorTrial> trials; // by centre, filled as they arrive
    std::vector<int> lengths; // the transform length of each centre
    std::vector<bool> taken; // handed out
    size_t handedOut = 0;
    size_t done = 0;
    int threads = 1; // the first workers used
    bool single = false; // in single precision, as the run would be
    bool stopping = false; // the operator stopped it: nothing more is handed out
    bool fromBatch = false; // its end reports the batch line
    bool save = false; // its files go into the data save folder
    QString dir, name, tag;
};
