#pragma once

// Qt
#include <QByteArray>

// Local
#include <span>
#include <string>

/// A calculation region in image pixels: columns x0 ≤ x < x1 and rows z0 ≤ z < z1 (the starts
/// truncated toward zero).
struct Region
{
    double x0 = 0.0;
    double z0 = 0.0;
    double x1 = 0.0;
    double z1 = 0.0;
};

/// The value window of a data file: a value outside lower … upper is written as 0, then the offset
/// is added (a NaN passes unchanged).
struct DataWindow
{
    double upper = 10.0;
    double lower = -10.0;
    double offset = 10.0;
};

/// A double as C's %g writes it: at most 6 significant digits, exponent with sign and at least
/// two digits.
std::string formatG(double value);

/// The text of a CT image data file: the "#QRVL-CTImg" header with the region, then one line
/// "x TAB z TAB value" per pixel of the region (x fastest); pixels outside the n × n image are 0.
/// An empty array when the text of the region could not be held in memory (more than
/// `dataFileByteLimit`), which the caller reports as a write failure.
/// The largest data file text that is built: the machine's physical memory.
qint64 dataFileByteLimit();
/// Sets that bound (tests and fuzz targets use a small one); 0 gives back the machine's memory.
void setDataFileByteLimit(qint64 bytes);

/// The whole pixels start … end − 1 of the region side [a, b): from a truncated toward zero while
/// < b (an empty range when b ≤ a). False for sides that are not numbers or beyond ±10^15.
bool regionPixelRange(double a, double b, long long &start, long long &end);

QByteArray ctImageDataText(
    std::span<const double> image, int n, const Region &region, const DataWindow &window);
/// The same text made in `text`, in the room it has when that is enough: a caller that makes one
/// file after another keeps one array, whose pages are not faulted in afresh for each (tens of
/// megabytes a slice). False, with `text` empty, where the other gives an empty array.
bool ctImageDataTextInto(
    std::span<const double> image, int n, const Region &region, const DataWindow &window, QByteArray &text);
