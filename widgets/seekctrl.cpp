#include "widgets/seekctrl.h"

// C++
#include <algorithm>

// Qt
#include <QSignalBlocker>

// Local
#include "ui_seekctrl.h"
#include "widgets/childedits.h"

SeekCtrl::SeekCtrl(QWidget *parent)
    : QFrame(parent)
{
    Ui::SeekCtrlUI ui;
    ui.setupUi(this);
    slider_ = ui.Slider;
    index_ = ui.Index;
    slider_->setRange(0, 0);

    connect(slider_, &QSlider::valueChanged, this, &SeekCtrl::sliderMoved);
    connect(index_, &QLineEdit::editingFinished, this, &SeekCtrl::indexChanged);
    connect(ui.Inc, &QToolButton::clicked, this, &SeekCtrl::inc);
    connect(ui.Dec, &QToolButton::clicked, this, &SeekCtrl::dec);
}

SeekCtrl::~SeekCtrl()
{
    detachChildEdits(this, this);
}

int SeekCtrl::maximum() const
{
    return slider_->maximum();
}

void SeekCtrl::setValue(int index)
{
    value_ = std::clamp(index, 0, maximum());
    display(value_);
}

void SeekCtrl::setMaximum(int maximum)
{
    const QSignalBlocker block(slider_);
    slider_->setMaximum(std::max(0, maximum));
    setValue(value_);
}

void SeekCtrl::sliderMoved(int position)
{
    take(position);
}

void SeekCtrl::indexChanged()
{
    take(index_->text().toInt());
}

void SeekCtrl::inc()
{
    take(value_ + 1);
}

void SeekCtrl::dec()
{
    take(value_ - 1);
}

void SeekCtrl::take(int index)
{
    const int old = value_;
    setValue(index);
    if (value_ != old)
        emit newIndex(value_);
}

void SeekCtrl::display(int index)
{
    const QSignalBlocker block(slider_);
    slider_->setValue(index);
    index_->setText(QString::number(index));
}
