#include "recon/corchoice.h"

// Qt
#include <QCoreApplication>

// Local
#include "ct/corscan.h"
#include "recon/corscanschedule.h"
#include "recon/workerpool.h"
#include <cmath>

namespace {

QString centreText(double cor)
{
    return QString::number(cor, 'f', 2);
}

} // namespace

bool corGuessesDisagree(const CorGuesses &guesses)
{
    return guesses.mirror && guesses.fourier
        && std::abs(guesses.mirror->cor - guesses.fourier->cor) > corDisagreement;
}

CorChoice chooseCor(const CorGuesses &guesses, CorMethod asked, const SliceTask &task, int imageCount,
    bool single, const std::atomic<bool> *cancel)
{
    CorChoice choice;
    choice.method = asked;
    if (!corGuessesDisagree(guesses)) {
        if (const std::optional<CorSearchResult> &r = guesses.of(asked))
            choice.cor = r->cor;
        else
            choice.problem = asked == CorMethod::Mirror ? guesses.mirrorProblem : guesses.fourierProblem;
        return choice;
    }
    // Each centre's slice, as the scan makes its trials; the region is left out so that both are
    // scored over the same circle about the axis.
    SliceTask whole = task;
    whole.regionIsSet = false;
    const std::vector<double> centres {guesses.mirror->cor, guesses.fourier->cor};
    CorScanSchedule scan(whole, centres, imageCount, single);
    CtFbp engine;
    SinogramCache sinograms;
    CorScorer scorer;
    for (int i = 0; i < 2; ++i) {
        if (cancel && cancel->load()) {
            choice.problem = QCoreApplication::translate("CorChoice", "the guess was called off");
            return choice;
        }
        EngineSize size;
        const SliceTask trialTask = scan.take(i, size);
        CorTrial trial;
        trial.cor = centres[static_cast<size_t>(i)];
        if (size.n < 2) {
            trial.problem = QStringLiteral("its centre leaves no sinogram");
        } else {
            sizeEngine(engine, size);
            scorer.setup(size.n);
            trial = runCorTrial(engine, sinograms, scorer, trialTask, scan.score());
        }
        scan.put(trial);
    }
    const CorTrial &m = scan.trials()[0];
    const CorTrial &f = scan.trials()[1];
    if (m.reconstructed)
        choice.mirrorScore = m.score;
    if (f.reconstructed)
        choice.fourierScore = f.score;
    choice.compared = true;
    if (!m.reconstructed && !f.reconstructed) {
        choice.cor = guesses.of(asked)->cor;
        choice.reason = QCoreApplication::translate("CorChoice",
            "the searches disagree and neither slice could be reconstructed to compare them (%1): the %2 "
            "centre %3 is used")
                            .arg(m.problem, corMethodName(asked), centreText(*choice.cor));
        return choice;
    }
    if (!m.reconstructed || !f.reconstructed) {
        const CorMethod other = m.reconstructed ? CorMethod::Mirror : CorMethod::Fourier;
        const CorTrial &failed = m.reconstructed ? f : m;
        choice.method = other;
        choice.cor = guesses.of(other)->cor;
        choice.reason
            = QCoreApplication::translate("CorChoice",
                "the searches disagree and the slice at %1 could not be reconstructed (%2): the %3 centre %4 "
                "is used")
                  .arg(centreText(failed.cor), failed.problem, corMethodName(other), centreText(*choice.cor));
        return choice;
    }
    // Equal scores keep the asked search's centre.
    CorMethod sharper = asked;
    if (m.score < f.score)
        sharper = CorMethod::Mirror;
    else if (f.score < m.score)
        sharper = CorMethod::Fourier;
    choice.method = sharper;
    choice.cor = guesses.of(sharper)->cor;
    choice.reason = QCoreApplication::translate(
        "CorChoice", // English in the command, which installs no translation
        "the slice is sharper at the %1 centre %2 than at the %3 centre %4 (score %5 against %6, lower is "
        "sharper): the %1 centre is used")
                        .arg(corMethodName(sharper), centreText(*choice.cor),
                            corMethodName(
                                sharper == CorMethod::Mirror ? CorMethod::Fourier : CorMethod::Mirror),
                            centreText(sharper == CorMethod::Mirror ? f.cor : m.cor),
                            QString::number(sharper == CorMethod::Mirror ? m.score : f.score, 'f', 4),
                            QString::number(sharper == CorMethod::Mirror ? f.score : m.score, 'f', 4));
    return choice;
}
