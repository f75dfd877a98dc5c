// The main window's side of sequential CT-XAFS runs: the data-set selector, the driver on its own
// thread, the I0 image chosen by energy, the energy tag of the saved files, the stage display and
// the manifest of the sets done.

// Qt
#include <QDebug>
#include <QDir>
#include <QThread>

// Local
#include "app/body.h"
#include "recon/dataseries.h"
#include "recon/seriesmanifestlock.h"
#include "automation/xafsbatch.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "widgets/statestyles.h"
#include "app/windowlog.h"

void Body::setUpSequence()
{
    xafsBatch_ = new XafsBatch;
    seqThread_ = new QThread(this);
    seqThread_->setObjectName(QStringLiteral("sequence"));
    xafsBatch_->moveToThread(seqThread_);

    SelectDataDir *sets = ui_.SelDDir;
    connect(sets, &SelectDataDir::newSets, this, &Body::newSets);
    connect(ui_.SeqCalc, &QPushButton::clicked, xafsBatch_, &XafsBatch::start);
    connect(xafsBatch_, &XafsBatch::setFirstImageSet, this, &Body::setFirstImageSet);
    connect(this, &Body::setFirstSet, sets, &SelectDataDir::setFirstSet);
    // The driver answers only the loads and calculations of its own run (see XafsBatch).
    connect(this, &Body::seqSetLoaded, xafsBatch_, &XafsBatch::loadedDataSet);
    connect(this, &Body::seqSetFailed, xafsBatch_, &XafsBatch::abort);
    connect(xafsBatch_, &XafsBatch::execCalculation, this, &Body::execSeqCalculation);
    connect(this, &Body::seqCalcFinished, xafsBatch_, &XafsBatch::calcFinished);
    connect(xafsBatch_, &XafsBatch::setNextImageSet, this, &Body::setNextImageSet);
    connect(this, &Body::setNextSet, sets, &SelectDataDir::setNextSet);
    connect(sets, &SelectDataDir::noMoreSets, xafsBatch_, &XafsBatch::noMoreSets);
    connect(xafsBatch_, &XafsBatch::starting, this, &Body::startingSeqCalc);
    connect(xafsBatch_, &XafsBatch::finished, this, &Body::finishedSeqCalc);
    connect(xafsBatch_, &XafsBatch::stage, this, &Body::noticedStage);
    connect(this, &Body::stage, this, &Body::noticedStage);
    connect(sets, &SelectDataDir::selected, this, &Body::selectedDir);
    connect(sets, &SelectDataDir::selectedFileInfoList, this, &Body::selectedFileInfoList);
    connect(ui_.SelI0Files, &SelectDataFiles::filesSelected, this, &Body::i0FilesSelected);
    seqThread_->start();
}

void Body::newSets(int count)
{
    if (ui_.keepOnNewSet->isChecked())
        return;
    ui_.SeqCalcFrom->setValue(1);
    ui_.SeqCalcTo->setValue(count);
}

void Body::setFirstImageSet()
{
    // Sets that share a tag would overwrite each other's files: the run does not start.
    const QString clashes = ui_.SelDDir->clashesIn(ui_.SeqCalcFrom->value() - 1, ui_.SeqCalcTo->value() - 1);
    if (!clashes.isEmpty()) {
        const QString why = tr("Seq. Calc. refused: the files of sets that share a tag would overwrite each "
                               "other (sets %1)")
                                .arg(clashes);
        qCCritical(lcWindow).noquote() << why;
        emit seqSetFailed(why);
        return;
    }
    emit setFirstSet(ui_.SeqCalcFrom->value() - 1);
}

void Body::setNextImageSet()
{
    emit setNextSet(ui_.SeqCalcTo->value() - 1);
}

void Body::startingSeqCalc()
{
    seqRunning_ = true;
    ++seqToken_; // the work of an earlier run, still under way, answers no longer
    seqCalcRequested_ = 0;
    seqClock_.start();
    ui_.SeqCalc->setStyleSheet(ButtonStyle::running);
}

void Body::finishedSeqCalc()
{
    seqRunning_ = false;
    ui_.SeqCalc->setStyleSheet(ButtonStyle::idle);
}

