#include "widgets/mousec.h"

// Qt
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

namespace {

constexpr Qt::KeyboardModifiers countedModifiers = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

int buttonOf(Qt::MouseButton b)
{
    switch (b) {
    case Qt::LeftButton:
        return MouseC::LeftButton;
    case Qt::RightButton:
        return MouseC::RightButton;
    case Qt::NoButton:
        return MouseC::NoButton;
    default:
        return MouseC::MiddleOrOther;
    }
}

} // namespace

MouseC::MouseC(QObject *parent)
    : QObject(parent)
{
    // Points with their code are handed to panels that may live on other threads.
    qRegisterMetaType<MouseC::MStat>();
}

MouseC::MStat MouseC::mStatOf(int button, Qt::KeyboardModifiers modifiers)
{
    if (button != LeftButton && button != RightButton)
        return OtherButton;
    // The codes run none, S, C, A, SC, SA, CA, SCA; index the table by the bits S=1, C=2, A=4.
    static constexpr int codeOfBits[8] = {0, 1, 2, 4, 3, 5, 6, 7};
    const int bits = (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
        | (modifiers & Qt::AltModifier ? 4 : 0);
    return static_cast<MStat>(codeOfBits[bits] + (button == RightButton ? 8 : 0));
}

void MouseC::takePosition(const QMouseEvent *e)
{
    pos_ = e->position().toPoint();
    modifiers_ = e->modifiers() & countedModifiers;
}

void MouseC::moved(const QMouseEvent *e)
{
    takePosition(e);
    inside_ = true;
    if (pressed_ && (pos_ - pressPos_).manhattanLength() > dragDistance)
        dragged_ = true;
    emit mMoved();
}

void MouseC::pressed(const QMouseEvent *e)
{
    takePosition(e);
    pressPos_ = pos_;
    button_ = buttonOf(e->button());
    pressed_ = true;
    dragged_ = false;
    emit mPressed();
}

void MouseC::released(const QMouseEvent *e)
{
    takePosition(e);
    button_ = buttonOf(e->button());
    // A release far from the press is a drag even when no move was reported in between.
    if (pressed_ && (pos_ - pressPos_).manhattanLength() > dragDistance)
        dragged_ = true;
    pressed_ = false;
    emit mReleased();
}

void MouseC::doubleClicked(const QMouseEvent *e)
{
    takePosition(e);
    button_ = buttonOf(e->button());
    emit mDClicked();
}

void MouseC::wheeled(const QWheelEvent *e)
{
    pos_ = e->position().toPoint();
    modifiers_ = e->modifiers() & countedModifiers;
    // angleDelta is in eighths of a degree; one notch of a common wheel is 15 degrees.
    const int delta = e->angleDelta().y();
    steps_ = static_cast<int>(delta * 0.125 / 15.0);
    // One step of 10 % an event of whole notches. A high-resolution wheel or a touchpad sends
    // fractions of a notch (0 whole steps): they zoom by their fraction, in their own direction.
    if (delta >= 120 || delta <= -120)
        zoom_ = delta > 0 ? 1.0 / 1.1 : 1.1;
    else
        zoom_ = std::pow(1.1, -delta / 120.0);
    emit wMoved(steps_);
}

void MouseC::entered()
{
    inside_ = true;
    emit mEntered();
    emit mEnterLeave(true);
}

void MouseC::left()
{
    inside_ = false;
    emit mLeaved();
    emit mEnterLeave(false);
}
