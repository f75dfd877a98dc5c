// The volume view: rendering a 256-slice stack of 512 × 512 into 1024 × 1024 and 256 × 256
// pictures (straight on and turned), and reading 64 CT image data files of 512 × 512 back as a
// stack (on the loader's pool, histogram included).

// Qt
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>

// Local
#include "bench/benchutil.h"
#include "ct/ctimagefile.h"
#include "view3d/slicedatas.h"
#include "view3d/volumerender.h"
#include <cmath>
#include <ctime>
#include <random>

namespace {

/// A 512 × 512 slice of a few balls of different density, with noise, as a reconstruction gives.
std::vector<double> phantomSlice(int n, int k, int ns, std::mt19937 &rng)
{
    std::normal_distribution<double> noise(0.0, 0.02);
    std::vector<double> v(static_cast<size_t>(n) * n);
    const double z = (k - ns / 2.0) / (ns / 2.0);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const double px = (x - n / 2.0) / (n / 2.0), py = (y - n / 2.0) / (n / 2.0);
            double value = 0.0;
            if (px * px + py * py + z * z < 0.8)
                value += 0.3;
            if ((px - 0.3) * (px - 0.3) + py * py + z * z < 0.05)
                value += 0.5;
            if (px * px + (py + 0.4) * (py + 0.4) + (z - 0.2) * (z - 0.2) < 0.02)
                value += 0.8;
            v[static_cast<size_t>(y) * n + x] = value + noise(rng);
        }
    }
    return v;
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_view3d
The volume view: rendering a 256-slice stack of 512 x 512 into 1024 x 1024 and 256 x 256 pictures,
and reading 64 CT image data files of 512 x 512 back as a stack.
)"))
        return 0;
    QGuiApplication app(argc, argv);
    printProcessor();
    const int n = 512, ns = 256;
    std::mt19937 rng(9);
    SliceStack stack;
    stack.nx = stack.ny = n;
    for (int k = 0; k < ns; ++k) {
        SliceData s;
        s.nx = s.ny = n;
        s.values = phantomSlice(n, k, ns, rng);
        stack.slices.push_back(std::move(s));
    }
    // What the loader works out for each slice it reads: the value range of each block.
    const double summary = bestSeconds(1, [&] {
        for (SliceData &s : stack.slices)
            s.summarizeBlocks();
    });
    printFigure(QStringLiteral("block ranges of the stack, one thread"), summary * 1e3, QStringLiteral("ms"));
    SetLook look;
    look.thMin = 0.1;
    look.thMax = 1.6;
    look.volumeColor = QColor(0, 127, 127);
    look.sectionColor = QColor(127, 0, 0);
    printFigure(QStringLiteral("threads"), QThread::idealThreadCount(), QString());

    // The window of the looks: the air round the balls holds nothing in it, and its blocks are
    // skipped. With a window over every value (the noise too) nothing can be skipped: the worst case.
    for (bool everything : {false, true}) {
        for (bool turned : {false, true}) {
            for (int size : {1024, 256}) {
                ViewFrame frame;
                frame.viewScale = 512.0 / size * 1.2;
                if (turned)
                    frame.rotate((1 / std::sqrt(3.0)) * Vec3 {1, 1, 1}, 0.6);
                SetLook shown = look;
                shown.thMin = everything ? -0.2 : look.thMin;
                // Processor time too: on a machine shared with other work the wall time says little.
                double cpu = 1e300;
                const double seconds = bestSeconds(size > 256 ? 3 : 10, [&] {
                    const std::clock_t c0 = std::clock();
                    renderVolume(stack, shown, frame, size, size);
                    cpu = std::min(cpu, double(std::clock() - c0) / CLOCKS_PER_SEC);
                });
                printFigure(QStringLiteral("render %1 x %1%2%3")
                                .arg(size)
                                .arg(turned ? QStringLiteral(", turned") : QString())
                                .arg(everything ? QStringLiteral(", window over every value") : QString()),
                    seconds * 1e3, QStringLiteral("ms"));
                printFigure(QStringLiteral("  processor time"), cpu * 1e3, QStringLiteral("ms"));
            }
        }
    }

    QTemporaryDir dir;
    QStringList files;
    qint64 bytes = 0;
    for (int k = 0; k < 64; ++k) {
        const QByteArray text = ctImageDataText(
            phantomSlice(n, k * 4, ns, rng), n, Region {0, 0, double(n), double(n)}, DataWindow {});
        files << dir.filePath(QStringLiteral("s-%1.dat").arg(k, 5, 10, QLatin1Char('0')));
        QFile f(files.last());
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            return 1;
        bytes += text.size();
    }
    SliceDatas datas;
    double cpu = 1e300;
    const double seconds = bestSeconds(3, [&] {
        const std::clock_t c0 = std::clock();
        datas.filesSelected(files);
        cpu = std::min(cpu, double(std::clock() - c0) / CLOCKS_PER_SEC);
    });
    if (datas.stack()->count() != 64)
        return 1;
    printFigure(QStringLiteral("read 64 data files of 512 x 512"), seconds, QStringLiteral("s"));
    printFigure(QStringLiteral("  processor time"), cpu, QStringLiteral("s"));
    printFigure(QStringLiteral("reading"), bytes / seconds / 1e6, QStringLiteral("MB/s"));
    return 0;
}
