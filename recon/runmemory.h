#pragma once

// Qt
#include <QString>

// Local
#include "ct/ctimagefile.h"

/// What the jobs of the run library hold in memory, reckoned before anything is allocated, so that
/// a job beyond the memory there is ends with a message ("slice 0 needs 58 GB, 23 GB are
/// available") instead of ending the program. The figures count the large buffers (engines,
/// images, sinograms, lines of projections, file texts), not the small change about them.
/// \test tst_recon.cpp, tst_headless.cpp

/// Bytes of an engine set up for length `n` and `projections` rows, with the image it makes.
qint64 engineBytes(int n, int projections, bool single);
/// Bytes of one sinogram of `projections` rows of up to `n` samples, attenuation and raw values.
qint64 sinogramBytes(int n, int projections);
/// Bytes of an n × n image of doubles.
qint64 imageBytes(int n);
/// Pixels of the region a slice's files hold: `region` when given, else the n × n image.
qint64 regionPixels(const Region *region, int n);
/// Bytes made for one slice's files from `pixels` values: data text, float TIFF, 8-bit picture.
qint64 sliceFileBytes(qint64 pixels, bool data, bool tiff, bool picture);
/// `a` · `b`, or a very large number when it does not fit (no figure of memory wraps round).
qint64 memoryProduct(qint64 a, qint64 b);

/// What a job needs: the first worker's share together with what the job holds once, and each
/// further worker's share.
struct MemoryNeed
{
    QString what; // "slice 12", "the scan of 41 trials"
    qint64 first = 0;
    qint64 further = 0;
};

/// How many of `workers` (at least 1) fit into `available` bytes; 0, with "WHAT needs …, … are
/// available" in `why`, when not even one does.
int workersInMemory(const MemoryNeed &need, int workers, qint64 available, QString &why);
