#include "tools/standin/standinviewer.h"

// Qt
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// Local
#include "link/linesplitter.h"
#include <memory>

StandInViewer::StandInViewer(QObject *parent)
    : QObject(parent)
    , server_(new QTcpServer(this))
{
    connect(server_, &QTcpServer::newConnection, this, &StandInViewer::newClient);
}

bool StandInViewer::listen(quint16 port, const QHostAddress &address)
{
    return server_->listen(address, port);
}

quint16 StandInViewer::port() const
{
    return server_->serverPort();
}

QString StandInViewer::errorString() const
{
    return server_->errorString();
}

void StandInViewer::closeConnections()
{
    for (QTcpSocket *client : server_->findChildren<QTcpSocket *>())
        client->disconnectFromHost();
}

void StandInViewer::close()
{
    server_->close();
    closeConnections();
}

void StandInViewer::newClient()
{
    while (QTcpSocket *client = server_->nextPendingConnection()) {
        ++connections_;
        emit log(QStringLiteral("* connection %1 from %2")
                     .arg(connections_)
                     .arg(client->peerAddress().toString()));
        auto splitter = std::make_shared<LineSplitter>();
        connect(client, &QTcpSocket::readyRead, this, [this, client, splitter] {
            for (const QByteArray &bytes : splitter->feed(client->readAll())) {
                QString line = QString::fromLatin1(bytes);
                if (line.endsWith(QLatin1Char('\r')))
                    line.chop(1);
                received_ << line;
                emit log(QStringLiteral("< ") + line);
                emit lineReceived(line);
                const QString command = line.section(QLatin1Char(' '), 0, 0);
                if (command != QLatin1String("myName") && !command.isEmpty())
                    answer(client, command);
                if (client->state() != QAbstractSocket::ConnectedState)
                    return;
            }
        });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QTcpSocket::disconnected, this,
            [this] { emit log(QStringLiteral("* connection closed")); });
        if (behaviour_.longLine > 0) {
            client->write(QByteArray(behaviour_.longLine, 'x') + (behaviour_.endLongLine ? "\n" : ""));
            emit log(QStringLiteral("> %1 bytes %2")
                         .arg(behaviour_.longLine)
                         .arg(behaviour_.endLongLine ? QStringLiteral("and a line end")
                                                     : QStringLiteral("without a line end")));
        }
    }
}

void StandInViewer::answer(QTcpSocket *client, const QString &command)
{
    ++requests_;
    if (behaviour_.closeAfter > 0 && requests_ == behaviour_.closeAfter) {
        emit log(QStringLiteral("* closing the connection at request %1").arg(requests_));
        client->disconnectFromHost();
        return;
    }
    reply(client, QStringLiteral("ISBUSY 1"));
    if (behaviour_.neverFinish)
        return;
    QPointer<QTcpSocket> target(client);
    QTimer::singleShot(behaviour_.delayMs, this, [this, target, command] {
        if (!target || target->state() != QAbstractSocket::ConnectedState)
            return;
        reply(target, QStringLiteral("ISBUSY 0 ") + command);
        emit finished(command);
    });
}

void StandInViewer::reply(QTcpSocket *client, const QString &text)
{
    const Behaviour &b = behaviour_;
    if (b.garbage) {
        client->write("\x01garbage \xff line ISBUSY? 7\n");
        emit log(QStringLiteral("> (a line of garbage)"));
    }
    const QString line = b.lowerCase ? text.toLower() : text;
    const QByteArray end = b.noLineEnd ? QByteArray() : b.crlf ? QByteArray("\r\n") : QByteArray("\n");
    emit log(QStringLiteral("> ") + line);
    client->write(line.toUtf8());
    if (b.split && !end.isEmpty()) {
        client->flush();
        QPointer<QTcpSocket> target(client);
        QTimer::singleShot(20, this, [target, end] {
            if (target)
                target->write(end);
        });
        return;
    }
    client->write(end);
}
