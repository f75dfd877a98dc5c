#pragma once

// Local
#include "ct/ctimagefile.h"
#include <cstddef>
#include <deque>
#include <optional>

/// What one change of the run's geometry replaced: the centre of rotation, the slice, or the slice
/// range with the regions (a Shift-drag sets both). Only the kind's own fields are used.
struct GeometryChange
{
    enum Kind { Cor, Slice, RangeAndRegions };
    Kind kind = Cor;
    double cor = 0.0;
    int slice = 0;
    int sliceFrom = 0;
    int sliceTo = 0;
    Region calc;
    Region disp;

    static GeometryChange ofCor(double cor)
    {
        GeometryChange c;
        c.cor = cor;
        return c;
    }
    static GeometryChange ofSlice(int slice)
    {
        GeometryChange c;
        c.kind = Slice;
        c.slice = slice;
        return c;
    }
    static GeometryChange ofRange(int from, int to, const Region &calc, const Region &disp)
    {
        GeometryChange c;
        c.kind = RangeAndRegions;
        c.sliceFrom = from;
        c.sliceTo = to;
        c.calc = calc;
        c.disp = disp;
        return c;
    }
};

/// The last changes of the geometry that the mouse (or a page picking a centre) made, newest last,
/// so that Ctrl+Z can put them back one by one. A short history: the oldest go first.
class GestureHistory
{
public:
    static constexpr std::size_t maxKept = 20;

    void record(const GeometryChange &before)
    {
        changes_.push_back(before);
        if (changes_.size() > maxKept)
            changes_.pop_front();
    }
    /// The newest change, taken out; none when the history is empty.
    std::optional<GeometryChange> takeLast()
    {
        if (changes_.empty())
            return std::nullopt;
        GeometryChange last = changes_.back();
        changes_.pop_back();
        return last;
    }
    std::size_t size() const { return changes_.size(); }

private:
    std::deque<GeometryChange> changes_;
};
