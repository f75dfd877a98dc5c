#include "recon/runplan.h"

// Local
#include "ct/offsetaxis.h"
#include "ct/sgmgeometry.h"
#include <algorithm>
#include <cstdlib>

SliceTask runSliceTask(const RunParams &run, int imageCount, int slice, double cor)
{
    SliceTask task;
    task.sinogram
        = SinogramRequest {run.rotAxIsV, cor, slice, run.partial, run.partialStart, run.partialImages};
    const int images = run.dataSetImages > 0 ? run.dataSetImages : imageCount;
    if (run.offsetAxis) { // every image, paired with the one facing it
        task.sinogram.offsetAxis = true;
        task.sinogram.partial = false;
        task.angles = stitchedAngles(run.angleOriginDeg, images);
    } else {
        task.angles = projectionAngles(run.angleOriginDeg, run.dataSetRangeDeg, images,
            run.partial ? firstImage(task.sinogram, imageCount) : 0);
    }
    task.window = DataWindow {run.dataUpperLimit, run.dataLowerLimit, run.dataOffset};
    task.stripes = run.stripes;
    return task;
}

int sinogramRows(const SinogramRequest &request, int imageCount)
{
    if (request.offsetAxis)
        return stitchedRows(imageCount);
    if (!request.partial)
        return imageCount;
    return static_cast<int>(std::min<long long>(std::llabs(request.usingImages), imageCount));
}

EngineSize runEngineSize(
    const ProjectionSet &set, const SinogramRequest &request, int imageCount, bool single)
{
    return EngineSize {requiredLength(set, request), std::max(1, sinogramRows(request, imageCount)), single};
}
