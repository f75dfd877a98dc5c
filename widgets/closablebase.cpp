#include "widgets/closablebase.h"

// Qt
#include <QCloseEvent>

ClosableBase::ClosableBase(QWidget *parent)
    : QFrame(parent)
{
}

void ClosableBase::closeEvent(QCloseEvent *e)
{
    QFrame::closeEvent(e);
    emit closed();
}
