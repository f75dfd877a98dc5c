#include "recon/reconrun.h"

// Qt
#include <QEventLoop>

// Local
#include "ct/corfourier.h"
#include "ct/corguess.h"
#include "ct/corscanfiles.h"
#include "ct/corsearch.h"
#include "ct/offsetaxisplan.h"
#include "ct/sgmgeometry.h"
#include "ct/sinogramviews.h"
#include "imagedata/lineblock.h"
#include "recon/blocklines.h"
#include "recon/corchoice.h"
#include "recon/corscanschedule.h"
#include "recon/corscanwriter.h"
#include "recon/runplan.h"
#include "recon/workerpool.h"
#include <algorithm>

bool ReconRun::readSearchLines(const std::vector<int> &slices, ProjectionSet &set)
{
    const bool rows = options_.axisVertical;
    const int count = static_cast<int>(sources_.size());
    const int first = firstImage(request_, count);
    const int used = request_.partial ? std::abs(request_.usingImages) : count; // checked in plan()
    std::vector<int> images;
    if (const std::optional<int> opposite = oppositeImage(first, used, count, rangeDeg_))
        images.push_back(*opposite);
    const int half = projectionsPer180(rangeDeg_, count);
    if (half <= used)
        for (int k = 0; k < half; ++k)
            images.push_back((first + k) % count);
    images.push_back(first);
    std::vector<int> lines = slices;
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    set = ProjectionSet();
    set.width = width_;
    set.height = height_;
    set.images.resize(sources_.size());
    for (int k : images) {
        if (set.images[static_cast<size_t>(k)])
            continue;
        const ImageSource &source = sources_[static_cast<size_t>(k)];
        set.images[static_cast<size_t>(k)] = readLineBlock(source, rows, lines, width_, height_);
        if (!set.images[static_cast<size_t>(k)])
            return fail(QStringLiteral("cannot read %1").arg(source.label()));
    }
    for (auto [source, target] : {std::pair {&i0_, &set.i0}, std::pair {&bg_, &set.bg}}) {
        if (source->isEmpty())
            continue;
        *target = readLineBlock(*source, rows, lines, width_, height_);
        if (!*target)
            return fail(QStringLiteral("cannot read %1").arg(source->label()));
    }
    return true;
}

bool ReconRun::guessBoth(double start)
{
    ProjectionSet set;
    if (!readSearchLines({request_.slice}, set))
        return false;
    // Both searches, as "Guess CoR" in the window makes them (its GuessParam 0.35).
    const CorGuesses g = guessCorBoth(set, request_, rangeDeg_, start, 0.35);
    SliceTask task;
    if (corGuessesDisagree(g)) {
        // The slice at both centres needs every projection's line, not only the searches' few.
        QString error;
        task = runSliceTask(runParams(), static_cast<int>(sources_.size()), request_.slice, request_.cor);
        task.set = readBlockLines(BlockSources {sources_, i0_, bg_, options_.axisVertical, width_, height_},
            {request_.slice}, error);
        if (!error.isEmpty())
            return fail(error);
    }
    const CorChoice choice
        = chooseCor(g, options_.corMethod, task, static_cast<int>(sources_.size()), options_.single);
    if (!choice.cor)
        return fail(QStringLiteral("cannot guess the centre of rotation (%1): %2")
                        .arg(corMethodName(options_.corMethod), choice.problem));
    request_.cor = *choice.cor;
    out_ << "centre of rotation: " << QString::number(request_.cor, 'g', 10) << Qt::endl;
    for (CorMethod m : {CorMethod::Mirror, CorMethod::Fourier}) {
        if (const std::optional<CorSearchResult> &r = g.of(m))
            out_ << "centre of rotation (" << corMethodName(m) << "): " << QString::number(r->cor, 'g', 10)
                 << Qt::endl;
        else
            warn(QStringLiteral("no %1 centre of rotation: %2")
                     .arg(corMethodName(m), m == CorMethod::Mirror ? g.mirrorProblem : g.fourierProblem));
    }
    for (const QString &w : corGuessWarnings(g))
        warn(w);
    if (!choice.reason.isEmpty())
        warn(choice.reason);
    return true;
}

