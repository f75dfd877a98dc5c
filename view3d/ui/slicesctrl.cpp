#include "view3d/ui/slicesctrl.h"

// Qt
#include <QColorDialog>
#include <QDebug>
#include <QFileDialog>
#include <QPainter>
#include <QThread>

// Local
#include "config/configstore.h"
#include "view3d/runslices.h"
#include "view3d/slicedatas.h"
#include "view3d/view3dlog.h"
#include "widgets/childedits.h"
#include "widgets/mousec.h"
#include <algorithm>
#include <cmath>

SlicesCtrl::SlicesCtrl(const QString &dataDir, QWidget *parent)
    : QFrame(parent)
    , dialogDir_(dataDir)
{
    ui_.setupUi(this);
    setNumber(0);
    showSwatch(ui_.dispVColor_, volumeColor_);
    showSwatch(ui_.dispSColor_, sectionColor_);

    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("slice set loader"));
    datas_ = new SliceDatas;
    datas_->moveToThread(thread_);
    thread_->start();

    showHide(true);
    connect(ui_.showB_, &QPushButton::toggled, this, &SlicesCtrl::showHide);
    connect(ui_.showB2_, &QPushButton::toggled, this, &SlicesCtrl::showHide);
    connect(ui_.selectB_, &QPushButton::clicked, this, &SlicesCtrl::selectFiles);
    connect(ui_.selectRunB_, &QPushButton::clicked, this, &SlicesCtrl::selectRun);
    connect(datas_, &SliceDatas::loadedNewFile, this, &SlicesCtrl::noticedLoadedNewFile);
    connect(datas_, &SliceDatas::stackLoaded, this, &SlicesCtrl::stackLoaded);
    connect(datas_, &SliceDatas::loadFilesFinished, this, &SlicesCtrl::noticedLoadFilesFinished);
    connect(datas_, &SliceDatas::cleared, this, &SlicesCtrl::datasCleared);
    connect(ui_.minTh_, &QLineEdit::editingFinished, this, &SlicesCtrl::updatedMinTh);
    connect(ui_.maxTh_, &QLineEdit::editingFinished, this, &SlicesCtrl::updatedMaxTh);
    connect(ui_.minThPC_, &QLineEdit::editingFinished, this, &SlicesCtrl::updatedMinThPC);
    connect(ui_.maxThPC_, &QLineEdit::editingFinished, this, &SlicesCtrl::updatedMaxThPC);
    connect(ui_.dispH_, &ExLabel::drawImage1, this, &SlicesCtrl::drawHist);
    connect(ui_.dispH_, &ExLabel::mousePressed0, this, &SlicesCtrl::mousePressedOnDispH);
    connect(ui_.dispH_, &ExLabel::mouseMoved0, this, &SlicesCtrl::mouseMovedOnDispH);
    connect(ui_.dispH_, &ExLabel::mouseReleased0, this, &SlicesCtrl::mouseReleasedOnDispH);
    for (QCheckBox *box : {ui_.showVolume_, ui_.showCSection_, ui_.showFrame_})
        connect(box, &QCheckBox::toggled, this, &SlicesCtrl::paintPImg);
    connect(ui_.cSlider_, &QSlider::valueChanged, this, &SlicesCtrl::changedSliderStat);
    connect(ui_.csFixDir_, &QCheckBox::toggled, this, &SlicesCtrl::changedSliderStat);
    // Each step of the spin box restacks; the spacing typed is said once, when the field is left.
    connect(ui_.spacing_, &QDoubleSpinBox::valueChanged, this, [this] {
        placeStack(false);
        emit paintPImg();
    });
    connect(ui_.spacing_, &QDoubleSpinBox::editingFinished, this, [this] {
        if (hasData() && placement_.source == SlicePlacement::Source::Typed)
            placeStack(true);
    });
    connect(ui_.selVColor_, &QPushButton::clicked, this, &SlicesCtrl::selectVColor);
    connect(ui_.selSColor_, &QPushButton::clicked, this, &SlicesCtrl::selectSColor);
    connect(ui_.alpha_, &QLineEdit::editingFinished, this, [this] {
        fixupAlpha();
        emit paintPImg();
    });
}

SlicesCtrl::~SlicesCtrl()
{
    detachChildEdits(this, this);
    datas_->abort();
    thread_->quit();
    thread_->wait();
    delete datas_;
}

void SlicesCtrl::setNumber(int n)
{
    const QString text = tr("Show Setup %1").arg(n + 1);
    ui_.showB_->setText(text);
    ui_.showB2_->setText(text);
}

void SlicesCtrl::setColors(const QColor &volume, const QColor &section)
{
    volumeColor_ = volume;
    sectionColor_ = section;
    showSwatch(ui_.dispVColor_, volumeColor_);
    showSwatch(ui_.dispSColor_, sectionColor_);
}

