#pragma once

// Qt
#include <QString>

class QImage;

/// Text in a 5 × 7 pixel font drawn straight into an image, without the font machinery of a window
/// system: the command writes its pictures without a display, the same everywhere. Letters, digits
/// and a little punctuation; anything else is a blank.
namespace pixelfont {

constexpr int advance = 6; // glyph pixels from one character to the next
constexpr int height = 7;

/// Width of `text` in image pixels at `scale` image pixels per glyph pixel.
int width(const QString &text, int scale = 1);
/// Draws `text` with its top left corner at (x, y) in `colour` (an ARGB32 image or an 8-bit one, where
/// the colour's grey level is used), clipped to the image.
void draw(QImage &image, int x, int y, const QString &text, unsigned colour, int scale = 1);

} // namespace pixelfont
