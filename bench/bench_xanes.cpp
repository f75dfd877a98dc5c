// The chemical-state maps of CT-XAFS series: the per-voxel loops on one core (normalisation, jump,
// E0 and white line; with a fit of 3 standards), and quorvel-xanes making every map of a series of
// 50 energies of 64 × 512 × 512 from aligned.h5 on two threads, with its peak memory.
//
//   bench_xanes [--slices N] [--size N] [--no-series] [DIR]
//
// The series (50 energies of N slices of SIZE², default 64 of 512²: 3.4 GB) is written into DIR once
// as aligned.h5 with three standards files (kept for the next run and for bench/compare_xanes_numpy.py;
// without DIR into a temporary folder, removed after). QV_KERNEL=avx2 measures the AVX2 loops on an
// AVX-512 processor; QV_BENCH_CPU=1 times the single-thread figures in processor time.

// Qt
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

// Local
#include "bench/benchutil.h"
#include "xafs/alignedfile.h"
#include "xafs/xanesplan.h"
#include <sys/resource.h>

namespace {

constexpr double edge = 7112.0;

double step(double e, double at, double width)
{
    return 0.5 * std::erfc((at - e) / (width * std::numbers::sqrt2));
}

double peak(double e, double at, double width)
{
    const double t = (e - at) / width;
    return std::exp(-0.5 * t * t);
}

// Three iron species: the metal, a ferrous and a ferric compound.
double species(int k, double e)
{
    switch (k) {
    case 0:
        return step(e, 7112.0, 2.0) + 0.1 * peak(e, 7125.0, 4.0) * step(e, 7112.0, 2.0);
    case 1:
        return step(e, 7119.0, 1.5) + 0.5 * peak(e, 7124.0, 2.5) * step(e, 7119.0, 1.5);
    default:
        return step(e, 7124.0, 1.2) + 0.05 * peak(e, 7114.0, 1.2)
            + 0.7 * peak(e, 7131.0, 3.0) * step(e, 7124.0, 1.2);
    }
}

// 50 energies: 8 below the edge, 32 across it at 1.5 eV, 10 above.
std::vector<double> benchEnergies()
{
    std::vector<double> e;
    for (int i = 0; i < 8; ++i)
        e.push_back(7040.0 + 8.0 * i);
    for (int i = 0; i < 32; ++i)
        e.push_back(7102.0 + 1.5 * i);
    for (int i = 0; i < 10; ++i)
        e.push_back(7160.0 + 10.0 * i);
    return e;
}

std::vector<Standard> benchStandards()
{
    std::vector<Standard> s(3);
    for (int k = 0; k < 3; ++k) {
        s[std::size_t(k)].name = QStringLiteral("s%1").arg(k);
        for (double e = 7000.0; e <= 7300.0; e += 0.5) {
            s[std::size_t(k)].energy.push_back(e);
            s[std::size_t(k)].value.push_back(species(k, e));
        }
    }
    return s;
}

// One energy of the synthetic series: voxel v holds the three species in shares that vary across
// the slice, an edge jump that falls off from the middle, and noise of 2 % of a jump of 0.05.
void fillEnergy(float *out, std::size_t voxels, int nx, double energy, std::uint64_t seed)
{
    double s[3];
    for (int k = 0; k < 3; ++k)
        s[k] = species(k, energy);
    std::uint64_t r = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::size_t v = 0; v < voxels; ++v) {
        const int x = int(v % std::size_t(nx)), y = int((v / std::size_t(nx)) % std::size_t(nx));
        const double a = double(x) / nx, b = double(y) / nx;
        const double jump = 0.05 * (1.0 - 0.8 * std::abs(a - 0.5));
        r ^= r << 13;
        r ^= r >> 7;
        r ^= r << 17;
        const double noise = (double(r >> 11) / double(1ull << 53) - 0.5) * 0.001 * 3.46; // uniform, σ 0.001
        out[v] = float(0.3 - 0.0004 * (energy - edge)
            + jump * (0.6 * a * s[0] + 0.6 * b * s[1] + (1.0 - 0.6 * a - 0.6 * b) * s[2]) + noise);
    }
}

void loops(int voxels)
{
    const std::vector<double> e = benchEnergies();
    const std::size_t n = std::size_t(voxels);
    std::vector<float> mu(e.size() * n);
    for (std::size_t i = 0; i < e.size(); ++i)
        fillEnergy(mu.data() + i * n, n, 1024, e[i], i + 1);
    for (const bool fit : {false, true}) {
        XanesSettings s;
        s.edge = edge;
        QString error;
        const auto plan = XanesPlan::make(e, s, fit ? benchStandards() : std::vector<Standard> {}, error);
        const std::size_t maps = plan->maps().size();
        std::vector<float> out(maps * n);
        XanesKernelMaps o {out.data(), out.data() + n, out.data() + 2 * n, out.data() + 3 * n,
            fit ? out.data() + 4 * n : nullptr, n, fit ? out.data() + 7 * n : nullptr,
            out.data() + (maps - 1) * n};
        const double seconds
            = bestSeconds(3, [&] { xanesKernels().analyse(plan->kernel(), mu.data(), n, n, 0.01f, o); });
        printFigure(fit
                ? QStringLiteral("spectra of 50 energies analysed with a fit of 3 standards, one thread")
                : QStringLiteral("spectra of 50 energies normalised, jump, E0 and white line, one thread"),
            double(n) / seconds, QStringLiteral("per s"));
    }
}