void SlicesCtrl::showSwatch(QLabel *swatch, const QColor &color)
{
    QPixmap pixmap(15, 27);
    pixmap.fill(color);
    swatch->setPixmap(pixmap);
}

int SlicesCtrl::opacity() const
{
    return ui_.alpha_->text().toInt(); // 0 when not a whole number
}

void SlicesCtrl::fixupAlpha()
{
    bool ok = false;
    const int a = ui_.alpha_->text().toInt(&ok);
    if (!ok)
        return; // left as typed; it counts as 0
    if (a < 0)
        ui_.alpha_->setText(QStringLiteral("0"));
    else if (a > 255)
        ui_.alpha_->setText(QStringLiteral("255"));
}

void SlicesCtrl::setSliderState(int value, bool fixDir)
{
    const QSignalBlocker sliderBlock(ui_.cSlider_);
    const QSignalBlocker fixBlock(ui_.csFixDir_);
    ui_.cSlider_->setValue(value);
    ui_.csFixDir_->setChecked(fixDir);
}

double SlicesCtrl::rangeMin() const
{
    return ui_.rMinV_->text().toDouble();
}

double SlicesCtrl::rangeMax() const
{
    return ui_.rMaxV_->text().toDouble();
}

SetLook SlicesCtrl::look()
{
    const double min = rangeMin(), max = rangeMax();
    SetLook look;
    look.thMin = min + ui_.minThPC_->text().toDouble() * (max - min) / 100;
    look.thMax = min + ui_.maxThPC_->text().toDouble() * (max - min) / 100;
    windowMin_ = look.thMin;
    windowMax_ = look.thMax;
    look.volumeColor = volumeColor_;
    look.sectionColor = sectionColor_;
    look.alpha = opacity();
    look.showCSection = ui_.showCSection_->isChecked();
    look.cs = ui_.cSlider_->value() / 100.0 * depth();
    look.sectionDir = sectionDir_;
    look.planes = planes_;
    look.depth = placement_.depth;
    return look;
}

void SlicesCtrl::showNumber(QLineEdit *edit, double v)
{
    edit->setText(QString::number(v, 'g', 6));
    edit->setCursorPosition(0);
}

void SlicesCtrl::percentToValue(QLineEdit *percent, QLineEdit *value)
{
    const double min = rangeMin(), max = rangeMax();
    showNumber(value, min + (max - min) * percent->text().toDouble() / 100);
    ui_.dispH_->update();
    emit paintPImg();
}

void SlicesCtrl::valueToPercent(QLineEdit *value, QLineEdit *percent)
{
    const double min = rangeMin(), max = rangeMax();
    if (max != min) // a range shown as one number leaves the percent as it is
        showNumber(percent, (value->text().toDouble() - min) / (max - min) * 100);
    ui_.dispH_->update();
    emit paintPImg();
}

void SlicesCtrl::updatedMinThPC()
{
    percentToValue(ui_.minThPC_, ui_.minTh_);
}

void SlicesCtrl::updatedMaxThPC()
{
    percentToValue(ui_.maxThPC_, ui_.maxTh_);
}

void SlicesCtrl::updatedMinTh()
{
    valueToPercent(ui_.minTh_, ui_.minThPC_);
}

void SlicesCtrl::updatedMaxTh()
{
    valueToPercent(ui_.maxTh_, ui_.maxThPC_);
}

void SlicesCtrl::showHide(bool f)
{
    const QSignalBlocker block1(ui_.showB_);
    const QSignalBlocker block2(ui_.showB2_);
    ui_.showB_->setChecked(f);
    ui_.showB2_->setChecked(f);
    ui_.showB_->setVisible(!ui_.showB_->isChecked());
    ui_.slicesCtrlFrame_->setVisible(ui_.showB_->isChecked());
}

void SlicesCtrl::selectFiles()
{
    if (fileDialog_) {
        dialogDir_ = fileDialog_->directory().absolutePath();
        fileDialog_->deleteLater();
    }
    fileDialog_ = new QFileDialog(this, tr("Select Data Files"), dialogDir_);
    fileDialog_->setFileMode(QFileDialog::ExistingFiles);
    fileDialog_->setNameFilters({tr("Slice Files (*.dat *.tif *.tiff *.png)"), tr("Any Files (* *.*)")});
    const bool native = configValue(QStringLiteral("native_dialog"), QStringLiteral("0")).toInt() == 1;
    fileDialog_->setOption(QFileDialog::DontUseNativeDialog, !native);
    connect(fileDialog_, &QFileDialog::filesSelected, this, &SlicesCtrl::takeFiles);
    fileDialog_->show();
}

