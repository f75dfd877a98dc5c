// Accuracy and speed of the centre-of-rotation searches on phantoms this program makes itself: the
// mirror image of the facing projection and the Fourier method, on long and short lines, with and
// without Poisson noise, on a sample wider than the field of view, and a tilted axis followed along
// the slices; the best trial of a scan of centres; a trial against a slice of a run, and the
// command's scan against its slices.
//
//   bench_cor [accuracy] [speed]     (both by default; QV_BENCH_CPU=1: single-thread figures in
//                                     thread processor time; the command's figures are wall time)

// Qt
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

// Local
#include "recon/reconoptions.h"
#include "recon/reconrun.h"
#include "bench/benchutil.h"
#include "ct/corfourier.h"
#include "ct/corguess.h"
#include "ct/corline.h"
#include "ct/corscan.h"
#include "ct/corsearch.h"
#include "ct/sinogramcache.h"
#include "ct/sinogramgen.h"
#include "tools/phantom/phantom.h"
#include <cmath>
#include <limits>
#include <span>

namespace {

struct Case
{
    const char *name;
    int width;
    int projections;
    bool noise;
    bool truncated;
};

// An object that reaches beyond the field on both sides: a body of 0.7 L radius with inserts.
Phantom widePhantom(int width)
{
    const double s = width / 256.0;
    Phantom p;
    p.parts.push_back({10 * s, -4 * s, 0, 170 * s, 120 * s, 400 * s, 0.2, 0.004});
    p.parts.push_back({-30 * s, 20 * s, 0, 25 * s, 15 * s, 400 * s, 0.5, 0.01});
    p.parts.push_back({40 * s, -30 * s, 0, 10 * s, 10 * s, 400 * s, 0.0, 0.03});
    p.parts.push_back({-60 * s, -50 * s, 0, 6 * s, 8 * s, 400 * s, 0.0, -0.003});
    return p;
}

struct Errors
{
    double mirror = 0.0;
    double fourier = 0.0;
};

Errors measure(const Case &c, double trueCor)
{
    ScanSetup setup;
    setup.width = c.width;
    setup.height = 4;
    setup.cor = trueCor;
    setup.projections = c.projections;
    setup.noise = 0.0;
    setup.flatRipple = 0.0;
    if (c.noise) {
        setup.i0 = 1000.0;
        setup.bg = 0.0;
        setup.poisson = true;
    }
    const Phantom phantom = c.truncated ? widePhantom(c.width) : demoPhantom(c.width);
    const ProjectionSet set = scanLines(phantom, setup, {2});
    SinogramRequest request;
    request.rowLines = true;
    request.slice = 2;
    request.cor = 0.5 * c.width;
    Errors e;
    const std::optional<double> mirror = guessCor(set, request, 180.0, 0.5 * c.width, 0.35);
    e.mirror = mirror ? std::abs(*mirror - trueCor) : 1e9;
    const std::optional<CorSearchResult> fourier = fourierCor(set, request, 180.0);
    e.fourier = fourier ? std::abs(fourier->cor - trueCor) : 1e9;
    return e;
}

struct ScanOutcome
{
    double bestCor = 0.0;
    double naiveCor = 0.0; // by the entropy of the plain trials
};

// A scan of ±2.5 pixels in steps of 0.5 round a true centre.
ScanOutcome scan(int width, int projections, bool noise, double trueCor, bool print)
{
    ScanSetup setup;
    setup.width = width;
    setup.height = 4;
    setup.cor = trueCor;
    setup.projections = projections;
    setup.noise = 0.0;
    if (noise) {
        setup.i0 = 1000.0;
        setup.bg = 0.0;
        setup.poisson = true;
    }
    SliceTask task;
    task.set = scanLines(demoPhantom(width), setup, {2});
    task.sinogram.rowLines = true;
    task.sinogram.slice = 2;
    task.angles = projectionAngles(0.0, 180.0, projections, 0);
    task.regionIsSet = false;
    const double middle = std::round(2.0 * trueCor) / 2.0;
    const std::vector<double> centres = corScanCentres(middle - 2.5, middle + 2.5, 0.5);
    const CorScoreSetup score = corScanScoreSetup(task, centres);
    CtFbp engine;
    SinogramCache sinograms;
    CorScorer scorer;
    std::vector<CorTrial> trials;
    std::vector<double> naive;
    for (double c : centres) {
        SliceTask t = task;
        t.sinogram.cor = c;
        const int n = requiredLength(t.set, t.sinogram);
        engine.setup(n, projections);
        scorer.setup(n);
        trials.push_back(runCorTrial(engine, sinograms, scorer, t, score));
        // The same circle, without bringing the trials to one interpolation.
        std::vector<double> inside;
        const double r2 = score.radius * score.radius;
        for (int z = 0; z < n; ++z)
            for (int x = 0; x < n; ++x)
                if ((x - 0.5 * n) * (x - 0.5 * n) + (z - 0.5 * n) * (z - 0.5 * n) < r2)
                    inside.push_back((*trials.back().values)[static_cast<size_t>(z) * n + x]);
        naive.push_back(differentialEntropy(inside, score.bins));
        if (print)
            QTextStream(stdout) << "  trial " << c << ": score " << trials.back().score << ", plain entropy "
                                << naive.back() << Qt::endl;
    }
    ScanOutcome out;
    out.bestCor = trials[static_cast<size_t>(bestCorTrial(trials))].cor;
    out.naiveCor = centres[static_cast<size_t>(std::min_element(naive.begin(), naive.end()) - naive.begin())];
    return out;
}

// The largest distance, over every slice of 0 … 999, between the line guessed at `count` slices
// and the true centre of an axis moving 4 pixels over the 1000 slices.
double tiltError(CorMethod method, bool noise, int count)
{
    constexpr int width = 512, slices = 1000;
    ScanSetup setup;
    setup.width = width;
    setup.height = slices;
    setup.cor = 254.3;
    setup.corPerLine = 4.0 / slices;
    setup.projections = 360;
    setup.noise = 0.0;
    if (noise) {
        setup.i0 = 1000.0;
        setup.bg = 0.0;
        setup.poisson = true;
    }
    Phantom phantom = demoPhantom(width);
    for (Ellipsoid &e : phantom.parts) // the object in every slice
        e.c = 1e5;
    const std::vector<int> at = spreadSlices(0, slices - 1, count);
    const ProjectionSet set = scanLines(phantom, setup, at);
    SinogramRequest request;
    request.rowLines = true;
    const CorLineGuess g = guessCorLine(set, request, 180.0, method, 0.5 * width, 0.35, 0, slices - 1, count);
    if (!g.fit)
        return 1e9;
    double worst = 0.0;
    for (int s = 0; s < slices; ++s)
        worst = std::max(worst, std::abs(g.fit->at(s) - (setup.cor + s * setup.corPerLine)));
    return worst;
}

// Wall seconds of the command on its worker threads (never this thread's processor time): the
// best of `repeats` runs; −1 when it fails.
double commandSeconds(const QStringList &args, int repeats)
{
    ReconOptions options;
    QString error;
    if (!parseReconOptions(args, options, error))
        return -1.0;
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < repeats; ++i) {
        QString text;
        QTextStream sink(&text);
        QElapsedTimer clock;
        clock.start();
        if (ReconRun(options, sink, sink).exec() != 0)
            return -1.0;
        best = std::min(best, clock.nsecsElapsed() * 1e-9);
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_cor [accuracy] [speed]
Accuracy and speed of the centre-of-rotation searches on phantoms (mirror and Fourier searches, long
and short lines, with and without noise, a sample wider than the field of view, a tilted axis), the
best trial of a scan of centres, and the command's scan against its slices (both parts by default).
QV_BENCH_CPU=1: single-thread figures in thread processor time.
)"))
        return 0;
    QCoreApplication app(argc, argv);
    // "accuracy" or "speed" alone runs that part.
    const QStringList parts = QCoreApplication::arguments().mid(1);
    const bool accuracy = parts.isEmpty() || parts.contains(QStringLiteral("accuracy"));
    const bool speed = parts.isEmpty() || parts.contains(QStringLiteral("speed"));
    const Case cases[] = {
        {"512 noise-free", 512, 360, false, false},
        {"512 poisson 1000", 512, 360, true, false},
        {"2048 noise-free", 2048, 1800, false, false},
        {"2048 poisson 1000", 2048, 1800, true, false},
        {"48 noise-free", 48, 180, false, false},
        {"48 poisson 1000", 48, 180, true, false},
        {"64 noise-free", 64, 180, false, false},
        {"64 poisson 1000", 64, 180, true, false},
        {"256 truncated", 256, 360, false, true},
        {"256 truncated poisson 1000", 256, 360, true, true},
    };
    // True centres off the middle by whole, half and odd fractions of a pixel.
    const double offsets[] = {-3.3, 0.0, 0.5, 2.37, 5.81};
    for (const Case &c : accuracy ? std::span<const Case>(cases) : std::span<const Case>()) {
        Errors worst;
        for (double off : offsets) {
            const double cor = 0.5 * c.width + off * c.width / 256.0 + (off - std::trunc(off));
            const Errors e = measure(c, cor);
            worst.mirror = std::max(worst.mirror, e.mirror);
            worst.fourier = std::max(worst.fourier, e.fourier);
        }
        printFigure(QStringLiteral("mirror error, %1").arg(QLatin1String(c.name)), worst.mirror,
            QStringLiteral("px"));
        printFigure(QStringLiteral("fourier error, %1").arg(QLatin1String(c.name)), worst.fourier,
            QStringLiteral("px"));
    }
    // A tilted axis followed along 1000 slices.
    for (CorMethod method :
        accuracy ? std::vector<CorMethod> {CorMethod::Mirror, CorMethod::Fourier} : std::vector<CorMethod> {})
        for (bool noise : {false, true})
            for (int count : {5, 9})
                printFigure(
                    QStringLiteral(
                        "tilted axis, guess along range at %1 slices, %2%3, largest error of a slice")
                        .arg(count)
                        .arg(corMethodName(method), noise ? QStringLiteral(", poisson 1000") : QString()),
                    tiltError(method, noise, count), QStringLiteral("px"));

