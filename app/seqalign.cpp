// The end of a sequential run: the series aligned across energies in the data files' folder, and
// the run's outcome.

#include "app/seqcontroller.h"

// Qt
#include <QDebug>
#include <QThread>

// Local
#include "app/windowlog.h"
#include "app/windowparts.h"
#include "ct/ui/selectsavedir.h"
#include "ui_body.h"
#include "widgets/progressline.h"
#include "widgets/statestyles.h"

QString SequenceController::alignProblem() const
{
    const Ui_Body &ui = parts_.ui;
    if (!ui.SeqAlign->isChecked())
        return {};
    if (!ui.AutoSaveData->isChecked() && !ui.AutoSaveTiff->isChecked())
        return tr("Align energies reads the slices saved: save the data files or Float TIFF");
    if (!ui.SaveInSubFolders->isChecked() || !ui.SubOfEnergy->isChecked())
        return tr("Align energies needs a folder per energy: save in sub-folders \"of Energy\"");
    if (ui.SelectDataSaveDir->dir().isEmpty())
        return tr("Align energies needs the data files' folder");
    return {};
}

void SequenceController::startAlignment()
{
    state_.aligning = true;
    parts_.ui.SeqCalc->setEnabled(false); // an alignment cannot be stopped half-way: its files stay whole
    AlignOptions options;
    options.series = parts_.ui.SelectDataSaveDir->dir();
    options.out = options.series;
    options.threads = std::max(1, QThread::idealThreadCount());
    parts_.progress->begin(tr("Align energies"), 1);
    parts_.ui.ProgressMsg->setText(tr("Aligning energies"));
    qCInfo(lcWindow).noquote() << tr("Align energies: %1").arg(options.series);
    emit alignSeries(options);
}

void SequenceController::alignLine(const QString &text, AlignRunner::Level level)
{
    const QString line = tr("Align energies: %1").arg(text);
    parts_.ui.ProgressMsg->setText(text);
    switch (level) {
    case AlignRunner::Level::Info:
        qCInfo(lcWindow).noquote() << line;
        break;
    case AlignRunner::Level::Warning:
        qCWarning(lcWindow).noquote() << line;
        break;
    case AlignRunner::Level::Failure:
        qCCritical(lcWindow).noquote() << line;
        break;
    }
}

void SequenceController::alignStep(int done, int total)
{
    if (parts_.progress->timeLeft().total() != total)
        parts_.progress->begin(tr("Align energies"), total);
    parts_.progress->advance(done);
}

void SequenceController::alignFinished(const JobOutcome &outcome, int status)
{
    state_.aligning = false;
    parts_.ui.SeqCalc->setEnabled(true);
    if (status == 0 && outcome.ok()) {
        ++state_.outcome.done;
        state_.alignedSeries = parts_.ui.SelectDataSaveDir->dir();
    } else {
        ++state_.outcome.failed;
        ++parts_.tally.otherFailures; // the sets' own failures are counted where they arise
        state_.outcome.problems << tr("energies not aligned: %1").arg(outcome.failures(tr("energies")));
        if (state_.outcome.why.isEmpty())
            state_.outcome.why = outcome.why;
        // Energies that did fit are still in aligned.h5: the tab may take them.
        state_.alignedSeries = outcome.done > 0 ? parts_.ui.SelectDataSaveDir->dir() : QString();
    }
    endRun();
}

void SequenceController::endRun()
{
    const JobOutcome &o = state_.outcome;
    parts_.ui.SeqCalc->setStyleSheet(ButtonStyle::idle);
    if (o.ok()) {
        qCInfo(lcWindow).noquote() << tr("Seq. Calc.: %1").arg(o.counts());
        if (o.asked > state_.setsAsked)
            parts_.progress->finish();
    } else {
        qCCritical(lcWindow).noquote() << tr("Seq. Calc.: %1 (%2)").arg(o.counts(), o.why.isEmpty() ? o.failures() : o.why);
        if (o.asked > state_.setsAsked)
            parts_.progress->fail(o.state());
    }
    emit sequenceEnded(o);
}
