#pragma once

// Qt
#include <QString>
#include <QStringList>

// Local
#include "ct/corline.h"
#include <atomic>
#include <optional>
#include <vector>

struct ProjectionSet;
struct SinogramRequest;

/// The automatic centre-of-rotation searches: the mirror image of the projection facing the first
/// (0° against 180°, the default), and the Fourier method on the sinogram of 180°.
enum class CorMethod { Mirror, Fourier };

/// "mirror" or "fourier", as written in commands, configuration lines and the command's output.
QString corMethodName(CorMethod method);
/// The method a name stands for (case does not matter); none for any other word.
std::optional<CorMethod> corMethodFromName(const QString &name);

/// What a search found, and where it looked.
struct CorSearchResult
{
    double cor = 0.0;
    double from = 0.0; // the range searched
    double to = 0.0;
    bool atEdge = false; // the best lies at an end of the range: the range may have missed the axis
};

/// Both searches on one slice.
struct CorGuesses
{
    std::optional<CorSearchResult> mirror;
    std::optional<CorSearchResult> fourier;
    QString mirrorProblem; // why a search found nothing
    QString fourierProblem;

    const std::optional<CorSearchResult> &of(CorMethod m) const
    {
        return m == CorMethod::Mirror ? mirror : fourier;
    }
};

/// Which centre of rotation a guess takes when the two searches have spoken (`chooseCor` of the run
/// library decides it, for the window's Guess CoR, the batch's ct_guess_cor and the command alike).
struct CorChoice
{
    std::optional<double> cor; // none: the search asked for found nothing
    CorMethod method = CorMethod::Mirror; // whose centre it is
    bool compared = false; // the two disagreed and the slice was reconstructed at both
    std::optional<double> mirrorScore; // the scan's sharpness score of each (lower is sharper)
    std::optional<double> fourierScore;
    QString reason; // one sentence: why this centre (empty when the searches agree)
    QString problem; // why there is no centre
};

/// The searches disagree when their centres differ by more than this many pixels.
constexpr double corDisagreement = 1.0;

/// Both searches on the slice of `request`: the mirror search from `start` over guessParam · L on
/// each side, the Fourier search over its default range. The Fourier search plans FFTs: call it on
/// the thread that plans (the main thread).
CorGuesses guessCorBoth(const ProjectionSet &set, const SinogramRequest &request, double rangeDeg,
    double start, double guessParam);

/// One search along a range of slices: the guesses at `count` slices spread over from … to and the
/// line fitted through them.
struct CorLineGuess
{
    std::vector<int> slices; // where a guess was found
    std::vector<double> cors;
    std::optional<CorLineFit> fit; // none when fewer than two slices gave a guess
    QStringList problems; // a sentence per slice without a guess
};

/// The guesses of `method` at `count` slices of from … to (the mirror search starting from `start`
/// at the first slice and from the last guess after it), fitted with a line. A `cancel` that turns
/// true ends it after the slice in hand (another thread may set it).
CorLineGuess guessCorLine(const ProjectionSet &set, const SinogramRequest &request, double rangeDeg,
    CorMethod method, double start, double guessParam, int from, int to, int count,
    const std::atomic<bool> *cancel = nullptr);

/// Warnings about a pair of guesses, one sentence each: the two differ by more than a pixel; a
/// search's best lies at an end of its range.
QStringList corGuessWarnings(const CorGuesses &guesses);
