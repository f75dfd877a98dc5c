#include "ct/ui/ctprogress.h"

void CtProgress::startCalcAll()
{
    emit calcAll();
}

void CtProgress::startCalcOneByOne(int total)
{
    total_ = total;
    current_ = 0;
    emit calcOne(current_);
}

void CtProgress::calcNext()
{
    ++current_;
    if (current_ >= total_)
        emit finishedCalcOneByOne();
    else
        emit calcOne(current_);
}
