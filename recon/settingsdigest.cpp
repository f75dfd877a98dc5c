// The settings a run's files depend on, written out and digested: a series manifest records the
// digest, and --resume redoes a set whose files were written otherwise.

#include "recon/reconoptions.h"

// Qt
#include <QCryptographicHash>
#include <QFileInfo>

QStringList outputSettingItems(const ReconOptions &o)
{
    const auto n = [](double v) { return QString::number(v, 'g', 17); };
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    QString cor = o.cor ? n(*o.cor) : QStringLiteral("middle");
    if (o.guessCor)
        cor = QStringLiteral("guess ") + corMethodName(o.corMethod);
    else if (o.guessLine)
        cor = QStringLiteral("guess-line %1 %2").arg(*o.guessLine).arg(corMethodName(o.corMethod));
    else if (o.corLine)
        cor = QStringLiteral("line %1:%2,%3:%4")
                  .arg(o.corLine->slice1)
                  .arg(n(o.corLine->cor1))
                  .arg(o.corLine->slice2)
                  .arg(n(o.corLine->cor2));
    else if (o.corScan)
        cor = QStringLiteral("scan %1:%2:%3").arg(n(o.corScan->from), n(o.corScan->to), n(o.corScan->step));
    QString rings = stripeMethodWord(o.rings.method);
    if (o.rings.isOn())
        rings += u' ' + stripeParamItems(o.rings).join(u' ');
    QStringList items {
        QStringLiteral("axis=") + (o.axisVertical ? QStringLiteral("v") : QStringLiteral("h")),
        QStringLiteral("cor=") + cor,
        QStringLiteral("slices=")
            + (o.sliceFrom ? QStringLiteral("%1:%2:%3").arg(*o.sliceFrom).arg(o.sliceTo).arg(o.sliceStep)
                           : QStringLiteral("middle")),
        QStringLiteral("angle-origin=") + n(o.angleOriginDeg),
        QStringLiteral("range=") + n(o.rangeDeg),
        QStringLiteral("partial=")
            + (o.partial ? QStringLiteral("%1:%2").arg(o.partialStart).arg(o.partialImages)
                         : QStringLiteral("all")),
        QStringLiteral("region=")
            + (o.region ? QStringLiteral("%1,%2,%3,%4")
                              .arg(n(o.region->x0), n(o.region->z0), n(o.region->x1), n(o.region->z1))
                        : QStringLiteral("image")),
        QStringLiteral("window=%1,%2,%3").arg(n(o.window.upper), n(o.window.lower), n(o.window.offset)),
        QStringLiteral("name=") + o.name,
        QStringLiteral("sub-folders=%1%2%3")
            .arg(flag(o.subFolders.subFolders), flag(o.subFolders.ofEnergy), flag(o.subFolders.ofSlice)),
        QStringLiteral("files=%1%2%3").arg(flag(o.png), flag(o.data), flag(o.tiff))
            + (o.hdf5.isEmpty() ? QString()
                                : QStringLiteral(" hdf5 ") + volumeCompressionWord(o.hdf5Compress)),
        QStringLiteral("color-range=")
            + (o.colorRange ? n(o.colorRange->first) + u',' + n(o.colorRange->second)
                            : QStringLiteral("own")),
        QStringLiteral("single=") + flag(o.single),
        QStringLiteral("rings=") + rings,
        QStringLiteral("bg=")
            + (o.bgFile.isEmpty() ? QStringLiteral("none") : QFileInfo(o.bgFile).absoluteFilePath()),
        QStringLiteral("patterns=") + o.patterns.join(u' '),
    };
    // Named only when on, so that the digests of the runs before it stay as they were.
    if (o.offsetAxis)
        items << QStringLiteral("offset-axis=")
                + (o.offsetAxis->automatic ? QStringLiteral("auto") : n(o.offsetAxis->cor));
    return items;
}

QString outputSettingsDigest(const ReconOptions &o)
{
    const QByteArray text = outputSettingItems(o).join(u'\n').toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex().left(16));
}
