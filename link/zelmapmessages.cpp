#include "link/zelmapmessages.h"

// Qt
#include <QDebug>

// Local
#include "config/configstore.h"
#include "config/linetokenizer.h"
#include "link/linklog.h"
#include <algorithm>

namespace zelmap {

QString helloMsg()
{
    return QStringLiteral("myName quorvel\n");
}

QString loadFilesOfPatternMsg(const QString &dirPath)
{
    return QStringLiteral("%1 new %2 *.dat\n").arg(loadPatternCmd, dirPath);
}

QString loadFilesMsg(const QStringList &files)
{
    return QStringLiteral("%1 new %2\n").arg(loadFilesCmd, files.join(QLatin1Char(' ')));
}

QString exec2dAMsg(const QString &sliceNo)
{
    return QStringLiteral("%1 %2\n").arg(exec2dACmd, sliceNo);
}

QStringList pathsTheWireBreaks(const QStringList &paths)
{
    QStringList broken;
    for (const QString &path : paths) {
        const bool blank = std::any_of(path.cbegin(), path.cend(), [](QChar c) { return c.isSpace(); });
        const bool beyondLatin1
            = std::any_of(path.cbegin(), path.cend(), [](QChar c) { return c.unicode() > 0xff; });
        if (blank || beyondLatin1)
            broken << path;
    }
    return broken;
}

Endpoint parseEndpoint(const QString &text)
{
    Endpoint endpoint;
    QString portText;
    takeItem(takeItem(text, endpoint.host), portText);
    if (portText.isEmpty()) {
        endpoint.port = 6078;
        return endpoint;
    }
    bool ok = false;
    const int port = portText.toInt(&ok, 10);
    if (ok && port >= 1 && port <= 65535) {
        endpoint.port = port;
    } else {
        qCWarning(lcLink).noquote() << QStringLiteral(
            "2dZelmap : %1 is not a TCP port (1 to 65535); the link cannot connect")
                                    .arg(portText);
    }
    return endpoint;
}

QString configuredEndpointText()
{
    const QString key = QStringLiteral("2dZelmap");
    const QStringList &lines = ConfigStore::instance().lines();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        QString first;
        const QString rest = takeItem(*it, first);
        if (first == key)
            return rest;
    }
    return configValue(key, defaultEndpoint);
}

} // namespace zelmap
