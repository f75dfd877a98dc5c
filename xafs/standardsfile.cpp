#include "xafs/standardsfile.h"

// Local
#include "config/specialfile.h"
#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr qint64 maxStandardBytes = 64LL << 20;

bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == ';' || c == '\r';
}

// The numbers of one line (up to three, to tell two from more), each parsed whole.
int numbersOf(const char *begin, const char *end, double *values, bool &bad)
{
    int count = 0;
    const char *p = begin;
    while (p < end) {
        while (p < end && isSeparator(*p))
            ++p;
        if (p == end)
            break;
        const char *q = p;
        while (q < end && !isSeparator(*q))
            ++q;
        double v = 0.0;
        const char *start = *p == '+' && q - p > 1 ? p + 1 : p; // from_chars takes no '+'
        const auto [last, ec] = std::from_chars(start, q, v);
        if (ec != std::errc() || last != q || !std::isfinite(v) || count == 3) {
            bad = true;
            return count;
        }
        values[count++] = v;
        p = q;
    }
    return count;
}

} // namespace

double Standard::at(double e) const
{
    const auto it = std::upper_bound(energy.begin(), energy.end(), e);
    if (it == energy.begin())
        return value.front();
    if (it == energy.end())
        return value.back();
    const std::size_t i = std::size_t(it - energy.begin());
    const double f = (e - energy[i - 1]) / (energy[i] - energy[i - 1]);
    return value[i - 1] + f * (value[i] - value[i - 1]);
}

bool parseStandard(const QByteArray &text, Standard &standard, QString &error)
{
    standard.energy.clear();
    standard.value.clear();
    const char *p = text.constData();
    const char *const end = p + text.size();
    int line = 0;
    while (p < end) {
        ++line;
        const char *eol = std::find(p, end, '\n');
        const char *hash = std::find(p, eol, '#');
        double v[3] = {0.0, 0.0, 0.0};
        bool bad = false;
        const int n = numbersOf(p, hash, v, bad);
        p = eol == end ? end : eol + 1;
        if (n == 0 && !bad)
            continue;
        if (bad || n != 2) {
            error = QStringLiteral("line %1 is not two numbers (energy, normalised absorption)").arg(line);
            return false;
        }
        if (standard.energy.size() == maxStandardPoints) {
            error = QStringLiteral("more than %1 points").arg(maxStandardPoints);
            return false;
        }
        if (!standard.energy.empty() && !(v[0] > standard.energy.back())) {
            error = QStringLiteral("the energies do not rise at line %1").arg(line);
            return false;
        }
        standard.energy.push_back(v[0]);
        standard.value.push_back(v[1]);
    }
    if (standard.energy.size() < 2) {
        error = QStringLiteral("fewer than two points");
        return false;
    }
    // A K-edge below 100 eV is out of reach of these beamlines: such numbers are keV.
    if (std::all_of(standard.energy.begin(), standard.energy.end(), [](double e) { return e < 100.0; }))
        for (double &e : standard.energy)
            e *= 1000.0;
    return true;
}

bool readStandard(Standard &standard, QString &error)
{
    QByteArray bytes;
    QString why;
    switch (readRegularFile(standard.file, maxStandardBytes, bytes, why)) {
    case RegularRead::Missing:
        error = QStringLiteral("the standard %1: there is no file %2").arg(standard.name, standard.file);
        return false;
    case RegularRead::Refused:
        error = QStringLiteral("the standard %1: %2").arg(standard.name, why);
        return false;
    case RegularRead::Read:
        break;
    }
    if (!parseStandard(bytes, standard, why)) {
        error = QStringLiteral("the standard %1 (%2): %3").arg(standard.name, standard.file, why);
        return false;
    }
    return true;
}
