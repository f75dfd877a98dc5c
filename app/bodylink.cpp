// The main window's control of the 2dZelmap viewer link: loading a slice's saved data files into
// the viewer, its 2D analysis ("2DA"), and continuous runs that do both over the slice range.

// Qt
#include <QDebug>

// Local
#include "app/body.h"
#include "app/buttonstyles.h"
#include "ct/savenaming.h"
#include "ct/ui/procctrl.h"
#include "link/sliceloadrequest.h"
#include "link/zelmapmessages.h"
#include <climits>
#include <cstdlib>

namespace {

// The run's step taken toward its last slice, as calculation runs take it; 0 repeats the slice.
int towardLast(int from, int to, int step)
{
    const int size = step == INT_MIN ? INT_MAX : std::abs(step);
    return to >= from ? size : -size;
}

} // namespace

void Body::setupZelmapLink()
{
    zelmapLink_.setLinkButton(ui_.Link2dZelmap);
    zelmapLink_.doConnect();
    zmlInitFlags();
    connect(&zelmapLink_, &ZelmapLink::connected, this, &Body::zmlInitFlags);
    connect(&zelmapLink_, &ZelmapLink::changedIsBusy, this, &Body::zmlChangedIsBusy);
    connect(this, &Body::zmlLoadFilesOfPattern, &zelmapLink_, &ZelmapLink::loadFilesOfPattern);
    connect(this, &Body::zmlLoadFiles, &zelmapLink_, &ZelmapLink::loadFiles);
    connect(this, &Body::zmlStatChanged, this, &Body::zmlStageCtrl);
    connect(ui_.Exec2DA, &QPushButton::clicked, this, &Body::exec2dA0);
    connect(this, &Body::exec2dA, &zelmapLink_, &ZelmapLink::exec2dA);
    connect(ui_.Cont2DA, &QPushButton::clicked, this, &Body::zmlStartCont2dA);
    connect(&zelmapLink_, &TcpClient::statChanged, this, &Body::zmlLinkStateChanged);
    connect(this, &Body::zmlBatchContFinished, this, &Body::callBatchCheckEnd);
}

void Body::zmlInitFlags()
{
    linkStage_ = 0;
    zmlSetContRunning(false);
    ui_.Cont2DA->setStyleSheet(ButtonStyle::idle);
    zmlBusy_ = false;
    ui_.ZMLIsBusy->setStyleSheet(ButtonStyle::notBusy);
    emit zmlStatChanged();
    runFrom_ = runTo_ = runCurrent_ = 0;
}

void Body::zmlChangedIsBusy(bool f)
{
    if (f == zmlBusy_)
        return;
    ui_.ZMLIsBusy->setStyleSheet(f ? ButtonStyle::busy : ButtonStyle::notBusy);
    zmlBusy_ = f;
    emit zmlStatChanged();
}

void Body::zmlStageCtrl()
{
    if (zmlBusy_ || linkStage_ == 0)
        return;
    const QString &finished = zelmapLink_.lastFinished();
    switch (linkStage_) {
    case 1:
        if (finished != zelmap::loadPatternCmd && finished != zelmap::loadFilesCmd)
            return;
        if (ui_.With2DA->isChecked() || contRunning_) {
            linkStage_ = 2;
            emit exec2dA(sliceText(runCurrent_));
        } else {
            linkStage_ = 0;
        }
        break;
    case 2:
        if (finished != zelmap::exec2dACmd)
            return;
        if (contRunning_) {
            const qint64 next = qint64(runCurrent_) + runStep_;
            const bool inRange = runStep_ == 0 || (runStep_ > 0 ? next <= runTo_ : next >= runTo_);
            if (inRange) {
                zmlLoadSlice(static_cast<int>(next));
            } else {
                qDebug().noquote() << QStringLiteral("Continuous 2DA finished at slice %1").arg(runCurrent_);
                zmlSetContRunning(false); // linkStage stays 2 until the next request
            }
        } else {
            linkStage_ = 0;
        }
        break;
    default:
        linkStage_ = 0;
        break;
    }
}

void Body::zmlLoadSlice(int sliceNo)
{
    ui_.procCtrl->setSliceNo(sliceNo);
    linkStage_ = 1;
    runCurrent_ = sliceNo;
    const QString dir = ui_.SelectDataSaveDir->dir();
    const SliceLoadRequest request
        = sliceLoadRequest(dir, ui_.SaveInSubFolders->isChecked(), ui_.SubOfSlice->isChecked(), sliceNo);
    if (request.byPattern) {
        emit zmlLoadFilesOfPattern(request.patternPath);
        return;
    }
    if (request.files.isEmpty())
        qDebug().noquote()
            << QStringLiteral("No saved data files of slice %1 in \"%2\"").arg(sliceNo).arg(dir);
    emit zmlLoadFiles(request.files);
}

void Body::exec2dA0()
{
    emit exec2dA(sliceText(ui_.procCtrl->sliceNo()));
}

void Body::zmlStartCont2dA()
{
    if (contRunning_) {
        qDebug().noquote() << QStringLiteral("Continuous 2DA stopped at slice %1").arg(runCurrent_);
        zmlSetContRunning(false);
        return;
    }
    // Without a connection nothing would answer the first request and the run would only wait.
    if (!zelmapLink_.isConnected()) {
        qDebug().noquote() << QStringLiteral(
            "2dZelmap is not connected: the continuous 2DA run does not start");
        return;
    }
    zmlSetContRunning(true);
    const ProcCtrl *proc = ui_.procCtrl;
    runFrom_ = proc->sliceFrom();
    runTo_ = proc->sliceTo();
    runStep_ = towardLast(runFrom_, runTo_, proc->sliceStep());
    runCurrent_ = runFrom_;
    qDebug().noquote() << QStringLiteral("Continuous 2DA from slice %1 to %2, step %3")
                              .arg(runFrom_)
                              .arg(runTo_)
                              .arg(runStep_);
    zmlLoadSlice(runFrom_);
}

void Body::zmlSetContRunning(bool on)
{
    if (on == contRunning_)
        return;
    contRunning_ = on;
    ui_.Cont2DA->setStyleSheet(on ? ButtonStyle::running : ButtonStyle::idle);
    if (!on && batchCont_) {
        batchCont_ = false;
        emit zmlBatchContFinished();
    }
}

void Body::zmlLinkStateChanged()
{
    // A new connection resets the link control anyway; ending the run when the connection goes
    // lets a batch waiting for it go on.
    if (contRunning_ && !zelmapLink_.isConnected()) {
        qDebug().noquote() << QStringLiteral(
            "The connection to 2dZelmap is lost: continuous 2DA ends at slice %1")
                                  .arg(runCurrent_);
        zmlSetContRunning(false);
    }
}

void Body::zmlSetSendMsg(bool on)
{
    ui_.SendMsg2Zelmap->setChecked(on);
}

void Body::zmlConnect()
{
    zelmapLink_.doConnect();
}

void Body::zmlBatchCont2dA()
{
    if (!contRunning_)
        zmlStartCont2dA();
    if (!contRunning_) { // could not start, or ended at its first slice
        emit zmlBatchContFinished();
        return;
    }
    batchCont_ = true;
}
