// The alignment of CT-XAFS series: accuracy on phantom volumes with known shifts (a material whose
// contrast changes 5x, with and without noise), the registration of a pair of 256³ volumes on one
// thread, a whole series of float TIFF slices aligned by quorvel-xanes on two threads with its peak
// memory, and the reads of aligned.h5 for several chunk shapes.
//
//   bench_align [--size N] [--energies E] [--no-series] [--no-chunks] [DIR]
//
// The series (E energies of N³, default 100 of 256³: 6.4 GB of TIFF) is written into DIR once (kept
// for the next run; without DIR into a temporary folder, removed after). QV_KERNEL=avx2 measures the
// AVX2 loops on an AVX-512 processor; QV_BENCH_CPU=1 times the single-thread figures in processor time.

// Qt
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

// Local
#include "bench/benchutil.h"
#include "ct/ctimagetiff.h"
#include "tools/phantom/volumephantom.h"
#include "xafs/alignedfile.h"
#include "xafs/alignkernels.h"
#include "xafs/phasecorrelation.h"
#include <hdf5.h>
#include <sys/resource.h>

namespace {

// Registrations of phantoms drawn at random shifts up to ±4 voxels, the element 5x weaker than in
// the reference: the largest and the RMS error over all axes.
void accuracy(double noise)
{
    const VolumeShape s {64, 128, 128};
    auto reference = std::make_shared<Volume>(phantomVolume(s, {}, 5.0));
    if (noise > 0)
        addNoise(*reference, noise, 100);
    const auto ref = RegistrationReference::make(reference, VolumeBox::whole(s), {});
    PhaseCorrelation correlation(ref);
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> u(-4.0, 4.0);
    double worst = 0.0, squares = 0.0;
    const int pairs = 10;
    for (int i = 0; i < pairs; ++i) {
        const Shift3 truth {u(rng), u(rng), u(rng)};
        Volume moving = phantomVolume(s, truth, 1.0);
        if (noise > 0)
            addNoise(moving, noise, unsigned(i));
        const RegistrationResult r = correlation.align(moving);
        for (int a = 0; a < 3; ++a) {
            const double e = r.ok ? r.shift[a] - truth[a] : 99.0;
            worst = std::max(worst, std::abs(e));
            squares += e * e;
        }
    }
    const QString what
        = noise > 0 ? QStringLiteral("Gaussian noise of 2 % of the contrast") : QStringLiteral("no noise");
    printFigure(
        QStringLiteral("largest error of %1 shifts up to 4 voxels, element 5x, %2").arg(pairs).arg(what),
        worst, QStringLiteral("voxel"));
    printFigure(
        QStringLiteral("RMS error, %1").arg(what), std::sqrt(squares / (3 * pairs)), QStringLiteral("voxel"));
}

void pair(int n)
{
    const VolumeShape s {n, n, n};
    auto reference = std::make_shared<Volume>(phantomVolume(s, {}, 5.0));
    const Volume moving = phantomVolume(s, {2.3, -1.7, 3.1}, 1.0);
    RegistrationResult r;
    // Planned once per size, as in a series: the first call pays for it.
    PhaseCorrelation(RegistrationReference::make(reference, VolumeBox::whole(s), {})).align(moving);
    const double seconds = bestSeconds(3, [&] {
        const auto ref = RegistrationReference::make(reference, VolumeBox::whole(s), {});
        r = PhaseCorrelation(ref).align(moving);
    });
    printFigure(
        QStringLiteral("a pair of %1^3 volumes registered, one thread (%2 passes)").arg(n).arg(r.passes),
        seconds, QStringLiteral("s"));
}

// The series: E energies of N³ drifting by whole voxels (a random walk within ±4), the element's
// contrast stepping up across the edge, written as float TIFF slices of one folder per energy.
bool writeSeries(const QString &dir, int n, int energies)
{
    const QString marker = QDir(dir).filePath(QStringLiteral("complete-%1-%2").arg(energies).arg(n));
    if (QFile::exists(marker))
        return true;
    QDir(dir).removeRecursively();
    const int pad = 4, m = n + 2 * pad;
    const VolumeShape padded {m, m, m};
    const Volume matrix = phantomVolume(padded, {}, 0.0), full = phantomVolume(padded, {}, 1.0);
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> step(-1, 1);
    int offset[3] = {0, 0, 0};
    std::vector<double> image(std::size_t(n) * n);
    const Region region {0.0, 0.0, double(n), double(n)};
    for (int e = 0; e < energies; ++e) {
        const double element = 1.0 + 4.0 * (0.5 + std::atan((e - energies / 2.0) / 3.0) / 3.14159265);
        const QString tag = QStringLiteral("%1eV").arg(7000 + 2 * e);
        const QDir folder(QDir(dir).filePath(tag));
        QDir().mkpath(folder.path());
        for (int a = 0; a < 3; ++a)
            offset[a] = std::clamp(offset[a] + step(rng), -pad, pad);
        for (int z = 0; z < n; ++z) {
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x) {
                    const std::size_t i
                        = (std::size_t(z + pad + offset[0]) * m + std::size_t(y + pad + offset[1])) * m + x
                        + pad + offset[2];
                    image[std::size_t(y) * n + x]
                        = matrix.values[i] + element * (full.values[i] - matrix.values[i]);
                }
            QFile f(folder.filePath(QStringLiteral("b-%1-%2.tif").arg(tag).arg(z, 5, 10, QLatin1Char('0'))));
            const QByteArray bytes = ctImageTiff(image, n, region, z);
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                return false;
        }
    }
    QFile done(marker);
    return done.open(QIODevice::WriteOnly);
}

