#include "recon/volumesaver.h"

// Local
#include "recon/reconlog.h"

QStringList runSettingItems(const RunParams &run)
{
    const auto n = [](double v) { return QString::number(v, 'g', 17); };
    return {
        QStringLiteral("axis=") + (run.rotAxIsV ? QStringLiteral("v") : QStringLiteral("h")),
        QStringLiteral("cor=") + n(run.cor),
        QStringLiteral("recorded-cors=")
            + (run.useRecordedCor ? QStringLiteral("%1:%2,%3:%4")
                                        .arg(run.recSlice1)
                                        .arg(n(run.recCor1))
                                        .arg(run.recSlice2)
                                        .arg(n(run.recCor2))
                                  : QStringLiteral("off")),
        QStringLiteral("angle-origin=") + n(run.angleOriginDeg),
        QStringLiteral("range=") + n(run.dataSetRangeDeg),
        QStringLiteral("images=%1").arg(run.dataSetImages),
        QStringLiteral("partial=")
            + (run.partial ? QStringLiteral("%1:%2").arg(run.partialStart).arg(run.partialImages)
                           : QStringLiteral("all")),
        QStringLiteral("single=") + (run.singlePrecision ? QStringLiteral("1") : QStringLiteral("0")),
        QStringLiteral("rings=") + stripeMethodWord(run.stripes.method)
            + (run.stripes.isOn() ? u' ' + stripeParamItems(run.stripes).join(u' ') : QString()),
    };
}

VolumeSaver::VolumeSaver(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<VolumeSlice>();
}

VolumeSaver::~VolumeSaver() = default;

void VolumeSaver::start(const QString &path, const VolumeLayout &layout)
{
    writer_ = std::make_unique<VolumeFileWriter>();
    failed_ = false;
    QString why;
    if (!writer_->start(path, layout, &why)) {
        writer_.reset();
        qCCritical(lcRecon).noquote() << "Can't save HDF5 file :" << path << QStringLiteral("(%1)").arg(why);
        emit writeFailed(path, why);
    }
}

void VolumeSaver::add(const VolumeSlice &slice)
{
    const qint64 bytes = qint64(slice.values.values.size() * sizeof(float));
    QString why;
    if (writer_ && !writer_->addSlice(slice.slice, slice.cor, slice.region, slice.values, &why) && !failed_) {
        failed_ = true;
        qCCritical(lcRecon).noquote()
            << "Can't save HDF5 file :" << writer_->path() << QStringLiteral("(%1)").arg(why);
        emit writeFailed(writer_->path(), why);
    }
    emit recordDone(bytes);
}

void VolumeSaver::finish()
{
    if (writer_) {
        const QString path = writer_->path();
        QString why;
        if (writer_->finish(&why)) {
            qCInfo(lcRecon).noquote() << "Saved HDF5 file :" << path;
            emit wrote(path);
        } else {
            qCCritical(lcRecon).noquote()
                << "Can't save HDF5 file :" << path << QStringLiteral("(%1)").arg(why);
            emit writeFailed(path, why);
        }
        writer_.reset();
    }
    emit recordDone(0);
}
