#include "imagedata/imagesource.h"

// Qt
#include <QDebug>
#include <QFileInfo>

// Local
#include "config/specialfile.h"
#include "imagedata/decodedbands.h"
#include "imagedata/imagedatalog.h"
#include "imagedata/imgdatascanframe.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/lineblock.h"
#include "imagedata/nonfinite.h"
#include <cmath>
#include <map>

namespace {

// The lines of one frame: from the run's decoded bands when they hold them, else from the scan.
bool readFrameLines(const ImageSource &source, int frame, bool rows, std::span<const int> lines,
    Hdf5Scan::Samples memory, void *out, QString &error)
{
    if (source.bands) {
        switch (source.bands->readLines(*source.scan, source.kind, frame, rows, lines, memory, out, error)) {
        case DecodedBands::Outcome::Read:
            return true;
        case DecodedBands::Outcome::Failed:
            return false;
        case DecodedBands::Outcome::NotCovered:
            break;
        }
    }
    return source.scan->readLines(source.kind, frame, rows, lines, memory, out, error);
}

// The samples that are not finite of lines just read from frame `f` of `kind`, repaired as the whole
// frame's rows are (`repairRow`): rows in place, a column's sample from its row, read whole for it.
// False, with `error`, when the lines read hold too many of them, or a row without a finite pixel.
bool repairLines(const Hdf5Scan &scan, Hdf5Scan::Kind kind, int f, bool rows, const std::vector<int> &lines,
    double *data, bool floatSamples, QString &error)
{
    NonFiniteCount count;
    if (rows) {
        for (size_t k = 0; k < lines.size(); ++k)
            count += repairRow(
                std::span<double>(data + k * size_t(scan.width()), size_t(scan.width())), floatSamples);
    } else {
        const size_t h = size_t(scan.height());
        std::map<int, std::vector<double>> repaired;
        for (size_t k = 0; k < lines.size(); ++k) {
            for (size_t y = 0; y < h; ++y) {
                double &v = data[k * h + y];
                if (std::isfinite(v))
                    continue;
                ++count.found;
                auto row = repaired.find(int(y));
                if (row == repaired.end()) {
                    std::vector<double> line(size_t(scan.width()));
                    const int at = int(y);
                    if (!scan.readLines(kind, f, true, std::span<const int>(&at, 1),
                            Hdf5Scan::Samples::Float64, line.data(), error))
                        return false;
                    count.rowsWithout += repairRow(line, floatSamples).rowsWithout;
                    row = repaired.emplace(at, std::move(line)).first;
                }
                v = row->second[size_t(lines[k])];
            }
        }
    }
    // Only these lines were read: they refuse the frame when they alone hold more than 1 % of its
    // pixels (the whole frame then surely does).
    count.pixels = std::int64_t(scan.width()) * scan.height();
    error = judgeNonFinite(count, frameLabel(scan.fileName(), kind, f));
    return error.isEmpty();
}

// The lines of frame `frame` of `kind` (all of them averaged when −1) into a block.
bool readScanLines(ImgDataLineBlock &block, const ImageSource &source, QString &error)
{
    const Hdf5Scan &scan = *source.scan;
    const std::vector<int> &lines = block.lines();
    const bool rows = block.rowLines();
    const size_t length = size_t(rows ? block.width() : block.height());
    if (source.frame >= 0) {
        switch (scan.samples(source.kind)) {
        case Hdf5Scan::Samples::UInt8:
        case Hdf5Scan::Samples::UInt16:
            block.allocate(ImgDataLineBlock::Storage::U16);
            return lines.empty()
                || readFrameLines(
                    source, source.frame, rows, lines, Hdf5Scan::Samples::UInt16, block.u16Line(0), error);
        case Hdf5Scan::Samples::UInt32:
            block.allocate(ImgDataLineBlock::Storage::U32);
            return lines.empty()
                || readFrameLines(
                    source, source.frame, rows, lines, Hdf5Scan::Samples::UInt32, block.u32Line(0), error);
        case Hdf5Scan::Samples::Float32:
        case Hdf5Scan::Samples::Float64:
            break;
        }
        block.allocate(ImgDataLineBlock::Storage::F64);
        return lines.empty()
            || (readFrameLines(
                    source, source.frame, rows, lines, Hdf5Scan::Samples::Float64, block.f64Line(0), error)
                && repairLines(scan, source.kind, source.frame, rows, lines, block.f64Line(0),
                    scan.samples(source.kind) == Hdf5Scan::Samples::Float32, error));
    }
    // The mean, summed frame after frame in the order of the whole-image mean: the same values.
    const int frames = scan.count(source.kind);
    if (frames < 1) {
        error = QStringLiteral("the scan has no such frames");
        return false;
    }
    block.allocate(ImgDataLineBlock::Storage::F64);
    if (lines.empty())
        return true;
    const size_t n = lines.size() * length;
    double *sum = block.f64Line(0);
    std::vector<double> frame(n);
    for (int f = 0; f < frames; ++f) {
        if (!readFrameLines(source, f, rows, lines, Hdf5Scan::Samples::Float64, frame.data(), error)
            || !repairLines(scan, source.kind, f, rows, lines, frame.data(), false, error))
            return false;
        for (size_t i = 0; i < n; ++i)
            sum[i] += frame[i];
    }
    for (size_t i = 0; i < n; ++i)
        sum[i] /= frames;
    return true;
}

} // namespace

