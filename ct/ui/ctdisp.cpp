#include "ct/ui/ctdisp.h"

// Local
#include "ct/ui/procctrl.h"
#include "widgets/childedits.h"
#include "widgets/numberfield.h"
#include <algorithm>
#include <cstdlib>

CtDisp::CtDisp(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    connect(ui_.seeker_, &SeekCtrl::newIndex, this, &CtDisp::showImg);
    ui_.KeepAspect->setChecked(ui_.dispA_->isAspectKept());
    connect(ui_.KeepAspect, &QCheckBox::toggled, ui_.dispA_, &ImgDisp::setAspectKept);
    connect(ui_.dispA_, &ImgDisp::aspectKeptChanged, ui_.KeepAspect, &QCheckBox::setChecked);
    connect(ui_.SliceOfImage, &QLineEdit::editingFinished, this,
        [this] { showSlice(fieldInt(ui_.SliceOfImage->text())); });
    watchNumberField(ui_.SliceOfImage, NumberKind::Integer);
}

CtDisp::~CtDisp()
{
    detachChildEdits(this, this); // the slice field may finish its editing as the panel goes
}

void CtDisp::clear()
{
    entries_.clear();
    ui_.seeker_->setMaximum(0);
    ui_.seeker_->setValue(0);
    ui_.SliceOfImage->clear();
}

void CtDisp::addImg(int slice, const QImage &image)
{
    const auto at = std::upper_bound(
        entries_.begin(), entries_.end(), slice, [](int s, const Entry &e) { return s < e.slice; });
    entries_.insert(at, Entry {slice, image.copy()});
    const int last = count() - 1;
    ui_.seeker_->setMaximum(last);
    ui_.seeker_->setValue(last);
    showImg(last);
}

void CtDisp::showImg(int index)
{
    if (index < 0 || index >= count())
        return;
    const Entry &e = entries_[static_cast<size_t>(index)];
    ui_.dispA_->setImage(e.image);
    ui_.SliceOfImage->setText(QString::number(e.slice));
}

void CtDisp::showSlice(int slice)
{
    if (entries_.empty()) {
        ui_.SliceOfImage->clear();
        return;
    }
    const auto distance = [slice](const Entry &e) { return std::abs(qint64(e.slice) - slice); };
    const auto nearest = std::min_element(entries_.begin(), entries_.end(),
        [&](const Entry &a, const Entry &b) { return distance(a) < distance(b); });
    const int index = static_cast<int>(nearest - entries_.begin());
    ui_.seeker_->setValue(index);
    showImg(index); // also when the seeker stood there: the field shows the slice shown
}

QList<QImage> CtDisp::getQImages() const
{
    QList<QImage> images;
    for (const Entry &e : entries_)
        images << e.image.copy();
    return images;
}
