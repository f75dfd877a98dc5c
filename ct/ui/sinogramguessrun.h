#pragma once

// Qt
#include <QThread>

// Local
#include "ct/corguessjob.h"
#include "ct/ui/sinogram.h"
#include <atomic>
#include <memory>

// A guess on a thread of its own; what it shares with the thread is held by shared pointers, so
// that a window closed under it leaves the thread nothing dangling. (Complete wherever the sinogram
// panel is made or destroyed.)
struct Sinogram::GuessRun
{
    CorGuessJob job;
    QThread *thread = nullptr;
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<CorGuessOutcome> outcome = std::make_shared<CorGuessOutcome>();
};
