#include "view3d/slicereaders.h"

// Qt
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

// Local
#include "imagedata/imgdatatiff.h"
#include "imagedata/imgfiletype.h"
#include "view3d/textfields.h"
#include "view3d/view3dlog.h"

namespace {

/// Calls `read` with the whole file as text (mapped where the system allows), nothing when the file
/// cannot be opened.
template<typename Read> std::optional<SliceData> withFileText(const QString &path, Read read)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 size = file.size();
    if (size > 0) {
        if (const uchar *mapped = file.map(0, size))
            return read(std::string_view(reinterpret_cast<const char *>(mapped), static_cast<size_t>(size)));
    }
    const QByteArray bytes = file.readAll(); // pipes, empty files, systems without mapping
    return read(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

bool fitsLimits(int64_t columns, int64_t rows, const SliceReadLimits &limits)
{
    return columns > 0 && rows > 0 && columns <= std::numeric_limits<int>::max()
        && rows <= std::numeric_limits<int>::max() && columns * rows <= limits.maxValues;
}

void tooLarge(const char *kind, int64_t columns, int64_t rows)
{
    qCWarning(lcView3d).noquote() << QStringLiteral("Slice grid too large in %1 file : %2 x %3")
                                .arg(QLatin1String(kind))
                                .arg(columns)
                                .arg(rows);
}

} // namespace

std::optional<SliceData> readRasterSlice(const QString &path, const SliceReadLimits &limits)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return std::nullopt;
    const QSize size = reader.size();
    if (size.isValid() && !fitsLimits(size.width(), size.height(), limits)) {
        tooLarge("image", size.width(), size.height());
        return std::nullopt;
    }
    QImage image = reader.read();
    if (image.isNull() || !fitsLimits(image.width(), image.height(), limits))
        return std::nullopt;
    SliceData slice;
    slice.isImage = true;
    slice.makeGrid(image.width(), image.height());
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < slice.ny; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        double *out = slice.values.data() + static_cast<size_t>(y) * slice.nx;
        for (int x = 0; x < slice.nx; ++x) {
            out[x] = line[x] & 0xff;
            slice.follow(out[x]);
        }
    }
    slice.image = std::move(image);
    return slice;
}

std::optional<SliceData> readCtImgText(std::string_view text, const SliceReadLimits &limits)
{
    LineCursor lines(text);
    std::string_view line;
    if (!lines.next(line) || !line.starts_with("#QRVL-CTImg"))
        return std::nullopt;
    SliceData slice;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool sized = false;
    while (lines.next(line)) {
        const LineFields f = splitFields(line, false);
        if (f.count >= 1 && f.field[0] == "#") {
            if (f.count >= 4) {
                const std::string_view key = f.field[1];
                int *target = key == "Range_X0" ? &x0
                    : key == "Range_Y0"         ? &y0
                    : key == "Range_X1"         ? &x1
                    : key == "Range_Y1"         ? &y1
                                                : nullptr;
                if (target)
                    *target = fieldToInt(f.field[3]);
            }
            continue;
        }
        if (!sized) {
            const int64_t columns = int64_t(x1) - x0 + 1, rows = int64_t(y1) - y0 + 1;
            if (x1 <= 0 || y1 <= 0 || columns <= 0 || rows <= 0)
                continue; // sized at a later line, if ever
            if (!fitsLimits(columns, rows, limits)) {
                tooLarge("CT image data", columns, rows);
                return std::nullopt;
            }
            slice.makeGrid(static_cast<int>(columns), static_cast<int>(rows));
            sized = true;
        }
        if (f.count < 3)
            continue;
        const int x = fieldToInt(f.field[0]);
        const int y = fieldToInt(f.field[1]);
        if (x < 0 || y < 0 || x >= slice.nx || y >= slice.ny)
            continue; // outside the region's grid
        const double v = fieldToDouble(f.field[2]);
        slice.values[static_cast<size_t>(y) * slice.nx + x] = v;
        slice.follow(v);
    }
    if (!sized)
        return std::nullopt;
    return slice;
}

