#include "imagedata/itexwriter.h"

// Qt
#include <QSaveFile>
#include <QtEndian>

// Local
#include <algorithm>
#include <limits>

QByteArray itexComment(const ItexImage &image)
{
    const QByteArray w = QByteArray::number(image.width);
    const QByteArray h = QByteArray::number(image.height);
    const QByteArray exp = QByteArray::number(image.expTime, 'g', 9);
    return "[Application]\r\nSoftware=\"Quorvel\",Comment=\"written by the Quorvel ITEX writer, demo\",\r\n"
           "[Camera]\r\nProp_ImageWidth="
        + w + ",Prop_ImageHeight=" + h + ",BytesPerPixel=" + QByteArray::number(image.bytesPerPixel)
        + ",Prop_ExposureTime1=" + exp + ",\r\n[Acquisition]\r\nareSource=\"0,0," + w + "," + h
        + "\",ExposureTime=\"" + exp + " s\",\r\n";
}

QByteArray itexFileBytes(const ItexImage &image, const QByteArray &comment)
{
    const int bpp = image.bytesPerPixel == 4 ? 4 : 2;
    const qsizetype count = qsizetype(image.width) * image.height;
    QByteArray bytes(64 + comment.size() + count * bpp, '\0');
    char *p = bytes.data();
    p[0] = 'I';
    p[1] = 'M';
    qToLittleEndian<quint16>(static_cast<quint16>(comment.size()), p + 2);
    qToLittleEndian<quint16>(static_cast<quint16>(image.width), p + 4);
    qToLittleEndian<quint16>(static_cast<quint16>(image.height), p + 6);
    qToLittleEndian<quint16>(bpp == 2 ? 2 : 3, p + 12);
    std::copy(comment.cbegin(), comment.cend(), p + 64);
    char *pix = p + 64 + comment.size();
    const qsizetype n = std::min<qsizetype>(count, qsizetype(image.pixels.size()));
    for (qsizetype i = 0; i < n; ++i) {
        const uint32_t v = image.pixels[i];
        if (bpp == 2)
            qToLittleEndian<quint16>(static_cast<quint16>(std::min<uint32_t>(v, 0xffff)), pix + 2 * i);
        else
            qToLittleEndian<quint32>(v, pix + 4 * i);
    }
    return bytes;
}

bool writeItexFile(const QString &fileName, const ItexImage &image)
{
    if (image.width < 1 || image.height < 1
        || image.pixels.size() != static_cast<size_t>(image.width) * image.height)
        return false;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = itexFileBytes(image, itexComment(image));
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}
