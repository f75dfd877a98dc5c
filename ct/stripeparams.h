#pragma once

// Qt
#include <QString>
#include <QStringList>

/// Which stripes are taken out of a sinogram before it is filtered. A detector column whose response
/// the I0/BG correction does not even out draws a stripe down the sinogram and a ring into the slice.
enum class StripeMethod {
    Off, // the sinogram as corrected
    All, // dead columns, then large stripes, then small and partial ones: the recommended combination
    Sorting, // small and partial stripes: ranks along the angle, median across neighbouring columns
    Large, // large stripes: detected against the median of the neighbours, levelled and replaced
    Dead, // unresponsive or fluctuating columns: detected and interpolated from their neighbours
};

/// The method and its few parameters.
struct StripeParams
{
    StripeMethod method = StripeMethod::Off;
    double snr = 3.0; // a column is a stripe when it stands out this many times the spread of the others
    int largeSize = 31; // window across columns (odd) for large stripes and the level of dead columns
    int smallSize = 21; // window across columns (odd) for small and partial stripes

    bool isOn() const { return method != StripeMethod::Off; }
    bool operator==(const StripeParams &) const = default;
};

/// The limits of the parameters (both bounds allowed; the windows odd).
struct StripeLimits
{
    static constexpr double snrMin = 1.0;
    static constexpr double snrMax = 100.0;
    static constexpr int sizeMin = 3;
    static constexpr int sizeMax = 501;
};

/// The word of a method in batch files, setup files and on the command line: off, all, sort, large, dead.
QString stripeMethodWord(StripeMethod method);
/// The method a word names (case does not matter); false for any other word.
bool stripeMethodFromWord(const QString &word, StripeMethod &method);

/// Why a value is refused for parameter `name` ("snr", "large" or "small"); empty when it is accepted.
QString stripeParamProblem(const QString &name, double value);

/// Applies "name=value" items (snr=3, large=61, small=21) to `params`: all or none. False, with the
/// reason naming the parameter and its range, for an unknown name, a value that is not a number or
/// one out of range.
bool applyStripeParams(const QStringList &items, StripeParams &params, QString &problem);

/// The parameters as the items `applyStripeParams` reads back: "snr=3 large=61 small=21".
QStringList stripeParamItems(const StripeParams &params);

/// "METHOD[:NAME=VALUE,...]" of the command line into `params` (defaults for what is not given).
bool parseStripeOption(const QString &text, StripeParams &params, QString &problem);
