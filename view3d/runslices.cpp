#include "view3d/runslices.h"

// Qt
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>

// Local
#include "view3d/slicespacing.h"
#include <algorithm>
#include <array>

namespace {

// "name-tag-00080" gives the series "name-tag" and the slice 80; a name without a number after its
// last "-" is a series of its own with slice -1.
struct SliceName
{
    QString series;
    long long slice = -1;
};

SliceName sliceName(const QString &path)
{
    const QString base = QFileInfo(path).completeBaseName();
    const std::optional<long long> slice = sliceNumberOfName(path);
    if (!slice)
        return {base, -1};
    const qsizetype dash = base.lastIndexOf(u'-');
    return {dash < 0 ? QString() : base.left(dash), *slice};
}

} // namespace

SliceFileKind sliceFileKind(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"dat")
        return SliceFileKind::Data;
    if (suffix == u"tif" || suffix == u"tiff")
        return SliceFileKind::Tiff;
    if (suffix == u"png")
        return SliceFileKind::Png;
    return SliceFileKind::Other;
}

QString SliceFileChoice::leftOutText() const
{
    QStringList parts;
    if (leftOutKinds > 0) {
        static const std::array<const char *, 4> names {"data files", "TIFF files", "PNG files", "files"};
        parts << QStringLiteral("%1 files of other kinds (only %2 are stacked)")
                     .arg(leftOutKinds)
                     .arg(QLatin1StringView(names[static_cast<size_t>(kind)]));
    }
    if (leftOutSeries > 0)
        parts << QStringLiteral("%1 files of other names or tags").arg(leftOutSeries);
    return parts.join(QStringLiteral(", "));
}

SliceFileChoice oneKindOfSlices(const QStringList &files)
{
    std::array<int, 4> counts {};
    for (const QString &f : files)
        ++counts[static_cast<size_t>(sliceFileKind(f))];
    SliceFileChoice choice;
    if (files.isEmpty())
        return choice;
    // The first of the largest counts: data files win a tie, then TIFF, then PNG.
    const auto most = std::max_element(counts.begin(), counts.end());
    choice.kind = static_cast<SliceFileKind>(most - counts.begin());
    for (const QString &f : files) {
        if (sliceFileKind(f) == choice.kind)
            choice.files << f;
    }
    choice.leftOutKinds = static_cast<int>(files.size() - choice.files.size());
    return choice;
}

SliceFileChoice runSliceFiles(const QString &dir, int maxFiles)
{
    QStringList found;
    QDirIterator it(dir, {QStringLiteral("*")}, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
    for (int looked = 0; it.hasNext() && looked < maxFiles; ++looked) {
        const QString f = it.next();
        if (sliceFileKind(f) != SliceFileKind::Other) // a run's folder also holds notes and setups
            found << f;
    }
    SliceFileChoice choice = oneKindOfSlices(found);
    // One series: the one with the most files (the first by name when as many).
    QHash<QString, int> perSeries;
    for (const QString &f : std::as_const(choice.files))
        ++perSeries[sliceName(f).series];
    QString series;
    int best = -1;
    for (auto s = perSeries.cbegin(); s != perSeries.cend(); ++s) {
        if (s.value() > best || (s.value() == best && s.key() < series)) {
            best = s.value();
            series = s.key();
        }
    }
    struct Entry
    {
        long long slice;
        QString path;
    };
    std::vector<Entry> kept;
    for (const QString &f : std::as_const(choice.files)) {
        const SliceName n = sliceName(f);
        if (n.series == series)
            kept.push_back({n.slice, f});
    }
    std::sort(kept.begin(), kept.end(), [](const Entry &a, const Entry &b) {
        return a.slice != b.slice ? a.slice < b.slice : a.path < b.path;
    });
    choice.leftOutSeries = static_cast<int>(choice.files.size() - static_cast<qsizetype>(kept.size()));
    choice.files.clear();
    for (const Entry &e : kept)
        choice.files << e.path;
    return choice;
}
