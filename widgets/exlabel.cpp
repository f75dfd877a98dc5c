#include "widgets/exlabel.h"

// Qt
#include <QMouseEvent>
#include <QPainter>

// Local
#include "widgets/mousec.h"

ExLabel::ExLabel(QWidget *parent)
    : QLabel(parent)
    , mouse_(new MouseC(this))
{
}

void ExLabel::paintEvent(QPaintEvent *e)
{
    QLabel::paintEvent(e);
    QPainter p(this);
    emit drawImage1(&p);
}

void ExLabel::mouseMoveEvent(QMouseEvent *e)
{
    mouse_->moved(e);
    emit mouseMoved0();
}

void ExLabel::mousePressEvent(QMouseEvent *e)
{
    mouse_->pressed(e);
    emit mousePressed0();
}

void ExLabel::mouseReleaseEvent(QMouseEvent *e)
{
    mouse_->released(e);
    emit mouseReleased0();
}

void ExLabel::mouseDoubleClickEvent(QMouseEvent *e)
{
    mouse_->doubleClicked(e);
    emit mouseDoubleClicked0();
}

void ExLabel::enterEvent(QEnterEvent *e)
{
    QLabel::enterEvent(e);
    mouse_->entered();
    emit entered0();
}

void ExLabel::leaveEvent(QEvent *e)
{
    QLabel::leaveEvent(e);
    mouse_->left();
    emit left0();
}
