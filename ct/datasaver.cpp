#include "ct/datasaver.h"

// Qt
#include <QDebug>
#include <QDir>

// Local
#include "ct/atomicfile.h"

DataSaver::DataSaver(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<SavingData *>();
    qRegisterMetaType<SavingImg *>();
    qRegisterMetaType<SubFolderRule>();
}

void DataSaver::saveData(SavingData *data)
{
    for (const QString &dir : targetDirs(data->dir, data->tag, data->sliceText, rule_)) {
        const QString path = QDir(dir).absoluteFilePath(ctFileName(data->name, data->tag, data->sliceText,
                                                                   QStringLiteral("dat")));
        QString error;
        if (writeFileAtomically(path, data->contents, &error)) {
            emit wrote(path);
        } else {
            qDebug().noquote() << "Can't save data file :" << path << QStringLiteral("(%1)").arg(error);
            emit writeFailed(false, path);
        }
    }
}

void DataSaver::saveImg(SavingImg *img)
{
    for (const QString &dir : targetDirs(img->dir, img->tag, img->sliceText, rule_)) {
        const QString path = QDir(dir).absoluteFilePath(ctFileName(img->name, img->tag, img->sliceText,
                                                                   QStringLiteral("png")));
        QString error;
        if (writeImageAtomically(path, img->image, &error)) {
            emit wrote(path);
        } else {
            qDebug().noquote() << "Can't save image file :" << path << QStringLiteral("(%1)").arg(error);
            emit writeFailed(true, path);
        }
    }
}

void DataSaver::saveDataWDiscard(SavingData *data)
{
    saveData(data);
    delete data;
}

void DataSaver::saveImgWDiscard(SavingImg *img)
{
    saveImg(img);
    delete img;
}
