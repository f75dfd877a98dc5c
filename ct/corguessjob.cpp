#include "ct/corguessjob.h"

// Local
#include "ct/offsetaxisplan.h"

namespace {

bool isSet(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load();
}

} // namespace

CorGuessOutcome CorGuessJob::run(const std::atomic<bool> *cancel) const
{
    CorGuessOutcome out;
    if (offsetAxis) {
        out.offsetProblem = offsetProblem;
        if (out.offsetProblem.isEmpty())
            out.offset = searchOffsetAxis(set, rowLines, {slice}, &out.offsetProblem);
        out.calledOff = isSet(cancel);
        return out;
    }
    out.guesses = guessCorBoth(set, request, rangeDeg, start, guessParam);
    if (isSet(cancel)) {
        out.calledOff = true;
        return out;
    }
    if (decide) {
        out.choice = decide(out.guesses, asked, cancel);
    } else {
        out.choice.method = asked;
        if (const std::optional<CorSearchResult> &r = out.guesses.of(asked))
            out.choice.cor = r->cor;
    }
    out.calledOff = isSet(cancel);
    return out;
}
