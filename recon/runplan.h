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

/// The rows of the sinogram of `request` over `imageCount` images: the projections of its partial
/// data set, the stitched rows of an offset axis, else every image.
int sinogramRows(const SinogramRequest &request, int imageCount);

/// The engine that `request` needs on `imageCount` images of the size of `set`, in the run's
/// precision: the transform length of its sinogram, and as many projections as the sinogram has
/// rows, which the filter divides by (a partial data set is weighted by the projections it uses, as
/// CT1 weights it).
EngineSize runEngineSize(
    const ProjectionSet &set, const SinogramRequest &request, int imageCount, bool single);
