// The window's control of the 2dZelmap viewer link: loading a slice's saved data files into
// the viewer, its 2D analysis ("2DA"), and continuous runs that do both over the slice range.

// Qt
#include <QDebug>

// Local
#include "app/linkcontroller.h"
#include "app/windowlog.h"
#include "app/windowparts.h"
#include "config/saidtext.h"
#include "ct/savenaming.h"
#include "ct/ui/procctrl.h"
#include "link/sliceloadrequest.h"
#include "link/zelmapmessages.h"
#include "ui_body.h"
#include "widgets/statestyles.h"
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

LinkController::LinkController(WindowParts &parts, QObject *parent)
    : QObject(parent)
    , parts_(parts)
{
}

void LinkController::setupZelmapLink()
{
    link_.setLinkButton(parts_.ui.Link2dZelmap);
    link_.doConnect();
    zmlInitFlags();
    connect(&link_, &ZelmapLink::connected, this, &LinkController::zmlInitFlags);
    connect(&link_, &ZelmapLink::changedIsBusy, this, &LinkController::zmlChangedIsBusy);
    connect(this, &LinkController::zmlLoadFilesOfPattern, &link_, &ZelmapLink::loadFilesOfPattern);
    connect(this, &LinkController::zmlLoadFiles, &link_, &ZelmapLink::loadFiles);
    connect(this, &LinkController::zmlStatChanged, this, &LinkController::zmlStageCtrl);
    connect(parts_.ui.Exec2DA, &QPushButton::clicked, this, &LinkController::exec2dA0);
    connect(this, &LinkController::exec2dA, &link_, &ZelmapLink::exec2dA);
    connect(parts_.ui.Cont2DA, &QPushButton::clicked, this, &LinkController::zmlStartCont2dA);
    connect(&link_, &TcpClient::statChanged, this, &LinkController::linkStateChanged);
    // A request the link could not send ends a continuous run: its slice would never be analysed.
    connect(&link_, &ZelmapLink::requestRefused, this, [this](const QString &what) {
        if (cont_.running)
            endCont(QStringLiteral("%1 for slice %2 was not sent").arg(what).arg(cont_.current));
    });
}

void LinkController::zmlInitFlags()
{
    viewer_.stage = Stage::Idle;
    endCont(QStringLiteral("the link to 2dZelmap was reset"));
    parts_.ui.Cont2DA->setStyleSheet(ButtonStyle::idle);
    viewer_.busy = false;
    parts_.ui.ZMLIsBusy->setStyleSheet(ButtonStyle::notBusy);
    emit zmlStatChanged();
    cont_.from = cont_.to = cont_.current = 0;
}

void LinkController::zmlChangedIsBusy(bool f)
{
    if (f == viewer_.busy)
        return;
    parts_.ui.ZMLIsBusy->setStyleSheet(f ? ButtonStyle::busy : ButtonStyle::notBusy);
    viewer_.busy = f;
    emit zmlStatChanged();
}

void LinkController::zmlStageCtrl()
{
    if (viewer_.busy || viewer_.stage == Stage::Idle)
        return;
    const QString &finished = link_.lastFinished();
    switch (viewer_.stage) {
    case Stage::Loading:
        if (finished != zelmap::loadPatternCmd && finished != zelmap::loadFilesCmd)
            return;
        if (parts_.ui.With2DA->isChecked() || cont_.running) {
            viewer_.stage = Stage::Analysing;
            emit exec2dA(sliceText(cont_.current));
        } else {
            viewer_.stage = Stage::Idle;
        }
        break;
    case Stage::Analysing:
        if (finished != zelmap::exec2dACmd)
            return;
        if (cont_.running) {
            ++cont_.done;
            const qint64 next = qint64(cont_.current) + cont_.step;
            const bool inRange = cont_.step == 0 || (cont_.step > 0 ? next <= cont_.to : next >= cont_.to);
            if (inRange)
                loadSlice(static_cast<int>(next));
            else
                endCont(QString()); // linkStage stays 2 until the next request
        } else {
            viewer_.stage = Stage::Idle;
        }
        break;
    case Stage::Idle:
        break;
    }
}

