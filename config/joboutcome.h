#pragma once

// Qt
#include <QMetaType>
#include <QString>
#include <QStringList>

/// How a job of counted units ended (a load of files, a run of slices, a scan of centres, a data set
/// of a series, a continuous run over the viewer link): what was asked, what was done, what failed
/// and why. The window's end message, its progress bar, a batch line's result, a manifest line and
/// the exit status all read this one record, so that they cannot disagree. A job that failed in
/// part has failed.
/// \test tst_messagelog.cpp
struct JobOutcome
{
    int asked = 0; // units asked for
    int done = 0; // units done
    int failed = 0; // units that failed
    bool stopped = false; // called off before its end
    QStringList problems; // what else failed: files not written, a refused save folder
    QString why; // the first reason a unit (or anything else) failed

    bool ok() const { return !stopped && failed == 0 && problems.isEmpty() && done >= asked; }
    /// "9 of 9 done", "7 of 9 done, 2 failed", "3 of 9 done, stopped"; with a unit "9 of 9 slices done".
    QString counts(const QString &unit = QString()) const;
    /// What went wrong, for a record: "stopped, 2 slices failed, 1 file not written"; empty when ok.
    QString failures(const QString &units = QStringLiteral("units")) const;
    /// The state for a progress bar: "done", "2 failed", "stopped", "1 file not written".
    QString state() const;
};

Q_DECLARE_METATYPE(JobOutcome)
