// Reading a scan file as quorvel-recon does, a block of slices at a time, from the same frames stored
// contiguously, in gzip chunks (level 1, one chunk a frame, as many detectors write) and in LZ4
// chunks (when the plugin is installed):
// - the check of each file's structure in a child process, against opening it in this one;
// - the decoding of every compressed frame once, on one thread and on two, and its scaling;
// - blocks of rows and of columns spread over the frame, and the whole volume, on one and two
//   threads, with the chunks decoded per chunk stored (1 when each is decoded once), and, for
//   comparison, gzip read through the library block by block as before;
// - the whole volume reconstructed by the command (slices as columns, the default axis) from the
//   contiguous and the gzip file, on two threads with the block given: the time and their ratio.
//
//   bench_scanread [--frames F] [--width W] [--height H] [--block B] [--blocks K] [--no-recon]
//                  [--dir DIR] [--keep] [--help]
//
// The default scan, 360 frames of 512 x 256 (a smooth object with Poisson noise, 16-bit counts), fits
// a minute of two shared cores; the files are written into DIR (default: a temporary folder) and
// removed unless --keep. Reading figures are the best of two passes, warm from the page cache.

// Qt
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

// Local
#include "bench/benchutil.h"
#include "imagedata/decodedbands.h"
#include "imagedata/hdf5probe.h"
#include "imagedata/imagesource.h"
#include "imagedata/imgdata.h"
#include "recon/reconoptions.h"
#include "recon/reconrun.h"
#include "tools/scanfile/scanfilewriter.h"
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

namespace {

struct Sizes
{
    int frames = 360;
    int width = 512;
    int height = 256;
    int block = 64;
    int blocks = 4;
};

// Counts of a cylinder off the axis through a flat beam of 20000, with Poisson noise (normal
// approximation): compressible as real projections are, not a pattern gzip sees through.
ScanFileRecipe smoothScan(const Sizes &s)
{
    ScanFileRecipe r;
    r.width = s.width;
    r.height = s.height;
    r.keys.assign(size_t(s.frames), 0);
    for (int f = 0; f < s.frames; ++f)
        r.angles.push_back(180.0 * f / s.frames);
    const int width = s.width, frames = s.frames;
    r.fill = [width, frames](int, int index, int y, double *row) {
        std::mt19937 rng(unsigned(index * 7919 + y));
        std::normal_distribution<double> noise(0.0, 1.0);
        const double a = std::numbers::pi * index / frames, radius = 0.3 * width;
        const double centre = 0.5 * width + 0.15 * width * std::cos(a);
        for (int x = 0; x < width; ++x) {
            const double d = x - centre;
            const double path = d * d < radius * radius ? 2.0 * std::sqrt(radius * radius - d * d) : 0.0;
            const double counts = 20000.0 * std::exp(-0.004 * path * (1.0 + 0.1 * std::sin(y * 0.05)));
            row[x] = std::clamp(std::round(counts + std::sqrt(counts) * noise(rng)), 0.0, 65535.0);
        }
    };
    return r;
}

// The sources of every projection of `file`, with the compressed ones decoded once for `blocks`
// on `threads` threads when `threads` > 0.
std::vector<ImageSource> sourcesOf(const QString &file, bool rows,
    const std::vector<std::vector<int>> &blocks, int threads, const QString &scratch,
    std::shared_ptr<DecodedBands> &bands)
{
    std::vector<ImageSource> sources;
    std::vector<std::shared_ptr<const Hdf5Scan>> scans;
    QString error;
    if (!expandSources({file}, sources, scans, error)) {
        std::fprintf(stderr, "bench_scanread: %s\n", qPrintable(error));
        std::exit(1);
    }
    bands.reset();
    if (threads > 0) {
        DecodedBands::Plan plan {rows, blocks, threads, scratch};
        std::vector<ImageSource *> pointers;
        for (ImageSource &s : sources)
            pointers.push_back(&s);
        bands = DecodedBands::attach(plan, pointers);
    }
    return sources;
}

// Reads `blocks` of every source as a run does; false when a block cannot be read.
bool readBlocks(const std::vector<ImageSource> &sources, bool rows,
    const std::vector<std::vector<int>> &blocks, int width, int height)
{
    for (const std::vector<int> &lines : blocks) {
        std::vector<std::shared_ptr<const ImgData>> held; // one block of every frame, as the run holds it
        held.reserve(sources.size());
        for (const ImageSource &source : sources) {
            held.push_back(readLineBlock(source, rows, lines, width, height));
            if (!held.back())
                return false;
        }
    }
    return true;
}

// `count` blocks of `block` neighbouring lines spread over `extent` lines; every line when count is 0.
std::vector<std::vector<int>> lineBlocks(int extent, int block, int count)
{
    std::vector<std::vector<int>> blocks;
    const int n = count > 0 ? count : (extent + block - 1) / block;
    for (int k = 0; k < n; ++k) {
        const int first = count > 0 ? int((long long)(extent - block) * k / std::max(1, n - 1)) : k * block;
        std::vector<int> lines;
        for (int i = first; i < std::min(extent, first + block); ++i)
            lines.push_back(i);
        blocks.push_back(lines);
    }
    return blocks;
}

double reconSeconds(const QString &file, const QString &out, const Sizes &s, QString &said)
{
    ReconOptions options;
    QString error;
    parseReconOptions({file, QStringLiteral("--axis"), QStringLiteral("h"), QStringLiteral("--cor"),
                          QString::number(s.height / 2), QStringLiteral("--slices"),
                          QStringLiteral("0:%1").arg(s.width - 1), QStringLiteral("--block"),
                          QString::number(s.block), QStringLiteral("--threads"), QStringLiteral("2"),
                          QStringLiteral("--no-png"), QStringLiteral("--out"), out},
        options, error);
    said.clear();
    QTextStream sink(&said);
    int status = 1;
    const double seconds = bestSeconds(1, [&] { status = ReconRun(options, sink, sink).exec(); });
    if (status != 0) {
        std::fprintf(stderr, "bench_scanread: the run failed\n%s\n", qPrintable(said));
        std::exit(1);
    }
    QDir(out).removeRecursively();
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_scanread [--frames F] [--width W] [--height H] [--block B] [--blocks K]
                      [--no-recon] [--dir DIR] [--keep]
Reads one scan stored contiguously, in gzip chunks (level 1, a chunk a frame) and in LZ4 chunks as
quorvel-recon does: the check of each file's structure in a child process, the decoding of every
frame once on one and two threads, blocks of rows and columns and the whole volume with the decodes
per chunk counted; then reconstructs the whole volume from the contiguous and the gzip file on two
threads. Default: 360 frames of 512 x 256, blocks of 64, 4 blocks spread over the frame.
)"))
        return 0;
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const auto take = [&](const char *name, int fallback) {
        const qsizetype i = args.indexOf(QLatin1String(name));
        return i < 0 || i + 1 >= args.size() ? fallback : args[i + 1].toInt();
    };
    Sizes s {take("--frames", 360), take("--width", 512), take("--height", 256), take("--block", 64),
        take("--blocks", 4)};
    if (s.frames < 2 || s.width < 2 || s.height < 2 || s.block < 1 || s.blocks < 1
        || s.block * s.blocks > std::min(s.width, s.height)) {
        std::fprintf(stderr, "bench_scanread: bad sizes (see --help)\n");
        return 2;
    }
    printProcessor();
    printFigure(QStringLiteral("hardware threads"), QThread::idealThreadCount(), QString());
    QTemporaryDir temporary;
    const qsizetype d = args.indexOf(QStringLiteral("--dir"));
    const QString dir = d >= 0 && d + 1 < args.size() ? args[d + 1] : temporary.path();
    QDir().mkpath(dir);

