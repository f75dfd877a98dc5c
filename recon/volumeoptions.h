#pragma once

// Qt
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

struct ReconOptions;

/// The command's options of the volume file (--hdf5 FILE, --hdf5-compress), declared and read apart
/// from the rest of the command line.
struct VolumeOptions
{
    QCommandLineOption file {QStringLiteral("hdf5"),
        QStringLiteral("also write the slices into one NeXus file (in --out if relative); a series: each "
                       "energy's NAME-TAG.h5 in its folder and FILE over them all"),
        QStringLiteral("FILE")};
    QCommandLineOption compress {QStringLiteral("hdf5-compress"),
        QStringLiteral("compression of --hdf5 (none)"), QStringLiteral("gzip|lz4"), QStringLiteral("none")};

    /// Reads them into `o` (the rest of whose output and centre options are read) and decides whether the
    /// run writes nothing but a guessed centre; false with a message for values or combinations that
    /// cannot be used, and for a run that would write nothing at all.
    bool read(const QCommandLineParser &p, ReconOptions &o, QString &error) const;
};
