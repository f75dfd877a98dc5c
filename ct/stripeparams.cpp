#include "ct/stripeparams.h"

// Local
#include <array>
#include <cmath>
#include <utility>

namespace {

const std::array<std::pair<StripeMethod, const char *>, 5> methodWords {{
    {StripeMethod::Off, "off"},
    {StripeMethod::All, "all"},
    {StripeMethod::Sorting, "sort"},
    {StripeMethod::Large, "large"},
    {StripeMethod::Dead, "dead"},
}};

// A window size is a whole number: "61", not "61.5".
bool wholeNumber(double v)
{
    return std::isfinite(v) && v == std::floor(v);
}

} // namespace

QString stripeMethodWord(StripeMethod method)
{
    for (const auto &[m, word] : methodWords) {
        if (m == method)
            return QString::fromLatin1(word);
    }
    return QStringLiteral("off");
}

bool stripeMethodFromWord(const QString &word, StripeMethod &method)
{
    for (const auto &[m, w] : methodWords) {
        if (word.compare(QLatin1String(w), Qt::CaseInsensitive) == 0) {
            method = m;
            return true;
        }
    }
    return false;
}

QString stripeParamProblem(const QString &name, double value)
{
    using L = StripeLimits;
    if (name == QLatin1String("snr")) {
        if (!(value >= L::snrMin && value <= L::snrMax)) // also NaN
            return QStringLiteral("snr %1 is outside %2 … %3").arg(value).arg(L::snrMin).arg(L::snrMax);
        return QString();
    }
    if (name == QLatin1String("large") || name == QLatin1String("small")) {
        if (!wholeNumber(value) || value < L::sizeMin || value > L::sizeMax || std::fmod(value, 2.0) == 0.0)
            return QStringLiteral("%1 %2 is not an odd whole number from %3 to %4")
                .arg(name)
                .arg(value)
                .arg(L::sizeMin)
                .arg(L::sizeMax);
        return QString();
    }
    return QStringLiteral("%1 is not a parameter of ring removal (snr, large, small)").arg(name);
}

bool applyStripeParams(const QStringList &items, StripeParams &params, QString &problem)
{
    StripeParams p = params;
    for (const QString &item : items) {
        if (item.trimmed().isEmpty()) // "snr=3," or a doubled blank
            continue;
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        const QString name = item.left(eq).trimmed().toLower();
        bool ok = false;
        const double value = eq < 0 ? 0.0 : item.mid(eq + 1).trimmed().toDouble(&ok);
        const bool known = name == QLatin1String("snr") || name == QLatin1String("large")
            || name == QLatin1String("small");
        if (known && (eq < 0 || !ok)) {
            problem = QStringLiteral("%1 takes a number, as in snr=3 large=61 small=21, not \"%2\"")
                          .arg(name, item.trimmed());
            return false;
        }
        problem = stripeParamProblem(name, value);
        if (!problem.isEmpty())
            return false;
        if (name == QLatin1String("snr"))
            p.snr = value;
        else if (name == QLatin1String("large"))
            p.largeSize = static_cast<int>(value);
        else
            p.smallSize = static_cast<int>(value);
    }
    params = p;
    problem.clear();
    return true;
}

QStringList stripeParamItems(const StripeParams &params)
{
    return {QStringLiteral("snr=%1").arg(params.snr, 0, 'g', 6),
        QStringLiteral("large=%1").arg(params.largeSize), QStringLiteral("small=%1").arg(params.smallSize)};
}

bool parseStripeOption(const QString &text, StripeParams &params, QString &problem)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const QString word = text.left(colon);
    StripeParams p;
    if (!stripeMethodFromWord(word, p.method)) {
        problem = QStringLiteral("the method is off, all, sort, large or dead, not \"%1\"").arg(word);
        return false;
    }
    if (colon >= 0 && !applyStripeParams(text.mid(colon + 1).split(QLatin1Char(',')), p, problem))
        return false;
    params = p;
    return true;
}