bool ReconRun::guessLine(double start)
{
    const int from = slices_.first(), to = slices_.last();
    if (from == to)
        return fail(QStringLiteral("--cor guess-line needs a range of slices (--slices)"));
    const std::vector<int> at = spreadSlices(from, to, *options_.guessLine);
    ProjectionSet set;
    if (!readSearchLines(at, set))
        return false;
    const CorLineGuess g = guessCorLine(
        set, request_, rangeDeg_, options_.corMethod, start, 0.35, from, to, *options_.guessLine);
    for (const QString &p : g.problems)
        warn(QStringLiteral("no %1 centre of rotation at %2").arg(corMethodName(options_.corMethod), p));
    for (size_t i = 0; i < g.slices.size(); ++i)
        out_ << "centre of rotation at slice " << g.slices[i] << " (" << corMethodName(options_.corMethod)
             << "): " << QString::number(g.cors[i], 'g', 10) << Qt::endl;
    if (!g.fit)
        return fail(QStringLiteral("fewer than two slices gave a centre of rotation: no line"));
    line_ = g.fit->records(from, to);
    out_ << "centre of rotation line: " << QString::number(line_->cor1, 'g', 10) << " at slice " << from
         << ", " << QString::number(line_->cor2, 'g', 10) << " at slice " << to
         << QStringLiteral(" (residual %1 pixel rms, %2 at most)")
                .arg(g.fit->rms, 0, 'f', 3)
                .arg(g.fit->maxResidual, 0, 'f', 3)
         << Qt::endl;
    if (g.fit->rms > corLineResidualLimit)
        warn(QStringLiteral("the guesses lie %1 pixel (rms) off their line: the axis may not be straight, or "
                            "some guesses failed")
                 .arg(g.fit->rms, 0, 'f', 2));
    request_.cor = line_->at(slices_.first());
    return true;
}

bool ReconRun::findCor()
{
    const bool rows = options_.axisVertical;
    const double middleCor = rows ? 0.5 * width_ : double(height_ / 2);
    request_ = SinogramRequest {rows, options_.cor.value_or(middleCor), slices_.first(), options_.partial,
        options_.partialStart, options_.partialImages};
    request_.offsetAxis = options_.offsetAxis.has_value();
    if (options_.corScan) // the scan names its centres
        return true;
    if (options_.offsetAxis)
        return placeOffsetAxis();
    if (options_.corLine) {
        line_ = options_.corLine;
        request_.cor = line_->at(slices_.first());
        out_ << "centre of rotation line: " << QString::number(line_->cor1, 'g', 10) << " at slice "
             << line_->slice1 << ", " << QString::number(line_->cor2, 'g', 10) << " at slice "
             << line_->slice2 << Qt::endl;
        return true;
    }
    if (options_.guessLine)
        return guessLine(middleCor);
    if (options_.guessCor)
        return guessBoth(middleCor);
    out_ << "centre of rotation: " << QString::number(request_.cor, 'g', 10) << Qt::endl;
    return true;
}

bool ReconRun::placeOffsetAxis()
{
    // Searched at slices spread over the whole run, not over one task's block: every task of an
    // array reads the same lines and so finds the same axis.
    const int L = options_.axisVertical ? width_ : height_;
    if (options_.offsetAxis->automatic) {
        const std::vector<int> at = offsetAxisSearchSlices(slices_.first(), slices_.last());
        QString error;
        const ProjectionSet set = readBlockLines(
            BlockSources {sources_, i0_, bg_, options_.axisVertical, width_, height_}, at, error);
        if (!error.isEmpty())
            return fail(error);
        const std::optional<OffsetAxisGuess> g = searchOffsetAxis(set, options_.axisVertical, at, &error);
        if (!g)
            return fail(QStringLiteral("cannot find the offset axis: %1").arg(error));
        request_.cor = g->cor;
    } else {
        request_.cor = options_.offsetAxis->cor;
    }
    out_ << offsetAxisText(request_.cor, L) << Qt::endl;
    return true;
}

