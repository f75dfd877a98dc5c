#include "recon/volumeoptions.h"

// Qt
#include <QDir>

// Local
#include "recon/reconoptions.h"

bool VolumeOptions::read(const QCommandLineParser &p, ReconOptions &o, QString &error) const
{
    QString why;
    if (p.isSet(file) && !p.value(file).isEmpty())
        o.hdf5 = QDir(o.outDir).absoluteFilePath(p.value(file));
    if (!parseVolumeCompression(p.value(compress), o.hdf5Compress))
        why = QStringLiteral("--hdf5-compress takes gzip or lz4, not %1").arg(p.value(compress));
    else if (!o.hdf5.isEmpty() && o.corScan)
        why = QStringLiteral("--hdf5 holds a run's slices, not the trials of --cor-scan");
    else if (!o.hdf5.isEmpty() && o.task && !o.series)
        why = QStringLiteral("--hdf5 with --task belongs to a --series run (its last job joins the blocks)");
    if (!why.isEmpty()) {
        error = why;
        return false;
    }
    // Nothing to write is useful only for finding the centre of rotation.
    const bool guessing = o.guessCor || o.guessLine;
    const bool files = o.png || o.data || o.tiff || !o.hdf5.isEmpty();
    o.guessOnly = !files && guessing;
    if (files || guessing || o.corScan)
        return true;
    error = QStringLiteral(
        "--no-png with --no-data and without --tiff or --hdf5 would write nothing (except with --cor guess)");
    return false;
}
