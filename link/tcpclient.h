#pragma once

// Qt
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// Local
#include "link/linesplitter.h"

/// A line-oriented TCP client. While enabled it keeps one connection to one host and port, trying
/// again once a second after a failed attempt or a lost connection; it hands on every non-empty
/// received line and writes outgoing messages in Latin-1. It knows nothing of the messages: a
/// derived class gives it the endpoint and reads the lines.
/// runs on: the main thread (its socket and retry timer too).
/// \test tst_zelmaplink.cpp
class TcpClient : public QObject
{
    Q_OBJECT
public:
    static constexpr int defaultRetryInterval = 1000; // ms

    explicit TcpClient(QObject *parent = nullptr);
    ~TcpClient() override;

    /// The link is wanted: keep (re)connecting.
    bool enabled() const { return enabled_; }
    /// The socket has reported its connection and not yet its loss.
    bool isConnected() const { return isConnected_; }
    const QString &host() const { return host_; }
    int port() const { return port_; }
    /// Attempts are being repeated on the retry timer.
    bool isRetrying() const { return retryTimer_.isActive(); }
    /// Tests shorten the pause between attempts; the program keeps `defaultRetryInterval`.
    void setRetryInterval(int ms) { retryTimer_.setInterval(ms); }
    int retryInterval() const { return retryTimer_.interval(); }

signals:
    /// A flag changed or a connection attempt was just started; read the flags for the state.
    void statChanged();
    /// One received non-empty line, without its line feed (a CR before it is kept).
    void receiveAnMsg(const QByteArray &msg);

public slots:
    /// Enables the link and starts a connection attempt now.
    void doConnect();
    /// Disables the link and closes the connection.
    void doDisconnect();
    /// Writes one message (the caller supplies the line end); dropped while not connected.
    void send(const QString &msg);

protected:
    /// Written once by the derived class, before the first attempt.
    void setEndpoint(const QString &host, int port);

protected slots:
    /// Cuts what the socket has delivered into lines and hands them on.
    virtual void readyRead();

private slots:
    void connected();
    void disconnected();
    void tryReconnect();
    void socketError(QAbstractSocket::SocketError error);

private:
    void startAttempt();
    QString endpointText() const;

    QTcpSocket socket_;
    QString host_;
    int port_ = 0;
    bool enabled_ = false;
    bool isConnected_ = false;
    QTimer retryTimer_;
    LineSplitter buffer_;
    QString lastError_; // reported once until the next connection
};
