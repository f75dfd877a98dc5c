#include "ct/ui/procctrl.h"

// Qt
#include <QButtonGroup>
#include <QDebug>

// Local
#include "widgets/childedits.h"
#include "widgets/numberfield.h"
#include "ct/ctlog.h"
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iterator>

int fieldInt(const QString &text)
{
    return text.trimmed().toInt();
}

double fieldDouble(const QString &text)
{
    const double v = text.trimmed().toDouble();
    if (std::isfinite(v))
        return v;
    // "nan" and "inf" parse, but no angle, position or region can be computed with them.
    qCWarning(lcCt).noquote() << QStringLiteral("Not a finite number, read as 0 : ") + text;
    return 0.0;
}

QString fieldText(double value)
{
    return QString::number(value, 'g', 6);
}

ProcCtrl::ProcCtrl(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    ui_.RotAxH->setChecked(true);
    rotAxV_ = false;
    sliceNo_ = fieldInt(ui_.SliceNo->text());
    cor_ = fieldDouble(ui_.Cor->text());
    clearRecordedCoR();
    showPartial();
    for (QLineEdit *edit : {ui_.SliceNo, ui_.DataSetStartImageNo, ui_.DataSetUsingImages, ui_.SliceFrom,
             ui_.SliceTo, ui_.SliceStep})
        watchNumberField(edit, NumberKind::Integer);
    for (QLineEdit *edit : {ui_.Cor, ui_.AngleOriginDeg, ui_.DataSetRangeDeg})
        watchNumberField(edit, NumberKind::Real);

    auto *axes = new QButtonGroup(this);
    axes->addButton(ui_.RotAxH);
    axes->addButton(ui_.RotAxV);
    connect(axes, &QButtonGroup::buttonClicked, this, &ProcCtrl::rotAxSelectionChanged);
    connect(ui_.UsePartialDataSet, &QCheckBox::toggled, this, &ProcCtrl::usePartialDataSetUpdated);
    connect(this, &ProcCtrl::usePartialDataSetUpdated, this, &ProcCtrl::showPartial);
    connect(ui_.AutoExecCtCalc, &QCheckBox::toggled, this, &ProcCtrl::autoExecUpdated);
    connect(ui_.SliceNo, &QLineEdit::editingFinished, this, &ProcCtrl::sliceNoEditingFinished);
    connect(ui_.Cor, &QLineEdit::editingFinished, this, &ProcCtrl::corEditingFinished);
    connect(ui_.AngleOriginDeg, &QLineEdit::editingFinished, this, &ProcCtrl::angleOriginUpdated);
    connect(ui_.DataSetRangeDeg, &QLineEdit::editingFinished, this, &ProcCtrl::dataSetRangeUpdated);
    connect(ui_.DataSetUsingImages, &QLineEdit::editingFinished, this, &ProcCtrl::dataSetUsingImagesUpdated);
    connect(
        ui_.DataSetStartImageNo, &QLineEdit::editingFinished, this, &ProcCtrl::dataSetStartImageNoUpdated);
    connect(ui_.RecCoR, &QPushButton::clicked, this, &ProcCtrl::recordCoR);
    connect(ui_.ClearRecCoR, &QPushButton::clicked, this, &ProcCtrl::clearRecordedCoR);
    connect(ui_.GuessCorLine, &QPushButton::clicked, this, &ProcCtrl::guessCorLineRequested);

    ui_.OffsetAxisAuto->setEnabled(false);
    connect(ui_.OffsetAxis, &QCheckBox::toggled, this, [this](bool on) {
        ui_.OffsetAxisAuto->setEnabled(on);
        if (!on)
            ui_.OffsetAxisInfo->clear();
        emit offsetAxisUpdated();
    });
    connect(ui_.OffsetAxisAuto, &QCheckBox::toggled, this, &ProcCtrl::offsetAxisUpdated);

    ui_.RingRemovalParams->setVisible(false);
    connect(ui_.RingRemoval, &QCheckBox::toggled, ui_.RingRemovalParams, &QWidget::setVisible);
    connect(ui_.RingRemoval, &QCheckBox::toggled, this, &ProcCtrl::ringRemovalEdited);
    connect(ui_.RingMethod, &QComboBox::currentIndexChanged, this, &ProcCtrl::ringRemovalEdited);
    connect(ui_.RingSnr, &QDoubleSpinBox::valueChanged, this, &ProcCtrl::ringRemovalEdited);
    for (QSpinBox *size : {ui_.RingLarge, ui_.RingSmall}) {
        connect(size, &QSpinBox::valueChanged, this, [this, size](int v) {
            if (v % 2 == 0) // the windows are odd: a typed even size takes the next one
                size->setValue(std::min(v + 1, size->maximum()));
            else
                ringRemovalEdited();
        });
    }
}

ProcCtrl::~ProcCtrl()
{
    detachChildEdits(this, this);
}

