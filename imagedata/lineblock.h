#pragma once

// Qt
#include <QString>

// Local
#include "imagedata/imgdata.h"
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

/// A few lines of one image, read straight from its file: the rows (or the columns) of the slices
/// being reconstructed, and nothing else. It hands out those lines exactly as the whole image would,
/// so sinograms built from blocks equal those built from whole images bit for bit; any other line
/// leaves the caller's buffer untouched, like a line outside the image.
///
/// This is the one place where the command without a window reads projections partially; memory
/// then grows with the lines of a block, not with the images.
/// \test tst_itexreader.cpp
class ImgDataLineBlock : public ImgData
{
public:
    /// `lines` sorted, without repeats, inside the image.
    ImgDataLineBlock(const QString &fileName, int width, int height, bool rowLines, std::vector<int> lines);

    bool readProps(const QString &fileName, int32_t &width, int32_t &height) override;
    bool loadData() override;
    double *getRow(int y, double *buffer) const override;
    double *getColumn(int x, double *buffer) const override;

    bool rowLines() const { return rowLines_; }
    const std::vector<int> &lines() const { return lines_; }
    /// Whether line `index` (a row when `rowLines`, else a column) is held.
    bool hasLine(int index) const { return slot(index) >= 0; }
    /// Bytes of pixel storage held.
    size_t bytes() const;

    /// Storage for the readers: line slot k (the k-th of `lines`) holds `lineLength` samples.
    uint16_t *u16Line(size_t k);
    uint32_t *u32Line(size_t k);
    double *f64Line(size_t k);
    enum class Storage { U16, U32, F64 };
    void allocate(Storage storage);

private:
    int slot(int index) const;
    int lineLength() const { return rowLines_ ? width_ : height_; }
    double *copyLine(int index, double *buffer) const;

    bool rowLines_;
    std::vector<int> lines_;
    Storage storage_ = Storage::U16;
    std::vector<uint16_t> u16_;
    std::vector<uint32_t> u32_;
    std::vector<double> f64_;
};

/// Reads the lines `lines` (rows when `rowLines`, else columns; sorted, without repeats) of the
/// image file `fileName`, which must be `width` × `height`. ITEX files are read in place (a column
/// block streams through the file a few rows at a time); other formats are opened whole, one at a
/// time, and only the lines kept. None, with a debug message, when the file cannot be read, has
/// another size or a line lies outside it.
std::shared_ptr<const ImgData> readLineBlock(
    const QString &fileName, bool rowLines, std::span<const int> lines, int width, int height);

/// The size of an image file from its header alone; false when the file is not a readable image.
bool readImageSize(const QString &fileName, int &width, int &height);
