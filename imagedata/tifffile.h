#pragma once

// Qt
#include <QString>

class QIODevice;
typedef struct tiff TIFF;

/// A TIFF read or written by libtiff through a Qt device, so that file names need no conversion and
/// tests can use memory. libtiff's last error is kept here instead of being printed; its warnings
/// (unknown tags and the like) are dropped. Allocations inside libtiff are bounded by
/// `maxImageBytes`.
class TiffFile
{
public:
    TiffFile() = default;
    ~TiffFile();
    TiffFile(const TiffFile &) = delete;
    TiffFile &operator=(const TiffFile &) = delete;

    /// Opens the TIFF on an open device, `mode` "r" or "w" (libtiff's modes); `name` is used in
    /// messages. The device must outlive this object (or `close`).
    bool open(QIODevice &device, const QString &name, const char *mode);
    /// Closes the TIFF (a written one is completed); false when libtiff reported an error meanwhile.
    bool close();

    TIFF *tiff() const { return tif_; }
    /// libtiff's last error, or empty.
    const QString &error() const { return error_; }

private:
    static int onError(TIFF *, void *user, const char *module, const char *format, va_list args);

    TIFF *tif_ = nullptr;
    QString error_;
};
