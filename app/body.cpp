#include "app/body.h"

// Qt
#include <QCloseEvent>

// Local
#include "widgets/rawdisp.h"

Body::Body(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    rawDisp_ = new RawDisp(ui_.RawImageTab);
    ui_.RawImageTabLayout->addWidget(rawDisp_, 0, 0);
}

Body::~Body() = default;

void Body::batchLoad(const QString &fileName)
{
    emit callBatchLoad(fileName);
}

void Body::batchExec()
{
    emit callBatchExec();
}

void Body::closeEvent(QCloseEvent *event)
{
    emit finishing();
    QFrame::closeEvent(event);
}
