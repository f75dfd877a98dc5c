#pragma once

// Local
#include "ct/corsearch.h"
#include "ct/slicerecon.h"
#include <atomic>
#include <optional>

/// Whether both searches found a centre and they lie more than `corDisagreement` pixels apart.
bool corGuessesDisagree(const CorGuesses &guesses);

/// The centre a guess takes. When the searches agree (or only one of them was asked and found a
/// centre while the other found none) it is the centre of the search `asked`, as ever. When they
/// disagree, the slice of `task` is reconstructed at both centres exactly as a scan of centres
/// reconstructs its trials (the run's correction, ring removal and precision, on `imageCount`
/// images, over the whole circle of the smaller trial) and the sharper by the scan's score is
/// taken: a wrong axis smears every edge into arcs, which widens the histogram of the slice.
/// A trial that cannot be reconstructed leaves the other; when neither can, the asked search's
/// centre stays. Plans FFTs and reconstructs on the calling thread; with `cancel` set it stops
/// before the next slice and returns no centre.
CorChoice chooseCor(const CorGuesses &guesses, CorMethod asked, const SliceTask &task, int imageCount,
    bool single, const std::atomic<bool> *cancel = nullptr);
