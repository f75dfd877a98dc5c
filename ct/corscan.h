#pragma once

// Qt
#include <QMetaType>
#include <QString>

// Local
#include "ct/corscore.h"
#include "ct/slicerecon.h"
#include <memory>
#include <vector>

/// A scan of trial centres: one slice reconstructed at each of them, side by side, each scored.

/// The most trials a scan makes.
constexpr int corScanMaxTrials = 401;

/// The centres from `from` towards `to` in steps of |step| (both ends included when the step
/// divides the range; computed as from ± i · |step|, not accumulated). Empty for a step of 0, a
/// number that is not finite or more than `corScanMaxTrials` centres.
std::vector<double> corScanCentres(double from, double to, double step);

/// Why a scan cannot be made on lines of `lineLength` pixels (empty when it can): no centres, too
/// many, or a centre that gives no sinogram (outside 1 … L − 2).
QString corScanProblem(double from, double to, double step, int lineLength);

/// One trial of a scan.
struct CorTrial
{
    double cor = 0.0;
    bool reconstructed = false;
    QString problem; // why it was not
    int n = 0; // the image is n × n
    Region region; // the region computed
    double score = 0.0; // lower is sharper
    // n × n, row z, column x, as float TIFF pages hold them: the engine's values rounded to float.
    std::shared_ptr<const std::vector<float>> values;
};

Q_DECLARE_METATYPE(CorTrial)

/// The score setup of a scan: over the circle of its smallest trial image (and the task's region
/// when it is set).
CorScoreSetup corScanScoreSetup(const SliceTask &task, const std::vector<double> &centres);

/// Reconstructs `task` exactly as a slice of a run is reconstructed (the same sinogram, engine,
/// correction and region, so its values equal those of the slice at that centre bit for bit), keeps
/// its values and scores it. `engine` and `scorer` must be set up for the trial's length
/// (`requiredLength`). Runs on the calling thread.
CorTrial runCorTrial(CtFbp &engine, SinogramCache &sinograms, CorScorer &scorer, const SliceTask &task,
    const CorScoreSetup &score);

/// Which trial a worker should take next, given the transform length of each trial and which are
/// taken: the first free one of the length its engine has (`n`), else the first of a length none of
/// whose trials is taken yet, else the first free one; −1 when none is free. Trials of one length
/// (pairs of centres on one side of the line's middle) then stay with one engine, which is set up
/// anew only when the length changes.
int nextCorTrial(const std::vector<int> &lengths, const std::vector<bool> &taken, int n);

/// The trial with the lowest score among those reconstructed; −1 when none was.
int bestCorTrial(const std::vector<CorTrial> &trials);
