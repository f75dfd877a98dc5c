// The window's side of sequential CT-XAFS runs: the data-set selector, the driver on its own
// thread, the I0 image chosen by energy, the energy tag of the saved files, the stage display and
// the manifest of the sets done.

#include "app/seqcontroller.h"

// Qt
#include <QDebug>
#include <QDir>
#include <QThread>

// Local
#include "app/loadcontroller.h"
#include "app/runcontroller.h"
#include "app/windowlog.h"
#include "app/windowparts.h"
#include "automation/ui/selectdatadir.h"
#include "automation/xafsbatch.h"
#include "config/saidtext.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "imagedata/ui/selectaimgfile.h"
#include "imagedata/ui/selectdatafiles.h"
#include "recon/dataseries.h"
#include "recon/setrecord.h"
#include "ui_body.h"
#include "widgets/statestyles.h"
#include <cstdlib>

SequenceController::SequenceController(
    WindowParts &parts, LoadController &load, RunController &runs, QObject *parent)
    : QObject(parent)
    , parts_(parts)
    , load_(load)
    , runs_(runs)
{
    driver_ = new XafsBatch;
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("sequence"));
    driver_->moveToThread(thread_);

    SelectDataDir *sets = parts_.ui.SelDDir;
    connect(sets, &SelectDataDir::newSets, this, &SequenceController::newSets);
    connect(parts_.ui.SeqCalc, &QPushButton::clicked, driver_, &XafsBatch::start);
    // A set that fails ends the run: the run's outcome says so.
    connect(this, &SequenceController::setFailed, this, &SequenceController::setFailedInRun);
    connect(driver_, &XafsBatch::setFirstImageSet, this, &SequenceController::setFirstImageSet);
    connect(this, &SequenceController::setFirstSet, sets, &SelectDataDir::setFirstSet);
    // The driver answers only the loads and calculations of its own run (see XafsBatch).
    connect(this, &SequenceController::setLoaded, driver_, &XafsBatch::loadedDataSet);
    connect(this, &SequenceController::setFailed, driver_, &XafsBatch::abort);
    connect(driver_, &XafsBatch::execCalculation, this, &SequenceController::execCalculation);
    connect(this, &SequenceController::calcFinished, driver_, &XafsBatch::calcFinished);
    connect(driver_, &XafsBatch::setNextImageSet, this, &SequenceController::setNextImageSet);
    connect(this, &SequenceController::setNextSet, sets, &SelectDataDir::setNextSet);
    connect(sets, &SelectDataDir::noMoreSets, driver_, &XafsBatch::noMoreSets);
    connect(driver_, &XafsBatch::starting, this, &SequenceController::startingSeqCalc);
    connect(driver_, &XafsBatch::finished, this, &SequenceController::finishedSeqCalc);
    connect(driver_, &XafsBatch::stage, this, &SequenceController::noticedStage);
    connect(sets, &SelectDataDir::selected, this, &SequenceController::selectedDir);
    connect(sets, &SelectDataDir::selectedFileInfoList, this, &SequenceController::selectedFileInfoList);
    connect(
        parts_.ui.SelI0Files, &SelectDataFiles::filesSelected, this, &SequenceController::i0FilesSelected);
    // Another load: the images are no longer those of a data set of the selector.
    connect(&load_, &LoadController::selectionTaken, this, [this] {
        if (!state_.setLoad)
            state_.entry.reset();
    });
    thread_->start();

    aligner_ = new AlignRunner;
    alignThread_ = new QThread(this);
    alignThread_->setObjectName(QStringLiteral("alignment"));
    aligner_->moveToThread(alignThread_);
    connect(this, &SequenceController::alignSeries, aligner_, &AlignRunner::run);
    connect(aligner_, &AlignRunner::line, this, &SequenceController::alignLine);
    connect(aligner_, &AlignRunner::step, this, &SequenceController::alignStep);
    connect(aligner_, &AlignRunner::finished, this, &SequenceController::alignFinished);
    alignThread_->start();
}

SequenceController::~SequenceController()
{
    thread_->quit();
    thread_->wait();
    delete driver_;
    // An alignment under way is finished, its files complete, before the window goes.
    alignThread_->quit();
    alignThread_->wait();
    delete aligner_;
}

