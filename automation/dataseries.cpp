#include "automation/dataseries.h"

// Qt
#include <QDir>
#include <QRegularExpression>

// Local
#include <algorithm>
#include <cmath>

namespace {

void sortByName(QFileInfoList &files)
{
    std::stable_sort(files.begin(), files.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.fileName().compare(b.fileName(), Qt::CaseSensitive) < 0;
    });
}

OrmelSet setOf(const QFileInfo &first)
{
    OrmelSet set;
    set.firstFileName = first.fileName();
    set.groupKey = beforeLastDash(set.firstFileName);
    set.name = beforeLastDash(set.groupKey);
    set.energy = parseEnergyField(afterLastDash(set.groupKey));
    set.files.append(first);
    return set;
}

} // namespace

QFileInfoList matchingFiles(const QString &dir, const QString &pattern)
{
    return seriesFiles(dir, {pattern});
}

QFileInfoList seriesFiles(const QString &dir, const QStringList &patterns)
{
    if (dir.isEmpty() || patterns.isEmpty())
        return {};
    QFileInfoList files = QDir(dir).entryInfoList(patterns, QDir::Files, QDir::NoSort);
    sortByName(files);
    return files;
}

std::vector<OrmelSet> groupOrmelSets(const QFileInfoList &files)
{
    std::vector<OrmelSet> sets;
    for (const QFileInfo &file : files) {
        if (!sets.empty() && beforeLastDash(file.fileName()) == sets.back().groupKey)
            sets.back().files.append(file);
        else
            sets.push_back(setOf(file));
    }
    return sets;
}

QString ormelSetLabel(int position, const OrmelSet &set)
{
    return QStringLiteral("%1 : %2 (%3[%4], %5)")
        .arg(position)
        .arg(set.name)
        .arg(QString::number(set.energy.value, 'g', 6))
        .arg(set.energy.unit)
        .arg(set.files.size());
}

QStringList subDirNames(const QString &dir)
{
    if (dir.isEmpty())
        return {};
    QStringList names
        = QDir(dir).entryList({QStringLiteral("*")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    std::stable_sort(names.begin(), names.end(),
        [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseSensitive) < 0; });
    return names;
}

QString subDirLabel(int position, const QString &name)
{
    return QStringLiteral("%1 : %2").arg(position).arg(name);
}

QStringList splitPatterns(const QString &text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return text.split(blanks, Qt::SkipEmptyParts);
}

int nearestEnergy(std::span<const double> energies, double e)
{
    int best = -1;
    double bestDistance = 0.0;
    for (size_t k = 0; k < energies.size(); ++k) {
        const double d = std::abs(energies[k] - e);
        if (best < 0 || d < bestDistance) { // strictly nearer: the first one wins a tie
            best = static_cast<int>(k);
            bestDistance = d;
        }
    }
    return best;
}

std::vector<SeriesSet> scanSeries(const QString &dir, SeriesLayout layout, const QString &pattern)
{
    std::vector<SeriesSet> series;
    auto paths = [](const QFileInfoList &files) {
        QStringList list;
        for (const QFileInfo &f : files)
            list << f.absoluteFilePath();
        return list;
    };
    if (layout == SeriesLayout::OrmelStd) {
        for (const OrmelSet &set : groupOrmelSets(matchingFiles(dir, pattern)))
            series.push_back({set.name, set.energy.text, set.energy.energy(), dir, paths(set.files)});
        return series;
    }
    const QStringList patterns = splitPatterns(pattern);
    for (const QString &sub : subDirNames(dir)) {
        const QString folder = QDir(dir).filePath(sub);
        series.push_back(
            {sub, sub, parseEnergyField(sub).value, folder, paths(seriesFiles(folder, patterns))});
    }
    return series;
}
