// quorvel-recon: the reconstruction without a window, for servers, scripts and clusters.

// Qt
#include <QCoreApplication>
#include <QTextStream>

// Local
#include "recon/reconoptions.h"
#include "recon/reconrun.h"
#include "recon/seriesrun.h"
#include "xafs/alignoptions.h"
#include "xafs/seriesaligner.h"

namespace {

int reconMain(QTextStream &out, QTextStream &err)
{
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
    if (options.inTasks()) {
        const int status = SeriesRun(options, out, err).exec();
        if (!options.align || options.listSets || options.listTasks)
            return status;
        // The series ends with its energies aligned, once every set is done.
        if (status != 0) {
            err << "quorvel-recon: the energies are not aligned: not every set of the series was "
                   "reconstructed"
                << Qt::endl;
            return status;
        }
        AlignOptions align;
        align.series = options.outDir;
        align.out = options.outDir;
        align.threads = options.threads;
        return alignSeries(align, out, err, QStringLiteral("quorvel-recon"));
    }
    ReconRun run(options, out, err);
    return run.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // Memory that runs out where no job catches it ends the job as failed, never with an abort.
    try {
        return reconMain(out, err);
    } catch (const std::bad_alloc &) {
        err << "quorvel-recon: not enough memory: the job failed" << Qt::endl;
        return 1;
    }
}
