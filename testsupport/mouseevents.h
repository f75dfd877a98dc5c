#pragma once

// Qt
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

// QTest's moves carry no modifiers and no held buttons of our choosing; a Shift-drag needs its own.
inline void moveTo(QWidget *w, QPoint pos, Qt::MouseButtons held = {}, Qt::KeyboardModifiers modifiers = {})
{
    QMouseEvent e(
        QEvent::MouseMove, QPointF(pos), w->mapToGlobal(QPointF(pos)), Qt::NoButton, held, modifiers);
    QApplication::sendEvent(w, &e);
}

inline void leftDrag(QWidget *w, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mousePress(w, Qt::LeftButton, modifiers, from);
    moveTo(w, (from + to) / 2, Qt::LeftButton, modifiers);
    moveTo(w, to, Qt::LeftButton, modifiers);
    QTest::mouseRelease(w, Qt::LeftButton, modifiers, to);
}

/// One wheel event; 120 is one notch away from the user.
inline void wheel(QWidget *w, QPoint pos, int angleDeltaY)
{
    QWheelEvent e(QPointF(pos), w->mapToGlobal(QPointF(pos)), QPoint(), QPoint(0, angleDeltaY), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}
