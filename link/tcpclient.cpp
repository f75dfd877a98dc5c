#include "link/tcpclient.h"

// Qt
#include <QDebug>

// Local
#include "config/messagelog.h"
#include "link/linklog.h"

TcpClient::TcpClient(QObject *parent)
    : QObject(parent)
{
    connect(&socket_, &QTcpSocket::connected, this, &TcpClient::connected);
    connect(&socket_, &QTcpSocket::disconnected, this, &TcpClient::disconnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &TcpClient::readyRead); // virtual call
    connect(&socket_, &QTcpSocket::errorOccurred, this, &TcpClient::socketError);
    connect(&retryTimer_, &QTimer::timeout, this, &TcpClient::tryReconnect);
    retryTimer_.setInterval(defaultRetryInterval);
}

TcpClient::~TcpClient()
{
    if (enabled_) {
        enabled_ = false;
        emit statChanged();
    }
    retryTimer_.stop();
    if (isConnected_)
        socket_.close();
    else
        socket_.abort();
}

void TcpClient::setEndpoint(const QString &host, int port)
{
    host_ = host;
    port_ = port;
}

QString TcpClient::endpointText() const
{
    return QStringLiteral("%1 %2").arg(host_).arg(port_);
}

void TcpClient::startAttempt()
{
    // An attempt still under way is left to finish: asking again would only be refused by the
    // socket. Connected sockets ignore the request likewise.
    if (socket_.state() != QAbstractSocket::UnconnectedState)
        return;
    socket_.connectToHost(
        host_, static_cast<quint16>(port_), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void TcpClient::doConnect()
{
    if (!enabled_) {
        enabled_ = true;
        emit statChanged();
    }
    startAttempt();
    emit statChanged();
}

void TcpClient::doDisconnect()
{
    if (enabled_) {
        enabled_ = false;
        emit statChanged();
    }
    retryTimer_.stop();
    if (isConnected_)
        socket_.close();
    else if (socket_.state() != QAbstractSocket::UnconnectedState)
        socket_.abort(); // an attempt under way must not connect a disabled link
}

void TcpClient::connected()
{
    retryTimer_.stop();
    buffer_.clear();
    lastError_.clear();
    qCInfo(lcLink).noquote() << QStringLiteral("Connected to %1").arg(endpointText());
    if (!isConnected_) {
        isConnected_ = true;
        emit statChanged();
    }
}

void TcpClient::disconnected()
{
    if (isConnected_) {
        isConnected_ = false;
        qCWarning(lcLink).noquote() << QStringLiteral("Connection to %1 closed").arg(endpointText());
        emit statChanged();
    }
    if (enabled_)
        retryTimer_.start();
}

void TcpClient::socketError(QAbstractSocket::SocketError)
{
    if (isConnected_)
        return; // a lost connection is reported by `disconnected`
    const QString why = socket_.errorString();
    if (why != lastError_) { // once per kind of failure, not on every retry
        lastError_ = why;
        // A viewer that is not running yet is the usual case, not a fault: said once, as information.
        // The toolkit words the reason in the interface's language: so is the whole line.
        qCInfo(lcLink).noquote() << tr("Can't connect to %1 : %2 (trying again every %3 ms)")
                                 .arg(endpointText(), why)
                                 .arg(retryTimer_.interval());
    }
    // A first attempt that fails keeps the link trying, as a lost connection does: the viewer is
    // often started after this program.
    if (enabled_ && !retryTimer_.isActive())
        retryTimer_.start();
}

void TcpClient::tryReconnect()
{
    if (enabled_ && !isConnected_) {
        if (socket_.state() == QAbstractSocket::UnconnectedState) {
            qCDebug(lcLink).noquote() << QStringLiteral("trying %1 again").arg(endpointText());
            startAttempt();
            emit statChanged();
        }
        return;
    }
    retryTimer_.stop();
    if (!enabled_ && isConnected_)
        socket_.close();
}

void TcpClient::readyRead()
{
    const QByteArray bytes = socket_.readAll();
    const QList<QByteArray> lines = buffer_.feed(bytes);
    for (const QByteArray &line : lines) {
        // A peer's line may be megabytes long: the log gets its beginning and its length.
        qCInfo(lcLink).noquote() << QStringLiteral("rec: ") + MessageLog::shortened(QString::fromUtf8(line));
        if (!line.isEmpty())
            emit receiveAnMsg(line);
    }
}

void TcpClient::send(const QString &msg)
{
    if (!isConnected_)
        return;
    QString shown = msg;
    if (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    qCInfo(lcLink).noquote() << QStringLiteral("snd: ") + MessageLog::shortened(shown);
    socket_.write(msg.toLatin1());
}
