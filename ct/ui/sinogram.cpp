#include "ct/ui/sinogram.h"

// Qt
#include <QDebug>

// Local
#include "config/configstore.h"
#include "ct/corsearch.h"
#include "ct/ctlog.h"
#include "ct/offsetaxisplan.h"
#include "ct/stripefilter.h"
#include "ct/ui/procctrl.h"
#include "display/greyscale.h"
#include "imagedata/imgdatas.h"
#include "widgets/colorbar.h"
#include "widgets/imgdisp.h"
#include "widgets/numberfield.h"

Sinogram::Sinogram(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    ui_.DispFouS->hide();
    watchNumberField(ui_.Cor, NumberKind::Real);
    watchNumberField(ui_.GuessParam, NumberKind::Real);
    connect(ui_.DispSinogram, &ImgDispWPV::newPosInvY, this, &Sinogram::newPos);
    // A change of a bar redraws the picture through the bar as it is; new data reset its range.
    connect(ui_.DispSinogram, &ImgDispWCBar::newBar, this, &Sinogram::redrawView);
    connect(ui_.DispFouS, &ImgDispWCBar::newBar, this, [this] { drawFouS(true); });
    connect(ui_.Cor, &QLineEdit::editingFinished, this, &Sinogram::corEditingFinished);
    connect(ui_.GuessCor, &QPushButton::clicked, this, &Sinogram::startGuessCor);
    connect(ui_.TakeMirror, &QPushButton::clicked, this, [this] { takeGuess(CorMethod::Mirror); });
    connect(ui_.TakeFourier, &QPushButton::clicked, this, [this] { takeGuess(CorMethod::Fourier); });
    connect(ui_.GenImg, &QPushButton::clicked, this, &Sinogram::genImage);
    connect(ui_.GenFouS, &QCheckBox::toggled, ui_.DispFouS, &QWidget::setVisible);
    connect(ui_.ShowRemoved, &QCheckBox::toggled, this, &Sinogram::genImage);
}

void Sinogram::setProcCtrl(ProcCtrl *procCtrl)
{
    procCtrl_ = procCtrl;
    connect(procCtrl, &ProcCtrl::corUpdated, this, &Sinogram::corUpdated);
    connect(procCtrl, &ProcCtrl::sliceNoUpdated, this, &Sinogram::sliceNoUpdated);
    connect(procCtrl, &ProcCtrl::rotAxUpdated, this, &Sinogram::rotAxUpdated);
    connect(procCtrl, &ProcCtrl::usePartialDataSetUpdated, this, &Sinogram::usePartialDataSetUpdated);
    connect(procCtrl, &ProcCtrl::dataSetUsingImagesUpdated, this, &Sinogram::dataSetUsingImagesUpdated);
    connect(procCtrl, &ProcCtrl::dataSetStartImageNoUpdated, this, &Sinogram::dataSetStartImageNoUpdated);
    connect(procCtrl, &ProcCtrl::angleOriginUpdated, this, &Sinogram::angleOriginUpdated);
    connect(procCtrl, &ProcCtrl::dataSetRangeUpdated, this, &Sinogram::dataSetRangeUpdated);
    connect(procCtrl, &ProcCtrl::ringRemovalUpdated, this, &Sinogram::genSgmImage);
    connect(procCtrl, &ProcCtrl::offsetAxisUpdated, this, &Sinogram::genSgmImage);
    ui_.Cor->setText(fieldText(procCtrl->cor()));
}

void Sinogram::corUpdated()
{
    if (!procCtrl_)
        return;
    ui_.Cor->setText(fieldText(procCtrl_->cor()));
    genSgmImage();
}

void Sinogram::sliceNoUpdated()
{
    genSgmImage();
}
void Sinogram::rotAxUpdated()
{
    genSgmImage();
}
void Sinogram::usePartialDataSetUpdated()
{
    genSgmImage();
}
void Sinogram::dataSetUsingImagesUpdated()
{
    genSgmImage();
}
void Sinogram::dataSetStartImageNoUpdated()
{
    genSgmImage();
}

void Sinogram::angleOriginUpdated()
{
    genImage();
}

void Sinogram::dataSetRangeUpdated()
{
    if (!procCtrl_)
        return;
    genSgmImage();
    ui_.DispSinogram->imgDisp()->resetScale();
}

void Sinogram::corEditingFinished()
{
    if (procCtrl_)
        procCtrl_->setCor(fieldDouble(ui_.Cor->text()));
}

SinogramRequest Sinogram::request(bool rowLines, double cor, int slice) const
{
    SinogramRequest r = procCtrl_->sinogramRequest();
    r.rowLines = rowLines;
    r.cor = cor;
    r.slice = slice;
    return r;
}

SinogramStatus Sinogram::genSinogram0(SinogramData &target, bool rowLines, double cor, int slice)
{
    if (!procCtrl_ || !images_)
        return SinogramStatus::NoProjections;
    const SinogramStatus status
        = ::genSinogram0(target, images_->projectionSet(), request(rowLines, cor, slice));
    const StripeParams stripes = procCtrl_->stripeParams();
    const bool own = &target == &data_;
    if (own)
        removed_.clear();
    if (status == SinogramStatus::Generated && target.hasData() && stripes.isOn()) {
        if (own)
            removed_ = target.att;
        removeStripes(target.att, target.width, target.height, stripes);
        for (size_t i = 0; own && i < removed_.size(); ++i)
            removed_[i] -= target.att[i];
    }
    return status;
}

QString Sinogram::problem(SinogramStatus status, bool rowLines, double cor, int slice) const
{
    if (!procCtrl_ || !images_)
        return status == SinogramStatus::Generated ? QString() : QStringLiteral("No image set");
    return sinogramProblem(status, images_->projectionSet(), request(rowLines, cor, slice));
}

