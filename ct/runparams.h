#pragma once

// Local
#include "ct/stripeparams.h"

/// The parameters of a calculation run, taken from the processing panel and the main window on the
/// main thread when the run starts; workers only read their copy.
struct RunParams
{
    bool useCt1 = true;
    bool useCt2 = false;
    bool rotAxIsV = false; // slices are image rows and the centre of rotation an x position
    int sliceNo = 0;
    double cor = 0.0; // centre of rotation, pixels along the slice line
    int recSlice1 = -1; // recorded centres of rotation and their slices (−1: none)
    double recCor1 = 0.0;
    int recSlice2 = -1;
    double recCor2 = 0.0;
    bool useRecordedCor = false; // each slice at its centre on the line through the two records
    double angleOriginDeg = 0.0;
    int dataSetImages = 0; // images spanning the data-set range
    double dataSetRangeDeg = 180.0;
    bool partial = false; // a partial data set is used
    int partialStart = 0; // "Start [#]" as entered
    int partialImages = 0; // "Using Images[#]" as entered
    int imagesUsed = 0; // partialImages when partial, else dataSetImages
    int startImage = 0; // partialStart when partial, else 0
    bool multiSlice = false; // "Auto Exec": a range of slices
    int sliceFrom = 0;
    int sliceTo = 0;
    int sliceStep = 1; // signed: negative when sliceTo < sliceFrom
    int threads = 1;
    bool singlePrecision = false; // filter and back-project in floats
    double dataUpperLimit = 10.0; // value window and offset of saved data files
    double dataLowerLimit = -10.0;
    double dataOffset = 10.0;
    StripeParams stripes; // taken out of every sinogram ("Ring Removal"; off by default)
    // A 360° scan with the axis near one edge: each slice's sinogram stitched from the projections
    // facing each other (offsetaxis.h), `cor` the axis in columns of the recorded lines.
    bool offsetAxis = false;
    bool offsetAxisAuto = true; // the axis is searched in the data before the run, else `cor` is it
};
