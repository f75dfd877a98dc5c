// A series' volume files (--hdf5): one per energy, made by the set's run or, when the set was done in
// tasks, joined from its blocks' files by the run that finds them all (the last job of a job array);
// then the master file over every energy. Each file is written by one process alone.

#include "recon/seriesrun.h"

// Qt
#include <QDir>
#include <QFileInfo>

// Local
#include "recon/volumefile.h"
#include "recon/volumejoin.h"

QString SeriesRun::setVolumePath(const ReconOptions &set) const
{
    const QString folder = set.subFolders.subFolders && set.subFolders.ofEnergy
        ? QDir(set.outDir).filePath(set.tag)
        : set.outDir;
    return QDir(folder).absoluteFilePath(volumeFileName(set.name, set.tag));
}

bool SeriesRun::volumePresent(const Job &job, std::optional<int> block) const
{
    const QString path = job.options.hdf5;
    if (path.isEmpty())
        return true;
    const auto present = [](const QString &file) { return QFileInfo(file).size() > 0; };
    if (block)
        return present(volumeBlockPath(path, *block));
    if (present(path))
        return true;
    for (int b = 0; b < blocksPerSet(); ++b)
        if (!present(volumeBlockPath(path, b)))
            return false;
    return true;
}

bool SeriesRun::finishVolumes(const std::vector<bool> &done)
{
    if (options_.hdf5.isEmpty())
        return true;
    bool ok = true;
    std::vector<EnergyVolume> energies;
    QStringList left;
    for (size_t i = 0; i < jobs_.size(); ++i) {
        const Job &job = jobs_[i];
        const QString path = job.options.hdf5;
        if (!done[i]) {
            left << job.tag;
            continue;
        }
        if (!QFileInfo::exists(path)) { // done in tasks: their blocks become the set's file
            QStringList blocks;
            for (int b = 0; b < blocksPerSet(); ++b)
                blocks << volumeBlockPath(path, b);
            QString error;
            if (!joinVolumeBlocks(path, blocks, &error)) {
                fail(QStringLiteral("data set %1: %2").arg(job.title, error));
                ok = false;
                left << job.tag;
                continue;
            }
            out_ << "wrote " << QDir::cleanPath(path) << " (its blocks joined)" << Qt::endl;
        }
        energies.push_back({job.energy, path});
    }
    if (energies.empty()) {
        fail(QStringLiteral("%1 is not written: no data set is done").arg(options_.hdf5));
        return false;
    }
    if (!left.isEmpty())
        warn(QStringLiteral("%1 leaves out the sets not done: %2")
                 .arg(options_.hdf5, left.join(QStringLiteral(", "))));
    QString error;
    if (!writeSeriesMaster(options_.hdf5, energies, &error)) {
        fail(error);
        return false;
    }
    out_ << "wrote " << QDir::cleanPath(options_.hdf5) << " (" << energies.size() << " energies)" << Qt::endl;
    return ok;
}
