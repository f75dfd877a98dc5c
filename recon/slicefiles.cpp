#include "recon/slicefiles.h"

// Qt
#include <QDir>

// Local
#include "ct/savenaming.h"

SliceRecords sliceRecords(const SliceResult &result, const SaveTargets &targets)
{
    SliceRecords records;
    if (!result.reconstructed)
        return records;
    const QString slice = sliceText(result.slice);
    const SaveTargets::Target &d = targets.data;
    const auto add = [&](const QByteArray &bytes, const QString &extension) {
        if (bytes.isEmpty())
            records.missing.append(
                {QDir(d.dir).absoluteFilePath(ctFileName(d.name, d.tag, slice, extension)), result.problem});
        else
            records.data.push_back(SavingData {d.dir, d.name, d.tag, slice, bytes, extension});
    };
    if (d.on)
        add(result.dataText, QStringLiteral("dat"));
    if (targets.tiff)
        add(result.tiff, QStringLiteral("tif"));
    const SaveTargets::Target &i = targets.image;
    if (i.on && !result.image.isNull())
        records.image = SavingImg {i.dir, i.name, i.tag, slice, result.image};
    return records;
}
