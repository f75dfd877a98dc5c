#pragma once

// Qt
#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QMetaType>
#include <QString>

// Local
#include "ct/ctfbp.h"
#include "ct/ctimagefile.h"
#include "ct/ctimagetiff.h"
#include "ct/sinogramcache.h"
#include "ct/sinogramgen.h"
#include "ct/stripeparams.h"
#include "display/greyscale.h"
#include "imagedata/projectionset.h"
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

/// What becomes of a reconstructed slice's values besides the files made of them: kept by the
/// engine, copied out (to be shown while the engine goes on) or taken out of the engine (for files
/// made on another thread; the buffer comes back by `recycleImage`).
enum class ValuesHandOver { None, Copy, Take };

/// Everything a worker needs to reconstruct one slice, taken on the main thread when the slice is
/// handed out: the shared read-only images, the sinogram request, the angles, the calculation
/// region and what to make of the result.
struct SliceTask
{
    ProjectionSet set;
    SinogramRequest sinogram;
    ProjectionAngles angles;
    Region region;
    bool regionIsSet = true; // false: the whole image, (0, 0)–(N, N)
    bool makeImage = false;
    GreyScale scale; // its range is taken from the slice unless fixed
    bool makeData = false;
    DataWindow window;
    bool makeTiff = false; // the values as 32-bit float TIFF
    bool makeVolume = false; // the region's values as floats, for the run's HDF5 file
    int volumeFilter = 0; // and compressed by this HDF5 filter (chunkfilter::deflate or ::lz4; 0: not)
    ValuesHandOver values = ValuesHandOver::None;
    StripeParams stripes; // taken out of the sinogram before it is filtered (off by default)
    // Slices whose sinograms are built in the same pass over the images as this one's (this one
    // among them) and kept by the worker for the tasks of the block that follow; the dispatcher
    // gives each block a number of its own. Empty or 0: this slice alone.
    std::vector<int> sinogramBlock;
    std::uint64_t blockId = 0;
};

/// Where a slice's time went, in seconds of the worker's thread.
struct SliceTimes
{
    double sinogram = 0.0; // for a block, the whole block's pass goes to the slice that made it
    double filter = 0.0; // forward transforms, ramp filter, inverse transforms
    double backProjection = 0.0;
    double output = 0.0; // grey image and data-file text (where they are made)
};

/// What became of one slice.
struct SliceResult
{
    int slice = 0;
    SinogramStatus status = SinogramStatus::NoProjections;
    bool reconstructed = false;
    int n = 0;
    Region region; // the region that was computed
    double min = 0.0; // image extremes (when an image was made)
    double max = 0.0;
    GreyScale scale; // the scale the image was made with
    QImage image; // 8-bit grey, n × n
    QByteArray dataText; // the CT image data file
    QByteArray tiff; // the float TIFF file
    RegionFloats volume; // the region's values for the HDF5 file
    double cor = 0.0; // the centre of rotation it was reconstructed at
    QString problem; // why nothing was reconstructed
    SliceTimes times;
    QDateTime started, ended; // on the worker's clock, for the panel that shows the slice
    std::shared_ptr<std::vector<double>> values; // n × n, when the task hands them over
};

Q_DECLARE_METATYPE(SliceTask)
Q_DECLARE_METATYPE(SliceResult)

/// The transform length a task needs, from the sinogram geometry: 2·half − 1 rounded down to even;
/// 0 when its centre of rotation gives no sinogram.
int requiredLength(const ProjectionSet &set, const SinogramRequest &request);

/// Takes the sinogram from `sinograms` (building it, with its block), reconstructs it with `engine`
/// (which must already be set up for the sinogram's length and enough projections), makes the
/// requested image, data text and TIFF file and hands the values over as the task asks.
/// Runs on the calling thread; reports a slice that cannot be reconstructed instead of using an
/// older sinogram or a wrongly sized engine.
SliceResult reconstructSlice(CtFbp &engine, SinogramCache &sinograms, const SliceTask &task);

/// Makes the grey image, data-file text and TIFF file that `task` asks for from the values of the
/// reconstructed slice `result` (n × n), on any thread. With `textRoom` the text is made in that
/// array, which the result then shares: once the result is gone, the next slice's text uses its room.
void makeSliceFiles(
    SliceResult &result, std::span<const double> image, const SliceTask &task, QByteArray *textRoom = nullptr);