    // The same frames in each storage.
    QStringList storages {QStringLiteral("contiguous"), QStringLiteral("gzip")};
    if (scanFilterAvailable(32004))
        storages << QStringLiteral("LZ4");
    const double megabytes = double(s.frames) * s.width * s.height * 2 / 1e6;
    printFigure(QStringLiteral("frames, uncompressed"), megabytes, QStringLiteral("MB"));
    for (const QString &storage : storages) {
        const QString file = QDir(dir).filePath(QStringLiteral("scan-%1.nxs").arg(storage));
        ScanFileRecipe recipe = smoothScan(s);
        recipe.chunked = storage != QLatin1String("contiguous");
        recipe.gzip = storage == QLatin1String("gzip") ? 1 : 0;
        recipe.plugin = storage == QLatin1String("LZ4") ? 32004 : 0;
        if (!QFile::exists(file) && !writeScanFile(file, recipe)) {
            std::fprintf(stderr, "bench_scanread: cannot write %s\n", qPrintable(file));
            return 1;
        }
        printFigure(storage + QStringLiteral(" file"), QFileInfo(file).size() / 1e6, QStringLiteral("MB"));
    }
    const auto fileOf = [&dir](const QString &storage) {
        return QDir(dir).filePath(QStringLiteral("scan-%1.nxs").arg(storage));
    };
    const QString scratch = QDir(dir).filePath(QStringLiteral("scratch"));

    // What opening costs: the structure checked in a child process (a name of its own each time, so
    // that no earlier pass is taken), against opening it in this one.
    for (const QString &storage : storages) {
        int n = 0;
        QString error;
        const double child = bestSeconds(5, [&] {
            const QString link = QDir(dir).filePath(QStringLiteral("probe-%1.nxs").arg(n++));
            QFile::link(fileOf(storage), link);
            if (!probeScanFile(link, error))
                std::fprintf(stderr, "bench_scanread: %s\n", qPrintable(error));
            QFile::remove(link);
        });
        const double here = bestSeconds(5, [&] { Hdf5Scan::openHere(fileOf(storage), error); });
        printFigure(storage + QStringLiteral(" file, its structure checked in a child process"), child * 1e3,
            QStringLiteral("ms"));
        printFigure(
            storage + QStringLiteral(" file, opened in this process"), here * 1e3, QStringLiteral("ms"));
    }

