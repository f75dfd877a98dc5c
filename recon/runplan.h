#pragma once

// Local
#include "ct/runparams.h"
#include "ct/slicerecon.h"
#include "recon/workerpool.h"

/// The planning of a run that the window and the command share: what each slice's task holds and
/// what engine it needs.

/// The task of slice `slice` at centre `cor` in a run with the settings `run` over `imageCount`
/// images: the sinogram request, the angles, the data files' value window and the ring removal.
/// The images, the region, the grey scale and the files to make are the client's.
SliceTask runSliceTask(const RunParams &run, int imageCount, int slice, double cor);

/// The engine that `request` needs on images of the size of `set` (`projections` of them), in
/// the run's precision.
EngineSize runEngineSize(
    const ProjectionSet &set, const SinogramRequest &request, int projections, bool single);
