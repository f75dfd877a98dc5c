#include "xafs/alignseries.h"

// Qt
#include <QDir>
#include <QRegularExpression>

// Local
#include "config/specialfile.h"
#include "imagedata/imgdatatiff.h"
#include "recon/energyfield.h"
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace {

// The folders a series run writes beside its energy folders: slice folders ("00064", with
// --sub-folders both) and the manifests of Slurm tasks.
bool isRunFolder(const QString &name)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    return digits.match(name).hasMatch() || name == QLatin1String("series-tasks");
}

// "32, 40, 48" for at most `most` numbers, then "…".
QString numberList(const std::vector<int> &numbers, std::size_t most = 6)
{
    QStringList parts;
    for (std::size_t i = 0; i < numbers.size() && i < most; ++i)
        parts << QString::number(numbers[i]);
    if (numbers.size() > most)
        parts << QStringLiteral("…");
    return parts.join(QStringLiteral(", "));
}

// The slices of one energy folder: slice number → file, for the files NAME-TAG-NNNNN.EXT whose
// energy field is the folder's; a number twice refuses the folder.
bool slicesOf(const QString &folder, const QString &field, const QString &extension,
    std::map<int, QString> &slices, QString &error)
{
    static const QRegularExpression sliceName(QStringLiteral("-([0-9]{1,9})\\.([A-Za-z]+)$"));
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        const QRegularExpressionMatch m = sliceName.match(name);
        if (!m.hasMatch() || m.captured(2).toLower() != extension)
            continue;
        if (energyFieldOfName(name) != field || isSpecialFile(dir.filePath(name)))
            continue; // another tag's, or a device or pipe that would block a read
        const int slice = m.captured(1).toInt();
        if (const auto it = slices.find(slice); it != slices.end()) {
            error = QStringLiteral("%1 holds slice %2 twice: %3 and %4")
                        .arg(folder)
                        .arg(slice)
                        .arg(it->second, name);
            return false;
        }
        slices[slice] = dir.filePath(name);
    }
    return true;
}

} // namespace

double folderEnergy(const QString &name)
{
    const EnergyField field = parseEnergyField(afterLastDash(name));
    const bool unit = field.unit.compare(QLatin1String("eV"), Qt::CaseInsensitive) == 0
        || field.unit.compare(QLatin1String("keV"), Qt::CaseInsensitive) == 0;
    const double e = field.energy();
    return unit && std::isfinite(e) && e > 0.0 ? e : 0.0;
}

bool scanAlignSeries(const QString &path, AlignSeries &series, QString &error)
{
    series = AlignSeries {};
    series.dir = path;
    const QDir dir(path);
    if (!QFileInfo(path).isDir()) {
        error = QStringLiteral("%1 is not a folder").arg(path);
        return false;
    }
    const QString hint = QStringLiteral(
        "a series is read from one folder per energy, named by its energy (7112_5eV), as a series run "
        "writes it with --sub-folders energy or both (\"of Energy\" in the window)");
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (isRunFolder(name))
            continue;
        const double e = folderEnergy(name);
        if (e <= 0.0) {
            error = QStringLiteral("the folder %1 has no energy in its name (like 7112_5eV or 7_112keV): %2")
                        .arg(dir.filePath(name), hint);
            return false;
        }
        SeriesEnergy energy;
        energy.energy = e;
        energy.tag = name;
        energy.folder = dir.filePath(name);
        series.energies.push_back(energy);
    }
    if (series.energies.empty()) {
        error = QStringLiteral("%1 holds no folder per energy: %2").arg(path, hint);
        return false;
    }
    std::stable_sort(series.energies.begin(), series.energies.end(),
        [](const SeriesEnergy &a, const SeriesEnergy &b) { return a.energy < b.energy; });
    for (std::size_t i = 1; i < series.energies.size(); ++i)
        if (series.energies[i].energy - series.energies[i - 1].energy < 1e-6) {
            error = QStringLiteral("the folders %1 and %2 have the same energy")
                        .arg(series.energies[i - 1].tag, series.energies[i].tag);
            return false;
        }

    // The slices of each energy: float TIFF if any folder holds some, else data files.
    std::vector<std::map<int, QString>> slices(series.energies.size());
    for (const auto &[extension, kind] : {std::pair {QStringLiteral("tif"), SliceFileKind::FloatTiff},
             std::pair {QStringLiteral("dat"), SliceFileKind::DataFile}}) {
        bool any = false;
        for (std::size_t i = 0; i < slices.size(); ++i) {
            slices[i].clear();
            const SeriesEnergy &e = series.energies[i];
            if (!slicesOf(e.folder, afterLastDash(e.tag), extension, slices[i], error))
                return false;
            any = any || !slices[i].empty();
        }
        series.kind = kind;
        if (any)
            break;
    }
    std::set<int> all;
    for (const auto &s : slices)
        for (const auto &[number, file] : s)
            all.insert(number);
    if (all.empty()) {
        error = QStringLiteral("no energy folder of %1 holds slices (NAME-%2-00012.tif or .dat)")
                    .arg(path, series.energies.front().tag);
        return false;
    }
    QStringList lacking;
    for (std::size_t i = 0; i < slices.size(); ++i) {
        std::vector<int> missing;
        for (int n : all)
            if (!slices[i].count(n))
                missing.push_back(n);
        if (!missing.empty())
            lacking << QStringLiteral("%1 lacks slice%2 %3")
                           .arg(series.energies[i].tag, missing.size() > 1 ? QStringLiteral("s") : QString(),
                               numberList(missing));
    }
    if (!lacking.isEmpty()) {
        error = QStringLiteral("the energies do not hold the same slices: %1")
                    .arg(lacking.join(QStringLiteral("; ")));
        return false;
    }
    series.slices.assign(all.begin(), all.end());
    for (std::size_t i = 2; i < series.slices.size(); ++i)
        if (series.slices[i] - series.slices[i - 1] != series.slices[1] - series.slices[0]) {
            error = QStringLiteral("the slices are not evenly spaced: %1").arg(numberList(series.slices, 12));
            return false;
        }
    for (std::size_t i = 0; i < slices.size(); ++i)
        for (const auto &[number, file] : slices[i])
            series.energies[i].files << file;

    // Every float TIFF's size from its header; a header that cannot be read fails its energy alone.
    if (series.kind == SliceFileKind::FloatTiff) {
        QString first;
        for (SeriesEnergy &e : series.energies)
            for (const QString &file : std::as_const(e.files)) {
                ImgDataTiff tiff;
                int32_t w = 0, h = 0;
                if (!tiff.readProps(file, w, h)) {
                    if (e.problem.isEmpty())
                        e.problem = QStringLiteral("%1 cannot be read as a TIFF image").arg(file);
                    continue;
                }
                if (first.isEmpty()) {
                    series.width = w;
                    series.height = h;
                    first = file;
                } else if (w != series.width || h != series.height) {
                    error = QStringLiteral("the slices differ in size: %1 is %2 x %3, %4 is %5 x %6")
                                .arg(file)
                                .arg(w)
                                .arg(h)
                                .arg(first)
                                .arg(series.width)
                                .arg(series.height);
                    return false;
                }
            }
    }
    return true;
}
