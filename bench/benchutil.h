#pragma once

// Qt
#include <QElapsedTimer>
#include <QTextStream>

// Local
#include <algorithm>
#include <functional>
#include <limits>

/// Best wall time of `repeats` runs, in seconds: the least disturbed run is the figure of the code.
inline double bestSeconds(int repeats, const std::function<void()> &work)
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, t.nsecsElapsed() * 1e-9);
    }
    return best;
}

/// One figure per line: "name: value unit".
inline void printFigure(const QString &name, double value, const QString &unit)
{
    QTextStream out(stdout);
    out << name << ": " << QString::number(value, 'g', 4);
    if (!unit.isEmpty())
        out << ' ' << unit;
    out << Qt::endl;
}
