#pragma once

// Qt
#include <QMetaType>
#include <QObject>

// Local
#include "config/joboutcome.h"
#include "xafs/alignoptions.h"

Q_DECLARE_METATYPE(AlignOptions)

/// The alignment of a series (SeriesAligner, as quorvel-xanes does it) for the window: its lines
/// handed on as they come, its progress in energies, its outcome at the end.
/// runs on: the alignment thread of the window's sequence
/// \test tst_xanestab.cpp
class AlignRunner : public QObject
{
    Q_OBJECT
public:
    enum class Level { Info, Warning, Failure };
    Q_ENUM(Level)

    explicit AlignRunner(QObject *parent = nullptr);

public slots:
    /// Aligns `options.series` into `options.out`; ends with `finished`.
    void run(const AlignOptions &options);

signals:
    void line(const QString &text, AlignRunner::Level level);
    /// `done` of `total` steps (an energy registered or moved).
    void step(int done, int total);
    /// The energies asked, aligned and failed; `status` the command's exit status for the same.
    void finished(const JobOutcome &outcome, int status);
};
