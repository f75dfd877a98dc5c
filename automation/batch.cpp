#include "automation/batch.h"

// Qt
#include <QDebug>

// Local
#include "automation/automationlog.h"
#include "automation/batchcommands.h"
#include "config/linetokenizer.h"
#include "config/messagelog.h"

namespace {

bool isWord(const BatchCmd &c, const char *word)
{
    return c.cmd.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isCondition(const BatchCmd &c)
{
    return isWord(c, ":ifok") || isWord(c, ":ifng");
}

QString afterFirstItem(const QString &line)
{
    QString word;
    return takeItem(line, word);
}

} // namespace

Batch::Batch(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<BatchCmd>("BatchCmd");
    // Each step is queued rather than called: a long chain of flow lines (echoes, jumps) then never
    // deepens the stack, and a stop that arrives meanwhile is seen before the next step.
    connect(this, &Batch::batchExecNext, this, &Batch::batchNext, Qt::QueuedConnection);
    connect(this, &Batch::batchFinishALine, this, &Batch::batchCheckEnd);
}

void Batch::setRunning(bool running)
{
    const bool ended = running_ && !running;
    running_ = running;
    passes_.clear();
    if (ended)
        emit runEnded();
}

void Batch::batchStart()
{
    setRunning(true);
    nextLine_ = 0;
    emit batchExecNext();
}

void Batch::batchStop()
{
    setRunning(false);
}

void Batch::batchExec()
{
    if (running_) {
        setRunning(false); // the line in progress still finishes at the window
        return;
    }
    batchStart();
}

void Batch::batchLoad(const QString &fileName)
{
    BatchFileLines read;
    QString error;
    if (!readBatchFile(fileName, read, error)) {
        qCCritical(lcAutomation).noquote() << error;
        emit loadFailed(fileName);
        return;
    }
    lines_ = std::move(read.lines);
    origins_ = std::move(read.origins);
    findLabels();
}

void Batch::findLabels()
{
    // A label is any word a jump names, also behind conditions (":ifng :goto failed").
    labels_.clear();
    for (const QString &line : std::as_const(lines_)) {
        BatchCmd c = parseBatchCmd(line);
        for (int depth = 0; isCondition(c) && depth < 16; ++depth)
            c = parseBatchCmd(afterFirstItem(c.line));
        if (isWord(c, ":goto"))
            labels_.insert(textArg(c));
    }
}

void Batch::batchCheckEnd()
{
    // Only the report of the line handed out counts: a command executed for some other reason (a
    // setup file loaded meanwhile) must not advance the run.
    if (!awaiting_)
        return;
    awaiting_ = false;
    if (!running_)
        return;
    goOn();
}

void Batch::goOn()
{
    if (lines_.isEmpty())
        setRunning(false);
    else
        emit batchExecNext();
}

bool Batch::jumpTo(const QString &label)
{
    for (int i = 0; i < lines_.size(); ++i) {
        if (parseBatchCmd(lines_[i]).cmd == label) {
            nextLine_ = i;
            return true;
        }
    }
    return false;
}

void Batch::failLine(const QString &why)
{
    const int i = nextLine_ - 1;
    const QString where = i >= 0 && size_t(i) < origins_.size() ? origins_[size_t(i)].text()
                                                                : QStringLiteral("line %1").arg(i + 1);
    qCWarning(lcAutomation).noquote() << QStringLiteral("%1: %2").arg(where, why);
    lastOk_ = false;
    emit lineFailed();
}

void Batch::batchNext()
{
    if (!running_)
        return;
    if (nextLine_ < 0 || nextLine_ >= lines_.size()) {
        setRunning(false);
        return;
    }
    const int i = nextLine_;
    nextLine_ = i + 1;
    BatchCmd c = parseBatchCmd(lines_[i]);

    // A condition that holds runs the rest of its line, read exactly as a line of its own would be
    // (its quoted texts keep their blanks); one that does not hold is passed over, leaving the last
    // result as it was (so that ":ifok X" followed by ":ifng Y" runs one of them).
    if (isWord(c, ":ifok") && lastOk_)
        c = parseBatchCmd(afterFirstItem(c.line));
    if (isWord(c, ":ifng") && !lastOk_)
        c = parseBatchCmd(afterFirstItem(c.line));
    if (isCondition(c) || c.cmd.isEmpty()) {
        qCDebug(lcAutomation).noquote() << "passed over:" << MessageLog::shortened(lines_[i]);
        emit batchExecNext();
        return;
    }

    if (isWord(c, ":goto")) {
        const QString label = textArg(c);
        if (!jumpTo(label)) {
            failLine(QStringLiteral(":goto to the label \"%1\", which no line has: the line fails")
                         .arg(MessageLog::shortened(label)));
        } else if (++passes_[label] >= maxFlowPasses) {
            // Nothing but flow lines since the label was last passed: the loop would never end.
            qCCritical(lcAutomation).noquote() << QStringLiteral(
                "The batch jumped to the label \"%1\" %2 times without a command between: an "
                "endless loop, the batch stops")
                                                      .arg(MessageLog::shortened(label))
                                                      .arg(maxFlowPasses);
            lastOk_ = false;
            emit lineFailed();
            setRunning(false);
            return;
        }
        goOn();
        return;
    }
    if (isWord(c, ":end") || isWord(c, ":stop")) {
        setRunning(false);
        return;
    }
    if (isWord(c, ":echo")) {
        qCInfo(lcAutomation).noquote() << MessageLog::shortened(c.line);
        emit batchExecNext();
        return;
    }
    if (batchCommandIndex(c.cmd) < 0) {
        if (labels_.contains(c.cmd)) { // a label line: only a place to jump to
            emit batchExecNext();
            return;
        }
        failLine(QStringLiteral("\"%1\" is not a command: the line fails").arg(MessageLog::shortened(c.cmd)));
        emit batchExecNext();
        return;
    }
    qCInfo(lcAutomation).noquote() << "cmd" << MessageLog::shortened(c.cmd);
    passes_.clear();
    lastOk_ = true;
    awaiting_ = true;
    emit batchExCmd(c);
}
