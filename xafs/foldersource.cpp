// The series folder read as it is, a box at a time, for the XANES maps without an alignment.

// Qt
#include <QDir>

// Local
#include "view3d/slicereaders.h"
#include "xafs/slabsource.h"
#include "xafs/volumereader.h"
#include <algorithm>
#include <cstring>

namespace {

class SeriesFolderSource : public SlabSource
{
public:
    explicit SeriesFolderSource(const AlignSeries &series)
        : series_(series)
    {
    }
    bool open(QString &error);
    QString name() const override
    {
        return QStringLiteral("%1 (%2 energies of %3 x %4 x %5, as they are)")
            .arg(QDir(series_.dir).dirName())
            .arg(energies_.size())
            .arg(shape_.nz)
            .arg(shape_.ny)
            .arg(shape_.nx);
    }
    bool read(std::span<const int> energyIndices, const VolumeBox &box, float *out, QString &error) override;

private:
    AlignSeries series_;
    std::vector<float> plane_;
    std::vector<double> row_;
};

bool SeriesFolderSource::open(QString &error)
{
    for (const SeriesEnergy &e : series_.energies) {
        if (!e.problem.isEmpty()) {
            error = QStringLiteral("%1: %2").arg(e.tag, e.problem);
            return false;
        }
        energies_.push_back(e.energy);
    }
    if (series_.width <= 0 || series_.height <= 0) { // data files: the first slice's size
        SliceReadLimits limits;
        const std::optional<SliceData> first = series_.energies.front().files.isEmpty()
            ? std::nullopt
            : readCtImgFile(series_.energies.front().files.first(), limits);
        if (!first) {
            error = QStringLiteral("%1 cannot be read as a CT image data file")
                        .arg(series_.energies.front().files.value(0));
            return false;
        }
        series_.width = first->nx;
        series_.height = first->ny;
    }
    shape_ = series_.shape();
    slices_ = series_.slices;
    return true;
}

bool SeriesFolderSource::read(
    std::span<const int> energyIndices, const VolumeBox &box, float *out, QString &error)
{
    for (int a = 0; a < 3; ++a)
        if (box.begin[a] < 0 || box.end[a] > shape_.extent(a) || box.size(a) < 1) {
            error = QStringLiteral("a box outside the volume");
            return false;
        }
    plane_.resize(shape_.plane());
    const VolumeShape s = box.shape();
    float *to = out;
    for (const int e : energyIndices) {
        const SeriesEnergy &energy = series_.energies[std::size_t(e)];
        for (int z = box.begin[0]; z < box.end[0]; ++z) {
            error = readSeriesSlice(energy.files[z], series_.kind, shape_.nx, shape_.ny, plane_.data(), row_);
            if (!error.isEmpty())
                return false;
            for (int y = box.begin[1]; y < box.end[1]; ++y, to += s.nx)
                std::memcpy(
                    to, plane_.data() + std::size_t(y) * shape_.nx + box.begin[2], sizeof(float) * s.nx);
        }
    }
    return true;
}

} // namespace

std::unique_ptr<SlabSource> openSeriesFolder(const AlignSeries &series, QString &error)
{
    auto source = std::make_unique<SeriesFolderSource>(series);
    if (!source->open(error))
        return nullptr;
    return source;
}
