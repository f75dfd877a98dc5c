#include "ct/sliceworker.h"

SliceWorker::SliceWorker(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<SliceTask>();
    qRegisterMetaType<SliceResult>();
    qRegisterMetaType<CorTrial>();
}

void SliceWorker::run(const SliceTask &task)
{
    emit done(reconstructSlice(engine_, sinograms_, task));
}

void SliceWorker::trial(const SliceTask &task, const CorScoreSetup &score)
{
    emit trialDone(runCorTrial(engine_, sinograms_, scorer_, task, score));
}