    // The scan's best trial against the truth (one step is 0.5 pixel).
    const bool print = qEnvironmentVariableIntValue("QV_BENCH_PRINT_TRIALS") == 1;
    for (int width : accuracy ? std::vector<int> {128, 256} : std::vector<int> {}) {
        for (bool noise : {false, true}) {
            double worst = 0.0, worstNaive = 0.0;
            for (double cor :
                {0.5 * width + 0.0, 0.5 * width + 0.5, 0.5 * width + 3.26, 0.5 * width - 2.74}) {
                const ScanOutcome o = scan(width, width < 200 ? 180 : 360, noise, cor, print);
                worst = std::max(worst, std::abs(o.bestCor - cor));
                worstNaive = std::max(worstNaive, std::abs(o.naiveCor - cor));
            }
            const QString name = QStringLiteral("%1 %2").arg(width).arg(
                noise ? QStringLiteral("poisson 1000") : QStringLiteral("noise-free"));
            printFigure(QStringLiteral("scan best error, %1").arg(name), worst, QStringLiteral("px"));
            printFigure(QStringLiteral("scan best error by plain entropy, %1").arg(name), worstNaive,
                QStringLiteral("px"));
        }
    }

    // Speed on slices of N = 2046 from 1800 projections (lines of 2050, the axis at 1024.5).
    if (speed) {
        ScanSetup setup;
        setup.width = 2048;
        setup.height = 4;
        setup.cor = 1027.3;
        setup.projections = 1800;
        const ProjectionSet set = scanLines(demoPhantom(2048), setup, {2});
        SinogramRequest request;
        request.rowLines = true;
        request.slice = 2;
        const double fourier = bestSeconds(3, [&] { fourierCor(set, request, 180.0); });
        printFigure(
            QStringLiteral("fourier search, 2048 x 1800, lines in memory"), fourier, QStringLiteral("s"));
        const double mirror = bestSeconds(3, [&] { guessCor(set, request, 180.0, 1024.0, 0.35); });
        printFigure(
            QStringLiteral("mirror search, 2048 x 1800, lines in memory"), mirror, QStringLiteral("s"));

        // One trial against one slice of a run, on this thread: what a scan adds per trial.
        SliceTask task;
        task.set = set;
        task.sinogram = request;
        task.sinogram.cor = 1024.0; // N = 2046
        task.angles = projectionAngles(0.0, 180.0, 1800, 0);
        task.regionIsSet = false;
        const int n = requiredLength(set, task.sinogram);
        CtFbp engine;
        SinogramCache sinograms;
        CorScorer scorer;
        engine.setup(n, 1800);
        scorer.setup(n);
        const double slice = bestSeconds(3, [&] { reconstructSlice(engine, sinograms, task); });
        const CorScoreSetup score = corScanScoreSetup(task, {task.sinogram.cor});
        const double trial = bestSeconds(3, [&] { runCorTrial(engine, sinograms, scorer, task, score); });
        printFigure(QStringLiteral("slice of N %1 from 1800 projections, one thread").arg(n), slice,
            QStringLiteral("s"));
        printFigure(QStringLiteral("trial of a scan (the slice, its values kept and scored), one thread"),
            trial, QStringLiteral("s"));
        printFigure(QStringLiteral("trial / slice"), trial / slice, QString());
    }
    if (speed) {
        QTemporaryDir dir;
        const QString projections = dir.filePath(QStringLiteral("p"));
        writeRandomProjections(projections, 2050, 4, 1800);
        const int workers = std::max(1, QThread::idealThreadCount());
        const QStringList common {projections, QStringLiteral("--axis"), QStringLiteral("v"),
            QStringLiteral("--slice"), QStringLiteral("1"), QStringLiteral("--out"),
            dir.filePath(QStringLiteral("o"))};
        const double guess = commandSeconds(common
                + QStringList {QStringLiteral("--cor"), QStringLiteral("guess"), QStringLiteral("--no-png"),
                    QStringLiteral("--no-data")},
            3);
        printFigure(QStringLiteral("command --cor guess (both searches, 1800 files read)"), guess,
            QStringLiteral("s"));
        const QStringList plain {QStringLiteral("--cor"), QStringLiteral("1024.5"), QStringLiteral("--tiff"),
            QStringLiteral("--no-png"), QStringLiteral("--no-data")};
        const double one = commandSeconds(
            common + plain + QStringList {QStringLiteral("--threads"), QStringLiteral("1")}, 2);
        // As many slices as workers, one each: the baseline on a machine that other work shares.
        QStringList parallel = common + plain;
        parallel[parallel.indexOf(QStringLiteral("--slice"))] = QStringLiteral("--slices");
        parallel[parallel.indexOf(QStringLiteral("--slices")) + 1] = QStringLiteral("0:%1").arg(workers - 1);
        const double each = commandSeconds(
            parallel + QStringList {QStringLiteral("--threads"), QString::number(workers)}, 2);
        const double scan = commandSeconds(common
                + QStringList {QStringLiteral("--cor-scan"), QStringLiteral("1019.5:1029.5:0.5"),
                    QStringLiteral("--threads"), QString::number(workers)},
            1);
        printFigure(QStringLiteral("workers"), workers, QString());
        printFigure(QStringLiteral("command, one slice, 1 thread"), one, QStringLiteral("s"));
        printFigure(
            QStringLiteral("command, %1 slices on %1 workers").arg(workers), each, QStringLiteral("s"));
        printFigure(
            QStringLiteral("command, 21-trial scan, %1 workers").arg(workers), scan, QStringLiteral("s"));
        printFigure(
            QStringLiteral("scan / (21 x one slice / workers)"), scan / (21.0 * one / workers), QString());
        printFigure(QStringLiteral("scan / (21 / workers x the time of one slice per worker)"),
            scan / (21.0 / workers * each), QString());
    }
    return 0;
}
