#pragma once

// Qt
#include <QElapsedTimer>
#include <QProgressBar>

// Local
#include "config/timeleft.h"

/// The progress of the job the window is busy with (a run of slices, a load, a sequence of data
/// sets): what it is, how many of how many units are done and the time left, e.g.
/// "CT2 slices 3 / 15 · 0:42 left". A job ends "done", in a state the owner names ("stopped"), or
/// failed ("2 failed"), then on the failure colour until the next job begins.
/// \test tst_bodywindow.cpp
class ProgressLine : public QProgressBar
{
    Q_OBJECT
public:
    explicit ProgressLine(QWidget *parent = nullptr);

    /// A job of `total` units named `what` begins.
    void begin(const QString &what, int total);
    /// `done` units are finished.
    void advance(int done);
    /// The job is over; the bar keeps its figure and shows `state` instead of the time left.
    void end(const QString &state);
    /// The job is over with all its units done.
    void finish();
    /// The job is over and failed, at least in part: `state` says how ("2 failed").
    void fail(const QString &state);

    bool hasFailed() const { return failed_; }

    bool isActive() const { return active_; }
    const QString &what() const { return what_; }
    const TimeLeft &timeLeft() const { return timeLeft_; }

private:
    void showText(const QString &tail);

    QString what_;
    bool active_ = false;
    bool failed_ = false;
    QElapsedTimer clock_;
    TimeLeft timeLeft_;
};
