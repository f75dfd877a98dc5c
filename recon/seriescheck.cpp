#include "recon/seriescheck.h"

// Qt
#include <QHash>

// Local
#include <algorithm>
#include <cmath>
#include <map>

namespace {

// The value that occurs most often; on a tie the larger (`preferLarger`) or the smaller one.
template<class T> T mostCommon(const std::vector<T> &values, bool preferLarger, T none)
{
    std::map<T, int> counts;
    for (const T &v : values)
        ++counts[v];
    T best = none;
    int bestCount = 0;
    for (const auto &[value, count] : counts) { // ascending values
        if (count > bestCount || (count == bestCount && preferLarger)) {
            best = value;
            bestCount = count;
        }
    }
    return best;
}

// The sorted, distinct file numbers of a set; empty when any file has none.
std::vector<qint64> numbersOf(const SeriesSet &set)
{
    std::vector<qint64> numbers;
    numbers.reserve(static_cast<size_t>(set.files.size()));
    for (const QString &path : set.files) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        const std::optional<qint64> n = fileNumber(slash < 0 ? path : path.mid(slash + 1));
        if (!n)
            return {};
        numbers.push_back(*n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

// The grid points lo, lo + step, … up to hi that `numbers` (sorted) lacks, as runs.
QList<NumberGap> gapsOf(
    const std::vector<qint64> &numbers, qint64 lo, qint64 hi, qint64 step, qint64 &missing)
{
    QList<NumberGap> gaps;
    missing = 0;
    qint64 previous = lo - step;
    const auto addGap = [&](qint64 first, qint64 last) {
        gaps << NumberGap {first, last};
        missing += (last - first) / step + 1;
    };
    for (qint64 n : numbers) {
        if (n < lo || n > hi || (n - lo) % step != 0)
            continue; // off the grid: not a projection of the run
        if (n > previous + step)
            addGap(previous + step, n - step);
        previous = n;
    }
    const qint64 lastPoint = lo + (hi - lo) / step * step;
    if (lastPoint > previous)
        addGap(previous + step, lastPoint);
    return gaps;
}

QString number(double v)
{
    return QString::number(v, 'g', 10);
}

// Whether two sets are of one energy (written differently or not) and, when their tags name their
// sample (--tag name-energy), of one sample.
bool sameEnergy(const SeriesSet &a, const SeriesSet &b)
{
    const auto sample = [](const SeriesSet &s) {
        return s.tag != s.name && s.tag.startsWith(s.name + u'-') ? s.name : QString();
    };
    return a.energy > 0.0 && b.energy > 0.0 && std::abs(a.energy - b.energy) <= 1e-6 * a.energy
        && sample(a) == sample(b);
}

} // namespace

SeriesCheck checkSeries(
    const std::vector<SeriesSet> &sets, std::span<const double> i0Energies, bool allowUneven)
{
    SeriesCheck check;
    check.sets.resize(sets.size());

    // Files tagged alike overwrite each other.
    QHash<QString, QList<int>> byTag;
    for (size_t i = 0; i < sets.size(); ++i)
        byTag[sets[i].tag] << static_cast<int>(i) + 1;
    for (size_t i = 0; i < sets.size(); ++i) {
        QList<int> others = byTag.value(sets[i].tag);
        others.removeAll(static_cast<int>(i) + 1);
        check.sets[i].sameTagAs = others;
    }
    // One energy spelled two ways makes two data sets of it.
    for (size_t i = 0; i < sets.size(); ++i) {
        for (size_t k = 0; k < sets.size(); ++k) {
            if (k != i && sets[k].tag != sets[i].tag && sameEnergy(sets[i], sets[k]))
                check.sets[i].sameEnergyAs << static_cast<int>(k) + 1;
        }
    }

    // The count and the numbering most sets have: a set that differs misses projections (or holds
    // strays), and every angle after the first missing one would be wrong.
    std::vector<int> counts;
    std::vector<std::vector<qint64>> numbers(sets.size());
    std::vector<qint64> firsts, steps;
    const auto ownAngles = [&sets](size_t i) { return sets[i].scanFrames >= 0 && sets[i].scanAngles; };
    for (size_t i = 0; i < sets.size(); ++i) {
        const bool scans = sets[i].scanFrames >= 0;
        check.sets[i].images = scans ? sets[i].scanFrames : static_cast<int>(sets[i].files.size());
        if (!ownAngles(i))
            counts.push_back(check.sets[i].images);
        if (allowUneven || scans) // one scan file per set: its number says nothing
            continue;
        numbers[i] = numbersOf(sets[i]);
        if (numbers[i].empty())
            continue;
        firsts.push_back(numbers[i].front());
        for (size_t k = 1; k < numbers[i].size(); ++k)
            steps.push_back(numbers[i][k] - numbers[i][k - 1]);
    }
    check.images = mostCommon(counts, true, 0);
    if (!allowUneven) {
        const qint64 first = mostCommon(firsts, false, qint64(0));
        const qint64 step = std::max<qint64>(1, mostCommon(steps, false, qint64(1)));
        for (size_t i = 0; i < sets.size(); ++i) {
            SetCheck &c = check.sets[i];
            c.expectedImages = ownAngles(i) ? 0 : check.images;
            const std::vector<qint64> &own = numbers[i];
            if (own.empty())
                continue;
            const qint64 lo = std::min(own.front(), first);
            // A set short of its last projections has no gap inside: the series' count says where
            // its run should end.
            const qint64 hi = std::max(own.back(), lo + qint64(std::max(0, check.images - 1)) * step);
            c.gaps = gapsOf(own, lo, hi, step, c.missingNumbers);
        }
    }

    // How far an I0 may lie from its set: half the usual spacing of the series' energies.
    std::vector<double> energies;
    for (const SeriesSet &s : sets) {
        if (s.energy > 0.0)
            energies.push_back(s.energy);
    }
    std::sort(energies.begin(), energies.end());
    energies.erase(std::unique(energies.begin(), energies.end()), energies.end());
    std::vector<double> spacings;
    for (size_t k = 1; k < energies.size(); ++k)
        spacings.push_back(energies[k] - energies[k - 1]);
    if (!spacings.empty()) {
        std::sort(spacings.begin(), spacings.end());
        const size_t m = spacings.size() / 2;
        const double median = spacings.size() % 2 ? spacings[m] : 0.5 * (spacings[m - 1] + spacings[m]);
        check.farLimit = std::max(1.0, 0.5 * median);
    }
    for (size_t i = 0; i < sets.size(); ++i) {
        SetCheck &c = check.sets[i];
        c.noEnergy = !(sets[i].energy > 0.0);
        c.i0 = nearestEnergy(i0Energies, sets[i].energy);
        if (c.i0 < 0)
            continue;
        c.i0Energy = i0Energies[static_cast<size_t>(c.i0)];
        c.farI0 = std::abs(c.i0Energy - sets[i].energy) > check.farLimit;
    }
    return check;
}

QString gapText(const QList<NumberGap> &gaps, int maxGaps)
{
    QStringList parts;
    for (const NumberGap &g : gaps) {
        if (parts.size() == maxGaps) {
            parts << QStringLiteral("…");
            break;
        }
        parts << (g.first == g.last ? QString::number(g.first)
                                    : QStringLiteral("%1-%2").arg(g.first).arg(g.last));
    }
    return parts.join(QStringLiteral(", "));
}

QString SeriesCheck::clashText(size_t set, const SeriesSet &s) const
{
    const SetCheck &c = sets.at(set);
    QStringList parts;
    for (const QList<int> *list : {&c.sameTagAs, &c.sameEnergyAs}) {
        if (list->isEmpty())
            continue;
        QStringList others;
        for (int k : *list)
            others << QString::number(k);
        parts << (list == &c.sameTagAs ? QStringLiteral("its tag %1").arg(s.tag)
                                       : QStringLiteral("its energy %1 eV").arg(number(s.energy)))
                + QStringLiteral(" is also that of set%1 %2")
                      .arg(list->size() > 1 ? QStringLiteral("s") : QString(),
                          others.join(QStringLiteral(", ")));
    }
    return parts.join(QStringLiteral(", "));
}

QString SeriesCheck::countText(size_t set) const
{
    const SetCheck &c = sets.at(set);
    QStringList parts;
    if (c.expectedImages > 0 && c.images != c.expectedImages)
        parts << QStringLiteral("%1 %2 where the series has %3")
                     .arg(c.images)
                     .arg(c.images == 1 ? QStringLiteral("image") : QStringLiteral("images"))
                     .arg(c.expectedImages);
    if (!c.gaps.isEmpty())
        parts << QStringLiteral("%1 %2 missing")
                     .arg(c.missingNumbers == 1 ? QStringLiteral("number") : QStringLiteral("numbers"),
                         gapText(c.gaps));
    return parts.join(QStringLiteral(", "));
}

QString SeriesCheck::energyText(size_t set, const SeriesSet &s) const
{
    const SetCheck &c = sets.at(set);
    QStringList parts;
    if (c.noEnergy)
        parts << QStringLiteral("no energy in its name (0 eV)");
    if (c.farI0)
        parts << QStringLiteral("its I0 (%1 eV) is %2 eV from its energy %3 eV, more than %4 eV (half the "
                                "series' energy spacing)")
                     .arg(number(c.i0Energy), number(std::abs(c.i0Energy - s.energy)), number(s.energy),
                         number(farLimit));
    return parts.join(QStringLiteral(", "));
}

QString SeriesCheck::problemText(size_t set, const SeriesSet &s) const
{
    QStringList parts;
    for (const QString &p : {clashText(set, s), countText(set), energyText(set, s)}) {
        if (!p.isEmpty())
            parts << p;
    }
    return parts.join(QStringLiteral("; "));
}
