// Reading a scan by blocks of lines, as quorvel-recon does: the same 16-bit frames as ITEX files
// (one per frame) and as one HDF5 scan file (NXtomo), a block of 64 slices of every frame at a time.
// Prints the lines' megabytes per second for each format and slice direction, and the peak memory of
// each reading.
//
//   bench_scanread [--dir DIR] [--frames F] [--width W] [--height H] [--block B] [--blocks K]
//                  [--storage contiguous|chunked|gzip] [--only itex|hdf5] [--lines rows|columns]
//                  [--keep]
//
// The default scan is 1800 frames of 2048 × 2048 (15 GB in each format); fewer frames (--frames 450)
// measure the same rates on less disk. Each reading takes K blocks (default 4) spread over the frame;
// the files are read warm from the page cache after the first pass, and the best of the passes is
// the figure. The files are written into DIR (default: a temporary folder) and removed unless --keep.
// The peak memory is that of the first reading of a process: run one format and one direction at a
// time (--only, --lines) for it, since memory once taken stays with the process.

// Qt
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

// Local
#include "bench/benchutil.h"
#include "imagedata/imagesource.h"
#include "imagedata/imgdata.h"
#include "tools/scanfile/scanfilewriter.h"
#include <cstdio>

namespace {

// The highest resident memory of the process since the last reset, in bytes (Linux; 0 elsewhere).
double peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0.0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() * 1024.0;
    return 0.0;
}

