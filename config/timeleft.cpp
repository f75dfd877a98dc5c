#include "config/timeleft.h"

// C++
#include <algorithm>
#include <cmath>

void TimeLeft::start(long long total, long long nowMs)
{
    total_ = std::max(0LL, total);
    done_ = 0;
    startMs_ = nowMs;
    elapsedMs_ = 0;
}

void TimeLeft::setDone(long long done, long long nowMs)
{
    done_ = std::clamp(done, 0LL, total_);
    elapsedMs_ = std::max(0LL, nowMs - startMs_);
}

double TimeLeft::secondsLeft() const
{
    if (done_ <= 0)
        return -1.0;
    return elapsedSeconds() / static_cast<double>(done_) * static_cast<double>(total_ - done_);
}

QString TimeLeft::text(double seconds)
{
    if (!(seconds >= 0.0)) // also NaN
        return QString();
    // Beyond a thousand hours the figure means nothing; keep the arithmetic in range.
    const long long s = static_cast<long long>(std::ceil(std::min(seconds, 3.6e6)));
    const long long h = s / 3600, m = (s / 60) % 60, sec = s % 60;
    const QChar zero(u'0');
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, zero).arg(sec, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(m).arg(sec, 2, 10, zero);
}
