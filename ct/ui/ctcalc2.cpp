#include "ct/ui/ctcalc2.h"

// Qt
#include <QDebug>
#include <QDir>

// Local
#include "ct/savenaming.h"
#include "ct/ctlog.h"

CtCalc2::CtCalc2(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<CtCalc2 *>();
    qRegisterMetaType<Ct2Job>();
    qRegisterMetaType<SliceValues>();
    qRegisterMetaType<GreyScale>();
    qRegisterMetaType<SavingData *>();
    qRegisterMetaType<SavingImg *>();
    qRegisterMetaType<CorTrial>();
}

void CtCalc2::setPanel(CtCalc2Ui *panel)
{
    panel_ = panel;
}

void CtCalc2::beginingCt()
{
    busy_.store(true);
    start_ = QDateTime::currentDateTime();
    emit beganSlice(job_.task.sinogram.slice, start_);
}

void CtCalc2::endingCt()
{
    busy_.store(false);
    emit endedSlice(start_, QDateTime::currentDateTime());
    emit calcFinished();
}

void CtCalc2::startCt(CtCalc2 *target, const Ct2Job &job)
{
    if (target != this || !panel_)
        return;
    job_ = job;
    beginingCt();

    SliceTask task = job.task;
    task.makeImage = false; // made below, when it is needed
    task.makeData = saveData_.save;
    task.makeTiff = saveTiff_;
    result_ = reconstructSlice(engine_, sinograms_, task);
    if (!result_.reconstructed) { // a data file that could not be made is reported by saveData
        qCWarning(lcCt).noquote() << "CT2:" << result_.problem;
        emit sliceFailed(task.sinogram.slice, result_.problem);
    }
    imageMade_ = false;
    if (result_.reconstructed) {
        if (!job.task.regionIsSet)
            emit regionInitialised(
                result_.region.x0, result_.region.z0, result_.region.x1, result_.region.z1);
        if (job.show)
            genResImage(job.task.scale);
        if (saveImage_.save)
            saveImage();
        if (saveData_.save)
            saveData();
        if (saveTiff_)
            saveTiff();
        if (imageMade_)
            emit ctImage(result_.slice, result_.image);
    }
    endingCt();
}

void CtCalc2::runTrial(const SliceTask &task, const CorScoreSetup &score)
{
    busy_.store(true);
    const CorTrial trial = runCorTrial(engine_, sinograms_, scorer_, task, score);
    result_.reconstructed = false; // the engine no longer holds the last slice: nothing to redraw
    emit trialFinished(trial);
    busy_.store(false);
    emit calcFinished();
}

void CtCalc2::genResImage(const GreyScale &scale)
{
    const int n = engine_.imageN();
    if (!result_.reconstructed || n < 1)
        return;
    engine_.minMax();
    result_.scale = scale;
    result_.scale.adoptRange(engine_.minimum(), engine_.maximum());
    result_.image = greyImage(engine_.image(), n, n, result_.scale);
    imageMade_ = true;
    if (job_.show) {
        auto values
            = std::make_shared<const std::vector<double>>(engine_.image().begin(), engine_.image().end());
        emit resultReady(result_.image, values, n, result_.scale);
    }
}

void CtCalc2::saveImage()
{
    if (!imageMade_)
        genResImage(job_.task.scale);
    if (!imageMade_)
        return;
    auto *record = new SavingImg {
        saveImage_.dir, saveImage_.name, saveImage_.tag, sliceText(result_.slice), result_.image};
    emit handedToSaver(record->image.sizeInBytes());
    emit saveImgWDiscard(record);
}

void CtCalc2::saveData()
{
    if (!result_.reconstructed)
        return;
    if (result_.dataText.isEmpty()) {
        const QString path = QDir(saveData_.dir)
                                 .absoluteFilePath(ctFileName(saveData_.name, saveData_.tag,
                                     sliceText(result_.slice), QStringLiteral("dat")));
        qCCritical(lcCt).noquote() << "Can't save data file :" << path
                              << QStringLiteral("(%1)").arg(result_.problem);
        emit writeFailed(false, path);
        return;
    }
    auto *record = new SavingData {
        saveData_.dir, saveData_.name, saveData_.tag, sliceText(result_.slice), result_.dataText};
    emit handedToSaver(record->contents.size());
    emit saveDataWDiscard(record);
}

void CtCalc2::saveTiff()
{
    const QString path = QDir(saveData_.dir)
                             .absoluteFilePath(ctFileName(saveData_.name, saveData_.tag,
                                 sliceText(result_.slice), QStringLiteral("tif")));
    if (result_.tiff.isEmpty()) {
        qCCritical(lcCt).noquote() << "Can't save TIFF file :" << path
                              << QStringLiteral("(%1)").arg(result_.problem);
        emit writeFailed(false, path);
        return;
    }
    auto *record = new SavingData {saveData_.dir, saveData_.name, saveData_.tag, sliceText(result_.slice),
        result_.tiff, QStringLiteral("tif")};
    emit handedToSaver(record->contents.size());
    emit saveDataWDiscard(record);
}

void CtCalc2::setSaveImage(bool save, const QString &path, const QString &name, const QString &tag)
{
    saveImage_ = SaveTarget {save, path, name, tag};
}

void CtCalc2::setSaveTiff(bool save)
{
    saveTiff_ = save;
}

void CtCalc2::setSaveData(bool save, const QString &path, const QString &name, const QString &tag)
{
    saveData_ = SaveTarget {save, path, name, tag};
}
