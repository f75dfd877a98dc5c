#include "ct/corsearch.h"

// Local
#include "ct/corfourier.h"
#include "ct/corguess.h"
#include "ct/sinogramgen.h"
#include "imagedata/projectionset.h"
#include <cmath>

QString corMethodName(CorMethod method)
{
    return method == CorMethod::Mirror ? QStringLiteral("mirror") : QStringLiteral("fourier");
}

std::optional<CorMethod> corMethodFromName(const QString &name)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("mirror"))
        return CorMethod::Mirror;
    if (n == QLatin1String("fourier"))
        return CorMethod::Fourier;
    return std::nullopt;
}

QStringList corGuessWarnings(const CorGuesses &guesses)
{
    QStringList warnings;
    const auto number = [](double v) { return QString::number(v, 'f', 2); };
    if (guesses.mirror && guesses.fourier
        && std::abs(guesses.mirror->cor - guesses.fourier->cor) > corDisagreement)
        warnings << QStringLiteral(
            "the mirror and Fourier centres of rotation differ by %1 pixels (%2 and %3)")
                        .arg(number(std::abs(guesses.mirror->cor - guesses.fourier->cor)),
                            number(guesses.mirror->cor), number(guesses.fourier->cor));
    for (CorMethod m : {CorMethod::Mirror, CorMethod::Fourier}) {
        const std::optional<CorSearchResult> &r = guesses.of(m);
        if (r && r->atEdge)
            warnings << QStringLiteral(
                "the %1 centre of rotation %2 lies at an end of its search range %3 ... %4: "
                "the range may have missed the axis")
                            .arg(corMethodName(m), number(r->cor), number(r->from), number(r->to));
    }
    return warnings;
}

CorGuesses guessCorBoth(const ProjectionSet &set, const SinogramRequest &request, double rangeDeg,
    double start, double guessParam)
{
    CorGuesses g;
    if (const std::optional<double> cor
        = guessCor(set, request, rangeDeg, start, guessParam, &g.mirrorProblem)) {
        // The hill climb has no range of its own: the centres that give a sinogram bound it.
        const int L = lineLength(set, request.rowLines);
        CorSearchResult r;
        r.cor = *cor;
        r.from = 1.0;
        r.to = L - 2.0;
        r.atEdge = r.cor < r.from + 1.0 || r.cor > r.to - 1.0;
        g.mirror = r;
    }
    g.fourier = fourierCor(set, request, rangeDeg, &g.fourierProblem);
    return g;
}

CorLineGuess guessCorLine(const ProjectionSet &set, const SinogramRequest &request, double rangeDeg,
    CorMethod method, double start, double guessParam, int from, int to, int count,
    const std::atomic<bool> *cancel)
{
    CorLineGuess line;
    double next = start;
    for (int slice : spreadSlices(from, to, count)) {
        if (cancel && cancel->load())
            break;
        SinogramRequest r = request;
        r.slice = slice;
        QString why;
        std::optional<double> cor;
        if (method == CorMethod::Mirror) {
            cor = guessCor(set, r, rangeDeg, next, guessParam, &why);
        } else if (const std::optional<CorSearchResult> f = fourierCor(set, r, rangeDeg, &why)) {
            cor = f->cor;
        }
        if (!cor) {
            line.problems << QStringLiteral("slice %1: %2").arg(slice).arg(why);
            continue;
        }
        line.slices.push_back(slice);
        line.cors.push_back(*cor);
        next = *cor;
    }
    line.fit = fitCorLine(line.slices, line.cors);
    return line;
}
