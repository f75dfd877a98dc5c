#pragma once

// Qt
#include <QDateTime>
#include <QObject>
#include <QString>

// C++
#include <deque>
#include <utility>

/// One line of the program's messages, as the window's "Messages" pane shows it.
struct LogMessage
{
    enum Level { Info, Warning, Error };

    QDateTime time; // when it was written, not when it arrived
    QtMsgType type = QtDebugMsg;
    QString text;
    Level level = Info;
    QString category; // the subsystem that wrote it ("qv.ct"); "default" for uncategorised messages
    QString english {}; // of a translated message, the English that standard error showed; else empty
};
Q_DECLARE_METATYPE(LogMessage)

/// The program's messages, collected for the window. Every message of any thread still goes to
/// standard error and is also handed, by a queued call, to this log on the main thread, which keeps
/// the newest `maxKept` of them and announces each one. Nothing needs registering: whoever writes a
/// message is heard, also before the window exists (start-up and configuration messages are shown
/// when the pane opens).
///
/// A message's severity is given where it arises, in its subsystem's logging category: qCInfo() is
/// information, qCWarning() a warning (a result missing or degraded, an input refused), qCCritical()
/// an error (a job that failed); qCDebug() detail only when QT_LOGGING_RULES turns it on. Standard
/// error shows the severity as a prefix ("warning: ", "error: ").
/// runs on: the main thread; its message handler is called on any thread and hands each message
/// over by a queued call.
/// \test tst_messagelog.cpp
class MessageLog : public QObject
{
    Q_OBJECT
public:
    static constexpr size_t maxKept = 5000;
    /// Longer messages are cut (see `shortened`): one line of the log never holds megabytes.
    static constexpr qsizetype maxLength = 1000;

    /// Installs the message handler (once per process) and creates the log. Call it on the main
    /// thread: the log lives on the thread that installs it.
    static MessageLog *install();
    /// The log, or nullptr before `install`.
    static MessageLog *instance();
    /// Standard error shows each message's severity (also without a log: the command line tool).
    /// A pattern the user set in QT_MESSAGE_PATTERN is kept.
    static void showSeverities();

    static LogMessage::Level levelOf(QtMsgType type);
    /// A message's text for standard error (English) and for the window (translated): `english`
    /// alone when the two are one, else both joined by `languageSeparator`, which `split` parts.
    static QString bilingual(const QString &english, const QString &shown);
    /// English and shown text of a message written with `bilingual` (both the text otherwise).
    static std::pair<QString, QString> split(const QString &text);
    static constexpr char16_t languageSeparator = 0x1f; // the unit separator: never in a message
    /// "hh:mm:ss.zzz  text" ("hh:mm:ss.zzz  warning: text"), the line the pane shows and copies.
    static QString lineOf(const LogMessage &message);
    /// `text` cut after `length` characters, with "… (N bytes)" telling how long it was.
    static QString shortened(const QString &text, qsizetype length = 200);

    /// Oldest first.
    const std::deque<LogMessage> &messages() const { return messages_; }
    /// The newest warning or error; an empty text when there is none.
    LogMessage lastProblem() const { return lastProblem_; }
    void clear();

signals:
    void added(const LogMessage &message);
    /// A warning or an error arrived.
    void problem(const LogMessage &message);

private:
    MessageLog() = default;
    /// The handler: any thread, for every message written anywhere.
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text);
    /// On the log's thread.
    void append(LogMessage message);

    std::deque<LogMessage> messages_;
    LogMessage lastProblem_;
};
