#include "recon/dataseries.h"

// Qt
#include <QDir>
#include <QRegularExpression>

// Local
#include "imagedata/hdf5scan.h"
#include "imagedata/imagefiles.h"
#include "imagedata/imgfiletype.h"
#include <algorithm>
#include <cmath>

namespace {

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
    return imageFileEntries(dir, patterns);
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

double subDirEnergy(const QString &name)
{
    // The unit factor is 1 for anything but keV, so a name without a unit keeps its number.
    return parseEnergyField(name).energy();
}

std::optional<qint64> fileNumber(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? fileName : fileName.left(dot);
    qsizetype end = base.size();
    while (end > 0 && !base[end - 1].isDigit())
        --end;
    qsizetype begin = end;
    while (begin > 0 && base[begin - 1].isDigit())
        --begin;
    if (begin == end || end - begin > 15)
        return std::nullopt;
    bool ok = false;
    const qint64 n = base.mid(begin, end - begin).toLongLong(&ok);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

namespace {

QStringList absolutePaths(const QFileInfoList &files)
{
    QStringList list;
    for (const QFileInfo &f : files)
        list << f.absoluteFilePath();
    return list;
}

} // namespace

SeriesSet seriesSetOf(const OrmelSet &set, const QString &dir, SetTagRule rule)
{
    const QString tag = rule == SetTagRule::NameEnergy ? set.groupKey : set.energy.text;
    SeriesSet s {set.name, tag, set.energy.energy(), dir, absolutePaths(set.files)};
    countScanFrames(s);
    return s;
}

void countScanFrames(SeriesSet &set)
{
    set.scanFrames = -1;
    set.scanAngles = false;
    if (set.files.isEmpty() || checkFileType(set.files.constFirst()) != ImgFileType::HDF5)
        return;
    int frames = 0;
    bool angles = true;
    for (const QString &file : std::as_const(set.files)) {
        QString error;
        const std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::open(file, error);
        if (!scan)
            return;
        frames += scan->count(Hdf5Scan::Kind::Projection);
        angles = angles && !scan->angles().empty();
    }
    set.scanFrames = frames;
    set.scanAngles = angles;
}

std::vector<SeriesSet> scanSeries(
    const QString &dir, SeriesLayout layout, const QString &pattern, SetTagRule rule)
{
    std::vector<SeriesSet> series;
    if (layout == SeriesLayout::OrmelStd) {
        for (const OrmelSet &set : groupOrmelSets(matchingFiles(dir, pattern)))
            series.push_back(seriesSetOf(set, dir, rule));
        return series;
    }
    const QStringList patterns = splitPatterns(pattern);
    for (const QString &sub : subDirNames(dir)) {
        const QString folder = QDir(dir).filePath(sub);
        series.push_back({sub, sub, subDirEnergy(sub), folder, absolutePaths(seriesFiles(folder, patterns))});
        countScanFrames(series.back());
    }
    return series;
}
