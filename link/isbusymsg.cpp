#include "link/isbusymsg.h"

// Qt
#include <QStringList>

std::optional<IsBusyMsg> parseIsBusy(const QByteArray &line)
{
    const QStringList fields
        = QString::fromUtf8(line).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (fields.isEmpty() || fields.at(0).toUpper() != QLatin1String("ISBUSY"))
        return std::nullopt;
    IsBusyMsg msg;
    msg.hasFlag = fields.size() >= 2;
    if (msg.hasFlag) {
        bool ok = false;
        msg.busy = fields.at(1).toInt(&ok, 10) == 1 && ok;
    }
    if (!msg.busy && fields.size() >= 3)
        msg.finished = fields.at(2).toUpper();
    return msg;
}
