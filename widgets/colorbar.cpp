#include "widgets/colorbar.h"

// C++
#include <algorithm>
#include <cmath>

// Qt
#include <QFontMetricsF>
#include <QPainter>

// Local
#include "display/barlabels.h"
#include "ui_colorbar.h"
#include "widgets/childedits.h"
#include "widgets/drawtext.h"
#include "widgets/mousec.h"


ColorBar::ColorBar(QWidget *parent)
    : DispB(parent)
{
    Ui::CBarUI ui;
    ui.setupUi(this);
    minEdit_ = ui.CMinLE;
    maxEdit_ = ui.CMaxLE;
    fix_ = ui.CFix;
    barSpace_ = ui.BarSpace;
    minEdit_->setText(barNumberText(scale_.minV));
    maxEdit_->setText(barNumberText(scale_.maxV));

    connect(minEdit_, &QLineEdit::editingFinished, this, &ColorBar::minVEdited);
    connect(maxEdit_, &QLineEdit::editingFinished, this, &ColorBar::maxVEdited);
    connect(fix_, &QCheckBox::toggled, this, [this](bool on) { scale_.fixed = on; });
    connect(this, &DispB::drawImage1, this, &ColorBar::draw1);
    connect(this, &DispB::mousePressed0, this, &ColorBar::onPressed);
    connect(this, &DispB::mouseMoved0, this, &ColorBar::onMoved);
    connect(this, &DispB::mouseReleased0, this, &ColorBar::onReleased);
}

ColorBar::~ColorBar()
{
    detachChildEdits(this, this);
}

bool ColorBar::isFixed() const
{
    return fix_->isChecked();
}

GreyScale ColorBar::heldScale() const
{
    GreyScale held = scale_;
    held.fixed = true;
    return held;
}

void ColorBar::setMinV(double v)
{
    scale_.minV = v;
    minEdit_->setText(barNumberText(v));
    update();
}

void ColorBar::setMaxV(double v)
{
    scale_.maxV = v;
    maxEdit_->setText(barNumberText(v));
    update();
}

void ColorBar::adoptRange(double dataMin, double dataMax)
{
    if (isFixed())
        return;
    setMinV(dataMin);
    setMaxV(dataMax);
}

QImage ColorBar::makeImage(std::span<const double> values, int width, int height)
{
    const QImage image = greyImageOfData(values, width, height, scale_);
    if (!image.isNull()) {
        // greyImageOfData has set the range on the scale itself; bring the edits along.
        setMinV(scale_.minV);
        setMaxV(scale_.maxV);
    }
    return image;
}

void ColorBar::setFixColorScale(bool fixed)
{
    fix_->setChecked(fixed);
}

void ColorBar::minVEdited()
{
    const double v = minEdit_->text().toDouble(); // not a number reads as 0
    minEdit_->setText(barNumberText(v));
    if (v == scale_.minV)
        return; // an edit also finishes when it merely loses the focus
    scale_.minV = v;
    update();
    emit newBar();
}

void ColorBar::maxVEdited()
{
    const double v = maxEdit_->text().toDouble();
    maxEdit_->setText(barNumberText(v));
    if (v == scale_.maxV)
        return;
    scale_.maxV = v;
    update();
    emit newBar();
}

QRect ColorBar::barRect() const
{
    return barSpace_->geometry();
}

double ColorBar::fractionAt(int y) const
{
    const QRect bar = barRect();
    const double h = bar.height();
    return (h - (y - bar.top())) / h;
}