    // Decoding alone: every frame once, one line kept.
    for (const QString &storage : storages.mid(1)) {
        double seconds[3] = {}, locked = 0.0, pass = 0.0;
        for (int threads : {1, 2}) {
            std::shared_ptr<DecodedBands> bands;
            const std::vector<std::vector<int>> one {{0}};
            seconds[threads] = bestSeconds(3, [&] {
                readBlocks(sourcesOf(fileOf(storage), true, one, threads, scratch, bands), true, one, s.width,
                    s.height);
            });
            if (threads == 1) { // of the last pass
                locked = bands->rawReadSeconds();
                pass = bands->decodeSeconds();
            }
        }
        // The raw reads under the library's lock are the serial part: the scaling two threads can reach.
        const double serial = locked / pass;
        printFigure(storage + QStringLiteral(" decoding, share under the library's lock"), 100.0 * serial,
            QStringLiteral("%"));
        printFigure(storage + QStringLiteral(" decoding, the most 2 threads can gain (Amdahl)"),
            1.0 / (serial + (1.0 - serial) / 2.0), QStringLiteral("x"));
        printFigure(
            storage + QStringLiteral(" decoding, 1 thread"), megabytes / seconds[1], QStringLiteral("MB/s"));
        printFigure(
            storage + QStringLiteral(" decoding, 2 threads"), megabytes / seconds[2], QStringLiteral("MB/s"));
        printFigure(storage + QStringLiteral(" decoding scales on 2 threads"), seconds[1] / seconds[2],
            QStringLiteral("x"));
    }

    // Blocks spread over the frame, and the whole volume, as a run reads them.
    for (bool rows : {true, false}) {
        const int extent = rows ? s.height : s.width;
        const QString lines = rows ? QStringLiteral("rows") : QStringLiteral("columns");
        for (int count : {s.blocks, 0}) {
            const std::vector<std::vector<int>> blocks = lineBlocks(extent, s.block, count);
            const QString what = count > 0
                ? QStringLiteral("%1 blocks of %2 %3").arg(count).arg(s.block).arg(lines)
                : QStringLiteral("whole volume as %1 (%2 blocks of %3)")
                      .arg(lines)
                      .arg(blocks.size())
                      .arg(s.block);
            const double bytes = double(s.frames) * double(count > 0 ? count * s.block : extent)
                * (rows ? s.width : s.height) * 2.0;
            for (const QString &storage : storages) {
                for (int threads : storage == QLatin1String("contiguous") ? std::vector<int> {0}
                                                                          : std::vector<int> {1, 2, 0}) {
                    if (threads == 0 && storage == QLatin1String("LZ4"))
                        continue;
                    std::shared_ptr<DecodedBands> bands;
                    bool ok = true;
                    const double seconds = bestSeconds(2, [&] {
                        const auto sources
                            = sourcesOf(fileOf(storage), rows, blocks, threads, scratch, bands);
                        ok = ok && readBlocks(sources, rows, blocks, s.width, s.height);
                    });
                    if (!ok) {
                        std::fprintf(stderr, "bench_scanread: a block could not be read\n");
                        return 1;
                    }
                    const QString how = storage == QLatin1String("contiguous") ? storage
                        : threads == 0 ? storage + QStringLiteral(" through the library, block by block")
                                       : storage
                            + QStringLiteral(", %1 thread%2")
                                  .arg(threads)
                                  .arg(threads > 1 ? QStringLiteral("s") : QString());
                    printFigure(what + QStringLiteral(", ") + how, seconds, QStringLiteral("s"));
                    printFigure(what + QStringLiteral(", ") + how + QStringLiteral(": lines read"),
                        bytes / seconds / 1e6, QStringLiteral("MB/s"));
                    if (bands) // of the last pass
                        printFigure(what + QStringLiteral(", ") + how + QStringLiteral(": decodes per chunk"),
                            double(bands->chunksDecoded()) / double(bands->chunksHeld()), QString());
                }
            }
        }
    }

    // The whole volume reconstructed from each file: the target is gzip within 1.3 times contiguous.
    if (!args.contains(QStringLiteral("--no-recon"))) {
        QString said;
        const double contiguous = reconSeconds(
            fileOf(QStringLiteral("contiguous")), QDir(dir).filePath(QStringLiteral("out")), s, said);
        const double gzip = reconSeconds(
            fileOf(QStringLiteral("gzip")), QDir(dir).filePath(QStringLiteral("out")), s, said);
        const QString what = QStringLiteral("whole volume (%1 slices as columns, blocks of %2, 2 threads)")
                                 .arg(s.width)
                                 .arg(s.block);
        printFigure(what + QStringLiteral(", contiguous"), contiguous, QStringLiteral("s"));
        printFigure(what + QStringLiteral(", gzip"), gzip, QStringLiteral("s"));
        printFigure(
            what + QStringLiteral(", gzip against contiguous"), gzip / contiguous, QStringLiteral("x"));
        for (const QString &line : said.split(u'\n'))
            if (line.startsWith(QLatin1String("compressed frames:")))
                std::printf("%s\n", qPrintable(line));
    }
    if (!args.contains(QStringLiteral("--keep"))) {
        for (const QString &storage : storages)
            QFile::remove(fileOf(storage));
    }
    return 0;
}
