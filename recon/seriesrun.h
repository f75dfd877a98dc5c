#pragma once

// Qt
#include <QTextStream>

// Local
#include "recon/reconoptions.h"
#include "recon/seriescheck.h"
#include "recon/seriesmanifest.h"
#include <optional>
#include <vector>

class ReconRun;

/// The headless run of a CT-XAFS series, and the tasks of a job array. The series folder is grouped
/// into data sets by the rules of the window's data-set selector; each set takes the I0 image
/// nearest in energy and tags its files with its energy field, then is reconstructed like a plain
/// run. The work divides into tasks, one per (data set, block of slices), set after set: task K is
/// block K mod B of set K div B, B blocks per set. Every task reads and writes only its own share, so
/// a scheduler can run them anywhere, in any order, and again.
///
/// Before anything is reconstructed the sets are checked: sets that would write the same files
/// refuse the series, as does an I0 far from its set's energy (unless allowed); a set that misses
/// projections fails alone. Each set done (or failed) is recorded in the output folder's manifest,
/// each task's block in a manifest of its own, so that a run that stopped can be resumed.
/// \test tst_series.cpp
class SeriesRun
{
public:
    /// One data set to reconstruct and the options it is reconstructed with.
    struct Job
    {
        int index = 0; // counted from 1 in the series
        QString title; // for the log: "Fe 7112_5eV"
        QString name;
        QString tag;
        double energy = 0.0;
        std::optional<double> i0Energy; // of the I0 chosen by energy
        QString problem; // why the set would be reconstructed wrongly (projections missing)
        ReconOptions options;
    };

    SeriesRun(const ReconOptions &options, QTextStream &out, QTextStream &err);

    /// Lists, runs one task of, or runs the whole series; 0 on success, 1 when an input could not
    /// be used or a file not written, 2 when the series is refused (sets that would overwrite each
    /// other's files, an I0 far from its set) or a task does not fit it.
    int exec();

    /// Groups the series, chooses each set's I0 and checks the sets; false (with a message) when the
    /// series cannot be grouped.
    bool planJobs();
    const std::vector<Job> &jobs() const { return jobs_; }
    /// Blocks of slices per data set: the same for every set, fixed by the options alone.
    int blocksPerSet() const;
    int taskCount() const { return static_cast<int>(jobs_.size()) * blocksPerSet(); }
    /// A digest of the run's set list: each set's name, tag and files (names and sizes) and its I0.
    /// A job array carries the one of its submission; a task refuses a series that has changed since.
    QString fingerprint() const;

private:
    bool fail(const QString &message);
    void warn(const QString &message);
    /// 2 (with a message) when the sets of the run may not start, else 0.
    int refusal();
    void listSets();
    int listTasks();
    int runTask(int task);
    int runSeries();
    /// Whether the files of `job` (block `block`, or all) are complete per the manifests read.
    bool completeBefore(const Job &job, const ReconRun &run, std::optional<int> block) const;
    ManifestEntry entryOf(const Job &job, const ReconRun &run, const QList<int> &slices, int status) const;
    // The volume files (--hdf5; seriesvolume.cpp).
    /// Where the set's volume goes: NAME-TAG.h5 in the set's folder (its tag's with sub-folders of energy).
    QString setVolumePath(const ReconOptions &set) const;
    /// Whether the volume of `job` is complete: block `block`'s file, or the set's own or every block's.
    bool volumePresent(const Job &job, std::optional<int> block) const;
    /// Joins the block files of each set done in tasks into the set's file and writes the series'
    /// master file over the sets done (`done`, by job); false (with a message) when a file is not made.
    bool finishVolumes(const std::vector<bool> &done);

    ReconOptions options_;
    QTextStream &out_;
    QTextStream &err_;
    std::vector<SeriesSet> sets_; // the whole folder
    SeriesCheck check_;
    std::vector<Job> jobs_;
    std::vector<ManifestEntry> done_; // the entries of the output folder's manifests, for --resume
};
