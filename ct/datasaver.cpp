#include "ct/datasaver.h"

// Qt
#include <QDebug>
#include <QDir>

// Local
#include "ct/atomicfile.h"
#include "ct/ctlog.h"

namespace {

template<class Write>
WriteReport writeEverywhere(const QString &dir, const QString &name, const QString &tag, const QString &slice,
    const QString &extension, const SubFolderRule &rule, Write write)
{
    WriteReport report;
    for (const QString &folder : targetDirs(dir, tag, slice, rule)) {
        const QString path = QDir(folder).absoluteFilePath(ctFileName(name, tag, slice, extension));
        QString error;
        if (write(path, error))
            report.written << path;
        else
            report.failed.append({path, error});
    }
    return report;
}

} // namespace

WriteReport writeRecord(const SavingData &r, const SubFolderRule &rule)
{
    return writeEverywhere(r.dir, r.name, r.tag, r.sliceText, r.extension, rule,
        [&r](const QString &path, QString &error) { return writeFileAtomically(path, r.contents, &error); });
}

WriteReport writeRecord(const SavingImg &r, const SubFolderRule &rule)
{
    return writeEverywhere(r.dir, r.name, r.tag, r.sliceText, QStringLiteral("png"), rule,
        [&r](const QString &path, QString &error) { return writeImageAtomically(path, r.image, &error); });
}

DataSaver::DataSaver(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<SavingData>();
    qRegisterMetaType<SavingImg>();
    qRegisterMetaType<SubFolderRule>();
}

void DataSaver::report(const WriteReport &report, bool image)
{
    for (const QString &path : report.written)
        emit wrote(path);
    for (const auto &[path, error] : report.failed) {
        qCCritical(lcCt).noquote() << (image ? "Can't save image file :" : "Can't save data file :") << path
                                   << QStringLiteral("(%1)").arg(error);
        emit writeFailed(image, path);
    }
}

void DataSaver::saveData(const SavingData &data)
{
    report(writeRecord(data, rule_), false);
    emit recordDone(data.contents.size());
}

void DataSaver::saveImg(const SavingImg &img)
{
    report(writeRecord(img, rule_), true);
    emit recordDone(img.image.sizeInBytes());
}
