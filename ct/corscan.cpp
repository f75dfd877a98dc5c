#include "ct/corscan.h"

// Local
#include "ct/sgmgeometry.h"
#include <algorithm>
#include <cmath>

std::vector<double> corScanCentres(double from, double to, double step)
{
    const double s = std::abs(step);
    if (!std::isfinite(from) || !std::isfinite(to) || !std::isfinite(s) || !(s > 0.0))
        return {};
    // A hair of tolerance, so that 1019.5 … 1029.5 by 0.5 ends on 1029.5.
    const double steps = std::floor(std::abs(to - from) / s + 1e-9);
    if (!(steps < corScanMaxTrials))
        return {};
    const double direction = to >= from ? 1.0 : -1.0;
    std::vector<double> centres;
    for (int i = 0; i <= static_cast<int>(steps); ++i)
        centres.push_back(from + direction * i * s);
    return centres;
}

QString corScanProblem(double from, double to, double step, int lineLength)
{
    const std::vector<double> centres = corScanCentres(from, to, step);
    if (centres.empty())
        return QStringLiteral("a scan from %1 to %2 in steps of %3 gives no centres, or more than %4")
            .arg(from)
            .arg(to)
            .arg(step)
            .arg(corScanMaxTrials);
    for (double c : {centres.front(), centres.back()}) {
        if (!corInsideLine(c, lineLength))
            return QStringLiteral(
                "the centre %1 gives no sinogram on lines of %2 pixels (1 ... %3 can be used)")
                .arg(c)
                .arg(lineLength)
                .arg(lineLength - 2);
    }
    return QString();
}

CorScoreSetup corScanScoreSetup(const SliceTask &task, const std::vector<double> &centres)
{
    int smallest = 0;
    for (double c : centres) {
        SinogramRequest r = task.sinogram;
        r.cor = c;
        const int n = requiredLength(task.set, r);
        if (n >= 2 && (smallest == 0 || n < smallest))
            smallest = n;
    }
    return corScoreSetup(smallest, task.regionIsSet ? &task.region : nullptr);
}

CorTrial runCorTrial(CtFbp &engine, SinogramCache &sinograms, CorScorer &scorer, const SliceTask &task,
    const CorScoreSetup &score)
{
    SliceTask t = task;
    t.makeImage = false; // the trial keeps its values; pictures are made from them
    t.makeData = false;
    t.makeTiff = t.makeVolume = false;
    const SliceResult r = reconstructSlice(engine, sinograms, t);
    CorTrial trial;
    trial.cor = task.sinogram.cor;
    trial.reconstructed = r.reconstructed;
    trial.problem = r.problem;
    if (!r.reconstructed)
        return trial;
    trial.n = r.n;
    trial.region = r.region;
    const std::span<const double> image = engine.image();
    auto values = std::make_shared<std::vector<float>>(image.size());
    std::transform(
        image.begin(), image.end(), values->begin(), [](double v) { return static_cast<float>(v); });
    trial.values = std::move(values);
    const double frac = task.sinogram.cor - std::floor(task.sinogram.cor);
    trial.score = scorer.score(image, r.n, frac, score);
    if (!std::isfinite(trial.score)) {
        trial.reconstructed = false;
        trial.problem = QStringLiteral("the trial at %1 could not be scored (%2)")
                            .arg(trial.cor)
                            .arg(std::isnan(trial.score) ? QStringLiteral("no scorer for %1 pixels").arg(r.n)
                                                         : QStringLiteral("a score that is not finite"));
    }
    return trial;
}

int nextCorTrial(const std::vector<int> &lengths, const std::vector<bool> &taken, int n)
{
    const size_t count = std::min(lengths.size(), taken.size());
    int fresh = -1, any = -1;
    for (size_t i = 0; i < count; ++i) {
        if (taken[i])
            continue;
        if (lengths[i] == n)
            return static_cast<int>(i);
        if (any < 0)
            any = static_cast<int>(i);
        if (fresh < 0) {
            bool started = false;
            for (size_t k = 0; k < count && !started; ++k)
                started = taken[k] && lengths[k] == lengths[i];
            if (!started)
                fresh = static_cast<int>(i);
        }
    }
    return fresh >= 0 ? fresh : any;
}

int bestCorTrial(const std::vector<CorTrial> &trials)
{
    int best = -1;
    for (size_t i = 0; i < trials.size(); ++i) {
        if (trials[i].reconstructed
            && (best < 0 || trials[i].score < trials[static_cast<size_t>(best)].score))
            best = static_cast<int>(i);
    }
    return best;
}
