#pragma once

// Qt
#include <QImage>
#include <QString>

// Local
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct GreyScale;

/// One image file that hands out any pixel row or column as doubles. The pixel data never change
/// after `open`; in memory mode (`readAll`, the mode every caller uses) `getRow`/`getColumn` only
/// read the pixel block, so one thread may read an image while no other thread changes it.
class ImgData
{
public:
    virtual ~ImgData();

    /// Resets the fields to their initial values (the factory calls it right after construction).
    virtual void init();
    /// Reads size and properties from the file's header; false when the file is not usable.
    virtual bool readProps(const QString &fileName, int32_t &width, int32_t &height) = 0;
    /// Opens `fileName` for pixel access (memory mode: reads the whole pixel block).
    virtual bool loadData() = 0;
    /// Fills `buffer` with row y (`width` values). An index outside the image leaves it untouched.
    virtual double *getRow(int y, double *buffer) const = 0;
    /// Fills `buffer` with column x (`height` values). An index outside the image leaves it untouched.
    virtual double *getColumn(int x, double *buffer) const = 0;
    /// Fills buffer + i·stride with column xs[i] (`height` values) for i = 0 … count − 1, reading
    /// the pixel rows once for all of them where the format allows: neighbouring columns share their
    /// cache lines. A column outside the image leaves its part untouched.
    virtual void getColumns(const int *xs, int count, double *buffer, std::size_t stride) const;
    /// The rotation angle the file records for this image, in degrees; none for image files, which
    /// record none (the data set's range and count give their angles).
    virtual std::optional<double> angleDeg() const { return std::nullopt; }

    /// Reads the properties and the pixels of `fileName`.
    bool open();
    /// Smallest and largest pixel value, cached after the first scan; 0 and 0 when not open.
    void getMinMax(double &min, double &max);
    /// The image in 8-bit grey through `scale`; the scale takes the image's range unless it is fixed.
    /// A null image when the file is not open.
    QImage toImage(GreyScale &scale);

    bool isOpen() const { return isOpen_; }
    bool readAll() const { return readAll_; }
    void setReadAll(bool all) { readAll_ = all; }
    /// Whether `open` refuses an image whose pixels cannot fit into the memory left, before it
    /// reads them (for a set that holds whole images).
    void setMemoryChecked(bool checked) { memoryChecked_ = checked; }
    const QString &fileName() const { return fileName_; }
    void setFileName(const QString &name) { fileName_ = name; }
    int width() const { return width_; }
    int height() const { return height_; }
    /// Exposure time from the file's properties; kept with the image, used in no computation.
    double expTime() const { return expTime_; }

protected:
    ImgData() = default;

    bool isOpen_ = false;
    bool readAll_ = true;
    bool memoryChecked_ = false;
    double expTime_ = 1.0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    QString fileName_;
    bool minMaxValid_ = false;
    double minV_ = 0.0;
    double maxV_ = 0.0;
    std::vector<double> rowBuf_;
    std::vector<double> colBuf_;
};
