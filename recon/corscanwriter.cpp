#include "recon/corscanwriter.h"

// Qt
#include <QDir>

// Local
#include "ct/atomicfile.h"
#include "ct/corscanfiles.h"
#include "ct/savenaming.h"

GreyScale fixedColourRange(double min, double max)
{
    return GreyScale {min, max, 0.0, 1.0, true};
}

CorScanWritten writeCorScan(const CorScanSchedule &scan, const CorScanTarget &target)
{
    CorScanWritten written;
    if (!QDir().mkpath(target.dir)) {
        written.problems << QStringLiteral("cannot make the folder %1").arg(target.dir);
        return written;
    }
    if (const QString why = saveNameProblem(target.name, target.tag); !why.isEmpty()) {
        written.problems << why;
        return written;
    }
    const std::vector<CorTrial> &trials = scan.trials();
    const int slice = scan.slice();
    const int best = scan.best();
    const auto write = [&](const char *suffix, const auto &writer) {
        const QString path
            = QDir(target.dir)
                  .filePath(corScanFileName(target.name, target.tag, slice, QString::fromLatin1(suffix)));
        QString error;
        if (writer(path, &error))
            written.paths << QDir::cleanPath(path);
        else
            written.problems << error;
    };
    write("txt", [&](const QString &path, QString *error) {
        return writeFileAtomically(path, corScanTable(trials, best, slice), error);
    });
    if (best < 0) {
        written.problems << QStringLiteral("no trial was reconstructed");
        return written;
    }
    QString why;
    const QByteArray tiff = corScanTiff(trials, slice, scan.pageRegion(), &why);
    if (tiff.isEmpty())
        written.problems << QStringLiteral("no TIFF file of the scan: %1").arg(why);
    else
        write("tif",
            [&](const QString &path, QString *error) { return writeFileAtomically(path, tiff, error); });
    const GreyScale scale
        = target.scale.value_or(corScanScale(trials[static_cast<size_t>(best)], scan.score()));
    const QImage sheet = corScanSheet(trials, best, scan.score(), scale);
    write(
        "png", [&](const QString &path, QString *error) { return writeImageAtomically(path, sheet, error); });
    return written;
}
