#pragma once

// Qt
#include <QObject>
#include <QPoint>

class QMouseEvent;
class QWheelEvent;

/// The mouse state of one painting area: the last position and the press position (integer
/// widget pixels), the button of the current gesture, the Shift/Ctrl/Alt modifiers of the latest
/// event, and the wheel's notch count with the zoom factor it asks for.
/// \test tst_imgdisp.cpp
class MouseC : public QObject
{
    Q_OBJECT

public:
    /// The code of a clicked point: button and modifiers together.
    enum MStat {
        Left = 0,
        LeftShift = 1,
        LeftCtrl = 2,
        LeftAlt = 3,
        LeftShiftCtrl = 4,
        LeftShiftAlt = 5,
        LeftCtrlAlt = 6,
        LeftShiftCtrlAlt = 7,
        Right = 8,
        RightShift = 9,
        RightCtrl = 10,
        RightAlt = 11,
        RightShiftCtrl = 12,
        RightShiftAlt = 13,
        RightCtrlAlt = 14,
        RightShiftCtrlAlt = 15,
        OtherButton = 16,
    };
    Q_ENUM(MStat)

    /// Button of a gesture.
    enum Button { NoButton = 0, LeftButton = 1, RightButton = 2, MiddleOrOther = 3 };

    /// A gesture whose cursor went further than this from the press (widget pixels, along x plus
    /// along y) is a drag, not a click: a hand that clicks moves a pixel or two, a pan more.
    static constexpr int dragDistance = 3;

    explicit MouseC(QObject *parent = nullptr);

    /// The code of a button (as `Button`) with modifiers; only Shift, Ctrl and Alt count.
    static MStat mStatOf(int button, Qt::KeyboardModifiers modifiers);
    MStat mStat() const { return mStatOf(button_, modifiers_); }

    QPoint pos() const { return pos_; }
    QPoint pressPos() const { return pressPos_; }
    int button() const { return button_; }
    /// Shift, Ctrl and Alt of the latest event, other modifiers masked out.
    Qt::KeyboardModifiers modifiers() const { return modifiers_; }
    bool isPressed() const { return pressed_; }
    /// The cursor of the current (or last) gesture went further than `dragDistance` from the
    /// press at some moment, even if it came back.
    bool wasDragged() const { return dragged_; }
    /// The cursor is over the area (entered, or moved over it, and not left since).
    bool isInside() const { return inside_; }
    /// Whole wheel notches of the latest wheel event, positive away from the user.
    int wheelSteps() const { return steps_; }
    /// 1/1.1 (zoom in) for zero or more notches, 1.1 (zoom out) for fewer.
    double zoomFactor() const { return zoom_; }

    // Fed by the painting area's event handlers; each updates the state and emits its signal.
    void moved(const QMouseEvent *e);
    void pressed(const QMouseEvent *e);
    void released(const QMouseEvent *e);
    void doubleClicked(const QMouseEvent *e);
    void wheeled(const QWheelEvent *e);
    void entered();
    void left();

signals:
    void mMoved();
    void mPressed();
    void mReleased();
    void mDClicked();
    void wMoved(int steps);
    void mEntered();
    void mLeaved();
    void mEnterLeave(bool inside);

private:
    void takePosition(const QMouseEvent *e);

    QPoint pos_;
    QPoint pressPos_;
    int button_ = NoButton;
    Qt::KeyboardModifiers modifiers_;
    bool pressed_ = false;
    bool dragged_ = false;
    bool inside_ = false;
    int steps_ = 0;
    double zoom_ = 1.0;
};
