#include "app/runcontroller.h"

// The ends of the window's slices: each result shown and handed to the saver, each failure counted,
// and the end of the run reported.

// Qt
#include <QDir>

// Local
#include "app/windowlog.h"
#include "app/windowparts.h"
#include "config/saidtext.h"
#include "ct/datasaver.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/ctdisp.h"
#include "ct/ui/selectsavedir.h"
#include "recon/reconoptions.h"
#include "recon/runplan.h"
#include "recon/volumesaver.h"
#include "recon/workerpool.h"
#include "ui_body.h"
#include "widgets/progressline.h"
#include "widgets/statestyles.h"
#include <algorithm>
#include <cmath>

void RunController::sliceDone(int index, SliceResult &&r)
{
    CtCalc2Ui *panel = panels_[static_cast<size_t>(index)];
    scheduler_.returned(index);
    if (!r.reconstructed) {
        qCWarning(lcWindow).noquote() << QV_SAID("CT2: %1").arg(r.problem);
        panel->showFailure(r.slice, r.problem);
        sliceFailed(r.slice, r.problem);
    } else {
        const Handed &handed = handed_[static_cast<size_t>(index)];
        if (!handed.regionIsSet) // the first slice's whole image becomes every panel's region
            panel->setCR(r.region.x0, r.region.z0, r.region.x1, r.region.z1);
        if (handed.show)
            panel->newImage(r.image, r.values, r.n, r.scale);
        // The records go to the saver whole: nothing of their data stays on this thread.
        SliceRecords records = takeSliceRecords(r, run_.saveTo);
        if (records.image)
            handToSaver(std::move(*records.image));
        for (SavingData &d : records.data)
            handToSaver(std::move(d));
        for (const auto &[path, why] : records.missing) {
            qCCritical(lcWindow).noquote()
                << (path.endsWith(QLatin1String(".tif")) ? QV_SAID("Can't save TIFF file : %1 (%2)")
                                                         : QV_SAID("Can't save data file : %1 (%2)"))
                       .arg(path, why);
            saveFailed(false, path);
        }
        if (run_.volumeOpen && !r.volume.values.empty())
            handToVolume(VolumeSlice {r.slice, r.cor, r.region, std::move(r.volume)});
        if (!r.image.isNull())
            parts_.ctDisp->addImg(r.slice, r.image);
    }
    panel->showEndTime(r.started, r.ended);
    if (isCalculating()) // slices of a stopped run are not this run's
        parts_.progress->advance(++run_.returned);
    execMultiCtCalc();
    emit workersRested();
}

void RunController::sliceFailed(int slice, const QString &why)
{
    ++parts_.tally.slicesFailed;
    if (!isCalculating())
        return;
    JobOutcome &out = run_.outcome;
    ++out.failed;
    if (run_.failedSlices.size() < 10)
        run_.failedSlices << slice;
    if (out.why.isEmpty())
        out.why = why;
}

void RunController::ct1Progressed(int done, int total)
{
    if (!isCalculating() || total <= 0)
        return;
    if (done == 0)
        parts_.progress->begin(tr("CT1 projections"), total);
    else
        parts_.progress->advance(done);
    showPercent(double(done) / total);
}

void RunController::handToSaver(SavingData &&record)
{
    // Counted before it leaves, so that a run ends only when the saver has written it.
    ++saving_.records;
    saving_.bytes += record.contents.size();
    QMetaObject::invokeMethod(
        saver_, [s = saver_, record = std::move(record)] { s->saveData(record); }, Qt::QueuedConnection);
}

void RunController::handToSaver(SavingImg &&record)
{
    ++saving_.records;
    saving_.bytes += record.image.sizeInBytes();
    QMetaObject::invokeMethod(
        saver_, [s = saver_, record = std::move(record)] { s->saveImg(record); }, Qt::QueuedConnection);
}

void RunController::startVolume()
{
    // NAME-TAG.h5 in the data files' folder, or in the tag's with sub-folders of energy.
    const RunParams &run = run_.params;
    const SaveTargets::Target &d = run_.saveTo.data;
    const bool ofEnergy = parts_.ui.SaveInSubFolders->isChecked() && parts_.ui.SubOfEnergy->isChecked();
    const QString folder = ofEnergy ? QDir(d.dir).filePath(d.tag) : d.dir;
    if (!QDir().mkpath(folder))
        qCWarning(lcWindow).noquote() << "Can't make the directory to save in :" << folder;
    run_.volumePath = QDir(folder).absoluteFilePath(volumeFileName(d.name, d.tag));
    VolumeLayout layout;
    const QList<int> slices
        = run.multiSlice ? sliceList(run.sliceFrom, run.sliceTo, run.sliceStep) : QList<int> {run.sliceNo};
    layout.slices.assign(slices.cbegin(), slices.cend());
    const int images = parts_.images->count();
    const SliceTask task = runSliceTask(run, images, slices.value(0), run.cor);
    const int rows = sinogramRows(task.sinogram, images);
    for (int i = 0; i < rows; ++i)
        layout.anglesDeg.push_back((task.angles.theta0 + i * task.angles.dTheta) * 180.0 / M_PI);
    layout.settings = runSettingItems(run);
    layout.settings << QStringLiteral("name=") + d.name << QStringLiteral("tag=") + d.tag;
    layout.program = QStringLiteral("quorvel");
    run_.volumeOpen = true;
    // Made afresh for the saver thread: nothing it holds stays shared with this one.
    QString path = QDir(folder).absoluteFilePath(volumeFileName(d.name, d.tag));
    QMetaObject::invokeMethod(
        volumeSaver_,
        [s = volumeSaver_, path = std::move(path), layout = std::move(layout)] { s->start(path, layout); },
        Qt::QueuedConnection);
}

