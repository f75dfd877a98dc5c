#pragma once

// Qt
#include <QMutex>
#include <QRegularExpression>
#include <QStringList>
#include <QtGlobal>

/// Records every message (qDebug and the rest) sent while it lives, from any thread, instead of
/// letting Qt Test print it: a test can then say exactly which messages a call gives. (Qt Test's
/// failOnWarning sees warnings only, never the debug messages this program reports failures with.)
class DebugLog
{
public:
    DebugLog()
    {
        QMutexLocker lock(&mutex());
        current() = this;
        previous_ = qInstallMessageHandler(&DebugLog::handle);
    }
    ~DebugLog()
    {
        QMutexLocker lock(&mutex());
        qInstallMessageHandler(previous_);
        current() = nullptr;
    }
    DebugLog(const DebugLog &) = delete;
    DebugLog &operator=(const DebugLog &) = delete;

    QStringList messages() const
    {
        QMutexLocker lock(&mutex());
        return messages_;
    }
    void clear()
    {
        QMutexLocker lock(&mutex());
        messages_.clear();
    }
    /// How many recorded messages match `pattern`.
    qsizetype count(const QString &pattern) const
    {
        const QRegularExpression re(pattern);
        qsizetype n = 0;
        for (const QString &m : messages())
            n += re.match(m).hasMatch() ? 1 : 0;
        return n;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        QMutexLocker lock(&mutex());
        if (current())
            current()->messages_ << message;
    }
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static DebugLog *&current()
    {
        static DebugLog *log = nullptr;
        return log;
    }

    QtMessageHandler previous_ = nullptr;
    QStringList messages_;
};
