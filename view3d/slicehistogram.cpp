#include "view3d/slicehistogram.h"

// Local
#include <algorithm>
#include <cmath>

SliceHistogram buildHistogram(
    const std::vector<SliceData> &slices, double valueMin, double valueMax, int bins, int height)
{
    SliceHistogram h;
    h.bins = std::max(bins, 2);
    h.height = std::max(height, 2);
    h.counts.assign(static_cast<size_t>(h.bins), 0);
    h.binWidth = (valueMax - valueMin) / (h.bins - 1);
    const double lastBin = h.bins - 1;
    for (const SliceData &slice : slices) {
        for (double v : slice.values) {
            double b = std::trunc((v - valueMin) / h.binWidth + 0.5);
            if (std::isnan(b))
                continue;
            b = std::clamp(b, 0.0, lastBin);
            ++h.counts[static_cast<size_t>(b)];
        }
    }
    h.countMax = *std::max_element(h.counts.begin(), h.counts.end());

    h.image = QImage(h.bins, h.height, QImage::Format_RGB32);
    h.image.fill(Qt::white);
    const QRgb pen = qRgb(0, 220, 160);
    const int bottom = h.height - 1;
    for (int k = 0; k < h.bins; ++k) {
        const double share = h.countMax > 0 ? h.counts[static_cast<size_t>(k)] / h.countMax : 0.0;
        const int top = static_cast<int>(std::trunc(bottom - share * bottom));
        for (int y = std::clamp(top, 0, bottom); y <= bottom; ++y)
            h.image.setPixel(k, y, pen);
    }
    h.ready = true;
    return h;
}
