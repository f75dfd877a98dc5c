#include "imagedata/imgfiletype.h"

// Qt
#include <QDebug>
#include <QFile>

// Local
#include "config/specialfile.h"
#include "imagedata/imgdataitex.h"
#include "imagedata/imgdatatiff.h"
#include "imagedata/imagedatalog.h"

namespace {

// The first two bytes of the file, or an empty array when it cannot be opened.
QByteArray magic(const QString &fileName, const char *checkName, bool &opened)
{
    QFile f(fileName);
    // A FIFO or a device is never an image: opening a FIFO would block until a writer comes.
    opened = !isSpecialFile(fileName) && f.open(QIODevice::ReadOnly);
    if (!opened) {
        qCWarning(lcImageData).noquote()
            << QStringLiteral("Check File Type (%1):: Can not open").arg(QLatin1String(checkName))
            << fileName;
        return QByteArray();
    }
    return f.read(2);
}

} // namespace

bool isItexFile(const QString &fileName)
{
    bool opened = false;
    return magic(fileName, "ITEX", opened) == "IM";
}

bool isTiffFile(const QString &fileName)
{
    bool opened = false;
    const QByteArray m = magic(fileName, "TIFF", opened);
    return m == "II" || m == "MM";
}

bool isHdf5File(const QString &fileName)
{
    static const QByteArray signature("\x89HDF\r\n\x1a\n", 8);
    QFile f(fileName);
    if (isSpecialFile(fileName) || !f.open(QIODevice::ReadOnly))
        return false;
    // The library looks at 0 and at every power of two from 512 on; user blocks beyond 64 kB are
    // not met in scan files.
    for (qint64 at = 0; at <= 65536 && at + 8 <= f.size(); at = at ? 2 * at : 512) {
        if (f.seek(at) && f.read(8) == signature)
            return true;
    }
    return false;
}

ImgFileType checkFileType(const QString &fileName)
{
    if (isItexFile(fileName))
        return ImgFileType::ITEX;
    if (isTiffFile(fileName))
        return ImgFileType::TIFF;
    if (isHdf5File(fileName))
        return ImgFileType::HDF5;
    qCWarning(lcImageData).noquote() << QStringLiteral("Unknown file type : ") + fileName;
    return ImgFileType::UNKNOWN;
}

std::unique_ptr<ImgData> createImgData(ImgFileType type)
{
    std::unique_ptr<ImgData> img;
    switch (type) {
    case ImgFileType::ITEX:
        img = std::make_unique<ImgDataITEX>();
        break;
    case ImgFileType::TIFF:
        img = std::make_unique<ImgDataTiff>();
        break;
    case ImgFileType::UNKNOWN:
    case ImgFileType::HDF5:
        return nullptr;
    }
    img->init();
    return img;
}

std::unique_ptr<ImgData> openImgData(const QString &fileName)
{
    const ImgFileType type = checkFileType(fileName);
    if (type == ImgFileType::HDF5) {
        qCWarning(lcImageData).noquote() << "An HDF5 scan file holds many frames, not one image; load it as the "
                                "projections (its flats and darks give the I0 and BG images) :"
                             << fileName;
        return nullptr;
    }
    std::unique_ptr<ImgData> img = createImgData(type);
    if (!img)
        return nullptr;
    img->setReadAll(true);
    img->setFileName(fileName);
    if (!img->open())
        return nullptr;
    return img;
}
