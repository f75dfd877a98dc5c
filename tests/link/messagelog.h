#pragma once

// Qt
#include <QStringList>
#include <QtGlobal>

/// Collects the debug messages written while it exists (the window shows them to the operator, so
/// tests check them).
class MessageLog
{
public:
    MessageLog()
    {
        messages_().clear();
        previous_ = qInstallMessageHandler(&MessageLog::collect);
    }
    ~MessageLog() { qInstallMessageHandler(previous_); }
    MessageLog(const MessageLog &) = delete;
    MessageLog &operator=(const MessageLog &) = delete;

    const QStringList &all() const { return messages_(); }
    QStringList startingWith(const QString &prefix) const
    {
        QStringList found;
        for (const QString &m : messages_()) {
            if (m.startsWith(prefix))
                found << m;
        }
        return found;
    }
    bool contains(const QString &part) const
    {
        for (const QString &m : messages_()) {
            if (m.contains(part))
                return true;
        }
        return false;
    }
    void clear() { messages_().clear(); }

private:
    static QStringList &messages_()
    {
        static QStringList messages;
        return messages;
    }
    static void collect(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        messages_() << message;
    }

    QtMessageHandler previous_ = nullptr;
};