// Starts the peak anew from what is resident now.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Counts of frame f, row y: a cheap pattern of 16-bit values.
void fillRow(int frame, int y, int width, double *row)
{
    uint32_t v = uint32_t(frame) * 2654435761u + uint32_t(y) * 40503u;
    for (int x = 0; x < width; ++x) {
        v = v * 1664525u + 1013904223u;
        row[x] = 1000 + (v >> 18);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_scanread [--dir DIR] [--frames F] [--width W] [--height H] [--block B] [--blocks K]
                      [--storage contiguous|chunked|gzip] [--only itex|hdf5] [--lines rows|columns]
                      [--keep]
Reading a scan by blocks of lines as quorvel-recon does, from ITEX files and from one HDF5 scan
file: megabytes of lines per second for each format and slice direction, and the peak memory.
)"))
        return 0;
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    auto take = [&](const QString &name, const QString &fallback) {
        const qsizetype i = args.indexOf(name);
        return i < 0 || i + 1 >= args.size() ? fallback : args[i + 1];
    };
    QTemporaryDir temporary;
    const QString dir = take(QStringLiteral("--dir"), temporary.path());
    const int frames = take(QStringLiteral("--frames"), QStringLiteral("1800")).toInt();
    const int width = take(QStringLiteral("--width"), QStringLiteral("2048")).toInt();
    const int height = take(QStringLiteral("--height"), QStringLiteral("2048")).toInt();
    const int block = take(QStringLiteral("--block"), QStringLiteral("64")).toInt();
    const int blocks = take(QStringLiteral("--blocks"), QStringLiteral("4")).toInt();
    const QString storage = take(QStringLiteral("--storage"), QStringLiteral("contiguous"));
    const bool keep = args.contains(QStringLiteral("--keep"));
    const QString only = take(QStringLiteral("--only"), QString());
    const QString direction = take(QStringLiteral("--lines"), QString());
    if (frames < 1 || width < 1 || height < 1 || block < 1 || blocks < 1
        || block * blocks > std::min(width, height)) {
        std::fprintf(stderr, "bench_scanread: bad sizes\n");
        return 2;
    }
    QDir().mkpath(dir);
    const QString itexDir = QDir(dir).filePath(QStringLiteral("itex"));
    const QString scanFile = QDir(dir).filePath(QStringLiteral("scan-%1.nxs").arg(storage));

    // The frames in both formats.
    QStringList files;
    QDir().mkpath(itexDir);
    QElapsedTimer writing;
    writing.start();
    std::vector<double> row(static_cast<size_t>(width));
    std::vector<uint32_t> px(static_cast<size_t>(width) * height);
    for (int f = 0; f < frames; ++f) {
        files << QDir(itexDir).filePath(QStringLiteral("p%1.img").arg(f, 5, 10, QLatin1Char('0')));
        if (QFile::exists(files.last()))
            continue;
        for (int y = 0; y < height; ++y) {
            fillRow(f, y, width, row.data());
            std::copy(row.cbegin(), row.cend(), px.begin() + ptrdiff_t(y) * width);
        }
        writeItexFile(files.last(), {width, height, 2, 1.0, px});
    }
    if (!QFile::exists(scanFile)) {
        ScanFileRecipe recipe;
        recipe.width = width;
        recipe.height = height;
        recipe.keys.assign(size_t(frames), 0);
        for (int f = 0; f < frames; ++f)
            recipe.angles.push_back(180.0 * f / frames);
        recipe.chunked = storage != QLatin1String("contiguous");
        recipe.gzip = storage == QLatin1String("gzip") ? 1 : 0;
        recipe.fill = [width](int, int index, int y, double *r) { fillRow(index, y, width, r); };
        QString error;
        if (!writeScanFile(scanFile, recipe, &error)) {
            std::fprintf(stderr, "bench_scanread: %s\n", qPrintable(error));
            return 1;
        }
    }
    printFigure(QStringLiteral("writing both formats"), writing.nsecsElapsed() * 1e-9, QStringLiteral("s"));
    printFigure(QStringLiteral("scan file size"), QFileInfo(scanFile).size() / 1e6, QStringLiteral("MB"));

    std::vector<ImageSource> scanSources;
    std::vector<std::shared_ptr<const Hdf5Scan>> scans;
    QString error;
    if (!expandSources({scanFile}, scanSources, scans, error)) {
        std::fprintf(stderr, "bench_scanread: %s\n", qPrintable(error));
        return 1;
    }
    std::vector<ImageSource> itexSources;
    for (const QString &file : std::as_const(files))
        itexSources.push_back(imageFileSource(file));

    for (bool rows : {true, false}) {
        if (!direction.isEmpty() && rows != (direction == QLatin1String("rows")))
            continue;
        const int extent = rows ? height : width;
        // K blocks of B neighbouring slices, spread over the frame.
        std::vector<std::vector<int>> lineBlocks;
        for (int k = 0; k < blocks; ++k) {
            const int first = int((long long)(extent - block) * k / std::max(1, blocks - 1));
            std::vector<int> lines(static_cast<size_t>(block));
            for (int i = 0; i < block; ++i)
                lines[size_t(i)] = first + i;
            lineBlocks.push_back(lines);
        }
        const double bytes = double(frames) * blocks * block * (rows ? width : height) * 2.0;
        for (auto [name, sources] :
            {std::pair {"ITEX files", &itexSources}, std::pair {"HDF5 scan", &scanSources}}) {
            if (!only.isEmpty() && (sources == &itexSources) != (only == QLatin1String("itex")))
                continue;
            resetPeak();
            const double before = peakResidentBytes();
            bool ok = true;
            const double seconds = bestSeconds(2, [&] {
                for (const std::vector<int> &lines : lineBlocks) {
                    std::vector<std::shared_ptr<const ImgData>>
                        held; // one block of every frame, as the command holds it
                    held.reserve(sources->size());
                    for (const ImageSource &source : *sources) {
                        held.push_back(readLineBlock(source, rows, lines, width, height));
                        ok = ok && held.back();
                    }
                }
            });
            if (!ok) {
                std::fprintf(stderr, "bench_scanread: a block could not be read\n");
                return 1;
            }
            const QString what = QStringLiteral("%1, %2 (%3), blocks of %4 %5")
                                     .arg(QLatin1String(name),
                                         rows ? QStringLiteral("rows") : QStringLiteral("columns"), storage)
                                     .arg(block)
                                     .arg(rows ? QStringLiteral("rows") : QStringLiteral("columns"));
            printFigure(what + QStringLiteral(": lines read"), bytes / seconds / 1e6, QStringLiteral("MB/s"));
            printFigure(what + QStringLiteral(": peak memory above the start"),
                (peakResidentBytes() - before) / 1e6, QStringLiteral("MB"));
        }
    }
    printFigure(QStringLiteral("one block of 64 lines of every frame"),
        double(frames) * block * width * 2 / 1e6, QStringLiteral("MB"));
    if (!keep) {
        QDir(itexDir).removeRecursively();
        QFile::remove(scanFile);
    }
    return 0;
}
