#pragma once

// Local
#include "ct/corsearch.h"
#include "ct/offsetaxis.h"
#include "ct/sinogramgen.h"
#include "imagedata/projectionset.h"
#include <atomic>
#include <functional>
#include <optional>

/// Decides which centre a guess takes from both searches' results and the method asked for (the
/// run library's `chooseCor` on a slice task taken when the guess started); it may run on any thread
/// and stops early, its choice then empty, when `cancel` is set.
using CorDecision
    = std::function<CorChoice(const CorGuesses &, CorMethod asked, const std::atomic<bool> *cancel)>;

/// What a "Guess CoR" found: both searches and the centre chosen, or for an offset axis the axis.
struct CorGuessOutcome
{
    CorGuesses guesses;
    CorChoice choice;
    std::optional<OffsetAxisGuess> offset;
    QString offsetProblem; // why no offset axis was found
    bool calledOff = false; // stopped before its end: nothing of it is taken
};

/// What a "Guess CoR" reads, taken on the main thread when it starts: its images are shared and
/// read-only, so that the guess may run on a thread of its own while the window goes on.
/// \test tst_bodyloading.cpp, tst_headless.cpp
struct CorGuessJob
{
    ProjectionSet set;
    bool offsetAxis = false;
    // The two searches on one slice.
    SinogramRequest request;
    double rangeDeg = 180.0;
    double start = 0.0; // where the mirror search starts (the CoR field)
    double guessParam = 0.0;
    CorMethod asked = CorMethod::Mirror;
    CorDecision decide; // none: the asked method's centre
    // The offset axis, searched at one slice.
    bool rowLines = false;
    int slice = 0;
    QString offsetProblem; // why the run cannot be stitched (then nothing is searched)

    /// Runs the guess; with `cancel` set it stops between its steps, `calledOff` set.
    CorGuessOutcome run(const std::atomic<bool> *cancel = nullptr) const;
};
