// Writing a run's slices into its volume file (--hdf5): 16 slices of 2048 × 2048 floats added one at a
// time, plain, gzip and LZ4, compressed on a worker or by the library, against the same slices as
// float TIFF files; on one core, into a temporary folder (or --dir DIR).

// Qt
#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

// Local
#include "bench/benchutil.h"
#include "ct/atomicfile.h"
#include "ct/ctimagetiff.h"
#include "imagedata/chunkencode.h"
#include "recon/volumefile.h"
#include <cmath>

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_volumefile [--dir DIR]
16 slices of 2048 x 2048 floats (a smooth object with noise, as reconstructed slices look) written
into one volume file slice by slice, plain, with gzip and with LZ4 (if the HDF5 filter is installed):
a chunk compressed as a worker compresses it, a slice written as it comes (compressed on a worker)
and compressed by the HDF5 library, in ms, the rate in MB/s of floats, and the file's size against
the floats; and the same slices as float TIFF files.
--dir DIR: write there (default: a temporary folder, removed at the end).
)"))
        return 0;
    QCoreApplication app(argc, argv);
    printProcessor();
    QTemporaryDir temporary;
    QString dir = temporary.path();
    const QStringList args = app.arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--dir")); i > 0 && i + 1 < args.size())
        dir = args[i + 1];
    const int n = 2048, slices = 16;
    const Region region {0, 0, double(n), double(n)};
    std::vector<double> image(size_t(n) * n);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 0.002);
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const double r = std::hypot(x - n / 2.0, z - n / 2.0) / (n / 2.0);
            image[size_t(z) * n + x] = (r < 0.9 ? 0.02 + 0.01 * std::cos(8 * r) : 0.0) + noise(rng);
        }
    const RegionFloats values = regionFloats(image, n, region);
    const double megabytes = double(values.values.size()) * 4 / 1e6;
    for (const VolumeCompression c :
        {VolumeCompression::None, VolumeCompression::Gzip, VolumeCompression::Lz4}) {
        const QString word = volumeCompressionWord(c);
        const QString path = QDir(dir).filePath(QStringLiteral("bench-%1.h5").arg(word));
        VolumeLayout layout;
        for (int s = 0; s < slices; ++s)
            layout.slices.push_back(s);
        layout.compression = c;
        QString error;
        VolumeFileWriter writer;
        if (!writer.start(path, layout, &error)) {
            std::printf("volume file, %s: not measured (%s)\n", qPrintable(word), qPrintable(error));
            continue;
        }
        // The chunk compressed as a worker does it (outside the library), then written as it is.
        RegionFloats encoded = values;
        QElapsedTimer clock;
        clock.start();
        if (c != VolumeCompression::None) {
            const auto *bytes = reinterpret_cast<const unsigned char *>(values.values.data());
            encoded.chunk = chunkcodec::encode(
                volumeFilter(c), 4, std::span<const unsigned char>(bytes, values.values.size() * 4));
            encoded.chunkFilter = volumeFilter(c);
            printFigure(QStringLiteral("chunk compressed on a worker, %1").arg(word),
                clock.nsecsElapsed() * 1e-6, QStringLiteral("ms"));
        }
        bool ok = true;
        clock.restart();
        for (int s = 0; s < slices && ok; ++s)
            ok = writer.addSlice(s, 1024.0, region, s % 2 == 0 ? encoded : values, &error);
        ok = ok && writer.finish(&error);
        const double seconds = clock.nsecsElapsed() * 1e-9;
        if (!ok) {
            std::printf("volume file, %s: failed (%s)\n", qPrintable(word), qPrintable(error));
            continue;
        }
        // Even slices came compressed, odd ones were compressed by the library: timed apart below.
        clock.restart();
        VolumeFileWriter again;
        again.start(path + QStringLiteral(".2"), layout, &error);
        for (int s = 0; s < slices && ok; ++s)
            ok = again.addSlice(s, 1024.0, region, encoded, &error);
        ok = ok && again.finish(&error);
        const double written = clock.nsecsElapsed() * 1e-9;
        QFile::remove(path + QStringLiteral(".2"));
        printFigure(QStringLiteral("volume file slice written as it comes, %1").arg(word),
            written / slices * 1e3, QStringLiteral("ms"));
        if (c != VolumeCompression::None)
            printFigure(QStringLiteral("volume file slice compressed by the library, %1").arg(word),
                (2 * seconds - written) / slices * 1e3, QStringLiteral("ms"));
        printFigure(QStringLiteral("volume file written as it comes, %1").arg(word),
            slices * megabytes / written, QStringLiteral("MB/s"));
        printFigure(QStringLiteral("volume file size, %1").arg(word),
            double(QFileInfo(path).size()) / (slices * megabytes * 1e6), QStringLiteral("of the floats"));
        QFile::remove(path);
    }
    QElapsedTimer clock;
    clock.start();
    for (int s = 0; s < slices; ++s) {
        const QString path = QDir(dir).filePath(QStringLiteral("bench-%1.tif").arg(s));
        writeFileAtomically(path, ctImageTiff(image, n, region, s));
        QFile::remove(path);
    }
    const double seconds = clock.nsecsElapsed() * 1e-9;
    printFigure(QStringLiteral("float TIFF slice"), seconds / slices * 1e3, QStringLiteral("ms"));
    return 0;
}
