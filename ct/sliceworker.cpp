#include "ct/sliceworker.h"

SliceWorker::SliceWorker(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<SliceTask>();
    qRegisterMetaType<SliceResult>();
}

void SliceWorker::run(const SliceTask &task)
{
    // A buffer given back once nobody else holds it (the result it came with may outlive the call).
    if (spare_ && spare_.use_count() == 1) {
        engine_.recycleImage(std::move(*spare_));
        spare_.reset();
    }
    emit done(reconstructSlice(engine_, sinograms_, task));
}

void SliceWorker::recycle(std::shared_ptr<std::vector<double>> values)
{
    spare_ = std::move(values);
}
