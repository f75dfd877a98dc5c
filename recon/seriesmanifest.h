#pragma once

// Qt
#include <QByteArray>
#include <QString>

// Local
#include <optional>
#include <vector>

/// One line of a series manifest: how one data set of a CT-XAFS series (or one block of its slices,
/// done by a job-array task) was reconstructed, and what came of it. A run that stops (a full disk,
/// a lost node, a killed job) leaves the lines of what it finished, so that a later run can take up
/// the rest.
struct ManifestEntry
{
    int set = 0; // position in the series, from 1
    QString name; // the sample (or the sub-folder)
    double energy = 0.0; // eV
    QString tag; // the tag of its files
    QString i0; // the I0 image used; empty for none
    std::optional<double> i0Energy; // from the I0 image's name, when chosen by energy
    int images = 0; // projections reconstructed from
    QString slices; // FROM:TO:STEP
    int files = 0; // files written
    QString outcome; // "done", or "failed: why"
    QString settings; // digest of the settings that decide the files' bytes

    bool done() const { return outcome == QLatin1String("done"); }
    /// Whether `slice` is one of the entry's slices.
    bool covers(int slice) const;
};

/// The manifest of a series run in its output folder, and the folder of the tasks' own manifests.
inline QString manifestFileName()
{
    return QStringLiteral("series-manifest.tsv");
}
inline QString taskManifestFolder()
{
    return QStringLiteral("series-tasks");
}
/// The manifest of the task that did the block of set `tag` beginning at `firstSlice`.
QString taskManifestPath(const QString &outDir, const QString &tag, int firstSlice);

/// The slices FROM:TO:STEP as a manifest writes them.
QString sliceRangeText(int from, int to, int step);

/// The text of a manifest: a header line, then one tab-separated line per entry.
QByteArray manifestText(const std::vector<ManifestEntry> &entries);
/// The entries of a manifest's text; lines that are not entries (the header, damaged lines) are
/// passed over.
std::vector<ManifestEntry> parseManifest(const QByteArray &text);
/// Puts `entry` in place of the entry of the same tag, or adds it; entries stay in set order.
void putManifestEntry(std::vector<ManifestEntry> &entries, const ManifestEntry &entry);

/// The entries of the manifest file `path` (none when it is missing, unreadable or implausibly large).
std::vector<ManifestEntry> readManifest(const QString &path);
/// The same, telling a missing manifest (true, no entries) from one that cannot be read: false, with
/// `why`, for a file that is no regular one (a named pipe, opened without waiting for a writer), too
/// large or unreadable.
bool readManifest(const QString &path, std::vector<ManifestEntry> &entries, QString *why);
/// The entries of a series' output folder: its manifest and those of the tasks.
std::vector<ManifestEntry> readManifests(const QString &outDir);
