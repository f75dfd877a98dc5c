#include "ct/sliceworker.h"

SliceWorker::SliceWorker(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<SliceTask>();
    qRegisterMetaType<SliceResult>();
}

void SliceWorker::run(const SliceTask &task)
{
    emit done(reconstructSlice(engine_, sinograms_, task));
}
