#include "widgets/dispa.h"

// Local
#include "widgets/mousec.h"

DispA::DispA(QWidget *parent)
    : DispB(parent)
{
}

void DispA::enterEvent(QEnterEvent *e)
{
    DispB::enterEvent(e);
    mouse()->entered();
    emit entered0();
}

void DispA::leaveEvent(QEvent *e)
{
    DispB::leaveEvent(e);
    mouse()->left();
    emit left0();
}
