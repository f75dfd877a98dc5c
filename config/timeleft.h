#pragma once

// Qt
#include <QString>

/// The time a job of equal units (slices, files, data sets) still needs, estimated from the rate
/// since it began: elapsed / done × (total − done). Times are passed in, in milliseconds of any
/// steady clock, so that the estimate is a plain calculation.
/// \test tst_messagelog.cpp
class TimeLeft
{
public:
    /// A job of `total` units begins at `nowMs`.
    void start(long long total, long long nowMs);
    /// `done` units are finished at `nowMs` (held within 0 … total).
    void setDone(long long done, long long nowMs);

    long long total() const { return total_; }
    long long done() const { return done_; }
    /// Seconds since the start, at the last `setDone`.
    double elapsedSeconds() const { return elapsedMs_ / 1000.0; }
    /// Seconds left; negative while no unit is done (there is no rate yet).
    double secondsLeft() const;

    /// A duration for people: "0:07", "12:34", "1:02:03" (seconds rounded up, so that "0:00" means
    /// done); empty for a negative (unknown) one.
    static QString text(double seconds);

private:
    long long total_ = 0;
    long long done_ = 0;
    long long startMs_ = 0;
    long long elapsedMs_ = 0;
};