void series(const QString &dir, int n, int energies)
{
    QElapsedTimer t;
    t.start();
    const QString data = QDir(dir).filePath(QStringLiteral("series"));
    if (!writeSeries(data, n, energies)) {
        QTextStream(stderr) << "bench_align: cannot write the series into " << data << Qt::endl;
        return;
    }
    printFigure(
        QStringLiteral("writing (or finding) %1 energies of %2^3 float TIFF slices").arg(energies).arg(n),
        t.elapsed() / 1000.0, QStringLiteral("s"));
    QProcess xanes;
    xanes.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString out = QDir(dir).filePath(QStringLiteral("out"));
    t.restart();
    xanes.start(QStringLiteral(QUORVEL_XANES),
        {data, QStringLiteral("--out"), out, QStringLiteral("--threads"), QStringLiteral("2")});
    xanes.waitForFinished(-1);
    const double seconds = t.elapsed() / 1000.0;
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    printFigure(QStringLiteral("exit status of quorvel-xanes"), xanes.exitCode(), QString());
    printFigure(
        QStringLiteral("%1 energies of %2^3 aligned, 2 threads, reading float TIFF and writing aligned.h5")
            .arg(energies)
            .arg(n),
        seconds, QStringLiteral("s"));
    const double processor = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec
        + usage.ru_stime.tv_usec * 1e-6;
    printFigure(
        QStringLiteral("processor time of quorvel-xanes, both threads (a machine busy with other work "
                       "stretches the time above, not this)"),
        processor, QStringLiteral("s"));
    printFigure(QStringLiteral("peak resident memory of quorvel-xanes (one volume: %1 MB)")
                    .arg(double(n) * n * n * 4 / 1048576.0),
        usage.ru_maxrss / 1024.0, QStringLiteral("MB"));
    printFigure(QStringLiteral("size of aligned.h5"),
        QFileInfo(QDir(out).filePath(QStringLiteral("aligned.h5"))).size() / 1e9, QStringLiteral("GB"));
}

// Milliseconds per read of a hyperslab (start, count) of /entry/data/data, best of `repeats` runs
// over `count` random places.
double readMs(hid_t set, const VolumeShape &s, int energies, int kind, int places)
{
    std::mt19937 rng(kind + 1);
    std::vector<float> buffer;
    const hid_t file = H5Dget_space(set);
    QElapsedTimer t;
    t.start();
    for (int p = 0; p < places; ++p) {
        hsize_t start[4] = {0, 0, 0, 0}, count[4] = {1, 1, 1, 1};
        if (kind == 0) { // one slice of one energy
            start[0] = rng() % energies;
            start[1] = rng() % s.nz;
            count[2] = s.ny;
            count[3] = s.nx;
        } else if (kind == 1) { // one voxel's spectrum
            start[1] = rng() % s.nz;
            start[2] = rng() % s.ny;
            start[3] = rng() % s.nx;
            count[0] = energies;
        } else { // a slab of 8 slices of every energy
            start[1] = 8 * (rng() % (s.nz / 8));
            count[0] = energies;
            count[1] = 8;
            count[2] = s.ny;
            count[3] = s.nx;
        }
        buffer.resize(count[0] * count[1] * count[2] * count[3]);
        const hid_t memory = H5Screate_simple(4, count, nullptr);
        H5Sselect_hyperslab(file, H5S_SELECT_SET, start, nullptr, count, nullptr);
        H5Dread(set, H5T_NATIVE_FLOAT, memory, file, H5P_DEFAULT, buffer.data());
        H5Sclose(memory);
    }
    H5Sclose(file);
    return t.nsecsElapsed() / 1e6 / places;
}

