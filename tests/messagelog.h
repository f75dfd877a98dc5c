#pragma once

// Qt
#include <QString>
#include <QStringList>
#include <QtGlobal>

/// Records every debug message while it lives (instead of printing it), so that a test can check
/// that exactly the expected messages were written and no others. For messages of the main thread.
class MessageLog
{
public:
    MessageLog()
    {
        current() = this;
        previous_ = qInstallMessageHandler(&MessageLog::record);
    }
    ~MessageLog()
    {
        qInstallMessageHandler(previous_);
        current() = nullptr;
    }
    MessageLog(const MessageLog &) = delete;
    MessageLog &operator=(const MessageLog &) = delete;

    const QStringList &messages() const { return messages_; }
    void clear() { messages_.clear(); }

private:
    static MessageLog *&current()
    {
        static MessageLog *log = nullptr;
        return log;
    }
    static void record(QtMsgType, const QMessageLogContext &, const QString &text)
    {
        if (MessageLog *log = current())
            log->messages_ << text;
    }

    QtMessageHandler previous_ = nullptr;
    QStringList messages_;
};