void ColorBar::draw1(QPainter *p)
{
    const QRect bar = barRect();
    const int h = bar.height();
    if (h <= 0 || bar.width() <= 0)
        return;
    // Row i (counted from the bottom) shows the grey of fraction i/h.
    for (int i = 0; i < h; ++i) {
        const int g = scale_.levelOfFraction(static_cast<double>(i) / h);
        const int y = bar.top() + h - 1 - i;
        p->setPen(QColor(g, g, g));
        p->drawLine(bar.left(), y, bar.right(), y);
    }

    // Handle markers: hi in red, lo in blue.
    p->setPen(QPen(QColor(255, 48, 48), 2.0));
    const double yHi = bar.top() + (1.0 - scale_.hi) * h;
    p->drawLine(QPointF(bar.left(), yHi), QPointF(bar.right() + 1, yHi));
    p->setPen(QPen(QColor(48, 96, 255), 2.0));
    const double yLo = bar.top() + (1.0 - scale_.lo) * h;
    p->drawLine(QPointF(bar.left(), yLo), QPointF(bar.right() + 1, yLo));

    // Range labels read upward along the bar, the window's bounds across it beside their markers;
    // orange stays legible on black and on white. On a short bar only those that fit are written.
    const double cx = bar.left() + bar.width() / 2.0;
    BarLabelSetup setup;
    setup.barHeight = h;
    const QFontMetricsF metrics(font());
    setup.fontHeight = metrics.height();
    setup.scale = scale_;
    setup.grabbed = grabbed_ == Handle::Hi ? BarLabel::Kind::Hi
        : grabbed_ == Handle::Lo           ? BarLabel::Kind::Lo
                                           : BarLabel::Kind::Max;
    setup.textLength = [&metrics](const QString &text) { return metrics.horizontalAdvance(text); };
    const QColor orange(255, 140, 0);
    for (const BarLabel &l : barLabels(setup)) {
        const double top = bar.top() + l.from, bottom = bar.top() + l.to;
        switch (l.kind) {
        case BarLabel::Kind::Max:
            DrawText(font(), orange, Qt::AlignRight | Qt::AlignVCenter, -90.0)
                .draw(p, QPointF(cx, top), l.text);
            break;
        case BarLabel::Kind::Min:
            DrawText(font(), orange, Qt::AlignLeft | Qt::AlignVCenter, -90.0)
                .draw(p, QPointF(cx, bottom), l.text);
            break;
        case BarLabel::Kind::Grabbed:
            DrawText(font(), orange, Qt::AlignHCenter | Qt::AlignVCenter, -90.0)
                .draw(p, QPointF(cx, (top + bottom) / 2.0), l.text);
            break;
        case BarLabel::Kind::Hi:
            DrawText(font(), orange, Qt::AlignHCenter | Qt::AlignTop, 0.0).draw(p, QPointF(cx, top), l.text);
            break;
        case BarLabel::Kind::Lo:
            DrawText(font(), orange, Qt::AlignHCenter | Qt::AlignBottom, 0.0)
                .draw(p, QPointF(cx, bottom), l.text);
            break;
        }
    }
}

void ColorBar::onPressed()
{
    grabbed_ = Handle::None;
    if (!barRect().contains(mouse()->pos()))
        return;
    const double f = fractionAt(mouse()->pos().y());
    const double dLo = std::abs(scale_.lo - f);
    const double dHi = std::abs(scale_.hi - f);
    if (dLo > dHi)
        grabbed_ = Handle::Hi;
    else if (dHi > dLo)
        grabbed_ = Handle::Lo;
    else if (scale_.hi == scale_.lo && f != scale_.lo)
        // Handles on top of each other would tie for ever: take the one on the side pressed.
        grabbed_ = f > scale_.hi ? Handle::Hi : Handle::Lo;
    update();
}

void ColorBar::onMoved()
{
    if (!mouse()->isPressed() || grabbed_ == Handle::None)
        return;
    // A handle stays on the bar even when the cursor leaves it.
    const double f = std::clamp(fractionAt(mouse()->pos().y()), 0.0, 1.0);
    (grabbed_ == Handle::Hi ? scale_.hi : scale_.lo) = f;
    update();
    emit newBar();
}

void ColorBar::onReleased()
{
    grabbed_ = Handle::None;
    update();
}
