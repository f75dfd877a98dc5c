// The command's volume file (--hdf5): started with the run's slices, each slice added as it is
// written, finished (renamed into place) when the run ends.

#include "recon/reconrun.h"

// Qt
#include <QDir>
#include <QFileInfo>

// Local
#include "recon/runplan.h"
#include "recon/volumefile.h"
#include <cmath>

QString ReconRun::volumeFile(std::optional<int> onlyBlock) const
{
    if (options_.hdf5.isEmpty() || options_.guessOnly || options_.corScan)
        return QString();
    return onlyBlock ? volumeBlockPath(options_.hdf5, *onlyBlock) : options_.hdf5;
}

bool ReconRun::startVolume(std::optional<int> onlyBlock)
{
    const QString path = volumeFile(onlyBlock);
    if (path.isEmpty())
        return true;
    VolumeLayout layout;
    const QList<int> slices = onlyBlock ? blockSlices(*onlyBlock) : slices_;
    layout.slices.assign(slices.cbegin(), slices.cend());
    layout.compression = options_.hdf5Compress;
    const int rows = sinogramRows(request_, static_cast<int>(sources_.size()));
    for (int i = 0; i < rows; ++i)
        layout.anglesDeg.push_back((task_.angles.theta0 + i * task_.angles.dTheta) * 180.0 / M_PI);
    layout.settings = outputSettingItems(options_);
    layout.settings << QStringLiteral("tag=") + options_.tag
                  << QStringLiteral("i0=")
            + (options_.i0File.isEmpty() ? QStringLiteral("none") : options_.i0File);
    layout.program = QStringLiteral("quorvel-recon");
    // The folder of an energy's file is made like that of its slices.
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail(QStringLiteral("cannot make the folder of %1").arg(path));
    volume_ = std::make_unique<VolumeFileWriter>();
    QString error;
    if (!volume_->start(path, layout, &error)) {
        volume_.reset();
        return fail(error);
    }
    return true;
}

void ReconRun::finishVolume()
{
    if (!volume_)
        return;
    QString error;
    const QString path = volume_->path();
    if (volume_->finish(&error)) {
        ++filesWritten_;
        out_ << "wrote " << QDir::cleanPath(path) << Qt::endl;
    } else {
        fail(error);
    }
    volume_.reset();
}
