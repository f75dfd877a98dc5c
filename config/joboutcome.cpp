#include "config/joboutcome.h"

// Qt
#include <QCoreApplication>

QString JobOutcome::counts(const QString &unit) const
{
    QString text = unit.isEmpty() ? QStringLiteral("%1 of %2 done").arg(done).arg(asked)
                                  : QStringLiteral("%1 of %2 %3 done").arg(done).arg(asked).arg(unit);
    if (failed > 0)
        text += QStringLiteral(", %1 failed").arg(failed);
    if (stopped)
        text += QStringLiteral(", stopped");
    return text;
}

QString JobOutcome::state() const
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("JobOutcome", text); };
    if (failed > 0)
        return tr("%1 failed").arg(failed);
    if (stopped)
        return tr("stopped");
    if (!problems.isEmpty())
        return tr("%1 not done").arg(problems.size());
    if (done < asked)
        return tr("%1 of %2").arg(done).arg(asked);
    return tr("done");
}

QString JobOutcome::failures(const QString &units) const
{
    QStringList what;
    if (stopped)
        what << QStringLiteral("stopped");
    if (failed > 0)
        what << QStringLiteral("%1 %2 failed").arg(failed).arg(units);
    what << problems;
    if (what.isEmpty() && done < asked)
        what << QStringLiteral("%1 of %2 %3 done").arg(done).arg(asked).arg(units);
    return what.join(QStringLiteral(", "));
}