void Body::noticedStage(const QString &msg, qlonglong dEt)
{
    ui_.ProgressMsg->setText(msg);
    // Tenths of a second, cut towards zero.
    ui_.DeltaET->setText(QString::number((dEt / 100) / 10.0, 'g', 6));
    const qint64 total = seqClock_.isValid() ? seqClock_.elapsed() : 0;
    ui_.TotalET->setText(QString::number(total / 1000));
    // The stage is in the interface's language: so is the whole line, never half of it.
    qCInfo(lcWindow).noquote() << tr("Seq. Calc.: %1 (%2 s after the last stage, %3 s in all)")
                             .arg(msg)
                             .arg(ui_.DeltaET->text())
                             .arg(ui_.TotalET->text());
}

void Body::i0FilesSelected(const QStringList &files, bool clear)
{
    if (clear) {
        i0Energies_.clear();
        ui_.SelI0Files->clearFiles();
    }
    for (const QString &file : files) {
        i0Energies_.append(parseEnergyField(energyFieldOfName(file)).energy());
        ui_.SelI0Files->addFile(file);
    }
    ui_.SelDDir->setI0Energies(i0Energies_);
}

QString Body::chosenI0File() const
{
    const int k = nearestEnergy(std::span<const double>(i0Energies_.constData(), i0Energies_.size()),
        ui_.SelDDir->currentSetEnergy());
    if (k < 0 || k >= ui_.SelI0Files->count())
        return {};
    return ui_.SelI0Files->ui().Selected->itemText(k);
}

void Body::setI0FileFromList()
{
    // Without I0 files the I0 image held stays.
    const QString file = chosenI0File();
    if (!file.isEmpty())
        ui_.I0ImgSel->selectFile(file);
}

void Body::selectedDir(const QString &dir, const QStringList &patterns)
{
    QStringList files;
    for (const QFileInfo &f : seriesFiles(dir, patterns))
        files << f.absoluteFilePath();
    loadDataSet(files);
}

void Body::selectedFileInfoList(const QFileInfoList &fileInfoList)
{
    QStringList files;
    for (const QFileInfo &f : fileInfoList)
        files << f.absoluteFilePath();
    loadDataSet(files);
}

void Body::loadDataSet(const QStringList &files)
{
    setApplied_ = true;
    if (loading_) { // never two loading chains
        emit seqSetFailed(
            tr("Data set %1 is not loaded: a load is in progress").arg(ui_.SelDDir->currentSetTitle()));
        return;
    }
    const QString title = ui_.SelDDir->currentSetTitle();
    // Missing projections would put the rest at the wrong angles; a tag that another set has, the
    // files over that set's.
    if (const QString problem = ui_.SelDDir->currentSetProblem(); !problem.isEmpty()) {
        refuseDataSet(tr("Data set %1 is not loaded: %2").arg(title, problem));
        return;
    }
    if (const QString doubt = ui_.SelDDir->currentSetDoubt(); !doubt.isEmpty())
        qCWarning(lcWindow).noquote() << QStringLiteral("Data set %1: %2").arg(title, doubt);
    // A set never goes on with the I0 image of the set before: the one it chooses must be read.
    const QString i0 = chosenI0File();
    setI0FileFromList();
    if (!i0.isEmpty()) {
        const ImgData *img = ui_.I0ImgSel->img().get();
        if (!img || img->fileName() != i0) {
            refuseDataSet(tr("Data set %1 is not loaded: its I0 image %2 cannot be read").arg(title, i0));
            return;
        }
    }
    const QString tag = ui_.SelDDir->currentSetTag();
    ui_.SelectImageSaveDir->setTag(tag);
    ui_.SelectDataSaveDir->setTag(tag);
    setLoad_ = true;
    setLoadTitle_ = title;
    ManifestEntry entry;
    const int index = ui_.SelDDir->currentIndex();
    if (index >= 0 && static_cast<size_t>(index) < ui_.SelDDir->series().size()) {
        const SeriesSet &set = ui_.SelDDir->series()[static_cast<size_t>(index)];
        entry.set = index + 1;
        entry.name = set.name;
        entry.energy = set.energy;
    }
    entry.tag = tag;
    if (!i0.isEmpty()) {
        entry.i0 = QFileInfo(i0).absoluteFilePath();
        entry.i0Energy = i0Energies_.value(ui_.SelI0Files->ui().Selected->findText(i0));
    }
    entry.images = static_cast<int>(files.size());
    entry.settings = QStringLiteral("window");
    setEntry_ = entry;
    // A data set is always a whole new series: added to the last one, or its first file taken many
    // times, it would be reconstructed with the wrong angles.
    dataFilesSelected(files, true);
}