void SlicesCtrl::setSaveFolder(const QString &dir)
{
    if (!dir.isEmpty())
        dialogDir_ = dir;
}

void SlicesCtrl::selectRun()
{
    if (runDialog_)
        runDialog_->deleteLater();
    // Slices saved "in Sub Folders" lie one folder each: the run's folder gathers them all.
    runDialog_ = new QFileDialog(this, tr("Select the Folder of a Run"), dialogDir_);
    runDialog_->setFileMode(QFileDialog::Directory);
    runDialog_->setOption(QFileDialog::ShowDirsOnly, true);
    const bool native = configValue(QStringLiteral("native_dialog"), QStringLiteral("0")).toInt() == 1;
    runDialog_->setOption(QFileDialog::DontUseNativeDialog, !native);
    connect(runDialog_, &QFileDialog::fileSelected, this, &SlicesCtrl::takeRunFolder);
    runDialog_->show();
}

void SlicesCtrl::takeFiles(const QStringList &files)
{
    if (fileDialog_)
        dialogDir_ = fileDialog_->directory().absolutePath();
    const SliceFileChoice choice = oneKindOfSlices(files);
    if (!choice.leftOutText().isEmpty())
        qCWarning(lcView3d).noquote() << QStringLiteral("3D View: %1 of %2 files are stacked; left out: %3")
                                             .arg(choice.files.size())
                                             .arg(files.size())
                                             .arg(choice.leftOutText());
    QMetaObject::invokeMethod(datas_, [d = datas_, f = choice.files] { d->filesSelected(f); });
}

void SlicesCtrl::takeRunFolder(const QString &dir)
{
    dialogDir_ = dir;
    const SliceFileChoice choice = runSliceFiles(dir);
    if (choice.files.isEmpty()) {
        qCWarning(lcView3d).noquote()
            << QStringLiteral("3D View: no slice files (.dat, .tif, .png) in %1 or its "
                              "sub-folders; the set stays as it was")
                   .arg(dir);
        return;
    }
    // A run saves images beside its data files: other kinds are passed over as a matter of course;
    // another series in the folder may be the one meant.
    if (choice.leftOutSeries > 0)
        qCWarning(lcView3d).noquote() << QStringLiteral("3D View: %1 slices of %2 are stacked; left out: %3")
                                             .arg(choice.files.size())
                                             .arg(dir, choice.leftOutText());
    else if (!choice.leftOutText().isEmpty())
        qCInfo(lcView3d).noquote() << QStringLiteral("3D View: %1 slices of %2 are stacked; left out: %3")
                                          .arg(choice.files.size())
                                          .arg(dir, choice.leftOutText());
    else
        qCInfo(lcView3d).noquote()
            << QStringLiteral("3D View: %1 slices of %2 are stacked").arg(choice.files.size()).arg(dir);
    QMetaObject::invokeMethod(datas_, [d = datas_, f = choice.files] { d->filesSelected(f); });
}

void SlicesCtrl::selectVColor()
{
    selectColor(true);
}

void SlicesCtrl::selectSColor()
{
    selectColor(false);
}

void SlicesCtrl::selectColor(bool volume)
{
    if (colorDialog_)
        colorDialog_->deleteLater();
    colorDialog_ = new QColorDialog(volume ? volumeColor_ : sectionColor_, this);
    colorDialog_->setWindowTitle(volume ? tr("Select Volume Color") : tr("Select Section Color"));
    connect(colorDialog_, &QColorDialog::colorSelected, this, [this, volume](const QColor &color) {
        (volume ? volumeColor_ : sectionColor_) = color;
        showSwatch(volume ? ui_.dispVColor_ : ui_.dispSColor_, color);
        emit paintPImg();
    });
    colorDialog_->show();
}

void SlicesCtrl::noticedLoadedNewFile(const QString &fname)
{
    ui_.nameList_->addItem(fname);
}

void SlicesCtrl::stackLoaded(SliceStackPtr stack)
{
    stack_ = std::move(stack);
}

void SlicesCtrl::noticedLoadFilesFinished()
{
    const double min = stack_ ? stack_->valueMin : 0.0;
    const double max = stack_ ? stack_->valueMax : 1.0;
    showNumber(ui_.rMinV_, min);
    showNumber(ui_.rMaxV_, max);
    showNumber(ui_.minTh_, min + (max - min) * ui_.minThPC_->text().toDouble() / 100);
    showNumber(ui_.maxTh_, min + (max - min) * ui_.maxThPC_->text().toDouble() / 100);
    ui_.dispH_->update();
    placeStack();
    emit paintPImg();
}

