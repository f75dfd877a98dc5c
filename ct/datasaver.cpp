#include "ct/datasaver.h"

// Qt
#include <QDebug>
#include <QDir>

// Local
#include "ct/atomicfile.h"
#include "ct/ctlog.h"
#include <type_traits>

DataSaver::DataSaver(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<SavingData *>();
    qRegisterMetaType<SavingImg *>();
    qRegisterMetaType<SubFolderRule>();
}

template<class Record, class Write> void DataSaver::writeEverywhere(const Record &r, bool image, Write write)
{
    QString extension = QStringLiteral("png");
    if constexpr (std::is_same_v<Record, SavingData>)
        extension = r.extension;
    for (const QString &dir : targetDirs(r.dir, r.tag, r.sliceText, rule_)) {
        const QString path = QDir(dir).absoluteFilePath(ctFileName(r.name, r.tag, r.sliceText, extension));
        QString error;
        if (write(path, error)) {
            emit wrote(path);
        } else {
            qCCritical(lcCt).noquote() << (image ? "Can't save image file :" : "Can't save data file :") << path
                                  << QStringLiteral("(%1)").arg(error);
            emit writeFailed(image, path);
        }
    }
}

void DataSaver::saveData(SavingData *data)
{
    writeEverywhere(*data, false, [data](const QString &path, QString &error) {
        return writeFileAtomically(path, data->contents, &error);
    });
}

void DataSaver::saveImg(SavingImg *img)
{
    writeEverywhere(*img, true, [img](const QString &path, QString &error) {
        return writeImageAtomically(path, img->image, &error);
    });
}

void DataSaver::saveDataWDiscard(SavingData *data)
{
    saveData(data);
    const qint64 bytes = data->contents.size();
    delete data;
    emit recordDone(bytes);
}

void DataSaver::saveImgWDiscard(SavingImg *img)
{
    saveImg(img);
    const qint64 bytes = img->image.sizeInBytes();
    delete img;
    emit recordDone(bytes);
}
