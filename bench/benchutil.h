#pragma once

// Qt
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTextStream>

// Local
#include "imagedata/itexwriter.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <limits>
#include <random>
#include <vector>

/// True when "--help" or "-h" is among the arguments; then `usage` (what the benchmark measures,
/// its options) is printed and the benchmark should end with status 0.
inline bool helpAsked(int argc, char *argv[], const char *usage)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return true;
        }
    return false;
}

/// The calling thread's processor time in seconds.
inline double threadCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

/// Best wall time of `repeats` runs, in seconds: the least disturbed run is the figure of the code.
/// With QV_BENCH_CPU=1 in the environment, the calling thread's processor time instead: on a machine
/// shared with other work, that follows the code rather than the neighbours (for single-thread work
/// only; the figures to report are the wall times of a quiet machine).
inline double bestSeconds(int repeats, const std::function<void()> &work)
{
    const bool cpu = qEnvironmentVariableIntValue("QV_BENCH_CPU") == 1;
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer t;
        t.start();
        const double cpu0 = threadCpuSeconds();
        work();
        best = std::min(best, cpu ? threadCpuSeconds() - cpu0 : t.nsecsElapsed() * 1e-9);
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

/// The processor, as the figures depend on it: "processor: MODEL (family F model M), VECTORS" with
/// the widest vectors it has (AVX-512, AVX2 or none of these); and, when given, the back-projection
/// variant the run used (QV_KERNEL=avx2 or generic asks for a narrower one).
inline void printProcessor(const char *backProjectionVariant = nullptr)
{
    QString model, family, number;
    bool avx2 = false, avx512 = false;
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly | QIODevice::Text)) {
        for (const QByteArray &line : cpuinfo.readAll().split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray key = line.left(colon).trimmed();
            const QString value = QString::fromLatin1(line.mid(colon + 1).trimmed());
            if (key == "model name" && model.isEmpty())
                model = value;
            else if (key == "cpu family" && family.isEmpty())
                family = value;
            else if (key == "model" && number.isEmpty())
                number = value;
            else if (key == "flags" && !avx2) {
                const QStringList flags = value.split(u' ');
                avx2 = flags.contains(QStringLiteral("avx2"));
                avx512 = flags.contains(QStringLiteral("avx512f"));
            }
        }
    }
    QTextStream out(stdout);
    out << "processor: " << (model.isEmpty() ? QStringLiteral("unknown") : model) << " (family " << family
        << " model " << number << "), "
        << (avx512        ? "AVX-512"
                   : avx2 ? "AVX2"
                          : "no AVX2")
        << Qt::endl;
    if (backProjectionVariant)
        out << "back-projection variant: " << backProjectionVariant << Qt::endl;
}

/// `count` projections of random 16-bit counts, `width` × `rows`, written into `dir` as pNNNN.img;
/// their names in order. Lines of 2050 pixels with the axis at 1024.5 give sinograms of 2047
/// samples, N = 2046.
inline QStringList writeRandomProjections(const QString &dir, int width, int rows, int count)
{
    QDir().mkpath(dir);
    std::vector<uint32_t> px(static_cast<size_t>(width) * rows);
    std::mt19937 rng(5);
    std::uniform_int_distribution<uint32_t> counts(1000, 60000);
    QStringList files;
    for (int k = 0; k < count; ++k) {
        for (auto &v : px)
            v = counts(rng);
        files << QDir(dir).filePath(QStringLiteral("p%1.img").arg(k, 4, 10, QLatin1Char('0')));
        writeItexFile(files.last(), {width, rows, 2, 1.0, px});
    }
    return files;
}
