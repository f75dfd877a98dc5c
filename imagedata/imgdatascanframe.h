#pragma once

// Local
#include "imagedata/hdf5scan.h"
#include "imagedata/imgdata.h"
#include "imagedata/nonfinite.h"
#include "imagedata/pixelblock.h"
#include <memory>

/// One frame of a scan file as an image: projection `index` (or flat or dark frame `index`) of the
/// scan, which many frames share. Memory mode reads the whole frame once, as the file stores its
/// samples (pixels of float frames that are not finite repaired from their rows, or the frame
/// refused: `NonFiniteCount`); file-read mode reads each requested row or column from the file.
/// \test tst_hdf5scan.cpp
class ImgDataScanFrame : public ImgData
{
public:
    ImgDataScanFrame(std::shared_ptr<const Hdf5Scan> scan, Hdf5Scan::Kind kind, int index);

    bool readProps(const QString &fileName, int32_t &width, int32_t &height) override;
    bool loadData() override;
    double *getRow(int y, double *buffer) const override;
    double *getColumn(int x, double *buffer) const override;
    std::optional<double> angleDeg() const override;

    const Hdf5Scan &scan() const { return *scan_; }
    Hdf5Scan::Kind kind() const { return kind_; }
    int index() const { return index_; }

private:
    void convert(const unsigned char *src, double *dst, int count, std::size_t stride) const;
    bool repairFrame(QString &error);
    template<typename T> NonFiniteCount repairRows();

    std::shared_ptr<const Hdf5Scan> scan_;
    Hdf5Scan::Kind kind_;
    int index_;
    Hdf5Scan::Samples samples_;
    PixelBlock pixels_; // memory mode: the frame's samples, row after row
};

/// The mean of every frame of `kind` (flats: the I0 image; darks: the BG image), summed in double
/// precision a band of rows at a time, each frame's pixels that are not finite repaired from their
/// rows; none, with `error` set, when the scan has no such frame, one cannot be read or has too many
/// such pixels.
std::unique_ptr<ImgData> meanOfFrames(
    const std::shared_ptr<const Hdf5Scan> &scan, Hdf5Scan::Kind kind, QString &error);

/// "scan.nxs, flat 3": one frame, for messages.
QString frameLabel(const QString &fileName, Hdf5Scan::Kind kind, int index);

/// "mean of 20 flats" / "mean of 1 dark".
QString meanDescription(Hdf5Scan::Kind kind, int frames);
