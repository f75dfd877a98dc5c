// The main window's control of the 2dZelmap viewer link: loading a slice's saved data files into
// the viewer, its 2D analysis ("2DA"), and continuous runs that do both over the slice range.

// Qt
#include <QDebug>

// Local
#include "app/body.h"
#include "ct/savenaming.h"
#include "ct/ui/procctrl.h"
#include "link/sliceloadrequest.h"
#include "link/zelmapmessages.h"
#include "widgets/statestyles.h"
#include "app/windowlog.h"
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
    // A request the link could not send ends a continuous run: its slice would never be analysed.
    connect(&zelmapLink_, &ZelmapLink::requestRefused, this, [this](const QString &what) {
        if (contRunning_)
            zmlEndCont2dA(QStringLiteral("%1 for slice %2 was not sent").arg(what).arg(runCurrent_));
    });
}

void Body::zmlInitFlags()
{
    linkStage_ = 0;
    zmlEndCont2dA(QStringLiteral("the link to 2dZelmap was reset"));
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
            ++contDone_;
            const qint64 next = qint64(runCurrent_) + runStep_;
            const bool inRange = runStep_ == 0 || (runStep_ > 0 ? next <= runTo_ : next >= runTo_);
            if (inRange)
                zmlLoadSlice(static_cast<int>(next));
            else
                zmlEndCont2dA(QString()); // linkStage stays 2 until the next request
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
    runCurrent_ = sliceNo;
    const QString dir = ui_.SelectDataSaveDir->dir();
    const SliceLoadRequest request
        = sliceLoadRequest(dir, ui_.SaveInSubFolders->isChecked(), ui_.SubOfSlice->isChecked(), sliceNo);
    if (request.byPattern) {
        linkStage_ = 1;
        emit zmlLoadFilesOfPattern(request.patternPath);
        return;
    }
    if (request.files.isEmpty()) {
        // A pick with nothing to send sends nothing and says nothing; a continuous run fails.
        if (contRunning_)
            zmlEndCont2dA(QStringLiteral("no saved data files of slice %1 in \"%2\"").arg(sliceNo).arg(dir));
        return;
    }
    linkStage_ = 1;
    emit zmlLoadFiles(request.files);
}

void Body::exec2dA0()
{
    emit exec2dA(sliceText(ui_.procCtrl->sliceNo()));
}

void Body::zmlStartCont2dA()
{
    if (contRunning_) {
        zmlEndCont2dA(QStringLiteral("stopped by the operator"), true);
        return;
    }
    // Without a connection nothing would answer the first request and the run would only wait.
    if (!zelmapLink_.isConnected()) {
        qCWarning(lcWindow).noquote() << QStringLiteral(
            "2dZelmap is not connected: the continuous 2DA run does not start");
        return;
    }
    zmlSetContRunning(true);
    const ProcCtrl *proc = ui_.procCtrl;
    runFrom_ = proc->sliceFrom();
    runTo_ = proc->sliceTo();
    runStep_ = towardLast(runFrom_, runTo_, proc->sliceStep());
    runCurrent_ = runFrom_;
    contDone_ = 0;
    qCInfo(lcWindow).noquote() << QStringLiteral("Continuous 2DA from slice %1 to %2, step %3")
                             .arg(runFrom_)
                             .arg(runTo_)
                             .arg(runStep_);
    zmlLoadSlice(runFrom_);
}

void Body::zmlEndCont2dA(const QString &why, bool stopped)
{
    if (!contRunning_)
        return;
    // Every slice of the range asked for, sent and reported finished, or the run failed.
    const qint64 span = std::abs(qint64(runTo_) - runFrom_);
    const qint64 asked = runStep_ == 0 ? 0 : span / std::abs(qint64(runStep_)) + 1;
    const bool ok = why.isEmpty() && contDone_ >= asked;
    const QString counts = QStringLiteral("%1 of %2 slices analysed").arg(contDone_).arg(asked);
    if (ok)
        qCInfo(lcWindow).noquote()
            << QStringLiteral("Continuous 2DA finished at slice %1, %2").arg(runCurrent_).arg(counts);
    else if (stopped)
        qCWarning(lcWindow).noquote()
            << QStringLiteral("Continuous 2DA %1 at slice %2, %3").arg(why).arg(runCurrent_).arg(counts);
    else
        qCCritical(lcWindow).noquote()
            << QStringLiteral("Continuous 2DA failed at slice %1: %2; %3").arg(runCurrent_).arg(why, counts);
    zmlSetContRunning(false);
    if (batchCont_) {
        batchCont_ = false;
        reportBatchLine(ok);
    }
}

void Body::zmlSetContRunning(bool on)
{
    if (on == contRunning_)
        return;
    contRunning_ = on;
    ui_.Cont2DA->setStyleSheet(on ? ButtonStyle::running : ButtonStyle::idle);
}

void Body::zmlLinkStateChanged()
{
    // A new connection resets the link control anyway; ending the run when the connection goes
    // lets a batch waiting for it go on.
    if (contRunning_ && !zelmapLink_.isConnected())
        zmlEndCont2dA(QStringLiteral("the connection to 2dZelmap is lost"));
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
    // A run that ends within the start (no files for its first slice) still reports to the batch.
    batchCont_ = true;
    if (!contRunning_)
        zmlStartCont2dA();
    if (batchCont_ && !contRunning_) { // could not start
        batchCont_ = false;
        reportBatchLine(false);
    }
}
