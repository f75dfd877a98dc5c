// quorvel-standin: a stand-in for the 2dZelmap viewer, to try the link without the viewer.

// Qt
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QTextStream>

// Local
#include "tools/standin/standinviewer.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser cl;
    cl.setApplicationDescription(QStringLiteral(
        "Listens like the 2dZelmap viewer, logs every line it receives and answers each request with "
        "\"ISBUSY 1\" and, after a delay, \"ISBUSY 0 <COMMAND>\"."));
    cl.addHelpOption();
    const QCommandLineOption port({QStringLiteral("p"), QStringLiteral("port")},
        QStringLiteral("Port to listen on (default 6078)."), QStringLiteral("PORT"), QStringLiteral("6078"));
    const QCommandLineOption delay({QStringLiteral("d"), QStringLiteral("delay")},
        QStringLiteral("Milliseconds from \"ISBUSY 1\" to the finishing line (default 500)."),
        QStringLiteral("MS"), QStringLiteral("500"));
    const QCommandLineOption lower(QStringLiteral("lower"), QStringLiteral("Replies in lower case."));
    const QCommandLineOption crlf(QStringLiteral("crlf"), QStringLiteral("Replies end in CR LF."));
    const QCommandLineOption garbage(
        QStringLiteral("garbage"), QStringLiteral("A garbage line before every reply."));
    const QCommandLineOption split(QStringLiteral("split"), QStringLiteral("Every reply in two pieces."));
    const QCommandLineOption noLf(QStringLiteral("no-lf"), QStringLiteral("Replies without their line end."));
    const QCommandLineOption never(
        QStringLiteral("never-finish"), QStringLiteral("Never reports a request finished."));
    const QCommandLineOption closeAfter(QStringLiteral("close-after"),
        QStringLiteral("Closes the connection when request N arrives."), QStringLiteral("N"),
        QStringLiteral("0"));
    const QCommandLineOption longLine(QStringLiteral("long-line"),
        QStringLiteral("Sends BYTES bytes without a line end to every new client."), QStringLiteral("BYTES"),
        QStringLiteral("0"));
    cl.addOptions({port, delay, lower, crlf, garbage, split, noLf, never, closeAfter, longLine});
    cl.process(app);

    QTextStream err(stderr);
    bool ok = false;
    const uint portValue = cl.value(port).toUInt(&ok);
    if (!ok || portValue < 1 || portValue > 65535) {
        err << "quorvel-standin: the port must be a number from 1 to 65535\n";
        return 2;
    }
    StandInViewer viewer;
    StandInViewer::Behaviour &b = viewer.behaviour();
    b.delayMs = std::max(0, cl.value(delay).toInt());
    b.lowerCase = cl.isSet(lower);
    b.crlf = cl.isSet(crlf);
    b.garbage = cl.isSet(garbage);
    b.split = cl.isSet(split);
    b.noLineEnd = cl.isSet(noLf);
    b.neverFinish = cl.isSet(never);
    b.closeAfter = std::max(0, cl.value(closeAfter).toInt());
    b.longLine = std::max<qsizetype>(0, cl.value(longLine).toLongLong());

    QTextStream out(stdout);
    QObject::connect(&viewer, &StandInViewer::log, &viewer, [&out](const QString &entry) {
        out << QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz ")) << entry << '\n';
        out.flush();
    });
    if (!viewer.listen(static_cast<quint16>(portValue), QHostAddress::Any)) {
        err << "quorvel-standin: can't listen on port " << portValue << ": " << viewer.errorString() << '\n';
        return 1;
    }
    out << "quorvel-standin listening on port " << viewer.port() << '\n';
    out.flush();
    return app.exec();
}
