#pragma once

// Qt
#include <QString>

/// The properties of an ITEX comment that this program uses.
struct ItexProps
{
    int width = 0; // "Prop_ImageWidth="
    int height = 0; // "Prop_ImageHeight="
    int bytesPerPixel = 0; // "BytesPerPixel="
    double expTime = 1.0; // "Prop_ExposureTime1=" / "Prop_ExposureTime2=", the later one wins
    int areaWidth = 0; // from "areSource=", x1 − x0
    int areaHeight = 0; // from "areSource=", y1 − y0
};

/// Scans an ITEX comment. Items end at a comma outside double quotes; camera files also join their
/// sections ("[Camera]", "[Acquisition]", …) with line breaks, which end an item as well. Each
/// ended item is tested for every key as a prefix; the text after the last separator is never
/// tested, so a property must be followed by a separator to take effect.
ItexProps parseItexComment(const QString &comment);
