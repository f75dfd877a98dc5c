#include "automation/xafsbatch.h"

XafsBatch::XafsBatch(QObject *parent)
    : QObject(parent)
{
}

void XafsBatch::emitStage(const QString &msg)
{
    const qint64 now = timer_.isValid() ? timer_.elapsed() : 0;
    const qint64 dEt = now - lastMark_;
    lastMark_ = now;
    emit stage(msg, dEt);
}

void XafsBatch::start()
{
    if (running_) {
        finish();
        return;
    }
    running_ = true;
    phase_ = Phase::Loading;
    timer_.start();
    lastMark_ = 0;
    emit starting();
    emitStage(tr("Data Loading"));
    // The stage clock is this object's alone: the stage of the window's step is reported here,
    // just before the window is asked to take it.
    emitStage(tr("Loading first Data Set"));
    emit setFirstImageSet();
}

void XafsBatch::loadedDataSet()
{
    if (!running_ || phase_ != Phase::Loading)
        return;
    phase_ = Phase::Calculating;
    emitStage(tr("Calculating"));
    emit execCalculation();
}

void XafsBatch::abort(const QString &why)
{
    if (!running_)
        return;
    emitStage(why);
    finish();
}

void XafsBatch::calcFinished()
{
    if (!running_ || phase_ != Phase::Calculating)
        return;
    phase_ = Phase::Loading;
    emitStage(tr("Finished Calc."));
    emitStage(tr("Loading next Data Set"));
    emit setNextImageSet();
}

void XafsBatch::noMoreSets()
{
    if (running_ && phase_ == Phase::Loading)
        finish();
}

void XafsBatch::finish()
{
    running_ = false;
    phase_ = Phase::Idle;
    emitStage(tr("Finished"));
    emit finished();
}
