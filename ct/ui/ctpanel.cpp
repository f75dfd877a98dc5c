#include "ct/ui/ctpanel.h"

// Local
#include "ct/ui/procctrl.h"
#include "widgets/childedits.h"
#include "widgets/colorbar.h"
#include "widgets/imgdisp.h"
#include "widgets/numberfield.h"
#include "widgets/statestyles.h"
#include <cmath>

namespace {

// Fields show 6 significant digits; this is the value they give back.
double shown(double v)
{
    return fieldDouble(fieldText(v));
}

bool sameRegion(const Region &a, const Region &b)
{
    return a.x0 == b.x0 && a.z0 == b.z0 && a.x1 == b.x1 && a.z1 == b.z1;
}

} // namespace

CtPanel::CtPanel(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    connect(ui_.DispCt, &ImgDisp::newS, this, &CtPanel::noticedNewS);
    connect(ui_.DispCt, &ImgDispWPV::newPosInvY, this, &CtPanel::noticedNewPos);
    connect(ui_.SetCRegion, &QPushButton::clicked, this, &CtPanel::setCRegion);
    for (QLineEdit *edit : {ui_.Crx0, ui_.Crz0, ui_.Crx1, ui_.Crz1}) {
        connect(edit, &QLineEdit::editingFinished, this, &CtPanel::calcRegionEdited);
        watchNumberField(edit, NumberKind::Real);
    }
    for (QLineEdit *edit : {ui_.Drx0, ui_.Drz0, ui_.Drx1, ui_.Drz1}) {
        connect(edit, &QLineEdit::editingFinished, this, &CtPanel::dispRegionEdited);
        watchNumberField(edit, NumberKind::Real);
    }
    setCR(0, 0, 2047, 2047);
    regionSet_ = false;
}

CtPanel::~CtPanel()
{
    detachChildEdits(this, this);
}

ColorBar *CtPanel::colorBar() const
{
    return ui_.DispCt->colorBar();
}

QString CtPanel::timeText(const QDateTime &t)
{
    return t.toString(QStringLiteral("hh:mm:ss.zzz"));
}

QString CtPanel::spentText(const QDateTime &start, const QDateTime &end)
{
    return QString::number(start.msecsTo(end) / 1000.0, 'g', 6);
}

void CtPanel::showResult(const QImage &image, SliceValues values, int n)
{
    values_ = std::move(values);
    valuesN_ = n;
    ui_.DispCt->setImage(image);
}

bool CtPanel::valueAt(long i, long j, double &value) const
{
    if (!values_ || i < 0 || j < 0 || i >= valuesN_ || j >= valuesN_)
        return false;
    value = (*values_)[static_cast<size_t>(j * valuesN_ + i)];
    return true;
}

void CtPanel::noticedNewPos(double x, double y)
{
    double value = 0.0;
    if (valueAt(static_cast<long>(x), static_cast<long>(y), value))
        ui_.DispCt->setVal(value);
}

void CtPanel::noticedNewS(const QRectF &view)
{
    setDR(view.x(), view.y(), view.x() + view.width(), view.y() + view.height());
}

void CtPanel::setCRegion()
{
    // Text typed but not yet entered counts: the button is often the next thing used.
    calcRegionEdited();
    dispRegionEdited();
    setCR(std::floor(dr_.x0), std::floor(dr_.z0), std::ceil(dr_.x1), std::ceil(dr_.z1));
}

void CtPanel::setCR(double x0, double z0, double x1, double z1)
{
    const Region old = cr_;
    ui_.Crx0->setText(fieldText(x0));
    ui_.Crz0->setText(fieldText(z0));
    ui_.Crx1->setText(fieldText(x1));
    ui_.Crz1->setText(fieldText(z1));
    cr_ = Region {shown(x0), shown(z0), shown(x1), shown(z1)};
    if (sameRegion(old, cr_))
        return;
    regionSet_ = true;
    emit cRUpdated(cr_.x0, cr_.z0, cr_.x1, cr_.z1);
}

void CtPanel::calcRegionEdited()
{
    const Region before = cr_;
    setCR(fieldDouble(ui_.Crx0->text()), fieldDouble(ui_.Crz0->text()), fieldDouble(ui_.Crx1->text()),
        fieldDouble(ui_.Crz1->text()));
    // A region typed is shown: the view then holds what will be calculated, and "Set To C. Region"
    // gives it back unchanged instead of an older view.
    if (!sameRegion(before, cr_))
        setDR(cr_.x0, cr_.z0, cr_.x1, cr_.z1);
}

void CtPanel::dispRegionEdited()
{
    setDR(fieldDouble(ui_.Drx0->text()), fieldDouble(ui_.Drz0->text()), fieldDouble(ui_.Drx1->text()),
        fieldDouble(ui_.Drz1->text()));
}

void CtPanel::setDR(double x0, double z0, double x1, double z1)
{
    const Region old = dr_;
    ui_.Drx0->setText(fieldText(x0));
    ui_.Drz0->setText(fieldText(z0));
    ui_.Drx1->setText(fieldText(x1));
    ui_.Drz1->setText(fieldText(z1));
    dr_ = Region {shown(x0), shown(z0), shown(x1), shown(z1)};
    if (sameRegion(old, dr_))
        return;
    ui_.DispCt->setView(QRectF(x0, z0, x1 - x0, z1 - z0));
    emit dRUpdated(dr_.x0, dr_.z0, dr_.x1, dr_.z1);
}

void CtPanel::setFixColorScale(bool fixed)
{
    colorBar()->setFixColorScale(fixed);
}

void CtPanel::setCBarMinMaxForced(double min, double max)
{
    colorBar()->setMinV(min);
    colorBar()->setMaxV(max);
}

void CtPanel::showSliceNo(int slice)
{
    ui_.ShowSliceNo->setText(QString::number(slice));
    ui_.ShowSliceNo->setStyleSheet(QString());
    ui_.ShowSliceNo->setToolTip(QString());
}

void CtPanel::showFailure(int slice, const QString &why)
{
    showResult(QImage(), nullptr, 0);
    ui_.ShowSliceNo->setText(QString::number(slice));
    ui_.ShowSliceNo->setStyleSheet(ButtonStyle::failed);
    ui_.ShowSliceNo->setToolTip(why);
}

void CtPanel::showTimes(const QDateTime &start, const QDateTime &end)
{
    // A slice under way has no end yet: the last slice's end would read as earlier than the start.
    ui_.EndT->setText(end.isValid() ? timeText(end) : QStringLiteral("--"));
    ui_.SpentT->setText(end.isValid() ? spentText(start, end) : QStringLiteral("--"));
    ui_.StartT->setText(timeText(start));
}
