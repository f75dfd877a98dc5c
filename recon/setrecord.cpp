#include "recon/setrecord.h"

// Qt
#include <QDir>
#include <QStringList>

// Local
#include "recon/seriesmanifestlock.h"

QString manifestOutcome(const JobOutcome &out)
{
    if (out.ok())
        return QStringLiteral("done");
    QStringList parts;
    if (out.stopped)
        parts << QStringLiteral("stopped");
    if (out.failed > 0)
        parts << QStringLiteral("%1 slices failed").arg(out.failed);
    if (!out.why.isEmpty())
        parts << out.why;
    for (const QString &p : out.problems) {
        if (p != out.why && parts.size() < 4)
            parts << p;
    }
    if (parts.isEmpty())
        parts << QStringLiteral("%1 of %2 slices done").arg(out.done).arg(out.asked);
    return QStringLiteral("failed: ") + parts.join(QStringLiteral(", "));
}

bool recordInManifest(const QString &dir, const ManifestEntry &entry, QString *error)
{
    return recordManifestEntry(QDir(dir).filePath(manifestFileName()), entry, error);
}