void Body::refuseDataSet(const QString &why)
{
    qCCritical(lcWindow).noquote() << why;
    // The driver ends its run with it; a batch line waiting for the set fails.
    emit seqSetFailed(why);
    if (!seqRunning_)
        emit stage(why, 0);
}

void Body::dataSetLoadFinished()
{
    if (!setLoad_)
        return;
    setLoad_ = false;
    const int loaded = loadAdded_;
    // A scan file stands for many images: the set is whole when nothing was refused.
    if (loaded > 0 && notLoaded_.isEmpty()) {
        if (setEntry_)
            setEntry_->images = loaded; // a scan file's frames
        emit seqSetLoaded();
        return;
    }
    setEntry_.reset();
    refuseDataSet(loaded == 0 ? tr("Data set %1 loaded no image").arg(setLoadTitle_)
                              : tr("Data set %1 loaded %2 of %3 images")
                                    .arg(setLoadTitle_)
                                    .arg(loaded)
                                    .arg(loaded + notLoaded_.size()));
}

void Body::recordSeqSetRun()
{
    // Only a run on the images of the set, whose files went somewhere, is the set's.
    if (!setEntry_ || !run_.useCt2 || imgDatas_->count() != setEntry_->images || (!saveData_ && !saveImages_))
        return;
    ManifestEntry entry = *setEntry_;
    const JobOutcome &out = runOutcome_;
    const int step = std::max(1, std::abs(run_.sliceStep));
    entry.slices = run_.multiSlice
        ? sliceRangeText(run_.sliceFrom, run_.sliceTo, run_.sliceTo >= run_.sliceFrom ? step : -step)
        : sliceRangeText(run_.sliceNo, run_.sliceNo, 1);
    entry.files = runFilesWritten_;
    QStringList why;
    if (out.stopped)
        why << QStringLiteral("stopped");
    if (out.failed > 0)
        why << QStringLiteral("%1 slices failed").arg(out.failed);
    why << out.problems;
    entry.outcome
        = out.ok() ? QStringLiteral("done") : QStringLiteral("failed: ") + why.join(QStringLiteral(", "));
    const QString dir = (saveData_ ? ui_.SelectDataSaveDir : ui_.SelectImageSaveDir)->dir();
    const QString path = QDir(dir).filePath(manifestFileName());
    QString error;
    if (!recordManifestEntry(path, entry, &error)) {
        qCCritical(lcWindow).noquote() << QStringLiteral("The manifest of the series is not written: %1").arg(error);
        ++tally_.otherFailures;
    }
}

bool Body::seqExecSet()
{
    setApplied_ = false;
    ui_.SelDDir->set();
    return setApplied_;
}

void Body::execSeqCalculation()
{
    if (!seqRunning_)
        return;
    if (calculating_) { // someone else's run: this set would never be reconstructed
        emit seqSetFailed(tr("Seq. Calc. stopped: another calculation is running"));
        return;
    }
    seqCalcRequested_ = seqToken_;
    startCalcCt(); // waits, if need be, for a load or for the last run's slices
}

void Body::seqRunStarted()
{
    runSeqToken_ = seqCalcRequested_;
    seqCalcRequested_ = 0;
}

void Body::seqRunEnded()
{
    const int token = runSeqToken_;
    runSeqToken_ = 0;
    if (token != 0 && token == seqToken_)
        emit seqCalcFinished();
}

void Body::seqCalcCalledOff()
{
    if (seqCalcRequested_ == 0)
        return;
    seqCalcRequested_ = 0;
    emit seqSetFailed(tr("Seq. Calc. stopped: its calculation was called off"));
}