void chunks(const QString &dir)
{
    // An aligned file of 50 energies of 64 × 256 × 256 (840 MB) per chunk shape: writing it one energy
    // at a time, then reading from the operating system's cache.
    const int energies = 50;
    const VolumeShape s {64, 256, 256};
    Volume v;
    v.shape = s;
    v.values.resize(s.voxels());
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (float &x : v.values)
        x = u(rng);
    for (const AlignedChunk c : {AlignedChunk {1, 1, 256, 256}, AlignedChunk {1, 8, 64, 64},
             AlignedChunk {1, 4, 32, 32}, AlignedChunk {1, 16, 16, 16}, AlignedChunk {10, 4, 32, 32}}) {
        const QString name
            = QStringLiteral("%1x%2x%3x%4").arg(c.energies).arg(c.slices).arg(c.rows).arg(c.columns);
        const QString path = QDir(dir).filePath(QStringLiteral("chunks-%1.h5").arg(name));
        QElapsedTimer t;
        t.start();
        AlignedFileWriter writer;
        AlignedMetadata m;
        bool ok = writer.create(path, s, c, nullptr);
        for (int e = 0; ok && e < energies; ++e) {
            ok = writer.append(v, nullptr);
            m.energies.push_back(e);
            m.shifts.push_back({});
            m.peaks.push_back(1.0);
            m.outside.push_back(0);
        }
        ok = ok && writer.finish(m, nullptr);
        const double write = t.elapsed() / 1000.0;
        const hid_t f = H5Fopen(QFile::encodeName(path).constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
        const hid_t set = f >= 0 ? H5Dopen2(f, "/entry/data/data", H5P_DEFAULT) : -1;
        if (!ok || set < 0) {
            QTextStream(stderr) << "bench_align: cannot write or read " << path << Qt::endl;
            return;
        }
        printFigure(QStringLiteral("chunks %1, writing 50 energies of 64 x 256 x 256").arg(name), write,
            QStringLiteral("s"));
        printFigure(QStringLiteral("chunks %1, one slice of one energy").arg(name),
            readMs(set, s, energies, 0, 40), QStringLiteral("ms"));
        printFigure(QStringLiteral("chunks %1, one voxel's spectrum").arg(name),
            readMs(set, s, energies, 1, 200), QStringLiteral("ms"));
        printFigure(QStringLiteral("chunks %1, a slab of 8 slices of every energy").arg(name),
            readMs(set, s, energies, 2, 4), QStringLiteral("ms"));
        H5Dclose(set);
        H5Fclose(f);
        QFile::remove(path);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Accuracy and speed of the alignment of CT-XAFS series; the series is written into DIR once (a "
        "temporary folder without it). QV_KERNEL=avx2 measures the AVX2 loops, QV_BENCH_CPU=1 times the "
        "single-thread figures in processor time."));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("DIR"), QStringLiteral("folder for the series (kept)"), QStringLiteral("[DIR]"));
    const QCommandLineOption size(QStringLiteral("size"),
        QStringLiteral("volume side of the pair and the series (256)"), QStringLiteral("N"),
        QStringLiteral("256"));
    const QCommandLineOption energies(QStringLiteral("energies"),
        QStringLiteral("energies of the series (100)"), QStringLiteral("E"), QStringLiteral("100"));
    const QCommandLineOption noSeries(QStringLiteral("no-series"), QStringLiteral("leave out the series"));
    const QCommandLineOption noChunks(
        QStringLiteral("no-chunks"), QStringLiteral("leave out the chunk shapes"));
    parser.addOptions({size, energies, noSeries, noChunks});
    parser.process(app);
    const int n = std::clamp(parser.value(size).toInt(), 16, 1024);
    const int count = std::clamp(parser.value(energies).toInt(), 2, 1000);
    QTemporaryDir temporary;
    const QString dir
        = parser.positionalArguments().isEmpty() ? temporary.path() : parser.positionalArguments().first();
    QDir().mkpath(dir);

    printProcessor();
    QTextStream(stdout) << "alignment loops: " << alignKernelName() << Qt::endl;
    printFigure(QStringLiteral("hardware threads"), QThread::idealThreadCount(), QString());
    accuracy(0.0);
    accuracy(0.02);
    pair(n);
    if (!parser.isSet(noSeries))
        series(dir, n, count);
    if (!parser.isSet(noChunks))
        chunks(dir);
    return 0;
}
