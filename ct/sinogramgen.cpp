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

SinogramStatus genSinogram0(SinogramData &target, const ProjectionSet &set, const SinogramRequest &request)
{
    const int L = lineLength(set, request.rowLines);
    if (!corInsideLine(request.cor, L))
        return SinogramStatus::CorOutOfRange;
    if (request.slice < 0 || request.slice >= sliceCount(set, request.rowLines))
        return SinogramStatus::SliceOutOfRange;

    const int count = set.count();
    const int start = firstImage(request, count);
    const int n = request.partial ? request.usingImages : count;
    const int rows = std::abs(n);

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
