#pragma once

// Qt
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSize>
#include <QTextStream>
#include <QtDebug>

// Local
#include "recon/reconoptions.h"
#include "recon/reconrun.h"
#include "recon/seriesrun.h"
#include <tiffio.h>
#include <vector>

// Helpers of the tests that run the reconstruction command in this process and read what it wrote.

/// Runs the command: its exit status (2 for options it refuses), and in `out` what it printed, or
/// why it refused the options.
inline int runRecon(const QStringList &args, QString *out = nullptr)
{
    ReconOptions options;
    QString error;
    if (!parseReconOptions(args, options, error)) {
        if (out)
            *out = error;
        return 2;
    }
    QString text;
    QTextStream stream(&text);
    const int code = options.inTasks() ? SeriesRun(options, stream, stream).exec()
                                       : ReconRun(options, stream, stream).exec();
    stream.flush();
    if (out)
        *out = text;
    return code;
}

/// The blank-separated words of `text`: arguments as a shell hands them over, or names, without blanks.
inline QStringList words(const QString &text)
{
    return text.split(u' ', Qt::SkipEmptyParts);
}

/// The files under `dir` and its sub-folders, relative to it, sorted.
inline QStringList filesUnder(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}

/// Whether the files `names` exist under both folders with the same bytes; a warning names the
/// first that does not.
inline bool sameFiles(const QString &a, const QString &b, const QStringList &names)
{
    for (const QString &name : names) {
        QFile fa(QDir(a).filePath(name)), fb(QDir(b).filePath(name));
        if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.readAll() != fb.readAll()) {
            qWarning() << "differs:" << name;
            return false;
        }
    }
    return true;
}

/// Copies the files of a folder into another one, made if need be.
inline bool copyFolder(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    const QDir source(from);
    for (const QString &name : source.entryList(QDir::Files))
        if (!QFile::copy(source.filePath(name), QDir(to).filePath(name)))
            return false;
    return true;
}

/// The pages of a float TIFF file: their pixels (none when a line cannot be read), their
/// descriptions, the size of the first page and the size of each.
inline std::vector<std::vector<float>> tiffPages(const QString &path, QStringList *descriptions = nullptr,
    QSize *size = nullptr, QList<QSize> *sizes = nullptr)
{
    std::vector<std::vector<float>> pages;
    TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!tif)
        return pages;
    do {
        uint32_t w = 0, h = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        if (size && pages.empty())
            *size = QSize(int(w), int(h));
        if (sizes)
            *sizes << QSize(int(w), int(h));
        std::vector<float> pixels(size_t(w) * h);
        for (uint32_t row = 0; row < h; ++row) {
            if (TIFFReadScanline(tif, pixels.data() + size_t(row) * w, row, 0) != 1) {
                TIFFClose(tif);
                return {};
            }
        }
        pages.push_back(std::move(pixels));
        char *text = nullptr;
        if (descriptions && TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text))
            *descriptions << QString::fromLatin1(text);
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}

/// The pixels of the first page of a float TIFF file; none when it cannot be read.
inline std::vector<float> tiffValues(const QString &path)
{
    std::vector<std::vector<float>> pages = tiffPages(path);
    return pages.empty() ? std::vector<float>() : std::move(pages.front());
}