void SequenceController::newSets(int count)
{
    state_.volumes.clear(); // another series
    if (parts_.ui.keepOnNewSet->isChecked())
        return;
    parts_.ui.SeqCalcFrom->setValue(1);
    parts_.ui.SeqCalcTo->setValue(count);
}

void SequenceController::setFirstImageSet()
{
    // Sets that share a tag would overwrite each other's files: the run does not start.
    const QString clashes
        = parts_.ui.SelDDir->clashesIn(parts_.ui.SeqCalcFrom->value() - 1, parts_.ui.SeqCalcTo->value() - 1);
    if (!clashes.isEmpty()) {
        const QString why = tr("Seq. Calc. refused: the files of sets that share a tag would overwrite each "
                               "other (sets %1)")
                                .arg(clashes);
        qCCritical(lcWindow).noquote() << why;
        emit setFailed(why);
        return;
    }
    // An alignment that cannot find the series would fail only after hours of sets.
    if (const QString problem = alignProblem(); !problem.isEmpty()) {
        const QString why = tr("Seq. Calc. refused: %1").arg(problem);
        qCCritical(lcWindow).noquote() << why;
        emit setFailed(why);
        return;
    }
    emit setFirstSet(parts_.ui.SeqCalcFrom->value() - 1);
}

void SequenceController::setNextImageSet()
{
    emit setNextSet(parts_.ui.SeqCalcTo->value() - 1);
}

void SequenceController::startingSeqCalc()
{
    state_.running = true;
    ++state_.token; // the work of an earlier run, still under way, answers no longer
    state_.calcRequested = 0;
    state_.setsAsked = std::max(0, parts_.ui.SeqCalcTo->value() - parts_.ui.SeqCalcFrom->value() + 1);
    state_.outcome = JobOutcome {};
    state_.outcome.asked = state_.setsAsked + (parts_.ui.SeqAlign->isChecked() ? 1 : 0);
    clock_.start();
    parts_.ui.SeqCalc->setStyleSheet(ButtonStyle::running);
}

void SequenceController::finishedSeqCalc()
{
    state_.running = false;
    // The series is aligned only when every set of it is done.
    const JobOutcome &o = state_.outcome;
    if (parts_.ui.SeqAlign->isChecked() && o.failed == 0 && o.done == state_.setsAsked && state_.setsAsked > 0) {
        startAlignment();
        return;
    }
    state_.outcome.stopped = o.failed == 0 && o.done < state_.setsAsked; // the operator's second click
    if (parts_.ui.SeqAlign->isChecked())
        qCWarning(lcWindow).noquote() << tr("Align energies: not started, the data sets are not all done");
    endRun();
}

void SequenceController::setFailedInRun(const QString &why)
{
    if (!state_.running)
        return;
    ++state_.outcome.failed;
    if (state_.outcome.why.isEmpty())
        state_.outcome.why = why;
}

void SequenceController::noticedStage(const QString &msg, qlonglong dEt)
{
    parts_.ui.ProgressMsg->setText(msg);
    // Tenths of a second, cut towards zero.
    parts_.ui.DeltaET->setText(QString::number((dEt / 100) / 10.0, 'g', 6));
    const qint64 total = clock_.isValid() ? clock_.elapsed() : 0;
    parts_.ui.TotalET->setText(QString::number(total / 1000));
    // The stage is in the interface's language: so is the whole line, never half of it.
    qCInfo(lcWindow).noquote() << tr("Seq. Calc.: %1 (%2 s after the last stage, %3 s in all)")
                                      .arg(msg)
                                      .arg(parts_.ui.DeltaET->text())
                                      .arg(parts_.ui.TotalET->text());
}

void SequenceController::i0FilesSelected(const QStringList &files, bool clear)
{
    if (clear) {
        i0Energies_.clear();
        parts_.ui.SelI0Files->clearFiles();
    }
    for (const QString &file : files) {
        i0Energies_.append(parseEnergyField(energyFieldOfName(file)).energy());
        parts_.ui.SelI0Files->addFile(file);
    }
    parts_.ui.SelDDir->setI0Energies(i0Energies_);
}