int ProcCtrl::sliceFrom() const
{
    return fieldInt(ui_.SliceFrom->text());
}
int ProcCtrl::sliceTo() const
{
    return fieldInt(ui_.SliceTo->text());
}
int ProcCtrl::sliceStep() const
{
    return fieldInt(ui_.SliceStep->text());
}
double ProcCtrl::angleOriginDeg() const
{
    return fieldDouble(ui_.AngleOriginDeg->text());
}
double ProcCtrl::dataSetRangeDeg() const
{
    return fieldDouble(ui_.DataSetRangeDeg->text());
}
int ProcCtrl::dataSetImages() const
{
    return fieldInt(ui_.DataSetImages->text());
}
int ProcCtrl::dataSetUsingImages() const
{
    return fieldInt(ui_.DataSetUsingImages->text());
}
int ProcCtrl::dataSetStartImageNo() const
{
    return fieldInt(ui_.DataSetStartImageNo->text());
}
bool ProcCtrl::usePartialDataSet() const
{
    return ui_.UsePartialDataSet->isChecked();
}
bool ProcCtrl::autoExec() const
{
    return ui_.AutoExecCtCalc->isChecked();
}
int ProcCtrl::threads() const
{
    return ui_.Threads->value();
}

bool ProcCtrl::useRecordedCor() const
{
    return ui_.UseRecordedCoR->isChecked();
}

void ProcCtrl::setUseRecordedCor(bool on)
{
    ui_.UseRecordedCoR->setChecked(on);
}

int ProcCtrl::guessLineSlices() const
{
    return ui_.GuessCorLineSlices->value();
}

bool ProcCtrl::offsetAxis() const
{
    return ui_.OffsetAxis->isChecked();
}

bool ProcCtrl::offsetAxisAuto() const
{
    return ui_.OffsetAxisAuto->isChecked();
}

void ProcCtrl::setOffsetAxis(bool on)
{
    ui_.OffsetAxis->setChecked(on);
}

void ProcCtrl::setOffsetAxisAuto(bool on)
{
    ui_.OffsetAxisAuto->setChecked(on);
}

void ProcCtrl::showOffsetAxisInfo(const QString &text)
{
    ui_.OffsetAxisInfo->setText(text);
}

RunParams ProcCtrl::runParams() const
{
    RunParams p;
    p.rotAxIsV = rotAxV_;
    p.sliceNo = sliceNo_;
    p.cor = cor_;
    p.recSlice1 = recSlice1_;
    p.recCor1 = recCor1_;
    p.recSlice2 = recSlice2_;
    p.recCor2 = recCor2_;
    p.useRecordedCor = useRecordedCor();
    p.angleOriginDeg = angleOriginDeg();
    p.dataSetImages = dataSetImages();
    p.dataSetRangeDeg = dataSetRangeDeg();
    p.partial = usePartialDataSet();
    p.partialStart = dataSetStartImageNo();
    p.partialImages = dataSetUsingImages();
    p.imagesUsed = p.partial ? p.partialImages : p.dataSetImages;
    p.startImage = p.partial ? p.partialStart : 0;
    p.multiSlice = autoExec();
    p.sliceFrom = sliceFrom();
    p.sliceTo = sliceTo();
    // The magnitude of -2^31 does not fit: the largest step stands for it.
    const int step = static_cast<int>(std::min<qint64>(std::abs(qint64(sliceStep())), INT_MAX));
    p.sliceStep = p.sliceTo >= p.sliceFrom ? step : -step;
    p.threads = threads();
    p.singlePrecision = singlePrecision();
    p.stripes = stripeParams();
    p.offsetAxis = offsetAxis();
    p.offsetAxisAuto = offsetAxisAuto();
    return p;
}

SinogramRequest ProcCtrl::sinogramRequest() const
{
    SinogramRequest r;
    r.rowLines = rotAxV_;
    r.cor = cor_;
    r.slice = sliceNo_;
    r.partial = usePartialDataSet();
    r.startImage = dataSetStartImageNo();
    r.usingImages = dataSetUsingImages();
    r.offsetAxis = offsetAxis();
    if (r.offsetAxis)
        r.partial = false;
    return r;
}

namespace {

// The methods in the order of "RingMethod".
constexpr StripeMethod ringMethods[]
    = {StripeMethod::All, StripeMethod::Sorting, StripeMethod::Large, StripeMethod::Dead};

} // namespace

StripeParams ProcCtrl::stripeParams() const
{
    StripeParams p;
    const int index = ui_.RingMethod->currentIndex();
    if (ui_.RingRemoval->isChecked() && index >= 0 && index < int(std::size(ringMethods)))
        p.method = ringMethods[index];
    p.snr = ui_.RingSnr->value();
    p.largeSize = ui_.RingLarge->value() | 1;
    p.smallSize = ui_.RingSmall->value() | 1;
    return p;
}

void ProcCtrl::setStripeParams(const StripeParams &params)
{
    settingStripes_ = true;
    ui_.RingRemoval->setChecked(params.isOn());
    for (int i = 0; i < int(std::size(ringMethods)); ++i)
        if (ringMethods[i] == params.method)
            ui_.RingMethod->setCurrentIndex(i);
    ui_.RingSnr->setValue(params.snr);
    ui_.RingLarge->setValue(params.largeSize);
    ui_.RingSmall->setValue(params.smallSize);
    settingStripes_ = false;
    ringRemovalEdited();
}

