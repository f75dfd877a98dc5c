#include "recon/seriesmanifest.h"

// Qt
#include <QDir>
#include <QFile>
#include <QList>

// Local
#include "config/specialfile.h"
#include "recon/reconlog.h"
#include <algorithm>

namespace {

constexpr int columns = 11;

// Larger manifests are not read: a series of a hundred thousand sets writes some 20 MB.
constexpr qint64 manifestByteLimit = qint64(64) << 20;

const char header[] = "set\tname\tenergy\ttag\tI0\tI0 energy\timages\tslices\tfiles\toutcome\tsettings\n";

QString cell(const QString &text)
{
    QString t = text;
    for (QChar c : {QLatin1Char('\t'), QLatin1Char('\n'), QLatin1Char('\r')})
        t.replace(c, QLatin1Char(' '));
    return t.isEmpty() ? QStringLiteral("-") : t;
}

QString uncell(const QString &text)
{
    return text == QLatin1String("-") ? QString() : text;
}

// FROM:TO:STEP; false unless three whole numbers with a step other than 0.
bool parseRange(const QString &text, int &from, int &to, int &step)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return false;
    bool a = false, b = false, c = false;
    from = parts[0].toInt(&a);
    to = parts[1].toInt(&b);
    step = parts[2].toInt(&c);
    return a && b && c && step != 0;
}

} // namespace

bool ManifestEntry::covers(int slice) const
{
    int from = 0, to = 0, step = 0;
    if (!parseRange(slices, from, to, step))
        return false;
    const qint64 lo = std::min(from, to), hi = std::max(from, to);
    return slice >= lo && slice <= hi && (qint64(slice) - from) % step == 0;
}

QString taskManifestPath(const QString &outDir, const QString &tag, int firstSlice)
{
    return QDir(QDir(outDir).filePath(taskManifestFolder()))
        .filePath(QStringLiteral("%1-%2.tsv").arg(tag).arg(firstSlice, 5, 10, QLatin1Char('0')));
}

QString sliceRangeText(int from, int to, int step)
{
    return QStringLiteral("%1:%2:%3").arg(from).arg(to).arg(step == 0 ? 1 : step);
}

QByteArray manifestText(const std::vector<ManifestEntry> &entries)
{
    QByteArray text(header);
    for (const ManifestEntry &e : entries) {
        const QStringList fields {QString::number(e.set), cell(e.name), QString::number(e.energy, 'g', 10),
            cell(e.tag), cell(e.i0), e.i0Energy ? QString::number(*e.i0Energy, 'g', 10) : QStringLiteral("-"),
            QString::number(e.images), cell(e.slices), QString::number(e.files), cell(e.outcome),
            cell(e.settings)};
        text += fields.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    return text;
}

std::vector<ManifestEntry> parseManifest(const QByteArray &text)
{
    std::vector<ManifestEntry> entries;
    for (const QByteArray &line : text.split('\n')) {
        const QStringList f = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (f.size() != columns)
            continue;
        ManifestEntry e;
        bool ok[5] = {};
        e.set = f[0].toInt(&ok[0]);
        e.name = uncell(f[1]);
        e.energy = f[2].toDouble(&ok[1]);
        e.tag = uncell(f[3]);
        e.i0 = uncell(f[4]);
        if (f[5] != QLatin1String("-")) {
            bool number = false;
            e.i0Energy = f[5].toDouble(&number);
            if (!number)
                continue;
        }
        e.images = f[6].toInt(&ok[2]);
        e.slices = uncell(f[7]);
        e.files = f[8].toInt(&ok[3]);
        e.outcome = uncell(f[9]);
        e.settings = uncell(f[10]);
        ok[4] = !e.tag.isEmpty();
        if (std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }))
            entries.push_back(e);
    }
    return entries;
}

void putManifestEntry(std::vector<ManifestEntry> &entries, const ManifestEntry &entry)
{
    std::erase_if(entries, [&](const ManifestEntry &e) { return e.tag == entry.tag; });
    entries.push_back(entry);
    std::stable_sort(entries.begin(), entries.end(),
        [](const ManifestEntry &a, const ManifestEntry &b) { return a.set < b.set; });
}

std::vector<ManifestEntry> readManifest(const QString &path)
{
    std::vector<ManifestEntry> entries;
    QString why;
    if (!readManifest(path, entries, &why))
        qCWarning(lcRecon).noquote() << "The manifest is not read:" << why;
    return entries;
}

bool readManifest(const QString &path, std::vector<ManifestEntry> &entries, QString *why)
{
    entries.clear();
    QByteArray text;
    QString problem;
    switch (readRegularFile(path, manifestByteLimit, text, problem)) {
    case RegularRead::Missing:
        return true;
    case RegularRead::Refused:
        if (why)
            *why = QStringLiteral("the manifest %1").arg(problem);
        return false;
    case RegularRead::Read:
        break;
    }
    entries = parseManifest(text);
    return true;
}

std::vector<ManifestEntry> readManifests(const QString &outDir)
{
    std::vector<ManifestEntry> entries = readManifest(QDir(outDir).filePath(manifestFileName()));
    const QDir tasks(QDir(outDir).filePath(taskManifestFolder()));
    for (const QString &name : tasks.entryList({QStringLiteral("*.tsv")}, QDir::Files, QDir::Name)) {
        const std::vector<ManifestEntry> more = readManifest(tasks.filePath(name));
        entries.insert(entries.end(), more.begin(), more.end());
    }
    return entries;
}
