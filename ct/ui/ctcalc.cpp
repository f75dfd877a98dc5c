#include "ct/ui/ctcalc.h"

// Qt
#include <QDebug>
#include <QThread>

// Local
#include "ct/ctlog.h"
#include "ct/offsetaxisplan.h"
#include "ct/sgmgeometry.h"
#include "ct/ui/ctprogress.h"
#include "ct/ui/sinogram.h"
#include "widgets/colorbar.h"

CtCalc::CtCalc(QWidget *parent)
    : CtPanel(parent)
    , progress_(new CtProgress)
    , sequencer_(new QThread(this))
{
    sequencer_->setObjectName(QStringLiteral("CT1 sequencer"));
    progress_->moveToThread(sequencer_);
    connect(this, &CtCalc::startCalcAll, progress_, &CtProgress::startCalcAll);
    connect(this, &CtCalc::startCalcOneByOne, progress_, &CtProgress::startCalcOneByOne);
    connect(this, &CtCalc::finishedCalcOne, progress_, &CtProgress::calcNext);
    connect(progress_, &CtProgress::calcAll, this, &CtCalc::calcAll);
    connect(progress_, &CtProgress::calcOne, this, &CtCalc::calcOne);
    connect(progress_, &CtProgress::finishedCalcOneByOne, this, &CtCalc::sequenceEnded);
    connect(ui_.StartCalc, &QPushButton::clicked, this, &CtCalc::askToStartCalc);
    connect(ui_.DispCt, &ImgDispWCBar::newBar, this, &CtCalc::redrawResImage);
    // Started once: a thread quit at the end of a run may still be finishing when the next run
    // starts, and QThread::start() does nothing then.
    sequencer_->start();
}

CtCalc::~CtCalc()
{
    sequencer_->quit();
    sequencer_->wait();
    delete progress_;
}

void CtCalc::calcCt()
{
    if (isRunning())
        stopCt();
    else
        startCt();
}

void CtCalc::startCt()
{
    if (!sinogram_ || isRunning()) // a run is stopped before another starts (calcCt)
        return;
    start_ = QDateTime::currentDateTime();
    showTimes(start_, QDateTime());
    const SinogramStatus status
        = sinogram_->genSinogram0(sinogram_->dataRef(), params_.rotAxIsV, params_.cor, params_.sliceNo);
    const SinogramData &s = sinogram_->data();
    // Nothing to reconstruct: the run ends at once, with its times shown, and the last picture goes
    // so that it is not taken for this slice's.
    const auto fail = [this](const QString &why) {
        qCWarning(lcCt).noquote() << "CT1:" << why;
        showFailure(params_.sliceNo, why);
        emit sliceFailed(params_.sliceNo, why);
        mode_ = Mode::AtOnce;
        finish();
    };
    if (status != SinogramStatus::Generated || !s.hasData() || fftLength(s.width) < 2) {
        fail(status != SinogramStatus::Generated
                ? sinogram_->problem(status, params_.rotAxIsV, params_.cor, params_.sliceNo)
                : QStringLiteral("the sinogram of slice %1 is too narrow to reconstruct")
                      .arg(params_.sliceNo));
        return;
    }
    const int n = fftLength(s.width);
    try {
        if (n != engine_.n() || s.height != engine_.projections())
            engine_.setup(n, s.height);
        engine_.resetImage(n);
    } catch (const std::bad_alloc &) {
        fail(QStringLiteral("slice %1: not enough memory for an image of %2 x %2")
                 .arg(params_.sliceNo)
                 .arg(n));
        return;
    }
    sinogramCopy_ = s;
    showSliceNo(s.sliceNo);
    p_ = s.height;
    if (!regionSet())
        setCR(0, 0, n, n);
    region_ = calcRegion();
    if (params_.offsetAxis && stitchedSliceWhole(region_, sinogram_->lineLength(params_.rotAxIsV)))
        region_ = Region {0, 0, double(n), double(n)};
    const int images = params_.dataSetImages > 0 ? params_.dataSetImages : imageCount_;
    angles_ = params_.offsetAxis
        ? stitchedAngles(params_.angleOriginDeg, images)
        : projectionAngles(params_.angleOriginDeg, params_.dataSetRangeDeg, images,
            firstImage(SinogramRequest {params_.rotAxIsV, params_.cor, params_.sliceNo, params_.partial,
                           params_.partialStart, params_.partialImages},
                imageCount_));
    ++run_;
    emit progressed(0, p_);
    if (ui_.CalcAtOnce->isChecked()) {
        mode_ = Mode::AtOnce;
        emit startCalcAll(run_);
    } else {
        mode_ = Mode::OneByOne;
        emit startCalcOneByOne(run_, p_);
    }
}

void CtCalc::calcAll(int run)
{
    if (run != run_ || mode_ != Mode::AtOnce)
        return; // the step of a run that was stopped (and perhaps replaced)
    for (int i = 0; i < p_; ++i)
        engine_.forwardRow(sinogramCopy_.attRow(i), i);
    for (int i = 0; i < p_; ++i)
        engine_.filterRow(i);
    engine_.backProjectRows(
        p_, region_.x0, region_.x1, region_.z0, region_.z1, angles_.theta0, angles_.dTheta);
    genResImage();
    emit progressed(p_, p_);
    stopCt();
}

void CtCalc::calcOne(int run, int index)
{
    if (run != run_ || mode_ != Mode::OneByOne || index < 0 || index >= p_)
        return;
    engine_.forwardRow(sinogramCopy_.attRow(index), index);
    engine_.filterRow(index);
    engine_.backProjectRow(
        index, region_.x0, region_.x1, region_.z0, region_.z1, angles_.theta0, angles_.dTheta);
    genResImage();
    end_ = QDateTime::currentDateTime();
    showTimes(start_, end_);
    emit progressed(index + 1, p_);
    emit finishedCalcOne(run);
}

void CtCalc::sequenceEnded(int run)
{
    if (run == run_)
        endCt();
}

void CtCalc::stopCt()
{
    finish();
}

void CtCalc::endCt()
{
    finish();
}

void CtCalc::finish()
{
    if (mode_ == Mode::Idle)
        return; // already finished
    mode_ = Mode::Idle;
    end_ = QDateTime::currentDateTime();
    showTimes(start_, end_);
    emit calcFinished();
}

void CtCalc::genResImage()
{
    const int n = engine_.imageN();
    if (n < 1)
        return;
    if (engine_.backProjected()) {
        engine_.minMax();
        colorBar()->adoptRange(engine_.minimum(), engine_.maximum());
    }
    ui_.DispCt->setImage(greyImage(engine_.image(), n, n, colorBar()->greyScale()));
}

void CtCalc::redrawResImage()
{
    const int n = engine_.imageN();
    if (n >= 1)
        ui_.DispCt->setImage(greyImage(engine_.image(), n, n, colorBar()->heldScale()));
}

bool CtCalc::valueAt(long i, long j, double &value) const
{
    const int n = engine_.imageN();
    if (i < 0 || j < 0 || i >= n || j >= n)
        return false;
    value = engine_.imageRow(static_cast<int>(j))[i];
    return true;
}

void CtCalc::setSaveImage(bool, const QString &, const QString &, const QString &)
{
    // The single-thread calculator is for viewing: it saves nothing.
}

void CtCalc::setSaveData(bool, const QString &, const QString &, const QString &) { }
