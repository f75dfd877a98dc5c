#include "config/messagelog.h"

// C++
#include <atomic>

namespace {

std::atomic<MessageLog *> theLog {nullptr};
QtMessageHandler previousHandler = nullptr; // written once, on the main thread, before any use

} // namespace

MessageLog *MessageLog::install()
{
    if (MessageLog *log = theLog.load())
        return log;
    qRegisterMetaType<LogMessage>();
    showSeverities();
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

void MessageLog::showSeverities()
{
    if (qEnvironmentVariableIsSet("QT_MESSAGE_PATTERN"))
        return;
    qSetMessagePattern(QStringLiteral(
        "%{if-warning}warning: %{endif}%{if-critical}error: %{endif}%{if-fatal}fatal: %{endif}%{message}"));
}

QString MessageLog::bilingual(const QString &english, const QString &shown)
{
    return shown == english ? english : english + QChar(languageSeparator) + shown;
}

std::pair<QString, QString> MessageLog::split(const QString &text)
{
    const qsizetype at = text.indexOf(QChar(languageSeparator));
    if (at < 0)
        return {text, text};
    return {text.left(at), text.mid(at + 1)};
}

void MessageLog::handle(QtMsgType type, const QMessageLogContext &context, const QString &whole)
{
    // Standard error keeps every message, in English where it has it; the window shows it translated.
    auto [english, shown] = split(whole);
    if (english.size() > maxLength)
        english = shortened(english, maxLength);
    const QString text = shown.size() > maxLength ? shortened(shown, maxLength) : shown;
    if (previousHandler)
        previousHandler(type, context, english);
    // Anything the hand-over itself might write must not come round again.
    thread_local bool handing = false;
    MessageLog *log = theLog.load();
    if (!log || handing)
        return;
    handing = true;
    LogMessage message {QDateTime::currentDateTime(), type, text, levelOf(type),
        QString::fromLatin1(context.category ? context.category : "default"),
        english == text ? QString() : english};
    // Always queued, also on the log's own thread: messages arrive in the order they were posted
    // and never re-enter whoever is writing them.
    QMetaObject::invokeMethod(
        log, [log, message] { log->append(message); }, Qt::QueuedConnection);
    handing = false;
}

LogMessage::Level MessageLog::levelOf(QtMsgType type)
{
    switch (type) {
    case QtCriticalMsg:
    case QtFatalMsg:
        return LogMessage::Error;
    case QtWarningMsg:
        return LogMessage::Warning;
    default:
        return LogMessage::Info;
    }
}

QString MessageLog::lineOf(const LogMessage &message)
{
    // The severity goes with a copied line, as it does on standard error.
    const QString prefix = message.level == LogMessage::Error ? QStringLiteral("error: ")
        : message.level == LogMessage::Warning                ? QStringLiteral("warning: ")
                                                              : QString();
    return message.time.toString(QStringLiteral("hh:mm:ss.zzz")) + QStringLiteral("  ") + prefix
        + message.text;
}

QString MessageLog::shortened(const QString &text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    qsizetype cut = length;
    if (cut > 0 && text.at(cut - 1).isHighSurrogate()) // never half a character
        --cut;
    return text.left(cut) + QStringLiteral("… (%1 bytes)").arg(text.toUtf8().size());
}

void MessageLog::clear()
{
    messages_.clear();
    lastProblem_ = LogMessage();
}

void MessageLog::append(LogMessage message)
{
    messages_.push_back(message);
    while (messages_.size() > maxKept)
        messages_.pop_front();
    emit added(message);
    if (message.level != LogMessage::Info) {
        lastProblem_ = message;
        emit problem(message);
    }
}
