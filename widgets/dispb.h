#pragma once

// Qt
#include <QFrame>

class ChCoord;
class MouseC;
class QPainter;

/// A painting area: a frame that hands its painting and its mouse to whoever owns it. A paint
/// event emits `drawImage0` (background), `drawImage1` (the picture) and `drawImage2` (overlays)
/// in that order on one painter; mouse events update the `MouseC` and are then announced.
class DispB : public QFrame
{
    Q_OBJECT

public:
    explicit DispB(QWidget *parent = nullptr);

    MouseC *mouse() const { return mouse_; }
    ChCoord *coord() const { return coord_; }

signals:
    void drawImage0(QPainter *p);
    void drawImage1(QPainter *p);
    void drawImage2(QPainter *p);
    void mouseMoved0();
    void mousePressed0();
    void mouseReleased0();
    void mouseDoubleClicked0();
    void wheelMoved0(int steps);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;

private:
    MouseC *mouse_;
    ChCoord *coord_;
};
