#pragma once

// Qt
#include <QDateTime>
#include <QObject>
#include <QString>

// C++
#include <deque>

/// One line of the program's debug output, as the window's "Messages" pane shows it.
struct LogMessage
{
    enum Level { Info, Problem, Error };

    QDateTime time; // when it was written, not when it arrived
    QtMsgType type = QtDebugMsg;
    QString text;
    Level level = Info;
};
Q_DECLARE_METATYPE(LogMessage)

/// The program's messages, collected for the window. Every qDebug() (and qWarning(), ...) of any
/// thread still goes to standard error and is also handed, by a queued call, to this log on the
/// main thread, which keeps the newest `maxKept` of them and announces each one. Nothing needs
/// registering: whoever writes to qDebug() is heard, also before the window exists (start-up and
/// configuration messages are shown when the pane opens).
///
/// Failures are written with qDebug() throughout the program, so a message counts as a problem by
/// its wording (see `levelOf`); qWarning() is a problem and qCritical()/qFatal() an error by type.
/// \test tst_messagelog.cpp
class MessageLog : public QObject
{
    Q_OBJECT
public:
    static constexpr size_t maxKept = 5000;

    /// Installs the message handler (once per process) and creates the log. Call it on the main
    /// thread: the log lives on the thread that installs it.
    static MessageLog *install();
    /// The log, or nullptr before `install`.
    static MessageLog *instance();

    /// Info, Problem or Error: by type, and for debug and info messages by their wording.
    static LogMessage::Level levelOf(QtMsgType type, const QString &text);
    /// "hh:mm:ss.zzz  text", the line the pane shows and copies.
    static QString lineOf(const LogMessage &message);

    /// Oldest first.
    const std::deque<LogMessage> &messages() const { return messages_; }
    /// The newest message of level Problem or Error; an empty text when there is none.
    LogMessage lastProblem() const { return lastProblem_; }
    void clear();

signals:
    void added(const LogMessage &message);
    /// A message of level Problem or Error arrived.
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
