#include "xafs/alignrunner.h"

// Qt
#include <QRegularExpression>

// Local
#include "xafs/seriesaligner.h"

AlignRunner::AlignRunner(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<AlignOptions>();
    qRegisterMetaType<JobOutcome>();
}

void AlignRunner::run(const AlignOptions &options)
{
    // The aligner's progress lines begin "[done/total]".
    static const QRegularExpression counted(QStringLiteral("^\\[(\\d+)/(\\d+)\\]"));
    AlignReporter reporter;
    reporter.progress = [this](const QString &m) {
        emit line(m, Level::Info);
        const QRegularExpressionMatch match = counted.match(m);
        if (match.hasMatch())
            emit step(match.captured(1).toInt(), match.captured(2).toInt());
    };
    reporter.warning = [this](const QString &m) { emit line(m, Level::Warning); };
    reporter.failure = [this](const QString &m) { emit line(m, Level::Failure); };
    SeriesAligner aligner(options, reporter);
    const int status = aligner.exec();
    JobOutcome outcome = aligner.outcome();
    if (status != 0 && outcome.ok()) { // refused before any energy was counted
        outcome.asked = std::max(1, outcome.asked);
        outcome.failed = std::max(1, outcome.asked - outcome.done);
    }
    if (status != 0 && outcome.why.isEmpty())
        outcome.why = outcome.problems.value(0, QStringLiteral("the alignment failed"));
    emit finished(outcome, status);
}
