#include "ct/sliceworker.h"

namespace {

QString outOfMemory(const SliceTask &task)
{
    return QStringLiteral("slice %1 at the centre %2: not enough memory")
        .arg(task.sinogram.slice)
        .arg(task.sinogram.cor);
}

} // namespace

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
    SliceResult result;
    try {
        result = reconstructSlice(engine_, sinograms_, task);
    } catch (const std::bad_alloc &) {
        // The slice fails, the program goes on: the memory its buffers took is given back.
        result = SliceResult();
        result.slice = task.sinogram.slice;
        result.problem = outOfMemory(task);
        sinograms_.release();
    }
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
    try {
        emit trialDone(runCorTrial(engine_, sinograms_, scorer_, task, score));
    } catch (const std::bad_alloc &) {
        CorTrial trial;
        trial.cor = task.sinogram.cor;
        trial.problem = outOfMemory(task);
        sinograms_.release();
        emit trialDone(trial);
    }
}
