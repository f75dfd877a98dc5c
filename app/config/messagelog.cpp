#include "app/config/messagelog.h"

// Qt
#include <QRegularExpression>

// C++
#include <atomic>

namespace {

std::atomic<MessageLog *> theLog {nullptr};
QtMessageHandler previousHandler = nullptr; // written once, on the main thread, before any use

// Failures are written as plain debug messages; these words mark them.
const QRegularExpression &problemWords()
{
    static const QRegularExpression words(
        QStringLiteral("\\b(can'?t|can not|cannot|could not|couldn'?t|unable|fail\\w*|error\\w*|refus\\w*|"
                       "reject\\w*|mismatch\\w*|unsupported|unknown|invalid|illegal|wrong|differs?|missing|"
                       "no such|no sinogram|shorter than|out of (range|bounds)|outside|"
                       "too (large|small|long|short|many|few)|timed? ?out|lost|"
                       "not (read|used|found|ready|written|saved|loaded|opened|open|accessible))\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return words;
}

} // namespace

MessageLog *MessageLog::install()
{
    if (MessageLog *log = theLog.load())
        return log;
    qRegisterMetaType<LogMessage>();
    // Never deleted: threads may still write while the process ends, and a queued call to a
    // living object that no event loop serves any more is simply dropped.
    auto *log = new MessageLog;
    theLog.store(log);
    previousHandler = qInstallMessageHandler(&MessageLog::handle);
    return log;
}

MessageLog *MessageLog::instance()
{
    return theLog.load();
}

void MessageLog::handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (previousHandler)
        previousHandler(type, context, text); // standard error keeps every message
    // Anything the hand-over itself might write must not come round again.
    thread_local bool handing = false;
    MessageLog *log = theLog.load();
    if (!log || handing)
        return;
    handing = true;
    LogMessage message {QDateTime::currentDateTime(), type, text, LogMessage::Info};
    // Always queued, also on the log's own thread: messages arrive in the order they were posted
    // and never re-enter whoever is writing them.
    QMetaObject::invokeMethod(
        log, [log, message] { log->append(message); }, Qt::QueuedConnection);
    handing = false;
}

LogMessage::Level MessageLog::levelOf(QtMsgType type, const QString &text)
{
    switch (type) {
    case QtCriticalMsg:
    case QtFatalMsg:
        return LogMessage::Error;
    case QtWarningMsg:
        return LogMessage::Problem;
    default: {
        // File names say nothing about the message: "/data/failed_runs/ct_0001.img" is no failure.
        static const QRegularExpression paths(QStringLiteral("\\S*[/\\\\]\\S*"));
        QString words = text;
        words.replace(paths, QStringLiteral(" "));
        return problemWords().match(words).hasMatch() ? LogMessage::Problem : LogMessage::Info;
    }
    }
}

QString MessageLog::lineOf(const LogMessage &message)
{
    return message.time.toString(QStringLiteral("hh:mm:ss.zzz")) + QStringLiteral("  ") + message.text;
}

void MessageLog::clear()
{
    messages_.clear();
    lastProblem_ = LogMessage();
}

void MessageLog::append(LogMessage message)
{
    // Classified here, on one thread: the pattern is not shared between threads.
    message.level = levelOf(message.type, message.text);
    messages_.push_back(message);
    while (messages_.size() > maxKept)
        messages_.pop_front();
    emit added(message);
    if (message.level != LogMessage::Info) {
        lastProblem_ = message;
        emit problem(message);
    }
}
