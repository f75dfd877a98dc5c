#pragma once

// Qt
#include <QPointer>

// Local
#include "link/tcpclient.h"

class QAbstractButton;

/// The link to the 2dZelmap viewer: greets it, asks it to load the data files of a slice or to run
/// its 2D analysis ("2DA") on one, and follows its busy state from its "ISBUSY" lines. One request
/// at a time: a request made while the viewer is taken to be busy is not sent; it greets the viewer
/// again instead, which clears the busy state and resets the window's link control.
/// \test tst_zelmaplink.cpp
class ZelmapLink : public TcpClient
{
    Q_OBJECT
public:
    /// The endpoint comes from the configuration key "2dZelmap"; nothing is connected yet.
    explicit ZelmapLink(QObject *parent = nullptr);
    ~ZelmapLink() override;

    /// Colours `button` for the link state from now on; its click connects.
    void setLinkButton(QAbstractButton *button);
    /// The upper-cased command the viewer last reported finished; empty while it is busy.
    const QString &lastFinished() const { return lastFinished_; }
    bool isBusy() const { return isBusy_; }

signals:
    /// The viewer has just been greeted.
    void connected();
    void changedIsBusy(bool f);
    /// A request was not sent: the viewer was taken to be busy, was not connected, or there was
    /// nothing to send.
    void requestRefused(const QString &what);

public slots:
    void receiveAnMsg(const QByteArray &msg);
    /// Asks the viewer to load every "*.dat" of `path` (a directory ending in a backslash).
    void loadFilesOfPattern(const QString &path);
    /// Asks the viewer to load the files; an empty list is a refused request.
    void loadFiles(const QStringList &fileList);
    /// Asks the viewer to run 2DA on the slice (five-digit text, sent unchanged).
    void exec2dA(const QString &sliceNo);

private slots:
    void statChanged();
    void setLinkButtonStyle();

private:
    /// True when a request may go out now; it then counts the viewer as busy.
    bool takeRequest(const QString &what, const QStringList &paths);

    QString lastFinished_;
    bool isBusy_ = false;
    QPointer<QAbstractButton> linkButton_;
};
