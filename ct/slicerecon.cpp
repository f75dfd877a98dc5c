#include "ct/slicerecon.h"

// Qt
#include <QElapsedTimer>

// Local
#include "ct/ctimagetiff.h"
#include "ct/sgmgeometry.h"
#include "ct/sinogramdata.h"
#include "imagedata/chunkencode.h"
#include <algorithm>
#include <cmath>
#include <limits>

int requiredLength(const ProjectionSet &set, const SinogramRequest &request)
{
    return fftLength(sinogramWidth(request, lineLength(set, request.rowLines)));
}

SliceResult reconstructSlice(CtFbp &engine, SinogramCache &sinograms, const SliceTask &task)
{
    SliceResult result;
    result.slice = task.sinogram.slice;
    result.cor = task.sinogram.cor;
    QElapsedTimer clock;
    clock.start();
    auto lap = [&clock] { // seconds since the last lap
        const double seconds = clock.nsecsElapsed() * 1e-9;
        clock.restart();
        return seconds;
    };
    result.status = sinograms.take(task.set, task.sinogram, task.sinogramBlock, task.blockId, task.stripes);
    const SinogramData &sinogram = sinograms.current();
    result.times.sinogram = lap();
    if (result.status != SinogramStatus::Generated || !sinogram.hasData()) {
        result.problem = QStringLiteral("no sinogram for slice %1: %2")
                             .arg(task.sinogram.slice)
                             .arg(sinogramProblem(result.status, task.set, task.sinogram));
        return result;
    }
    const int n = fftLength(sinogram.width);
    const int rows = sinogram.height;
    // The filter divides by the engine's projections: they must be the sinogram's rows.
    if (n < 2 || engine.n() != n || rows != engine.projections()) {
        result.problem
            = QStringLiteral("slice %1 needs a transform of %2 for %3 projections, the engine has %4 for %5")
                  .arg(task.sinogram.slice)
                  .arg(n)
                  .arg(rows)
                  .arg(engine.n())
                  .arg(engine.projections());
        return result;
    }
    result.n = n;
    result.region = task.regionIsSet ? task.region : Region {0.0, 0.0, double(n), double(n)};
    engine.resetImage(n);
    for (int i = 0; i < rows; ++i)
        engine.forwardRow(sinogram.attRow(i), i);
    for (int i = 0; i < rows; ++i)
        engine.filterRow(i);
    result.times.filter = lap();
    const Region &r = result.region;
    engine.backProjectRows(rows, r.x0, r.x1, r.z0, r.z1, task.angles.theta0, task.angles.dTheta);
    result.times.backProjection = lap();
    // A value that is not finite (from a sinogram that held one) would be written as "nan" and
    // blacken the picture: such a slice fails and nothing of it is written.
    const std::span<const double> values = engine.image();
    if (const auto bad
        = std::count_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); });
        bad > 0) {
        result.problem = QStringLiteral("slice %1 holds %2 values that are not finite: it is not written")
                             .arg(task.sinogram.slice)
                             .arg(bad);
        return result;
    }
    result.reconstructed = true;
    makeSliceFiles(result, engine.image(), task);
    if (task.values == ValuesHandOver::Take)
        result.values = std::make_shared<std::vector<double>>(engine.takeImage());
    else if (task.values == ValuesHandOver::Copy)
        result.values = std::make_shared<std::vector<double>>(engine.image().begin(), engine.image().end());
    result.times.output = lap();
    return result;
}

void makeSliceFiles(SliceResult &result, std::span<const double> image, const SliceTask &task, QByteArray *textRoom)
{
    const int n = result.n;
    const Region &r = result.region;
    if (task.makeImage) {
        // Smallest and largest of all pixels, the zeros outside the circle included (as the engine).
        double lo = std::numeric_limits<double>::max();
        double hi = -std::numeric_limits<double>::max();
        for (const double v : image) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        result.min = lo;
        result.max = hi;
        result.scale = task.scale;
        result.scale.adoptRange(result.min, result.max);
        result.image = greyImage(image, n, n, result.scale);
    }
    if (task.makeData) {
        if (textRoom) {
            ctImageDataTextInto(image, n, r, task.window, *textRoom);
            result.dataText = *textRoom;
        } else {
            result.dataText = ctImageDataText(image, n, r, task.window);
        }
        if (result.dataText.isEmpty())
            result.problem
                = QStringLiteral("the region of slice %1 is too large for a data file").arg(result.slice);
    }
    if (task.makeTiff) {
        QString why;
        result.tiff = ctImageTiff(image, n, r, result.slice, &why);
        if (result.tiff.isEmpty())
            result.problem = QStringLiteral("no TIFF file for slice %1: %2").arg(result.slice).arg(why);
    }
    if (task.makeVolume) {
        QString why;
        result.volume = regionFloats(image, n, r, &why);
        if (!result.volume.values.empty() && task.volumeFilter != 0) {
            const auto *bytes = reinterpret_cast<const unsigned char *>(result.volume.values.data());
            result.volume.chunk = chunkcodec::encode(task.volumeFilter, int(sizeof(float)),
                std::span<const unsigned char>(bytes, result.volume.values.size() * sizeof(float)));
            result.volume.chunkFilter = result.volume.chunk.empty() ? 0 : task.volumeFilter;
        }
        if (result.volume.values.empty())
            result.problem
                = QStringLiteral("slice %1 is not written into the HDF5 file: %2").arg(result.slice).arg(why);
    }
}
