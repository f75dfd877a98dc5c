#pragma once

// Qt
#include <QTextStream>

// Local
#include "app/recon/reconoptions.h"
#include <vector>

/// The headless run of a CT-XAFS series, and the tasks of a job array. The series folder is grouped
/// into data sets by the rules of the window's data-set selector; each set takes the I0 image
/// nearest in energy and tags its files with its energy field, then is reconstructed like a plain
/// run. The work divides into tasks, one per (data set, block of slices), set after set: task K is
/// block K mod B of set K div B, B blocks per set. Every task reads and writes only its own share, so
/// a scheduler can run them anywhere, in any order, and again.
/// \test tst_series.cpp
class SeriesRun
{
public:
    /// One data set to reconstruct and the options it is reconstructed with.
    struct Job
    {
        int index = 0; // counted from 1 in the series
        QString title; // for the log: "Fe 7112_5eV"
        double energy = 0.0;
        ReconOptions options;
    };

    SeriesRun(const ReconOptions &options, QTextStream &out, QTextStream &err);

    /// Lists, runs one task of, or runs the whole series; 0 on success, 1 when an input could not
    /// be used or a file not written, 2 when a task number does not fit the series.
    int exec();

    /// Groups the series and chooses each set's I0; false (with a message) when that fails.
    bool planJobs();
    const std::vector<Job> &jobs() const { return jobs_; }
    /// Blocks of slices per data set: the same for every set, fixed by the options alone.
    int blocksPerSet() const;
    int taskCount() const { return static_cast<int>(jobs_.size()) * blocksPerSet(); }

private:
    bool fail(const QString &message);
    void listSets();
    void listTasks();
    int runTask(int task);

    ReconOptions options_;
    QTextStream &out_;
    QTextStream &err_;
    std::vector<Job> jobs_;
};
