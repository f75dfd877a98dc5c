#include "xafs/mapstack.h"

// Qt
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

// Local
#include "ct/atomicfile.h"
#include <cstdio>
#include <tiffio.h>

QString temporaryPathBeside(const QString &path)
{
    const QFileInfo final(path);
    return final.absoluteDir().filePath(
        QStringLiteral(".%1.%2-%3")
            .arg(final.fileName())
            .arg(QCoreApplication::applicationPid())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
}

MapStackWriter::~MapStackWriter()
{
    abandon();
}

bool MapStackWriter::create(const QString &path, int width, int height, int pages, QString &error)
{
    abandon();
    if (width < 1 || height < 1 || pages < 1) {
        error = QStringLiteral("%1: a stack of %2 pages of %3 x %4")
                    .arg(path)
                    .arg(pages)
                    .arg(width)
                    .arg(height);
        return false;
    }
    path_ = path;
    width_ = width;
    height_ = height;
    pages_ = pages;
    written_ = 0;
    temporary_ = temporaryPathBeside(path);
    // Classic TIFF addresses 4 GB; the directories and descriptions take a little of it.
    const double bytes = 4.0 * width * height * pages;
    const char *mode = bytes > 4.0e9 ? "w8" : "w";
    tif_ = TIFFOpen(QFile::encodeName(temporary_).constData(), mode);
    if (!tif_) {
        error = QStringLiteral("cannot create %1").arg(temporary_);
        temporary_.clear();
        return false;
    }
    return true;
}

bool MapStackWriter::appendPage(const float *values, const QString &description, QString &error)
{
    if (!tif_ || written_ >= pages_) {
        error = QStringLiteral("%1 takes no more pages").arg(path_);
        return false;
    }
    const QByteArray text = description.toUtf8();
    TIFFSetField(tif_, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width_));
    TIFFSetField(tif_, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height_));
    TIFFSetField(tif_, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif_, TIFFTAG_BITSPERSAMPLE, 32);
    TIFFSetField(tif_, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    TIFFSetField(tif_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif_, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif_, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(height_));
    TIFFSetField(tif_, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    if (pages_ <= 0xFFFF)
        TIFFSetField(
            tif_, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(written_), static_cast<uint16_t>(pages_));
    TIFFSetField(tif_, TIFFTAG_IMAGEDESCRIPTION, text.constData());
    TIFFSetField(tif_, TIFFTAG_SOFTWARE, "Quorvel");
    const tmsize_t bytes = tmsize_t(width_) * height_ * tmsize_t(sizeof(float));
    // libtiff takes a non-const buffer but leaves an uncompressed strip as it is.
    if (TIFFWriteEncodedStrip(tif_, 0, const_cast<float *>(values), bytes) != bytes
        || TIFFWriteDirectory(tif_) != 1) {
        error = QStringLiteral("cannot write page %1 of %2").arg(written_ + 1).arg(temporary_);
        return false;
    }
    ++written_;
    return true;
}

bool MapStackWriter::finish(QString &error)
{
    if (!tif_ || written_ != pages_) {
        error = QStringLiteral("%1 is not complete (%2 of %3 pages)").arg(path_).arg(written_).arg(pages_);
        abandon();
        return false;
    }
    TIFFClose(tif_);
    tif_ = nullptr;
    const bool placed = renameIntoPlace(temporary_, path_, &error);
    temporary_.clear(); // placed, or kept whole under that name (the error says so)
    return placed;
}

void MapStackWriter::abandon()
{
    if (tif_)
        TIFFClose(tif_);
    tif_ = nullptr;
    if (!temporary_.isEmpty())
        QFile::remove(temporary_);
    temporary_.clear();
}
