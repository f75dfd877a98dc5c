#include "ct/ui/ctprogress.h"

void CtProgress::startCalcAll(int run)
{
    run_ = run;
    total_ = current_ = 0;
    emit calcAll(run);
}

void CtProgress::startCalcOneByOne(int run, int total)
{
    run_ = run;
    total_ = total;
    current_ = 0;
    emit calcOne(run, current_);
}

void CtProgress::calcNext(int run)
{
    if (run != run_)
        return; // a step of a run that was stopped and replaced
    ++current_;
    if (current_ >= total_)
        emit finishedCalcOneByOne(run);
    else
        emit calcOne(run, current_);
}