bool writeSeries(const QString &dir, int slices, int size)
{
    const QString marker = QDir(dir).filePath(QStringLiteral("complete-%1-%2").arg(slices).arg(size));
    if (QFile::exists(marker))
        return true;
    const std::vector<double> e = benchEnergies();
    const VolumeShape shape {slices, size, size};
    AlignedFileWriter writer;
    AlignedMetadata meta;
    QString error;
    if (!writer.create(
            QDir(dir).filePath(QStringLiteral("aligned.h5")), shape, defaultAlignedChunk(shape), &error))
        return false;
    Volume v;
    v.shape = shape;
    v.values.resize(shape.voxels());
    for (std::size_t i = 0; i < e.size(); ++i) {
        fillEnergy(v.values.data(), shape.voxels(), size, e[i], i + 1);
        if (!writer.append(v, &error))
            return false;
        meta.energies.push_back(e[i]);
        meta.shifts.push_back({});
        meta.peaks.push_back(1.0);
        meta.outside.push_back(0);
    }
    for (int z = 0; z < slices; ++z)
        meta.slices.push_back(z);
    if (!writer.finish(meta, &error))
        return false;
    for (const Standard &s : benchStandards()) {
        QFile f(QDir(dir).filePath(s.name + QStringLiteral(".txt")));
        if (!f.open(QIODevice::WriteOnly))
            return false;
        QTextStream out(&f);
        for (std::size_t i = 0; i < s.energy.size(); ++i)
            out << s.energy[i] << '\t' << QString::number(s.value[i], 'g', 9) << '\n';
    }
    QFile done(marker);
    return done.open(QIODevice::WriteOnly);
}

void series(const QString &dir, int slices, int size, const QString &threads)
{
    QElapsedTimer t;
    t.start();
    if (!writeSeries(dir, slices, size)) {
        QTextStream(stderr) << "bench_xanes: cannot write the series into " << dir << Qt::endl;
        return;
    }
    printFigure(QStringLiteral("writing (or finding) aligned.h5 of 50 energies of %1 x %2 x %2")
                    .arg(slices)
                    .arg(size),
        t.elapsed() / 1000.0, QStringLiteral("s"));
    const QDir d(dir);
    QProcess xanes;
    xanes.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    xanes.setStandardOutputFile(QProcess::nullDevice());
    t.restart();
    rusage before {};
    getrusage(RUSAGE_CHILDREN, &before);
    xanes.start(QStringLiteral(QUORVEL_XANES),
        {d.filePath(QStringLiteral("aligned.h5")), QStringLiteral("--out"),
            d.filePath(QStringLiteral("maps")), QStringLiteral("--edge"), QString::number(edge),
            QStringLiteral("--threads"), threads, QStringLiteral("--standards"),
            QStringLiteral("s0=%1,s1=%2,s2=%3")
                .arg(d.filePath(QStringLiteral("s0.txt")), d.filePath(QStringLiteral("s1.txt")),
                    d.filePath(QStringLiteral("s2.txt")))});
    xanes.waitForFinished(-1);
    const double seconds = t.elapsed() / 1000.0;
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    printFigure(QStringLiteral("exit status of quorvel-xanes"), xanes.exitCode(), QString());
    printFigure(
        QStringLiteral("every map of 50 energies of %1 x %2 x %2 with a fit of 3 standards, %3 threads, "
                       "reading aligned.h5 and writing the maps")
            .arg(slices)
            .arg(size)
            .arg(threads),
        seconds, QStringLiteral("s"));
    const auto cpu = [](const rusage &u) {
        return u.ru_utime.tv_sec + u.ru_utime.tv_usec * 1e-6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec * 1e-6;
    };
    printFigure(QStringLiteral("processor time of quorvel-xanes, all its threads"), cpu(usage) - cpu(before),
        QStringLiteral("s"));
    printFigure(QStringLiteral("peak resident memory of quorvel-xanes (the series: %1 MB)")
                    .arg(50.0 * slices * size * size * 4 / 1048576.0),
        usage.ru_maxrss / 1024.0, QStringLiteral("MB"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Speed of the chemical-state maps of CT-XAFS series: the per-voxel loops on one core, "
                       "and quorvel-xanes on "
                       "a series of 50 energies written into DIR once as aligned.h5 with three standards "
                       "files (a temporary folder "
                       "without DIR; bench/compare_xanes_numpy.py reads the same files). QV_KERNEL=avx2 "
                       "measures the AVX2 loops, "
                       "QV_BENCH_CPU=1 times the single-thread figures in processor time."));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("DIR"), QStringLiteral("folder for the series (kept)"), QStringLiteral("[DIR]"));
    const QCommandLineOption slices(QStringLiteral("slices"), QStringLiteral("slices of the series (64)"),
        QStringLiteral("N"), QStringLiteral("64"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("side of a slice (512)"),
        QStringLiteral("N"), QStringLiteral("512"));
    const QCommandLineOption threads(QStringLiteral("threads"),
        QStringLiteral("threads of quorvel-xanes on the series (2)"), QStringLiteral("N"),
        QStringLiteral("2"));
    const QCommandLineOption noSeries(QStringLiteral("no-series"), QStringLiteral("leave out the series"));
    parser.addOptions({slices, size, threads, noSeries});
    parser.process(app);
    QTemporaryDir temporary;
    const QString dir
        = parser.positionalArguments().isEmpty() ? temporary.path() : parser.positionalArguments().first();
    QDir().mkpath(dir);

    printProcessor();
    QTextStream(stdout) << "XANES loops: " << alignKernelName() << Qt::endl;
    printFigure(QStringLiteral("hardware threads"), QThread::idealThreadCount(), QString());
    loops(1 << 20);
    if (!parser.isSet(noSeries))
        series(dir, std::clamp(parser.value(slices).toInt(), 1, 4096),
            std::clamp(parser.value(size).toInt(), 16, 8192), parser.value(threads));
    return 0;
}
