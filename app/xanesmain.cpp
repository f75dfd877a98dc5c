// quorvel-xanes: a CT-XAFS series aligned across energies, without a window.

// Qt
#include <QCoreApplication>
#include <QTextStream>

// Local
#include "xafs/alignoptions.h"
#include "xafs/seriesaligner.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QLatin1String("-h")) || args.contains(QLatin1String("--help"))) {
        out << alignUsage();
        return 0;
    }
    AlignOptions options;
    QString error;
    if (!parseAlignOptions(args, options, error)) {
        err << "quorvel-xanes: " << error << "\n\n" << alignUsage();
        return 2;
    }
    return alignSeries(options, out, err, QStringLiteral("quorvel-xanes"));
}
