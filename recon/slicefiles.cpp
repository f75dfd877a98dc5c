#include "recon/slicefiles.h"

// Qt
#include <QDir>

// Local
#include "ct/savenaming.h"
#include <utility>

namespace {

// A copy of its own, not a share of the other's data.
QString own(const QString &text)
{
    return QString(text.constData(), text.size());
}

} // namespace

SliceRecords takeSliceRecords(SliceResult &result, const SaveTargets &targets)
{
    SliceRecords records;
    if (!result.reconstructed)
        return records;
    const QString slice = sliceText(result.slice);
    const SaveTargets::Target &d = targets.data;
    const auto add = [&](QByteArray &bytes, const QString &extension) {
        if (bytes.isEmpty())
            records.missing.append(
                {QDir(d.dir).absoluteFilePath(ctFileName(d.name, d.tag, slice, extension)), result.problem});
        else
            records.data.push_back(SavingData {
                own(d.dir), own(d.name), own(d.tag), slice, std::exchange(bytes, QByteArray()), extension});
    };
    if (d.on)
        add(result.dataText, QStringLiteral("dat"));
    if (targets.tiff)
        add(result.tiff, QStringLiteral("tif"));
    const SaveTargets::Target &i = targets.image;
    if (i.on && !result.image.isNull())
        records.image = SavingImg {own(i.dir), own(i.name), own(i.tag), slice, result.image};
    return records;
}
