#include "app/batchcontroller.h"

// Qt
#include <QDebug>
#include <QThread>

// Local
#include "app/loadcontroller.h"
#include "app/runcontroller.h"
#include "app/windowlog.h"
#include "app/windowparts.h"
#include "automation/batch.h"
#include "automation/batchcommands.h"
#include "config/configstore.h"
#include "config/messagelog.h"
#include "ct/datasaver.h"
#include "ct/ui/procctrl.h"
#include "ui_body.h"

QString Tally::text() const
{
    const auto count = [](int n, const char *one, const char *many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    return QStringLiteral("%1, %2, %3, %4")
        .arg(count(linesFailed, "line failed", "lines failed"),
            count(slicesFailed, "slice failed", "slices failed"),
            count(filesNotWritten, "file not written", "files not written"),
            count(otherFailures, "other result missing", "other results missing"));
}

BatchController::BatchController(WindowParts &parts, const BatchPeers &peers, QObject *parent)
    : QObject(parent)
    , parts_(parts)
    , peers_(peers)
{
    batch_ = new Batch;
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("batch"));
    batch_->moveToThread(thread_);
    connect(this, &BatchController::callBatchLoad, batch_, &Batch::batchLoad);
    connect(this, &BatchController::callBatchExec, batch_, &Batch::batchExec);
    connect(this, &BatchController::callBatchLastOk, batch_, &Batch::setLastOk);
    connect(this, &BatchController::callBatchCheckEnd, batch_, &Batch::batchCheckEnd);
    connect(batch_, &Batch::batchExCmd, this, &BatchController::batchExCmd);
    connect(batch_, &Batch::loadFailed, this, [this] { ++parts_.tally.otherFailures; });
    connect(batch_, &Batch::lineFailed, this, [this] { ++parts_.tally.linesFailed; });
    connect(batch_, &Batch::runEnded, this, [this] {
        if (quit_.whenBatchEnds)
            appQuit();
    });
    thread_->start();
    lineTimer_.setSingleShot(true);
    connect(&lineTimer_, &QTimer::timeout, this, &BatchController::batchLineTimedOut);
    buildActions();
}

BatchController::~BatchController()
{
    thread_->quit();
    thread_->wait();
    delete batch_;
}

void BatchController::runConfigurationLines()
{
    for (const QString &line : ConfigStore::instance().lines())
        execCommand(parseBatchCmd(line));
}

bool BatchController::execCommand(const BatchCmd &cmd)
{
    const Outcome out = runCommand(cmd, false);
    // A configuration or setup line that failed counts like a batch line: an unattended run that
    // started from it must not end with success.
    if (!out.ok && !out.conditionOnly)
        ++parts_.tally.linesFailed;
    return out.ok;
}

bool BatchController::knowsCommand(const QString &word) const
{
    const int index = batchCommandIndex(word);
    return index >= 0 && static_cast<size_t>(index) < actions_.size() && actions_[static_cast<size_t>(index)];
}

void BatchController::batchExCmd(const BatchCmd &cmd)
{
    // A line handed out while an earlier one still waits for a load (the run was restarted) takes
    // its place.
    if (line_.wait == LineWait::Loading || line_.wait == LineWait::SetLoading)
        line_.wait = LineWait::None;
    lineTimer_.stop();
    line_.text = cmd.line;
    const Outcome out = runCommand(cmd, true);
    switch (out.completion) {
    case Completion::Now:
        reportBatchLine(out.ok, !out.conditionOnly);
        return;
    case Completion::AfterLoading:
        line_.wait = LineWait::Loading;
        break;
    case Completion::AfterRun: // the work's end (finishWait) reports it, possibly within the call
    case Completion::AfterScan:
    case Completion::AfterGuess:
    case Completion::AfterSetLoading:
    case Completion::AfterContinuousRun:
    case Completion::AfterXanes:
    case Completion::AfterSequence:
        break;
    case Completion::AtExit:
        return;
    }
    if (line_.timeoutMs > 0 && isBatchLineWaiting())
        lineTimer_.start(line_.timeoutMs);
}

BatchController::Outcome BatchController::runCommand(const BatchCmd &cmd, bool fromBatch)
{
    // Flow words, headings, blank lines and unknown words are not in the table: they do nothing.
    const int index = batchCommandIndex(cmd.cmd);
    if (index < 0 || static_cast<size_t>(index) >= actions_.size() || !actions_[static_cast<size_t>(index)])
        return {};
    return actions_[static_cast<size_t>(index)](cmd, fromBatch);
}