QString ImageSource::label() const
{
    if (!scan)
        return file;
    if (frame < 0)
        return QStringLiteral("%1: %2").arg(scan->fileName(), meanDescription(kind, scan->count(kind)));
    const char *what = kind == Hdf5Scan::Kind::Projection ? "projection"
        : kind == Hdf5Scan::Kind::Flat                    ? "flat"
                                                          : "dark";
    return QStringLiteral("%1, %2 %3").arg(scan->fileName(), QLatin1String(what)).arg(frame);
}

bool expandSources(const QStringList &files, std::vector<ImageSource> &sources,
    std::vector<std::shared_ptr<const Hdf5Scan>> &scans, QString &error)
{
    for (const QString &file : files) {
        if (const QString kind = specialFileKind(file); !kind.isEmpty()) {
            error = QStringLiteral("cannot use %1: it is %2, not an image file").arg(file, kind);
            return false;
        }
        const ImgFileType type = checkFileType(file);
        if (type == ImgFileType::UNKNOWN) {
            error = QStringLiteral("cannot use %1 (not a readable image)").arg(file);
            return false;
        }
        if (type != ImgFileType::HDF5) {
            sources.push_back(imageFileSource(file));
            continue;
        }
        QString why;
        std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::open(file, why);
        if (!scan) {
            error = QStringLiteral("cannot use %1: %2").arg(file, why);
            return false;
        }
        for (int k = 0; k < scan->count(Hdf5Scan::Kind::Projection); ++k)
            sources.push_back(ImageSource {file, scan, Hdf5Scan::Kind::Projection, k});
        scans.push_back(std::move(scan));
    }
    return true;
}

bool readSourceSize(const ImageSource &source, int &width, int &height)
{
    if (!source.scan)
        return readImageSize(source.file, width, height);
    width = source.scan->width();
    height = source.scan->height();
    return true;
}

std::shared_ptr<const ImgData> readLineBlock(
    const ImageSource &source, bool rowLines, std::span<const int> lines, int width, int height)
{
    if (!source.scan)
        return readLineBlock(source.file, rowLines, lines, width, height);
    const int extent = rowLines ? height : width;
    for (size_t k = 0; k < lines.size(); ++k) {
        if (lines[k] < 0 || lines[k] >= extent || (k > 0 && lines[k] <= lines[k - 1])) {
            qCWarning(lcImageData).noquote() << "Lines to read are not in order inside the image :" << source.label();
            return nullptr;
        }
    }
    QString error;
    if (source.scan->width() != width || source.scan->height() != height) {
        error = QStringLiteral("its frames are %1 x %2").arg(source.scan->width()).arg(source.scan->height());
    } else {
        auto block = std::make_shared<ImgDataLineBlock>(
            source.scan->fileName(), width, height, rowLines, std::vector<int>(lines.begin(), lines.end()));
        if (readScanLines(*block, source, error))
            return block;
    }
    qCWarning(lcImageData).noquote()
        << QStringLiteral("Can not read lines of a %1 x %2 image (%3) from").arg(width).arg(height).arg(error)
        << source.label();
    return nullptr;
}