void RunController::handToVolume(VolumeSlice &&slice)
{
    ++saving_.records;
    saving_.bytes += qint64(slice.values.values.size() * sizeof(float));
    QMetaObject::invokeMethod(
        volumeSaver_, [s = volumeSaver_, slice = std::move(slice)] { s->add(slice); }, Qt::QueuedConnection);
}

void RunController::finishVolume()
{
    run_.volumeOpen = false;
    // Counted like a record: a run ends when its file is renamed into place (or reported unfinished).
    ++saving_.records;
    QMetaObject::invokeMethod(
        volumeSaver_, [s = volumeSaver_] { s->finish(); }, Qt::QueuedConnection);
}

void RunController::saveFailed(bool image, const QString &)
{
    (image ? parts_.ui.SelectImageSaveDir : parts_.ui.SelectDataSaveDir)->setFailed(true);
    ++parts_.tally.filesNotWritten;
    // Every record of a run is written (or has failed) before the run ends.
    if (isCalculating()) {
        const int n = parts_.tally.filesNotWritten - run_.filesFailedBefore;
        run_.outcome.problems.removeIf(
            [](const QString &p) { return p.endsWith(QLatin1String(" not written")); });
        run_.outcome.problems << (n == 1 ? QStringLiteral("1 file not written")
                                         : QStringLiteral("%1 files not written").arg(n));
    }
}

void RunController::saverDone(qint64 bytes)
{
    saving_.records = std::max(0, saving_.records - 1);
    saving_.bytes = std::max<qint64>(0, saving_.bytes - bytes);
    execMultiCtCalc(); // hand out more slices, or end a run that waited for its files
}

void RunController::reportRunEnd()
{
    const JobOutcome &out = run_.outcome;
    // A line per run in the log: which calculator, how it ended, what was done and what failed.
    const SaidText how = out.stopped ? QV_SAID("%1 run stopped after %2 s")
        : out.ok()                   ? QV_SAID("%1 run finished after %2 s")
                                     : QV_SAID("%1 run failed after %2 s");
    SaidText said = how.arg(
        run_.params.useCt2 ? QStringLiteral("CT2") : QStringLiteral("CT1"), parts_.ui.CalcSpentT->text());
    // What follows the run's line (counts, the library's reasons) is the run library's, in English.
    QString ended;
    if (run_.params.useCt2)
        ended += QStringLiteral(": ") + out.counts(QStringLiteral("slices"));
    if (!run_.failedSlices.isEmpty()) {
        QStringList numbers;
        for (int slice : std::as_const(run_.failedSlices))
            numbers << QString::number(slice);
        if (out.failed > run_.failedSlices.size())
            numbers << QStringLiteral("...");
        ended += QStringLiteral(" (slice %1: %2)").arg(numbers.join(QStringLiteral(", ")), out.why);
    }
    if (!out.problems.isEmpty())
        ended += QStringLiteral("; ") + out.problems.join(QStringLiteral("; "));
    // Stopped by the operator with nothing failed is a warning: results asked for are missing.
    const bool failed = out.failed > 0 || !out.problems.isEmpty();
    said = SaidText::joined({said, SaidText::plain(ended)}, QString());
    if (out.ok())
        qCInfo(lcWindow).noquote() << said;
    else if (!failed)
        qCWarning(lcWindow).noquote() << said;
    else
        qCCritical(lcWindow).noquote() << said;

    if (out.ok()) {
        parts_.progress->finish();
        showPercent(1.0);
        parts_.ui.ProgPerCent->setStyleSheet(QString());
        return;
    }
    // The figure so far stays on the bar; the field says how the run ended.
    parts_.ui.ProgPerCent->setText(out.state());
    parts_.ui.ProgPerCent->setStyleSheet(failed ? ButtonStyle::failed : QString());
    if (failed)
        parts_.progress->fail(out.state());
    else
        parts_.progress->end(out.state());
}

QString RunController::closeReport() const
{
    if (state_ == State::Idle)
        return QString();
    return QStringLiteral("Run stopped at close: %1 of %2 slices written, %3 in work")
        .arg(std::max(0, run_.returned - run_.outcome.failed))
        .arg(run_.outcome.asked)
        .arg(slicesInProgress());
}
