#include "imagedata/transmission.h"

// Local
#include <algorithm>

void attenuationLine(std::span<const double> i0, std::span<const double> bg, std::span<const double> raw,
    std::span<double> att)
{
    const size_t n = std::min({i0.size(), bg.size(), raw.size(), att.size()});
    for (size_t j = 0; j < n; ++j)
        att[j] = attenuation(i0[j], bg[j], raw[j]);
}

qsizetype countI0NotAboveBg(std::span<const double> i0, std::span<const double> bg)
{
    const size_t n = std::min(i0.size(), bg.size());
    qsizetype count = 0;
    for (size_t j = 0; j < n; ++j)
        count += !(i0[j] - bg[j] > 0.0);
    return count;
}

QString i0NotAboveBgText()
{
    return QStringLiteral("I0 is not above BG: check the I0 and BG images");
}
