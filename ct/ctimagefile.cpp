#include "ct/ctimagefile.h"

// Local
#include "imagedata/pixelblock.h"
#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <unistd.h>
#include <vector>

namespace {

// %.6g exactly as printf writes it. Values whose 6-digit form is plain decimal (10^-4 ≤ |v| < 10^6,
// the usual case in data files) are rounded with one multiplication; where that product lies so
// close to a rounding boundary that its own rounding error might matter, and for every other value,
// the general conversion decides.
char *putG(char *p, double v)
{
    static constexpr double powers[]
        = {1e-4, 1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};
    const double a = std::fabs(v);
    if (!(a >= 1e-5 && a < 1e6)) { // also zero, NaN and the infinities
        if (v == 0.0 && !std::signbit(v)) {
            *p = '0';
            return p + 1;
        }
        return std::to_chars(p, p + 32, v, std::chars_format::general, 6).ptr;
    }
    // The exponent of the leading digit: from the binary exponent (log10 2 ≈ 1233/4096) less one, so
    // that it starts low, then raised while a ≥ 10^(e + 1). Where the inexact powers below 1 leave it
    // one too small, the digits reach 10^6 and it is corrected below.
    std::uint64_t bits;
    std::memcpy(&bits, &a, sizeof bits);
    const int binaryExponent = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
    int e = std::max(-5, ((binaryExponent * 1233) >> 12) - 1);
    while (e < 5 && a >= powers[e + 5])
        ++e;
    const double scaled = a * powers[4 + 5 - e]; // a · 10^(5 − e)
    double digits = static_cast<double>(static_cast<long long>(scaled)); // ⌊scaled⌋, scaled > 0
    const double frac = scaled - digits;
    if (std::fabs(frac - 0.5) < 1e-6)
        return std::to_chars(p, p + 32, v, std::chars_format::general, 6).ptr;
    digits += frac > 0.5 ? 1.0 : 0.0; // random either way: no branch
    if (digits >= 1e6) { // 9.999996 → 10.0000: one more digit before the point
        digits = 1e5;
        ++e;
    }
    if (e < -4 || e >= 6)
        return std::to_chars(p, p + 32, v, std::chars_format::general, 6).ptr;
    static constexpr char pairs[]
        = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
          "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
          "8081828384858687888990919293949596979899";
    // The six digits as one little-endian word (digit i in byte i); the last one that is not a zero
    // ends the text (trailing zeros after the point are not written). Whole words are stored and the
    // pointer advanced by the real length: the caller's buffer has room past the end.
    static_assert(std::endian::native == std::endian::little);
    const int n = static_cast<int>(digits);
    auto pair = [](int i) {
        std::uint16_t two;
        std::memcpy(&two, pairs + 2 * i, 2);
        return std::uint64_t(two);
    };
    const std::uint64_t word = pair(n / 10000) | pair(n / 100 % 100) << 16 | pair(n % 100) << 32;
    const std::uint64_t nonZero = word - 0x303030303030ull; // n ≥ 10^5: byte 0 is never 0
    const int last = (63 - __builtin_clzll(nonZero)) >> 3;
    if (v < 0)
        *p++ = '-';
    if (e >= 0) {
        std::memcpy(p, &word, 8);
        p += e + 1;
        if (last > e) {
            const std::uint64_t fraction = word >> (8 * (e + 1));
            *p = '.';
            std::memcpy(p + 1, &fraction, 8);
            p += 1 + last - e;
        }
    } else {
        std::memcpy(p, "0.000000", 8);
        p += 1 - e; // "0." and −e − 1 zeros
        std::memcpy(p, &word, 8);
        p += last + 1;
    }
    return p;
}

// Characters of an integer in decimal, with its sign.
int decimalLength(long long v)
{
    char buf[24];
    return static_cast<int>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf);
}

} // namespace

bool regionPixelRange(double a, double b, long long &start, long long &end)
{
    if (!std::isfinite(a) || !std::isfinite(b) || std::abs(a) > 1e15 || std::abs(b) > 1e15)
        return false;
    start = static_cast<long long>(std::trunc(a));
    end = static_cast<long long>(std::ceil(b));
    if (end < start)
        end = start;
    return true;
}

std::string formatG(double value)
{
    char buf[32];
    return std::string(buf, putG(buf, value));
}

QByteArray ctImageDataText(
    std::span<const double> image, int n, const Region &region, const DataWindow &window)
{
    QByteArray text;
    ctImageDataTextInto(image, n, region, window, text);
    text.squeeze(); // the text waits in the saver's queue: it must not keep the room of the longest lines
    return text;
}