std::optional<SliceData> readCtImgFile(const QString &path, const SliceReadLimits &limits)
{
    return withFileText(path, [&limits](std::string_view text) { return readCtImgText(text, limits); });
}

std::optional<SliceData> readXyvText(std::string_view text, const SliceReadLimits &limits)
{
    LineCursor lines(text);
    std::string_view line;
    if (!lines.next(line) || !line.starts_with("## 240301"))
        return std::nullopt;
    SliceData slice;
    int64_t columns = 0, rows = 0, originX = 0, originY = 0;
    bool made = false;
    while (lines.next(line)) {
        const LineFields f = splitFields(line, true);
        if (f.count == 0)
            continue;
        if (f.field[0].starts_with('#')) {
            // "Format1 … XYV" and "Format2 … SPACE-Separated" name the layout; it is read as x, y,
            // value whatever they say. The grid size counts the points' boundaries: X-NUM − 1 columns.
            if (f.count == 3 && f.field[1] == "X-NUM")
                columns = int64_t(fieldToInt(f.field[2])) - 1;
            else if (f.count == 3 && f.field[1] == "Y-NUM")
                rows = int64_t(fieldToInt(f.field[2])) - 1;
            continue;
        }
        if (!made) {
            if (columns <= 0 || rows <= 0)
                continue;
            if (f.count < 2)
                return std::nullopt; // no origin to place the grid at
            if (!fitsLimits(columns, rows, limits)) {
                tooLarge("XYV", columns, rows);
                return std::nullopt;
            }
            slice.makeGrid(static_cast<int>(columns), static_cast<int>(rows));
            originX = fieldToInt(f.field[0]);
            originY = fieldToInt(f.field[1]);
            made = true;
        }
        if (f.count < 3)
            continue;
        const int64_t x = fieldToInt(f.field[0]) - originX;
        const int64_t y = fieldToInt(f.field[1]) - originY;
        if (x < 0 || y < 0 || x >= slice.nx || y >= slice.ny)
            continue;
        const double v = fieldToDouble(f.field[2]);
        slice.values[static_cast<size_t>(y) * slice.nx + static_cast<size_t>(x)] = v;
        slice.follow(v);
    }
    if (!made)
        return std::nullopt;
    return slice;
}

std::optional<SliceData> readXyvFile(const QString &path, const SliceReadLimits &limits)
{
    return withFileText(path, [&limits](std::string_view text) { return readXyvText(text, limits); });
}

std::optional<SliceData> readTiffSlice(const QString &path, const SliceReadLimits &limits)
{
    if (!isTiffFile(path)) // by its first bytes, quietly: most slices are text files
        return std::nullopt;
    ImgDataTiff tiff;
    int32_t width = 0, height = 0;
    if (!tiff.readProps(path, width, height)) // says why (colour, sample kind, damage)
        return std::nullopt;
    if (!fitsLimits(width, height, limits)) {
        tooLarge("TIFF", width, height);
        return std::nullopt;
    }
    // Decoded whole, so that a damaged strip refuses the file rather than leaving rows of zeros.
    tiff.setReadAll(true);
    tiff.setRepairNonFinite(false); // a slice's NaN stays in the grid, left out of its range
    tiff.setFileName(path);
    if (!tiff.open())
        return std::nullopt;
    SliceData slice;
    slice.makeGrid(tiff.width(), tiff.height());
    for (int y = 0; y < slice.ny; ++y) {
        double *out = slice.values.data() + static_cast<size_t>(y) * slice.nx;
        tiff.getRow(y, out);
        for (int x = 0; x < slice.nx; ++x)
            slice.follow(out[x]);
    }
    return slice;
}

std::optional<SliceData> readSliceFile(const QString &path, const SliceReadLimits &limits)
{
    // TIFF slices (float or integer samples) keep their true values, which the toolkit's raster
    // reading would cut to 8 bits. A TIFF the grey reader does not take (colour) goes the raster way.
    if (auto slice = readTiffSlice(path, limits))
        return slice;
    if (auto slice = readRasterSlice(path, limits))
        return slice;
    if (auto slice = readCtImgFile(path, limits))
        return slice;
    return readXyvFile(path, limits);
}
