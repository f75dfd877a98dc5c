#include "imagedata/tifffile.h"

// Qt
#include <QFile>
#include <QIODevice>

// Local
#include "imagedata/imagelimits.h"
#include <cstdarg>
#include <cstdio>
#include <tiffio.h>

namespace {

QIODevice *device(thandle_t handle)
{
    return static_cast<QIODevice *>(handle);
}

tmsize_t readProc(thandle_t handle, void *buffer, tmsize_t size)
{
    return device(handle)->read(static_cast<char *>(buffer), size);
}

tmsize_t writeProc(thandle_t handle, void *buffer, tmsize_t size)
{
    return device(handle)->write(static_cast<const char *>(buffer), size);
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence)
{
    QIODevice *d = device(handle);
    qint64 target = 0;
    switch (whence) {
    case SEEK_SET:
        target = static_cast<qint64>(offset);
        break;
    case SEEK_CUR:
        target = d->pos() + static_cast<qint64>(offset);
        break;
    case SEEK_END:
        target = d->size() + static_cast<qint64>(offset);
        break;
    default:
        return static_cast<toff_t>(-1);
    }
    if (target < 0 || !d->seek(target))
        return static_cast<toff_t>(-1);
    return static_cast<toff_t>(target);
}

int closeProc(thandle_t)
{
    return 0; // the device belongs to the caller
}

toff_t sizeProc(thandle_t handle)
{
    return static_cast<toff_t>(device(handle)->size());
}

int mapProc(thandle_t, void **, toff_t *)
{
    return 0; // no mapping: libtiff reads through readProc
}

void unmapProc(thandle_t, void *, toff_t) { }

int dropWarning(TIFF *, void *, const char *, const char *, va_list)
{
    return 1; // handled: libtiff prints nothing
}

} // namespace

TiffFile::~TiffFile()
{
    close();
}

int TiffFile::onError(TIFF *, void *user, const char *, const char *format, va_list args)
{
    // The module is the file's name or a libtiff function's: the caller names the file itself.
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    static_cast<TiffFile *>(user)->error_ = QString::fromLocal8Bit(text);
    return 1;
}

bool TiffFile::open(QIODevice &device, const QString &name, const char *mode)
{
    close();
    error_.clear();
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    if (!options) {
        error_ = QStringLiteral("out of memory");
        return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, &TiffFile::onError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, &dropWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(maxImageBytes()));
    const QByteArray encoded = QFile::encodeName(name);
    tif_ = TIFFClientOpenExt(encoded.constData(), mode, &device, readProc, writeProc, seekProc, closeProc,
        sizeProc, mapProc, unmapProc, options);
    TIFFOpenOptionsFree(options);
    if (!tif_ && error_.isEmpty())
        error_ = QStringLiteral("not a TIFF file libtiff can open");
    return tif_ != nullptr;
}

bool TiffFile::close()
{
    if (!tif_)
        return true;
    const bool hadError = !error_.isEmpty();
    TIFFClose(tif_); // writes a pending directory of a written file
    tif_ = nullptr;
    return !hadError && error_.isEmpty();
}
