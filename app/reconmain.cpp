// quorvel-recon: the reconstruction without a window, for servers, scripts and clusters.

// Qt
#include <QCoreApplication>
#include <QTextStream>

// Local
#include "recon/reconoptions.h"
#include "recon/reconrun.h"
#include "recon/seriesrun.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QLatin1String("-h")) || args.contains(QLatin1String("--help"))) {
        out << reconUsage();
        return 0;
    }
    ReconOptions options;
    QString error;
    if (!parseReconOptions(args, options, error)) {
        err << "quorvel-recon: " << error << "\n\n" << reconUsage();
        return 2;
    }
    if (options.inTasks())
        return SeriesRun(options, out, err).exec();
    ReconRun run(options, out, err);
    return run.exec();
}
