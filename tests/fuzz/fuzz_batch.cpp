// Batch files on any bytes: the file read and cut into command lines (comments, continuations, INCLUDE
// of the input itself, a loop, or of another file of the scratch folder), each
// line parsed and its arguments read every way the commands read them, then the run itself with its
// flow words (conditions joined and split again, jumps, ends); the same bytes are also read as a
// setup file. The window's part is played by a handler that reports each line at once, failed or
// not by the command word, so both branches of ":ifok" / ":ifng" are taken. A run that loops is cut
// off after a bounded number of steps.

// Qt
#include <QFileInfo>

// Local
#include "automation/batch.h"
#include "automation/batchcmd.h"
#include "automation/batchcommands.h"
#include "automation/setupfile.h"
#include "tests/fuzz/fuzzsupport.h"
#include <cmath>

namespace {

constexpr int maxSteps = 200;

void readArguments(const BatchCmd &c)
{
    volatile double sink = 0;
    for (int n = -1; n <= c.args.size(); ++n) {
        sink = sink + (flagArg(c, n) ? 1 : 0) + intArg(c, n) + textArg(c, n).size();
        const double r = realArg(c, n);
        if (!std::isfinite(r)) // not-a-number and infinities read as 0
            __builtin_trap();
        sink = sink + r;
    }
    sink = sink + batchCommandIndex(c.cmd);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quiet();
    // INCLUDE names are relative to the working folder: the scratch folder's files.
    QDir::setCurrent(QFileInfo(fuzz::scratchPath(QStringLiteral("input.bat"))).absolutePath());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzz::writeScratch(QStringLiteral("input.bat"), data, size);
    Batch batch;
    batch.batchLoad(path);
    for (const QString &line : batch.lines())
        readArguments(parseBatchCmd(line));
    // The same bytes as a setup file: its lines, and the data each names looked for.
    QString why;
    for (const QString &line : readSetupLines(path, why).value_or(QStringList()))
        missingSetupData(parseBatchCmd(line));

    // The steps the run queues for itself are taken here, in a bounded loop, instead of by an event
    // loop.
    QObject::disconnect(&batch, &Batch::batchExecNext, &batch, &Batch::batchNext);
    bool stepAsked = false;
    QObject::connect(&batch, &Batch::batchExecNext, &batch, [&stepAsked] { stepAsked = true; });
    QObject::connect(&batch, &Batch::batchExCmd, &batch, [&batch](const BatchCmd &c) {
        readArguments(c);
        batch.setLastOk(c.cmd.size() % 2 == 0);
        batch.batchCheckEnd();
    });
    batch.batchExec();
    for (int steps = 0; batch.isRunning() && stepAsked && steps < maxSteps; ++steps) {
        stepAsked = false;
        batch.batchNext();
    }
    batch.batchStop();
    return 0;
}