void ProcCtrl::ringRemovalEdited()
{
    if (settingStripes_)
        return;
    const StripeParams now = stripeParams();
    // The parameters matter only while ring removal is on.
    if (now == stripes_ || (!now.isOn() && !stripes_.isOn())) {
        stripes_ = now;
        return;
    }
    stripes_ = now;
    emit ringRemovalUpdated();
}

void ProcCtrl::setMaxThreads(int n)
{
    ui_.Threads->setRange(1, std::max(1, n));
    ui_.MaxThreads->setText(QStringLiteral("/%1").arg(n));
}

void ProcCtrl::setThreads(int n)
{
    ui_.Threads->setValue(n);
}

bool ProcCtrl::singlePrecision() const
{
    return ui_.SinglePrecision->isChecked();
}

void ProcCtrl::setSinglePrecision(bool on)
{
    ui_.SinglePrecision->setChecked(on);
}

void ProcCtrl::setAutoExec(bool on)
{
    ui_.AutoExecCtCalc->setChecked(on);
}

void ProcCtrl::setRotAxV(bool vertical)
{
    QRadioButton *button = vertical ? ui_.RotAxV : ui_.RotAxH;
    button->setChecked(true);
    rotAxSelectionChanged(button);
}

void ProcCtrl::showPartial()
{
    ui_.UsePartialDataSetParams->setVisible(ui_.UsePartialDataSet->isChecked());
}

void ProcCtrl::recordCoR()
{
    recSlice2_ = recSlice1_;
    recCor2_ = recCor1_;
    recSlice1_ = sliceNo_;
    recCor1_ = cor_;
    showRecords();
}

void ProcCtrl::showRecords()
{
    auto text = [](int slice, double cor) {
        return slice < 0 ? QString() : QStringLiteral("%1 at %2").arg(cor).arg(slice);
    };
    ui_.RecordedCoR1->setText(text(recSlice1_, recCor1_));
    ui_.RecordedCoR2->setText(text(recSlice2_, recCor2_));
}

void ProcCtrl::sliceNoEditingFinished()
{
    const int slice = fieldInt(ui_.SliceNo->text());
    if (slice != sliceNo_) {
        sliceNo_ = slice;
        emit sliceNoUpdated();
    }
}

void ProcCtrl::corEditingFinished()
{
    const double cor = fieldDouble(ui_.Cor->text());
    if (cor != cor_) {
        cor_ = cor;
        emit corUpdated();
    }
}

void ProcCtrl::rotAxSelectionChanged(QAbstractButton *)
{
    const bool vertical = ui_.RotAxV->isChecked();
    if (vertical != rotAxV_) {
        rotAxV_ = vertical;
        emit rotAxUpdated();
    }
}

void ProcCtrl::clearRecordedCoR()
{
    recSlice1_ = recSlice2_ = -1;
    recCor1_ = recCor2_ = 0.0;
    showRecords();
}

void ProcCtrl::setRecordedCoR(int record, int slice, double cor)
{
    if (record == 1) {
        recSlice1_ = slice;
        recCor1_ = cor;
    } else if (record == 2) {
        recSlice2_ = slice;
        recCor2_ = cor;
    }
    showRecords();
}

void ProcCtrl::setCor(double cor)
{
    if (cor != cor_) {
        cor_ = cor;
        ui_.Cor->setText(fieldText(cor));
        emit corUpdated();
    }
}

void ProcCtrl::setSliceNo(int slice)
{
    if (slice != sliceNo_) {
        sliceNo_ = slice;
        ui_.SliceNo->setText(QString::number(slice));
        emit sliceNoUpdated();
    }
}

void ProcCtrl::setSliceFrom(int slice)
{
    ui_.SliceFrom->setText(QString::number(slice));
}
void ProcCtrl::setSliceTo(int slice)
{
    ui_.SliceTo->setText(QString::number(slice));
}
void ProcCtrl::setSliceStep(int step)
{
    ui_.SliceStep->setText(QString::number(step));
}
void ProcCtrl::setAngleOriginDeg(double deg)
{
    ui_.AngleOriginDeg->setText(fieldText(deg));
}
void ProcCtrl::setDataSetImages(int images)
{
    ui_.DataSetImages->setText(QString::number(images));
}
void ProcCtrl::setDataSetRangeDeg(double deg)
{
    ui_.DataSetRangeDeg->setText(fieldText(deg));
}
void ProcCtrl::setUsePartialDataSet(bool on)
{
    ui_.UsePartialDataSet->setChecked(on);
}
void ProcCtrl::setDataSetUsingImages(int images)
{
    ui_.DataSetUsingImages->setText(QString::number(images));
}
void ProcCtrl::setDataSetStartImageNo(int image)
{
    ui_.DataSetStartImageNo->setText(QString::number(image));
}
