#pragma once

// Qt
#include <QFile>

// Local
#include "imagedata/imgdata.h"
#include "imagedata/tifffile.h"
#include <memory>

/// A TIFF file read with libtiff: the first image of the file, one sample per pixel of 8-, 16- or
/// 32-bit unsigned integers or 32-bit floats, in strips or tiles, with any compression libtiff
/// decodes; the size comes from the file. Anything else is refused with a message that names the
/// file and the reason. Memory mode decodes the whole image once and closes the file; file-read
/// mode keeps the file open and decodes the strip or the row of tiles that holds a requested row.
class ImgDataTiff : public ImgData
{
public:
    enum class Samples { UInt8, UInt16, UInt32, Float32 };

    ImgDataTiff();
    ~ImgDataTiff() override;

    void init() override;
    bool readProps(const QString &fileName, int32_t &width, int32_t &height) override;
    bool loadData() override;
    double *getRow(int y, double *buffer) const override;
    double *getColumn(int x, double *buffer) const override;

    Samples samples() const { return samples_; }
    int bytesPerSample() const { return bytesPerSample_; }
    /// Whether pixels that are not finite are replaced from their rows (the image refused with more
    /// than 1 % of them) when the whole image is read: so for projections, I0 and BG images (the
    /// default); a slice read back keeps them.
    void setRepairNonFinite(bool repair) { repairNonFinite_ = repair; }

private:
    // The layout of the pixel data as the file stores it.
    struct Layout
    {
        bool tiled = false;
        int64_t bandHeight = 0; // rows per strip, or the tile height
        int64_t tileWidth = 0;
        int64_t tileBytes = 0;
    };

    bool openFile(QFile &file, TiffFile &tiff) const;
    bool refuse(const QString &reason) const;
    // Decodes the band (strip, or row of tiles) that holds row y into `out` (rows of the band ×
    // width × bytes per sample); false with `error_` set on a decoding failure.
    bool decodeBand(TiffFile &tiff, int y, unsigned char *out) const;
    int64_t bandOf(int y) const { return y / layout_.bandHeight; }
    int bandRows(int64_t band) const;
    const unsigned char *row(int y) const;
    void convert(const unsigned char *src, double *dst, int count, int64_t stride) const;

    Samples samples_ = Samples::UInt16;
    int bytesPerSample_ = 2;
    bool repairNonFinite_ = true;
    Layout layout_;
    std::unique_ptr<unsigned char[]> pixels_; // the whole image, memory mode
    // File-read mode: the open file and the band decoded last.
    mutable QFile file_;
    mutable TiffFile tiff_;
    mutable std::unique_ptr<unsigned char[]> band_;
    mutable int64_t bandIndex_ = -1;
    mutable QString error_;
};
