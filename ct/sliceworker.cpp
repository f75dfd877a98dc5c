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
    // A buffer given back once nobody else holds it (the result it came with may outlive the call).
    if (spare_ && spare_.use_count() == 1) {
        engine_.recycleImage(std::move(*spare_));
        spare_.reset();
    }
    const QDateTime start = QDateTime::currentDateTime();
    emit began(task.sinogram.slice, start);
    SliceResult result = reconstructSlice(engine_, sinograms_, task);
    result.started = start;
    result.ended = QDateTime::currentDateTime();
    emit done(result);
}

void SliceWorker::recycle(std::shared_ptr<std::vector<double>> values)
{
    spare_ = std::move(values);
}

void SliceWorker::trial(const SliceTask &task, const CorScoreSetup &score)
{
    emit trialDone(runCorTrial(engine_, sinograms_, scorer_, task, score));
}