QString SequenceController::chosenI0File() const
{
    const int k = nearestEnergy(std::span<const double>(i0Energies_.constData(), i0Energies_.size()),
        parts_.ui.SelDDir->currentSetEnergy());
    if (k < 0 || k >= parts_.ui.SelI0Files->count())
        return {};
    return parts_.ui.SelI0Files->ui().Selected->itemText(k);
}

void SequenceController::setI0FileFromList()
{
    // Without I0 files the I0 image held stays.
    const QString file = chosenI0File();
    if (!file.isEmpty())
        parts_.ui.I0ImgSel->selectFile(file);
}

void SequenceController::selectedDir(const QString &dir, const QStringList &patterns)
{
    QStringList files;
    for (const QFileInfo &f : seriesFiles(dir, patterns))
        files << f.absoluteFilePath();
    loadDataSet(files);
}

void SequenceController::selectedFileInfoList(const QFileInfoList &fileInfoList)
{
    QStringList files;
    for (const QFileInfo &f : fileInfoList)
        files << f.absoluteFilePath();
    loadDataSet(files);
}

void SequenceController::loadDataSet(const QStringList &files)
{
    state_.setApplied = true;
    if (load_.isLoading()) { // never two loading chains
        emit setFailed(
            tr("Data set %1 is not loaded: a load is in progress").arg(parts_.ui.SelDDir->currentSetTitle()));
        return;
    }
    const QString title = parts_.ui.SelDDir->currentSetTitle();
    // Missing projections would put the rest at the wrong angles; a tag that another set has, the
    // files over that set's.
    if (const QString problem = parts_.ui.SelDDir->currentSetProblem(); !problem.isEmpty()) {
        refuseDataSet(tr("Data set %1 is not loaded: %2").arg(title, problem));
        return;
    }
    if (const QString doubt = parts_.ui.SelDDir->currentSetDoubt(); !doubt.isEmpty())
        qCWarning(lcWindow).noquote() << QV_SAID("Data set %1: %2").arg(title, doubt);
    // A set never goes on with the I0 image of the set before: the one it chooses must be read.
    const QString i0 = chosenI0File();
    setI0FileFromList();
    if (!i0.isEmpty()) {
        const ImgData *img = parts_.ui.I0ImgSel->img().get();
        if (!img || img->fileName() != i0) {
            refuseDataSet(tr("Data set %1 is not loaded: its I0 image %2 cannot be read").arg(title, i0));
            return;
        }
    }
    const QString tag = parts_.ui.SelDDir->currentSetTag();
    parts_.ui.SelectImageSaveDir->setTag(tag);
    parts_.ui.SelectDataSaveDir->setTag(tag);
    state_.setLoad = true;
    state_.setTitle = title;
    ManifestEntry entry;
    const int index = parts_.ui.SelDDir->currentIndex();
    if (index >= 0 && static_cast<size_t>(index) < parts_.ui.SelDDir->series().size()) {
        const SeriesSet &set = parts_.ui.SelDDir->series()[static_cast<size_t>(index)];
        entry.set = index + 1;
        entry.name = set.name;
        entry.energy = set.energy;
    }
    entry.tag = tag;
    if (!i0.isEmpty()) {
        entry.i0 = QFileInfo(i0).absoluteFilePath();
        entry.i0Energy = i0Energies_.value(parts_.ui.SelI0Files->ui().Selected->findText(i0));
    }
    entry.images = static_cast<int>(files.size());
    entry.settings = QStringLiteral("window");
    state_.entry = entry;
    // A data set is always a whole new series: added to the last one, or its first file taken many
    // times, it would be reconstructed with the wrong angles.
    load_.dataFilesSelected(files, true);
}

void SequenceController::refuseDataSet(const QString &why)
{
    qCCritical(lcWindow).noquote() << why;
    // The driver ends its run with it; a batch line waiting for the set fails.
    emit setFailed(why);
    if (!state_.running)
        emit stage(why, 0);
}