void LinkController::loadSlice(int sliceNo)
{
    parts_.ui.procCtrl->setSliceNo(sliceNo);
    cont_.current = sliceNo;
    const QString dir = parts_.ui.SelectDataSaveDir->dir();
    const SliceLoadRequest request = sliceLoadRequest(
        dir, parts_.ui.SaveInSubFolders->isChecked(), parts_.ui.SubOfSlice->isChecked(), sliceNo);
    if (request.byPattern) {
        viewer_.stage = Stage::Loading;
        emit zmlLoadFilesOfPattern(request.patternPath);
        return;
    }
    if (request.files.isEmpty()) {
        // A pick with nothing to send sends nothing and says nothing; a continuous run fails.
        if (cont_.running)
            endCont(QStringLiteral("no saved data files of slice %1 in \"%2\"").arg(sliceNo).arg(dir));
        return;
    }
    viewer_.stage = Stage::Loading;
    emit zmlLoadFiles(request.files);
}

void LinkController::exec2dA0()
{
    emit exec2dA(sliceText(parts_.ui.procCtrl->sliceNo()));
}

void LinkController::zmlStartCont2dA()
{
    if (cont_.running) {
        endCont(QStringLiteral("stopped by the operator"), true);
        return;
    }
    // Without a connection nothing would answer the first request and the run would only wait.
    if (!link_.isConnected()) {
        qCWarning(lcWindow).noquote()
            << QV_SAID("2dZelmap is not connected: the continuous 2DA run does not start");
        return;
    }
    setContRunning(true);
    const ProcCtrl *proc = parts_.ui.procCtrl;
    cont_.from = proc->sliceFrom();
    cont_.to = proc->sliceTo();
    cont_.step = towardLast(cont_.from, cont_.to, proc->sliceStep());
    cont_.current = cont_.from;
    cont_.done = 0;
    qCInfo(lcWindow).noquote() << QV_SAID("Continuous 2DA from slice %1 to %2, step %3")
                                      .arg(cont_.from)
                                      .arg(cont_.to)
                                      .arg(cont_.step);
    loadSlice(cont_.from);
}

void LinkController::endCont(const QString &why, bool stopped)
{
    if (!cont_.running)
        return;
    // Every slice of the range asked for, sent and reported finished, or the run failed.
    const qint64 span = std::abs(qint64(cont_.to) - cont_.from);
    const qint64 asked = cont_.step == 0 ? 0 : span / std::abs(qint64(cont_.step)) + 1;
    JobOutcome out;
    out.asked = static_cast<int>(std::min<qint64>(asked, INT_MAX));
    out.done = cont_.done;
    out.stopped = stopped;
    if (!why.isEmpty() && !stopped) {
        out.why = why;
        out.problems << why;
    }
    const SaidText counts = QV_SAID("%1 of %2 slices analysed").arg(cont_.done).arg(asked);
    if (out.ok())
        qCInfo(lcWindow).noquote()
            << QV_SAID("Continuous 2DA finished at slice %1, %2").arg(cont_.current).arg(counts);
    else if (stopped)
        qCWarning(lcWindow).noquote()
            << QV_SAID("Continuous 2DA %1 at slice %2, %3").arg(why).arg(cont_.current).arg(counts);
    else
        qCCritical(lcWindow).noquote()
            << QV_SAID("Continuous 2DA failed at slice %1: %2; %3").arg(cont_.current).arg(why).arg(counts);
    setContRunning(false);
    emit contEnded(out);
}

void LinkController::setContRunning(bool on)
{
    if (on == cont_.running)
        return;
    cont_.running = on;
    parts_.ui.Cont2DA->setStyleSheet(on ? ButtonStyle::running : ButtonStyle::idle);
}

void LinkController::linkStateChanged()
{
    // A new connection resets the link control anyway; ending the run when the connection goes
    // lets a batch waiting for it go on.
    if (cont_.running && !link_.isConnected())
        endCont(QStringLiteral("the connection to 2dZelmap is lost"));
}

void LinkController::zmlSetSendMsg(bool on)
{
    parts_.ui.SendMsg2Zelmap->setChecked(on);
}

void LinkController::zmlConnect()
{
    link_.doConnect();
}
