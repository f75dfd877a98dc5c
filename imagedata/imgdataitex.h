#pragma once

// Qt
#include <QFile>

// Local
#include "imagedata/imgdata.h"
#include "imagedata/pixelblock.h"

/// An ITEX ".img" file: a 64-byte header ("IM", comment length C), a comment of C characters
/// holding comma-separated properties, then the pixel block of unsigned 16- or 32-bit
/// little-endian pixels, row after row. Size and pixel width come only from the comment.
class ImgDataITEX : public ImgData
{
public:
    ImgDataITEX() = default;
    ~ImgDataITEX() override;

    void init() override;
    bool readProps(const QString &fileName, int32_t &width, int32_t &height) override;
    /// `readProps` from a file already open for reading: a reader of many files opens each once.
    bool readHeader(QFile &f, int32_t &width, int32_t &height);
    bool loadData() override;
    double *getRow(int y, double *buffer) const override;
    double *getColumn(int x, double *buffer) const override;
    void getColumns(const int *xs, int count, double *buffer, std::size_t stride) const override;

    int bytesPerPixel() const { return bytesPerPixel_; }
    int dataOffset() const { return dataOffset_; }

private:
    const unsigned char *rowBytes(int y) const;
    double pixel(const unsigned char *p) const;

    mutable QFile file_;
    int32_t dataOffset_ = 0;
    int32_t bytesPerPixel_ = 0;
    mutable std::vector<unsigned char> rowBytes_; // one row, file-read mode
    PixelBlock imageBytes_; // the whole pixel block, memory mode
};