void SequenceController::loadEnded()
{
    if (!state_.setLoad)
        return;
    state_.setLoad = false;
    const int loaded = load_.added();
    const QStringList &refused = load_.refused();
    // A scan file stands for many images: the set is whole when nothing was refused.
    if (loaded > 0 && refused.isEmpty()) {
        if (state_.entry)
            state_.entry->images = loaded; // a scan file's frames
        emit setLoaded();
        return;
    }
    state_.entry.reset();
    refuseDataSet(loaded == 0 ? tr("Data set %1 loaded no image").arg(state_.setTitle)
                              : tr("Data set %1 loaded %2 of %3 images")
                                    .arg(state_.setTitle)
                                    .arg(loaded)
                                    .arg(loaded + refused.size()));
}

void SequenceController::recordRun()
{
    // Only a run on the images of the set, whose files went somewhere, is the set's.
    const RunParams &run = runs_.params();
    const SaveTargets &to = runs_.saveTargets();
    if (!state_.entry || !run.useCt2 || parts_.images->count() != state_.entry->images || !to.any())
        return;
    ManifestEntry entry = *state_.entry;
    const int step = std::max(1, std::abs(run.sliceStep));
    entry.slices = run.multiSlice
        ? sliceRangeText(run.sliceFrom, run.sliceTo, run.sliceTo >= run.sliceFrom ? step : -step)
        : sliceRangeText(run.sliceNo, run.sliceNo, 1);
    entry.files = runs_.filesWritten();
    entry.outcome = manifestOutcome(runs_.outcome());
    // The series' master file follows each set's volume (a set done again replaces its energy's).
    if (!runs_.volumeWritten().isEmpty()) {
        std::erase_if(state_.volumes, [&](const EnergyVolume &v) { return v.path == runs_.volumeWritten(); });
        state_.volumes.push_back({entry.energy, runs_.volumeWritten()});
        writeSeriesVolume();
    }
    QString error;
    if (!recordInManifest(to.data.on || to.tiff ? to.data.dir : to.image.dir, entry, &error)) {
        qCCritical(lcWindow).noquote()
            << QStringLiteral("The manifest of the series is not written: %1").arg(error);
        ++parts_.tally.otherFailures;
    }
}

bool SequenceController::applyCurrentSet()
{
    state_.setApplied = false;
    parts_.ui.SelDDir->set();
    return state_.setApplied;
}

void SequenceController::execCalculation()
{
    if (!state_.running)
        return;
    if (runs_.isCalculating()) { // someone else's run: this set would never be reconstructed
        emit setFailed(tr("Seq. Calc. stopped: another calculation is running"));
        return;
    }
    state_.calcRequested = state_.token;
    runs_.startCalcCt(); // waits, if need be, for a load or for the last run's slices
}

void SequenceController::runStarted()
{
    state_.runToken = state_.calcRequested;
    state_.calcRequested = 0;
}

void SequenceController::runEnded()
{
    const int token = state_.runToken;
    state_.runToken = 0;
    if (token != 0 && token == state_.token) {
        const JobOutcome &run = runs_.outcome();
        if (run.ok()) {
            ++state_.outcome.done;
        } else {
            ++state_.outcome.failed;
            if (state_.outcome.why.isEmpty())
                state_.outcome.why = tr("data set %1: %2").arg(state_.setTitle, run.failures(tr("slices")));
        }
        emit calcFinished();
    }
}

void SequenceController::calcCalledOff()
{
    if (state_.calcRequested == 0)
        return;
    state_.calcRequested = 0;
    emit setFailed(tr("Seq. Calc. stopped: its calculation was called off"));
}

void SequenceController::writeSeriesVolume()
{
    if (state_.volumes.empty())
        return;
    const QString path = QDir(runs_.saveTargets().data.dir).absoluteFilePath(QStringLiteral("series.h5"));
    QString error;
    if (writeSeriesMaster(path, state_.volumes, &error)) {
        qCInfo(lcWindow).noquote()
            << QV_SAID("Saved HDF5 file : %1 (%2 energies)").arg(path).arg(state_.volumes.size());
    } else {
        qCCritical(lcWindow).noquote() << QV_SAID("Can't save HDF5 file : %1 (%2)").arg(path, error);
        ++parts_.tally.filesNotWritten;
    }
}
