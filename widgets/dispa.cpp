#include "widgets/dispa.h"

DispA::DispA(QWidget *parent)
    : DispB(parent)
{
}

void DispA::enterEvent(QEnterEvent *e)
{
    DispB::enterEvent(e); // tells the mouse state
    emit entered0();
}

void DispA::leaveEvent(QEvent *e)
{
    DispB::leaveEvent(e);
    emit left0();
}
