#include "view3d/slicespacing.h"

// Qt
#include <QFileInfo>

// Local
#include <algorithm>
#include <cmath>
#include <numeric>

std::optional<long long> sliceNumberOfName(const QString &path)
{
    const QString base = QFileInfo(path).completeBaseName();
    bool ok = false;
    const long long number = base.mid(base.lastIndexOf(u'-') + 1).toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return number;
}

namespace {

SlicePlacement evenPlacement(size_t count, double step, SlicePlacement::Source source)
{
    SlicePlacement p;
    p.source = source;
    p.step = step;
    for (size_t k = 0; k < count; ++k)
        p.offsets.push_back(double(k) * step);
    p.depth = double(count) * step;
    return p;
}

} // namespace

SlicePlacement placeSlices(std::span<const std::optional<long long>> numbers, double typedSpacing)
{
    if (typedSpacing > 0.0 && std::isfinite(typedSpacing))
        return evenPlacement(numbers.size(), typedSpacing, SlicePlacement::Source::Typed);
    SlicePlacement unit = evenPlacement(numbers.size(), 1.0, SlicePlacement::Source::Unit);
    if (numbers.size() < 2)
        return unit;
    if (std::any_of(numbers.begin(), numbers.end(), [](const auto &n) { return !n; })) {
        unit.unnumbered = SlicePlacement::Unnumbered::NameWithoutNumber;
        return unit;
    }
    std::vector<long long> sorted;
    for (const auto &n : numbers)
        sorted.push_back(*n);
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        unit.unnumbered = SlicePlacement::Unnumbered::RepeatedNumber;
        return unit;
    }
    // Differences are taken in doubles: numbers far apart must not overflow.
    double smallest = std::numeric_limits<double>::infinity(), largest = 0.0;
    for (size_t k = 1; k < sorted.size(); ++k) {
        const double gap = double(sorted[k]) - double(sorted[k - 1]);
        smallest = std::min(smallest, gap);
        largest = std::max(largest, gap);
    }
    SlicePlacement p;
    p.source = SlicePlacement::Source::Numbers;
    p.step = smallest;
    p.uneven = largest != smallest;
    for (const auto &n : numbers)
        p.offsets.push_back(double(*n) - double(sorted.front()));
    p.depth = double(sorted.back()) - double(sorted.front()) + smallest;
    return p;
}

std::vector<VolumePlane> volumePlanes(const SlicePlacement &placement, int maxPlanes)
{
    std::vector<VolumePlane> planes;
    const size_t ns = placement.offsets.size();
    if (ns == 0 || !(placement.depth > 0.0) || maxPlanes < 1)
        return planes;
    // The slices by offset: each holds the slab up to the next.
    std::vector<int> order(ns);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
        [&placement](int a, int b) { return placement.offsets[size_t(a)] < placement.offsets[size_t(b)]; });
    const double pitch = std::max(std::min(1.0, placement.step), placement.depth / maxPlanes);
    const int count = std::clamp(static_cast<int>(std::ceil(placement.depth / pitch - 1e-9)), 1, maxPlanes);
    planes.reserve(size_t(count));
    size_t at = 0;
    for (int m = 0; m < count; ++m) {
        const double u = m * pitch;
        while (at + 1 < ns && placement.offsets[size_t(order[at + 1])] <= u + 1e-9)
            ++at;
        planes.push_back({u - placement.depth / 2.0, order[at]});
    }
    return planes;
}
