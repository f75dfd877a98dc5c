#include "ct/sinogramgen.h"

// Local
#include "ct/sgmgeometry.h"
#include "imagedata/imgdata.h"
#include "imagedata/projectionset.h"
#include "imagedata/transmission.h"
#include <cstdlib>

int lineLength(const ProjectionSet &set, bool rowLines)
{
    return rowLines ? set.width : set.height;
}

int sliceCount(const ProjectionSet &set, bool rowLines)
{
    return rowLines ? set.height : set.width;
}

int firstImage(const SinogramRequest &request, int count)
{
    if (!request.partial || request.startImage < 0 || request.startImage >= count)
        return 0;
    return request.startImage;
}

void readSliceLine(const ImgData &img, bool rowLines, int slice, double *buffer)
{
    if (rowLines)
        img.getRow(slice, buffer);
    else
        img.getColumn(slice, buffer);
}

QString sinogramProblem(SinogramStatus status, const ProjectionSet &set, const SinogramRequest &request)
{
    const int L = lineLength(set, request.rowLines);
    switch (status) {
    case SinogramStatus::Generated:
        return QString();
    case SinogramStatus::CorOutOfRange:
        return QStringLiteral(
            "Centre of rotation %1 leaves no sinogram on lines of %2 pixels (1 ... %3 can be used)")
            .arg(request.cor)
            .arg(L)
            .arg(L - 2);
    case SinogramStatus::SliceOutOfRange:
        return QStringLiteral("Slice %1 is not a line of the images (0 ... %2)")
            .arg(request.slice)
            .arg(sliceCount(set, request.rowLines) - 1);
    case SinogramStatus::TooManyImages:
        return QStringLiteral("Using Images %1 is more than the %2 images loaded")
            .arg(request.usingImages)
            .arg(set.count());
    case SinogramStatus::NoProjections:
        break;
    }
    return QStringLiteral("No projection images for the sinogram of slice %1").arg(request.slice);
}

SinogramStatus genSinogram0(SinogramData &target, const ProjectionSet &set, const SinogramRequest &request)
{
    const int L = lineLength(set, request.rowLines);
    if (!corInsideLine(request.cor, L))
        return SinogramStatus::CorOutOfRange;
    if (request.slice < 0 || request.slice >= sliceCount(set, request.rowLines))
        return SinogramStatus::SliceOutOfRange;

    const int count = set.count();
    const int start = firstImage(request, count);
    // A partial data set wraps round the set, but never uses an image twice: more rows than images
    // is refused before anything is allocated.
    const long long n = request.partial ? request.usingImages : count;
    if (std::llabs(n) > count && count > 0)
        return SinogramStatus::TooManyImages;
    const int rows = static_cast<int>(std::llabs(n));

    const SgmGeometry g = makeSgmGeometry(request.rowLines, L, request.cor);
    target.sliceNo = request.slice;
    target.width = g.width;
    target.height = rows;
    const size_t samples = static_cast<size_t>(g.width) * rows;
    target.att.assign(samples, 0.0);
    target.raw.assign(samples, 0.0);
    if (n == 0 || count == 0) {
        target.height = 0;
        target.att.clear();
        target.raw.clear();
        return SinogramStatus::NoProjections;
    }

    std::vector<double> line(static_cast<size_t>(L));
    std::vector<double> i0(static_cast<size_t>(g.width), 1.0);
    std::vector<double> bg(static_cast<size_t>(g.width), 0.0);
    if (set.i0) {
        readSliceLine(*set.i0, request.rowLines, request.slice, line.data());
        resampleLine(line, i0, g);
    }
    if (set.bg) {
        readSliceLine(*set.bg, request.rowLines, request.slice, line.data());
        resampleLine(line, bg, g);
    }
    for (int k = 0; k < rows; ++k) {
        const ImgData *img = set.images[static_cast<size_t>((start + k) % count)].get();
        readSliceLine(*img, request.rowLines, request.slice, line.data());
        double *raw = target.raw.data() + static_cast<size_t>(k) * g.width;
        resampleLine(line, std::span<double>(raw, g.width), g);
        attenuationLine(i0, bg, std::span<const double>(raw, g.width),
            std::span<double>(target.att.data() + static_cast<size_t>(k) * g.width, g.width));
    }
    return SinogramStatus::Generated;
}
