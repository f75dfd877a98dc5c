#include "automation/batchcmd.h"

// Local
#include "config/linetokenizer.h"
#include <cmath>

BatchCmd parseBatchCmd(const QString &line)
{
    BatchCmd c;
    c.line = line;
    QString rest = takeItem(line, c.cmd);
    if (c.cmd.isEmpty())
        return c;
    for (;;) {
        QString item;
        rest = takeItem(rest, item);
        if (item.isEmpty())
            break;
        c.args.append(item);
    }
    return c;
}

bool flagArg(const BatchCmd &cmd, int n)
{
    return intArg(cmd, n) == 1;
}

int intArg(const BatchCmd &cmd, int n)
{
    return n >= 0 && n < cmd.args.size() ? cmd.args[n].toInt() : 0;
}

double realArg(const BatchCmd &cmd, int n)
{
    if (n < 0 || n >= cmd.args.size())
        return 0.0;
    const double v = cmd.args[n].toDouble();
    return std::isfinite(v) ? v : 0.0;
}

QString textArg(const BatchCmd &cmd, int n)
{
    return n >= 0 && n < cmd.args.size() ? cmd.args[n] : QString();
}
