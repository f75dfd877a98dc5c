#include "automation/batch.h"

// Qt
#include <QDebug>
#include <QFile>
#include <QTextStream>

// Local
#include "config/linetokenizer.h"
#include "config/messagelog.h"
#include "config/specialfile.h"
#include "automation/batchlines.h"
#include "automation/automationlog.h"
#include <algorithm>

namespace {

bool isWord(const BatchCmd &c, const char *word)
{
    return c.cmd.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
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
    // A pipe or a device would block the opening or never end: only regular files are read.
    if (isSpecialFile(fileName)) {
        qCCritical(lcAutomation).noquote() << "Batch file is not a regular file, not read :" << fileName;
        emit loadFailed(fileName);
        return;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qCCritical(lcAutomation).noquote() << "Can't open batch file" << fileName;
        emit loadFailed(fileName);
        return;
    }
    // Read with a bound, so that neither a huge file nor an endless device is taken in whole; in
    // pieces, so that a small file does not cost a buffer of the bound.
    QByteArray text;
    while (text.size() <= maxFileSize) {
        const QByteArray piece = file.read(std::min<qint64>(64 * 1024, maxFileSize + 1 - text.size()));
        if (piece.isEmpty())
            break;
        text += piece;
    }
    if (text.size() > maxFileSize) {
        qCCritical(lcAutomation).noquote() << "Batch file is larger than 16 MiB, not read :" << fileName;
        emit loadFailed(fileName);
        return;
    }
    QStringList fileLines;
    QTextStream in(text);
    QString line;
    while (in.readLineInto(&line)) // "\n" and "\r\n" both end a line
        fileLines.append(line);
    lines_ = batchCommandLines(fileLines);
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
    qCInfo(lcAutomation).noquote() << "cmd" << MessageLog::shortened(c.cmd);

    // A condition that holds runs the rest of its line, read exactly as a line of its own would be
    // (its quoted texts keep their blanks).
    if (isWord(c, ":ifok") && lastOk_)
        c = parseBatchCmd(afterFirstItem(c.line));
    if (isWord(c, ":ifng") && !lastOk_)
        c = parseBatchCmd(afterFirstItem(c.line));

    if (isWord(c, ":goto")) {
        jumpTo(textArg(c)); // a missing label: the run goes on with the next line
        if (lines_.isEmpty())
            setRunning(false);
        else
            emit batchExecNext();
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
    lastOk_ = true;
    awaiting_ = true;
    emit batchExCmd(c);
}
