// quorvel-xanes: a CT-XAFS series aligned across energies and its chemical-state maps, without a window.

// Qt
#include <QCoreApplication>
#include <QTextStream>

// Local
#include "xafs/xanesoptions.h"
#include "xafs/xanesrun.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QLatin1String("-h")) || args.contains(QLatin1String("--help"))) {
        out << xanesUsage();
        return 0;
    }
    XanesOptions options;
    QString error;
    if (!parseXanesOptions(args, options, error)) {
        err << "quorvel-xanes: " << error << "\n\n" << xanesUsage();
        return 2;
    }
    return runXanes(options, out, err, QStringLiteral("quorvel-xanes"));
}