void SlicesCtrl::placeStack(bool say)
{
    if (!hasData()) {
        placement_ = {};
        planes_.clear();
        ui_.spacingShown_->clear();
        return;
    }
    placement_ = placeSlices(stack_->numbers, ui_.spacing_->value());
    planes_ = volumePlanes(placement_);
    const int ns = stack_->count();
    if (!say && placement_.source != SlicePlacement::Source::Typed)
        say = true; // back to Auto: the numbers' spacing is said
    const QString step = QString::number(placement_.step, 'g', 6);
    switch (placement_.source) {
    case SlicePlacement::Source::Typed:
        ui_.spacingShown_->setText(tr("%1 apart").arg(step));
        if (say)
            qCInfo(lcView3d).noquote()
                << tr("3D View: %n slices stacked %1 apart, as typed", nullptr, ns).arg(step);
        return;
    case SlicePlacement::Source::Numbers: {
        const auto [lo, hi] = std::minmax_element(stack_->numbers.begin(), stack_->numbers.end());
        if (placement_.uneven) {
            ui_.spacingShown_->setText(tr("%1 apart or more").arg(step));
            // Placed each at its number: the gaps of a missing slice are shown as gaps.
            qCInfo(lcView3d).noquote()
                << tr("3D View: the slice numbers %1 … %2 are not evenly spaced; each slice is placed at "
                      "its number (at least %3 apart)")
                       .arg(**lo)
                       .arg(**hi)
                       .arg(step);
        } else {
            ui_.spacingShown_->setText(tr("%1 apart").arg(step));
            qCInfo(lcView3d).noquote() << tr("3D View: slices %1 … %2 stacked %3 apart, by their numbers")
                                              .arg(**lo)
                                              .arg(**hi)
                                              .arg(step);
        }
        return;
    }
    case SlicePlacement::Source::Unit:
        ui_.spacingShown_->setText(tr("%1 apart").arg(step));
        if (placement_.unnumbered == SlicePlacement::Unnumbered::NameWithoutNumber)
            qCInfo(lcView3d).noquote()
                << tr("3D View: slices stacked 1 apart: a file name has no slice number");
        else if (placement_.unnumbered == SlicePlacement::Unnumbered::RepeatedNumber)
            qCInfo(lcView3d).noquote()
                << tr("3D View: slices stacked 1 apart: two files have one slice number");
        return;
    }
}

void SlicesCtrl::datasCleared()
{
    ui_.nameList_->clear();
    stack_.reset(); // the loader starts a new stack; this one is let go
    placeStack();
    emit paintPImg();
}

void SlicesCtrl::drawHist(QPainter *p)
{
    const QRect area = ui_.dispH_->rect();
    p->fillRect(area, Qt::white);
    if (stack_ && stack_->histogram.ready) {
        const SliceHistogram &h = stack_->histogram;
        p->drawImage(QRectF(area), h.image, QRectF(0, 0, h.bins - 1, h.height - 1));
    }
    // The label's width stands for 0 … 101 percent of the range.
    p->setPen(QPen(Qt::red, 1));
    for (QLineEdit *percent : {ui_.minThPC_, ui_.maxThPC_}) {
        const double x = percent->text().toDouble() / 101.0 * area.width();
        p->drawLine(QPointF(x, 0), QPointF(x, area.height()));
    }
}

double SlicesCtrl::percentAtPointer() const
{
    const int width = std::max(1, ui_.dispH_->width());
    return ui_.dispH_->mouse()->pos().x() * 101.0 / width;
}

void SlicesCtrl::mousePressedOnDispH()
{
    const MouseC *mouse = ui_.dispH_->mouse();
    if (mouse->button() != MouseC::LeftButton || mouse->modifiers() != Qt::NoModifier)
        return;
    const double at = percentAtPointer();
    const double toLower = std::abs(ui_.minThPC_->text().toDouble() - at);
    const double toUpper = std::abs(ui_.maxThPC_->text().toDouble() - at);
    markerInDrag_ = toLower < toUpper ? 0 : 1;
}

void SlicesCtrl::mouseMovedOnDispH()
{
    if (markerInDrag_ < 0 || !ui_.dispH_->mouse()->isPressed())
        return;
    QLineEdit *percent = markerInDrag_ == 0 ? ui_.minThPC_ : ui_.maxThPC_;
    showNumber(percent, percentAtPointer());
    markerInDrag_ == 0 ? updatedMinThPC() : updatedMaxThPC();
}

void SlicesCtrl::mouseReleasedOnDispH()
{
    markerInDrag_ = -1;
}

void SlicesCtrl::initNz(Vec3 nz)
{
    sectionDir_ = nz;
}

void SlicesCtrl::newNz(Vec3 nz)
{
    if (!ui_.csFixDir_->isChecked())
        sectionDir_ = nz;
}
