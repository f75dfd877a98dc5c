#include "widgets/dispb.h"

// Qt
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

// Local
#include "widgets/chcoord.h"
#include "widgets/mousec.h"

DispB::DispB(QWidget *parent)
    : QFrame(parent)
    , mouse_(new MouseC(this))
    , coord_(new ChCoord(this))
{
    // Positions are reported while no button is held, too (the image display's readout).
    setMouseTracking(true);
}

void DispB::paintEvent(QPaintEvent *e)
{
    {
        QPainter p(this);
        emit drawImage0(&p);
        emit drawImage1(&p);
        emit drawImage2(&p);
    }
    QFrame::paintEvent(e); // the frame, if any, goes over the picture's edge
}

void DispB::mouseMoveEvent(QMouseEvent *e)
{
    mouse_->moved(e);
    emit mouseMoved0();
}

void DispB::mousePressEvent(QMouseEvent *e)
{
    mouse_->pressed(e);
    emit mousePressed0();
}

void DispB::mouseReleaseEvent(QMouseEvent *e)
{
    mouse_->released(e);
    emit mouseReleased0();
}

void DispB::mouseDoubleClickEvent(QMouseEvent *e)
{
    mouse_->doubleClicked(e);
    emit mouseDoubleClicked0();
}

void DispB::wheelEvent(QWheelEvent *e)
{
    mouse_->wheeled(e);
    emit wheelMoved0(mouse_->wheelSteps());
    e->accept();
}

void DispB::enterEvent(QEnterEvent *e)
{
    mouse_->entered();
    QFrame::enterEvent(e);
}

void DispB::leaveEvent(QEvent *e)
{
    mouse_->left();
    QFrame::leaveEvent(e);
}