bool ctImageDataTextInto(
    std::span<const double> image, int n, const Region &region, const DataWindow &window, QByteArray &text)
{
    text.resize(0); // keeps the room
    long long xs = 0, xe = 0, zs = 0, ze = 0;
    if (!regionPixelRange(region.x0, region.x1, xs, xe) || !regionPixelRange(region.z0, region.z1, zs, ze))
        return false;
    // The longest line: both numbers at their widest, a value (at most 13 characters), two tabs and
    // a line feed. Only a region whose text could not be held in memory is refused, whatever the size
    // of the image (pixels outside it are written as 0 + offset).
    const long long lineBytes = std::max(decimalLength(xs), decimalLength(xe - 1))
        + std::max(decimalLength(zs), decimalLength(ze - 1)) + 13 + 3;
    const long long width = xe - xs;
    const long long rows = ze - zs;
    if (rows > 0 && width > dataFileByteLimit() / lineBytes / rows)
        return false;
    const long long lines = width * rows;
    if (lines == 0) { // no whole pixel: no column table and no pass over the rows of the other side
        xe = xs;
        ze = zs;
    }

    char buf[128];
    auto headerLine = [&](const char *label, double v) {
        text.append(label);
        text.append(buf, putG(buf, v) - buf);
        text.append('\n');
    };
    text.append("#QRVL-CTImg\n");
    headerLine("# Range_X0       : ", region.x0);
    headerLine("# Range_Y0       : ", region.z0);
    headerLine("# Range_X1       : ", region.x1 - 1);
    headerLine("# Range_Y1       : ", region.z1 - 1);
    char *h = buf;
    for (double v : {region.x0, region.z0, region.x1 - 1}) {
        h = putG(h, v);
        *h++ = '\t';
    }
    h = putG(h, region.z1 - 1);
    text.append("# sx,sy, ex,ey   : ");
    text.append(buf, h - buf);
    text.append('\n');

    // Lines are written straight into the array: at most 20 + 1 + 20 + 1 + 13 + 1 characters each.
    // The column numbers are the same on every row: written once.
    // Within the bound an allocation may still fail (memory in use elsewhere): then, as beyond the
    // bound, there is no text, and the caller reports the file as not written.
    std::vector<char> columns;
    std::vector<unsigned char> columnLength;
    const qsizetype headerSize = text.size();
    try {
        columns.resize(static_cast<size_t>(xe - xs) * 24);
        columnLength.resize(static_cast<size_t>(xe - xs));
        text.resize(headerSize + static_cast<qsizetype>(lines * lineBytes) + 64);
    } catch (const std::bad_alloc &) {
        text = QByteArray();
        return false;
    }
    for (long long x = xs; x < xe; ++x) {
        char *c = columns.data() + (x - xs) * 24;
        columnLength[static_cast<size_t>(x - xs)]
            = static_cast<unsigned char>(std::to_chars(c, c + 24, x).ptr - c);
    }
    adviseHugePages(text.data(), static_cast<size_t>(text.size())); // tens of megabytes
    char *p = text.data() + headerSize;
    for (long long z = zs; z < ze; ++z) {
        const bool rowInside = z >= 0 && z < n;
        char zText[24];
        const size_t zLength = std::to_chars(zText, zText + sizeof zText, z).ptr - zText;
        for (long long x = xs; x < xe; ++x) {
            double v = (rowInside && x >= 0 && x < n) ? image[static_cast<size_t>(z * n + x)] : 0.0;
            if (!std::isnan(v) && !(window.lower <= v && v <= window.upper))
                v = 0.0;
            v += window.offset;
            // Fixed-size copies (the array has room past the end), advanced by the real length.
            const size_t i = static_cast<size_t>(x - xs);
            std::memcpy(p, columns.data() + i * 24, 24);
            p += columnLength[i];
            *p++ = '\t';
            std::memcpy(p, zText, 24);
            p += zLength;
            *p++ = '\t';
            p = putG(p, v);
            *p++ = '\n';
        }
    }
    text.resize(p - text.constData());
    return true;
}

namespace {

std::atomic<qint64> dataFileByteLimitSet {0};

} // namespace

qint64 dataFileByteLimit()
{
    static const qint64 physical = [] {
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGESIZE);
        return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : qint64(1) << 36;
    }();
    const qint64 set = dataFileByteLimitSet.load();
    return set > 0 ? set : physical;
}

void setDataFileByteLimit(qint64 bytes)
{
    dataFileByteLimitSet.store(bytes);
}