void BatchController::reportBatchLine(bool ok, bool failure)
{
    lineTimer_.stop();
    if (!ok) {
        emit callBatchLastOk(false);
        if (failure)
            ++parts_.tally.linesFailed;
    }
    emit callBatchCheckEnd();
}

bool BatchController::finishWait(LineWait kind, bool ok)
{
    if (line_.wait != kind || kind == LineWait::None)
        return false;
    line_.wait = LineWait::None;
    reportBatchLine(ok);
    return true;
}

bool BatchController::isBatchLineWaiting() const
{
    return line_.wait != LineWait::None;
}

void BatchController::batchLineTimedOut()
{
    if (!isBatchLineWaiting())
        return;
    qCCritical(lcWindow).noquote() << QStringLiteral(
        "batch_timeout: the line \"%1\" still waits after %2 s: it "
        "fails and the batch goes on")
                                          .arg(MessageLog::shortened(line_.text))
                                          .arg(line_.timeoutMs / 1000.0);
    // What the line waits for is called off (a load goes on: the set must stay whole).
    const LineWait kind = line_.wait;
    line_.wait = LineWait::None;
    emit waitTimedOut(kind);
    reportBatchLine(false);
}

void BatchController::corGuessEnded(bool ok)
{
    if (line_.wait == LineWait::CorGuess)
        finishWait(LineWait::CorGuess, reportCorGuess(ok));
}

bool BatchController::reportCorGuess(bool guessed)
{
    const QString cor = QString::number(parts_.ui.procCtrl->cor(), 'g', QLocale::FloatingPointShortest);
    if (!guessed) {
        qCCritical(lcWindow).noquote() << "ct_guess_cor: no centre of rotation was guessed; it stays" << cor;
        return false;
    }
    peers_.load.defaults().cor = false;
    qCInfo(lcWindow).noquote() << "ct_guess_cor: centre of rotation" << cor;
    return true;
}

void BatchController::loadFinished()
{
    const LoadAsker asker = line_.loadAsker;
    line_.loadAsker = LoadAsker::None;
    const bool waiting = line_.wait == LineWait::Loading;
    if (waiting)
        line_.wait = LineWait::None;
    if (asker != LoadAsker::None) {
        // A load that refused any file failed: a missing projection shifts every later angle.
        const int loaded = peers_.load.added();
        const int refused = static_cast<int>(peers_.load.refused().size());
        const bool ok = loaded > 0 && refused == 0;
        if (loaded <= 0)
            qCCritical(lcWindow).noquote() << "images_load: no image was loaded from" << line_.loadDir;
        else if (!ok)
            qCCritical(lcWindow).noquote() << QStringLiteral("images_load: %1 of %2 files were refused")
                                                  .arg(refused)
                                                  .arg(refused + loaded);
        if (asker == LoadAsker::Batch && waiting)
            reportBatchLine(ok);
        else if (!ok)
            ++parts_.tally.linesFailed; // a configuration or setup line's load
    }
    if (line_.batchStartWaits && !peers_.load.isBusy()) { // the batch starts on the loaded set
        line_.batchStartWaits = false;
        emit callBatchExec();
    }
}

void BatchController::batchExec()
{
    // A configuration line may have started loading: the batch's first line must find the set whole.
    if (peers_.load.isBusy()) {
        line_.batchStartWaits = true;
        return;
    }
    emit callBatchExec();
}

int BatchController::exitStatus() const
{
    if (!quit_.byCommand)
        return 0;
    if (quit_.status >= 0)
        return quit_.status;
    return parts_.tally.clean() ? 0 : 1;
}

void BatchController::appQuit()
{
    quit_.requested = true;
    tryQuit();
}

void BatchController::tryQuit()
{
    if (!quit_.requested || !idle_())
        return;
    // Every record handed to the saver is queued before this request: when it comes back, they are
    // all written.
    DataSaver *saver = peers_.runs.saver();
    QMetaObject::invokeMethod(
        saver,
        [this] { QMetaObject::invokeMethod(this, &BatchController::quitWhenSaved, Qt::QueuedConnection); },
        Qt::QueuedConnection);
}

void BatchController::quitWhenSaved()
{
    if (!quit_.requested || quit_.byCommand || !idle_())
        return; // something started meanwhile: its end asks again
    quit_.byCommand = true;
    // The last line says what an unattended run asked for and did not get.
    if (parts_.tally.clean())
        qCInfo(lcWindow).noquote() << "Quit: every line done, every result written";
    else
        qCCritical(lcWindow).noquote() << "Quit with failures:" << parts_.tally.text();
    emit quitNow(); // its close event ends the program, also when the window was never shown
}