int ReconRun::execScan()
{
    const ReconOptions::CorScan &range = *options_.corScan;
    const int L = options_.axisVertical ? width_ : height_;
    if (slices_.size() != 1) {
        fail(QStringLiteral("--cor-scan reconstructs one slice"));
        return 1;
    }
    if (const QString why = corScanProblem(range.from, range.to, range.step, L); !why.isEmpty()) {
        fail(QStringLiteral("--cor-scan: %1").arg(why));
        return 1;
    }
    const std::vector<double> centres = corScanCentres(range.from, range.to, range.step);
    request_.cor = centres.front();
    if (!prepare())
        return 1;
    QString error;
    // The trials' engines and values are reckoned before any is allocated (the lengths from the
    // images' size alone).
    SliceTask sized = task_;
    sized.set = geometry_;
    const int workers = fitWorkers(
        CorScanSchedule(sized, centres, static_cast<int>(sources_.size()), options_.single).memoryNeed(),
        std::max(1, std::min(options_.threads, static_cast<int>(centres.size()))));
    if (workers == 0)
        return 1;
    try {
        task_.set = readBlockLines(BlockSources {sources_, i0_, bg_, options_.axisVertical, width_, height_},
            std::vector<int>(slices_.cbegin(), slices_.cend()), error);
    } catch (const std::bad_alloc &) {
        error = QStringLiteral("not enough memory to read the lines of slice %1").arg(slices_.first());
    }
    if (!error.isEmpty()) {
        fail(error);
        return 1;
    }
    scan_ = std::make_unique<CorScanSchedule>(
        task_, centres, static_cast<int>(sources_.size()), options_.single);
    task_.set = ProjectionSet();
    // Every worker takes the next trial when it has done one.
    startWorkers(workers, engineLength_);
    connect(pool_, &WorkerPool::trialDone, this, [this](int, const CorTrial &trial) { trialDone(trial); });
    giveCorTrials(*scan_, *pool_, workers);
    QEventLoop loop;
    while (!scan_->finished())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    writeScan();
    return failed() ? 1 : 0;
}

void ReconRun::trialDone(const CorTrial &trial)
{
    if (!scan_ || scan_->put(trial) < 0)
        return;
    giveCorTrials(*scan_, *pool_, pool_->count());
    out_ << QStringLiteral("progress: %1/%2 trials, %3 s elapsed")
                .arg(scan_->done())
                .arg(scan_->centres().size())
                .arg(clock_.elapsed() / 1000.0, 0, 'f', 1)
         << Qt::endl;
}

void ReconRun::writeScan()
{
    const JobOutcome trials = scan_->outcome();
    outcome_.asked = trials.asked;
    outcome_.done = trials.done;
    for (const CorTrial &t : scan_->trials()) {
        if (!t.reconstructed)
            fail(QStringLiteral("trial at %1: %2").arg(corText(t.cor), t.problem));
    }
    for (const CorTrial &t : scan_->trials())
        if (t.reconstructed)
            out_ << "trial centre of rotation " << corText(t.cor) << ": score "
                 << QString::number(t.score, 'f', 6) << Qt::endl;
    CorScanTarget target {options_.outDir, options_.name, options_.tag, std::nullopt};
    if (options_.colorRange)
        target.scale = fixedColourRange(options_.colorRange->first, options_.colorRange->second);
    CorScanWritten written;
    try {
        written = writeCorScan(*scan_, target);
    } catch (const std::bad_alloc &) {
        written.problems << QStringLiteral("not enough memory to write the files of the scan");
    }
    for (const QString &path : written.paths)
        out_ << "wrote " << path << Qt::endl;
    for (const QString &problem : written.problems)
        fail(problem);
    if (const int best = scan_->best(); best >= 0)
        out_ << "best centre of rotation: " << corText(scan_->trials()[static_cast<size_t>(best)].cor)
             << Qt::endl;
}
