#include "xafs/volumereader.h"

// Local
#include "imagedata/imagelimits.h"
#include "imagedata/imgdatatiff.h"
#include "view3d/slicereaders.h"
#include <cmath>
#include <new>

QString readSeriesSlice(
    const QString &file, SliceFileKind kind, int width, int height, float *out, std::vector<double> &row)
{
    if (kind == SliceFileKind::FloatTiff) {
        ImgDataTiff tiff;
        tiff.setReadAll(true);
        tiff.setFileName(file);
        if (!tiff.open())
            return QStringLiteral("%1 cannot be read as a TIFF image").arg(file);
        if (tiff.width() != width || tiff.height() != height)
            return QStringLiteral("%1 is %2 x %3, the series' slices %4 x %5")
                .arg(file)
                .arg(tiff.width())
                .arg(tiff.height())
                .arg(width)
                .arg(height);
        row.resize(std::size_t(width));
        for (int y = 0; y < height; ++y) {
            tiff.getRow(y, row.data());
            for (int x = 0; x < width; ++x)
                out[std::size_t(y) * width + x] = static_cast<float>(row[std::size_t(x)]);
        }
        return QString();
    }
    SliceReadLimits limits;
    limits.maxValues = int64_t(width) * height;
    const std::optional<SliceData> slice = readCtImgFile(file, limits);
    if (!slice)
        return QStringLiteral("%1 cannot be read as a CT image data file").arg(file);
    if (slice->nx != width || slice->ny != height)
        return QStringLiteral("%1 is %2 x %3, the series' slices %4 x %5")
            .arg(file)
            .arg(slice->nx)
            .arg(slice->ny)
            .arg(width)
            .arg(height);
    for (std::size_t i = 0; i < slice->values.size(); ++i)
        out[i] = static_cast<float>(slice->values[i]);
    return QString();
}

VolumeRead readEnergyVolume(const AlignSeries &series, int index, std::uint64_t maxBytes)
{
    VolumeRead read;
    const SeriesEnergy &energy = series.energies[std::size_t(index)];
    if (!energy.problem.isEmpty()) {
        read.problem = energy.problem;
        return read;
    }
    int width = series.width, height = series.height;
    if (width <= 0 || height <= 0) { // data files: the size of the first slice
        SliceReadLimits limits;
        const std::optional<SliceData> first
            = energy.files.isEmpty() ? std::nullopt : readCtImgFile(energy.files.first(), limits);
        if (!first) {
            read.problem
                = QStringLiteral("%1 cannot be read as a CT image data file").arg(energy.files.value(0));
            return read;
        }
        width = first->nx;
        height = first->ny;
    }
    const VolumeShape shape {static_cast<int>(energy.files.size()), height, width};
    // A few volumes are held at once (the reference, one per worker, those waiting to be written).
    const std::uint64_t limit = maxBytes > 0 ? maxBytes : std::uint64_t(maxImageBytes()) / 8;
    if (shape.voxels() == 0 || shape.voxels() > limit / sizeof(float)) {
        read.problem = QStringLiteral("a volume of %1 x %2 x %3 voxels is beyond the memory allowed")
                           .arg(shape.nz)
                           .arg(shape.ny)
                           .arg(shape.nx);
        return read;
    }
    read.volume.shape = shape;
    try {
        read.volume.values.resize(shape.voxels());
    } catch (const std::bad_alloc &) {
        read.volume = Volume {};
        read.problem = QStringLiteral("no memory for a volume of %1 x %2 x %3 voxels")
                           .arg(shape.nz)
                           .arg(shape.ny)
                           .arg(shape.nx);
        return read;
    }
    std::vector<double> row;
    for (int z = 0; z < shape.nz; ++z) {
        read.problem
            = readSeriesSlice(energy.files[z], series.kind, width, height, read.volume.slice(z), row);
        if (!read.problem.isEmpty()) {
            read.volume = Volume {};
            return read;
        }
    }
    float *v = read.volume.values.data();
    for (std::size_t i = 0; i < shape.voxels(); ++i)
        if (!std::isfinite(v[i])) {
            read.nonFinite.push_back(i);
            v[i] = 0.0f;
        }
    if (read.nonFinite.size() > shape.voxels() / 2) {
        read.problem = QStringLiteral("%1 of its %2 values are not finite")
                           .arg(read.nonFinite.size())
                           .arg(shape.voxels());
        read.volume = Volume {};
        read.nonFinite.clear();
    }
    return read;
}
