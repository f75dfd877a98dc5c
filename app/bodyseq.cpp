// The main window's side of sequential CT-XAFS runs: the data-set selector, the driver on its own
// thread, the I0 image chosen by energy, the energy tag of the saved files and the stage display.

// Qt
#include <QDebug>
#include <QThread>

// Local
#include "app/body.h"
#include "automation/dataseries.h"
#include "automation/xafsbatch.h"
#include "imagedata/imgdatas.h"
#include "widgets/statestyles.h"

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
    qInfo().noquote() << tr("Seq. Calc.: %1 (%2 s after the last stage, %3 s in all)")
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
}

void Body::setI0FileFromList()
{
    const int k = nearestEnergy(std::span<const double>(i0Energies_.constData(), i0Energies_.size()),
        ui_.SelDDir->currentSetEnergy());
    // Without I0 files the I0 image held stays.
    if (k < 0 || k >= ui_.SelI0Files->count())
        return;
    ui_.I0ImgSel->selectFile(ui_.SelI0Files->ui().Selected->itemText(k));
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
    if (loading_) { // never two loading chains
        emit seqSetFailed(
            tr("Data set %1 is not loaded: a load is in progress").arg(ui_.SelDDir->currentSetTitle()));
        return;
    }
    setI0FileFromList();
    const QString tag = ui_.SelDDir->currentSetTag();
    ui_.SelectImageSaveDir->setTag(tag);
    ui_.SelectDataSaveDir->setTag(tag);
    setLoad_ = true;
    setLoadFiles_ = files.size();
    setLoadTitle_ = ui_.SelDDir->currentSetTitle();
    // A data set is always a whole new series: added to the last one, or its first file taken many
    // times, it would be reconstructed with the wrong angles.
    dataFilesSelected(files, true);
}

void Body::dataSetLoadFinished()
{
    if (!setLoad_)
        return;
    setLoad_ = false;
    const int loaded = loadAdded_;
    if (loaded > 0 && loaded == setLoadFiles_) {
        emit seqSetLoaded();
        return;
    }
    const QString why = loaded == 0
        ? tr("Data set %1 loaded no image").arg(setLoadTitle_)
        : tr("Data set %1 loaded %2 of %3 images").arg(setLoadTitle_).arg(loaded).arg(setLoadFiles_);
    qCritical().noquote() << why;
    // The driver ends its run with it; a batch line waiting for the set fails.
    emit seqSetFailed(why);
    if (!seqRunning_)
        emit stage(why, 0);
}

bool Body::seqExecSet()
{
    setLoad_ = false;
    ui_.SelDDir->set();
    return setLoad_;
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