void Sinogram::genSinogram()
{
    if (!procCtrl_)
        return;
    const bool rowLines = procCtrl_->rotAxV();
    lastStatus_ = genSinogram0(data_, rowLines, procCtrl_->cor(), procCtrl_->sliceNo());
    // Before anything is loaded every setting "fails": only a loaded set has something to say. It is
    // said after the current turn of the event loop, so that the passing states of several settings
    // changed together (the defaults after a load) are not reported.
    pendingProblem_ = images_ && images_->count() > 0
        ? problem(lastStatus_, rowLines, procCtrl_->cor(), procCtrl_->sliceNo())
        : QString();
    if (!problemQueued_) {
        problemQueued_ = true;
        QMetaObject::invokeMethod(this, &Sinogram::reportProblem, Qt::QueuedConnection);
    }
}

void Sinogram::reportProblem()
{
    problemQueued_ = false;
    if (!pendingProblem_.isEmpty() && pendingProblem_ != lastProblem_)
        qCWarning(lcCt).noquote() << "Sinogram:" << pendingProblem_;
    lastProblem_ = pendingProblem_;
}

void Sinogram::genSgmImage()
{
    if (!procCtrl_)
        return;
    genSinogram();
    genImage();
}

void Sinogram::genImage()
{
    ui_.ShowRemoved->setEnabled(showsAttenuation());
    // A stitched sinogram is shown as it is, its half-turn and the same mirrored: the direct view
    // of the recorded lines would not show the stitching.
    if (sinogramImageVariant() == 2 && !(procCtrl_ && procCtrl_->offsetAxis()))
        genImage2();
    else
        genImage1();
}

void Sinogram::showView(ViewValues view)
{
    ColorBar *bar = ui_.DispSinogram->colorBar();
    double min = 0.0, max = 0.0;
    valueRange(showsRemoved() ? removed_ : showsAttenuation() ? data_.att : data_.raw, min, max);
    bar->adoptRange(min, max);
    ui_.DispSinogram->imgDisp()->setImage(greyImage(view.values, view.width, view.height, bar->greyScale()));
    shown_ = std::move(view);
}

void Sinogram::redrawView()
{
    const GreyScale held = ui_.DispSinogram->colorBar()->heldScale();
    ui_.DispSinogram->imgDisp()->setImage(greyImage(shown_.values, shown_.width, shown_.height, held));
}

bool Sinogram::showsAttenuation() const
{
    return procCtrl_ && procCtrl_->stripeParams().isOn();
}

bool Sinogram::showsRemoved() const
{
    return showsAttenuation() && ui_.ShowRemoved->isChecked() && !removed_.empty()
        && removed_.size() == data_.att.size();
}

ViewValues Sinogram::attenuationPicture(int n180, int lineLength) const
{
    if (!showsRemoved())
        return attenuationView(data_, n180, lineLength);
    SinogramData taken;
    taken.width = data_.width;
    taken.height = data_.height;
    taken.att = removed_;
    return attenuationView(taken, n180, lineLength);
}

void Sinogram::genImage1()
{
    const int count = images_ ? images_->count() : 0;
    const double range = procCtrl_ ? procCtrl_->dataSetRangeDeg() : 180.0;
    const int n180 = procCtrl_ && procCtrl_->offsetAxis() ? data_.height : projectionsPer180(range, count);
    showView(showsAttenuation() ? attenuationPicture(n180, 0) : sinogramView360(data_, n180));
    genFouSImage();
}

void Sinogram::genImage2()
{
    if (!procCtrl_ || !images_)
        return;
    const int n180 = projectionsPer180(procCtrl_->dataSetRangeDeg(), images_->count());
    if (showsAttenuation()) // with its stripes taken out (or what was), on the direct view's grid
        showView(attenuationPicture(
            n180, ::lineLength(images_->projectionSet(), procCtrl_->sinogramRequest().rowLines)));
    else
        showView(sinogramViewDirect(images_->projectionSet(), procCtrl_->sinogramRequest(), n180));
    // The Fourier sinogram is made from the sinogram record, which this view does not show but
    // which exists all the same: a checked "Gen Fou. Sinogram" shows it with either view.
    genFouSImage();
}

void Sinogram::genFouSImage()
{
    drawFouS(false);
}

void Sinogram::drawFouS(bool heldBar)
{
    if (!ui_.GenFouS->isChecked())
        return;
    const ViewValues view = fourierSinogram(data_);
    ColorBar *bar = ui_.DispFouS->colorBar();
    if (!heldBar && !bar->isFixed()) {
        bar->setMinV(-10.0);
        bar->setMaxV(10.0);
    }
    ui_.DispFouS->imgDisp()->setImage(greyImage(view.values, view.width, view.height, bar->heldScale()));
}

void Sinogram::setGenFouS(bool on)
{
    ui_.GenFouS->setChecked(on);
}

void Sinogram::newPos(double x, double y)
{
    if (shown_.values.empty())
        return;
    const int xi = static_cast<int>(x);
    const int yi = static_cast<int>(y);
    if (xi >= 0 && xi < shown_.width && yi >= 0 && yi < shown_.height)
        ui_.DispSinogram->setVal(shown_.values[static_cast<size_t>(yi) * shown_.width + xi]);
}

void Sinogram::setCorMethod(CorMethod method)
{
    ui_.CorMethodBox->setCurrentIndex(method == CorMethod::Mirror ? 0 : 1);
}

CorMethod Sinogram::corMethod() const
{
    return ui_.CorMethodBox->currentIndex() == 1 ? CorMethod::Fourier : CorMethod::Mirror;
}

int Sinogram::lineLength(bool rowLines) const
{
    return images_ ? ::lineLength(images_->projectionSet(), rowLines) : 0;
}
