#include "ct/sgmgeometry.h"

// Local
#include <algorithm>
#include <cmath>

SgmGeometry makeSgmGeometry(bool rowLines, int lineLength, double cor)
{
    SgmGeometry g;
    g.rowLines = rowLines;
    g.cor = cor;
    g.half = static_cast<int>(std::floor(std::min(cor, lineLength - cor - 1.0)));
    g.width = 2 * g.half - 1;
    g.base = static_cast<int>(std::floor(cor));
    g.frac = cor - g.base;
    return g;
}

bool corInsideLine(double cor, int lineLength)
{
    return std::isfinite(cor) && cor >= 1.0 && cor <= lineLength - 2.0;
}

void resampleLine(std::span<const double> line, std::span<double> out, const SgmGeometry &g)
{
    const long first = long(g.base) + 1 - g.half; // leftmost pixel used
    const long last = long(g.base) + g.half; // rightmost pixel used
    if (g.width < 1 || out.size() < static_cast<size_t>(g.width) || first < 0 || last >= long(line.size()))
        return;
    const double *src = line.data() + first;
    for (int i = 0; i < g.width; ++i) {
        const double x0 = double(first + i);
        out[i] = lerp2(x0 + g.frac, x0, src[i], x0 + 1.0, src[i + 1]);
    }
}
