#include "link/ui/zelmaplink.h"

// Qt
#include <QAbstractButton>
#include <QDebug>

// Local
#include "link/isbusymsg.h"
#include "link/zelmapmessages.h"
#include "link/linklog.h"

ZelmapLink::ZelmapLink(QObject *parent)
    : TcpClient(parent)
{
    const zelmap::Endpoint endpoint = zelmap::parseEndpoint(zelmap::configuredEndpointText());
    setEndpoint(endpoint.host, endpoint.port);
    connect(this, &TcpClient::statChanged, this, &ZelmapLink::statChanged);
    connect(this, &TcpClient::receiveAnMsg, this, &ZelmapLink::receiveAnMsg);
}

ZelmapLink::~ZelmapLink()
{
    // The client's destruction still reports its state; this part of the object is gone by then.
    disconnect(this, &TcpClient::statChanged, this, &ZelmapLink::statChanged);
    disconnect(this, &TcpClient::receiveAnMsg, this, &ZelmapLink::receiveAnMsg);
}

void ZelmapLink::setLinkButton(QAbstractButton *button)
{
    linkButton_ = button;
    setLinkButtonStyle();
    if (button)
        connect(button, &QAbstractButton::clicked, this, &TcpClient::doConnect);
}

void ZelmapLink::statChanged()
{
    if (isConnected()) {
        send(zelmap::helloMsg());
        emit connected();
        if (isConnected() && isBusy_) {
            isBusy_ = false;
            emit changedIsBusy(false);
        }
    }
    setLinkButtonStyle();
}

void ZelmapLink::setLinkButtonStyle()
{
    if (!linkButton_)
        return;
    if (isConnected())
        linkButton_->setStyleSheet(QStringLiteral("background-color: rgb(211, 255, 241);"));
    else if (enabled())
        linkButton_->setStyleSheet(QStringLiteral("background-color: rgb(255, 243, 162);"));
    else
        linkButton_->setStyleSheet(QStringLiteral("background-color: rgb(176, 192, 192);"));
}

void ZelmapLink::receiveAnMsg(const QByteArray &msg)
{
    const std::optional<IsBusyMsg> m = parseIsBusy(msg);
    if (!m)
        return;
    // Receivers of changedIsBusy read lastFinished to learn what has just finished.
    lastFinished_ = m->finished;
    if (m->hasFlag && m->busy != isBusy_) {
        isBusy_ = m->busy;
        emit changedIsBusy(isBusy_);
    }
}

bool ZelmapLink::takeRequest(const QString &what, const QStringList &paths)
{
    if (isBusy_) {
        qCWarning(lcLink).noquote()
            << QStringLiteral("2dZelmap is taken to be busy: %1 is not sent; greeting it again").arg(what);
        emit requestRefused(what);
        statChanged();
        return false;
    }
    for (const QString &path : zelmap::pathsTheWireBreaks(paths)) {
        qCWarning(lcLink).noquote() << QStringLiteral(
            "2dZelmap will misread this path (blanks and characters beyond Latin-1 "
            "cannot be carried): %1")
                                    .arg(path);
    }
    if (!isConnected()) { // nothing would answer: the busy field would stay red for nothing
        qCWarning(lcLink).noquote() << QStringLiteral("2dZelmap is not connected: %1 is not sent").arg(what);
        emit requestRefused(what);
        return false;
    }
    isBusy_ = true;
    emit changedIsBusy(true);
    return true;
}

void ZelmapLink::loadFilesOfPattern(const QString &path)
{
    if (takeRequest(zelmap::loadPatternCmd, {path}))
        send(zelmap::loadFilesOfPatternMsg(path));
}

void ZelmapLink::loadFiles(const QStringList &fileList)
{
    if (fileList.isEmpty()) {
        qCWarning(lcLink).noquote() << QStringLiteral("No data files to load into 2dZelmap; greeting it again");
        emit requestRefused(zelmap::loadFilesCmd);
        statChanged();
        return;
    }
    if (takeRequest(zelmap::loadFilesCmd, fileList))
        send(zelmap::loadFilesMsg(fileList));
}

void ZelmapLink::exec2dA(const QString &sliceNo)
{
    if (takeRequest(zelmap::exec2dACmd, {}))
        send(zelmap::exec2dAMsg(sliceNo));
}
