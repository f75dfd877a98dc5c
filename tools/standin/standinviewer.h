#pragma once

// Qt
#include <QHostAddress>
#include <QObject>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

/// A stand-in for the 2dZelmap viewer, for tests and demonstrations: it listens, records every line
/// it receives, and answers each load or 2DA request with "ISBUSY 1" and, after a delay,
/// "ISBUSY 0 <COMMAND>". It can misbehave on request to show how the program copes.
/// \test tst_bodylink.cpp, tst_zelmaplink.cpp
class StandInViewer : public QObject
{
    Q_OBJECT
public:
    struct Behaviour
    {
        int delayMs = 200; // from "ISBUSY 1" to the finishing line
        bool lowerCase = false; // replies in lower case
        bool crlf = false; // replies end in CR LF
        bool garbage = false; // a line of garbage before every reply
        bool split = false; // every reply in two writes, the line end in the second
        bool noLineEnd = false; // replies without their line end
        bool neverFinish = false; // never reports a request finished
        int closeAfter = 0; // closes the connection at this request (1, 2, ...); 0 never
        qsizetype longLine = 0; // this many bytes, sent to every new client
        bool endLongLine = false; // ... followed by a line end
    };

    explicit StandInViewer(QObject *parent = nullptr);

    /// Port 0 picks a free one.
    bool listen(quint16 port = 0, const QHostAddress &address = QHostAddress::LocalHost);
    quint16 port() const;
    QString errorString() const;
    Behaviour &behaviour() { return behaviour_; }

    /// Every line received, in order, line ends removed.
    const QStringList &received() const { return received_; }
    /// The requests received (lines other than the greeting).
    int requests() const { return requests_; }
    int connections() const { return connections_; }
    /// Drops every client (the listener stays).
    void closeConnections();
    /// Stops listening and drops every client.
    void close();

signals:
    void lineReceived(const QString &line);
    /// A request was reported finished with "ISBUSY 0 <command>".
    void finished(const QString &command);
    /// One line for a log: "< " what arrived, "> " what was sent, "* " events.
    void log(const QString &entry);

private:
    void newClient();
    void answer(QTcpSocket *client, const QString &command);
    void reply(QTcpSocket *client, const QString &text);

    QTcpServer *server_;
    Behaviour behaviour_;
    QStringList received_;
    int requests_ = 0;
    int connections_ = 0;
};
