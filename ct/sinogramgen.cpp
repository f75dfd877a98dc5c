#include "ct/sinogramgen.h"

// Qt
#include <QDebug>

// Local
#include "ct/ctlog.h"
#include "ct/sgmgeometry.h"
#include "ct/sinogramline.h"
#include "imagedata/imgdata.h"
#include "imagedata/pixelblock.h"
#include "imagedata/projectionset.h"
#include "imagedata/transmission.h"
#include <algorithm>
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
    case SinogramStatus::I0NotAboveBg:
        return QStringLiteral("%1 (at more than half of the line of slice %2)")
            .arg(i0NotAboveBgText())
            .arg(request.slice);
    case SinogramStatus::NoProjections:
        break;
    }
    return QStringLiteral("No projection images for the sinogram of slice %1").arg(request.slice);
}

std::optional<int> searchImages(const ProjectionSet &set, const SinogramRequest &request, QString &problem)
{
    const int count = set.count();
    if (count < 1 || lineLength(set, request.rowLines) < 1) {
        problem = QStringLiteral("no images are loaded");
        return std::nullopt;
    }
    if (request.slice < 0 || request.slice >= sliceCount(set, request.rowLines)) {
        problem = sinogramProblem(SinogramStatus::SliceOutOfRange, set, request);
        return std::nullopt;
    }
    const long long used = request.partial ? std::llabs(static_cast<long long>(request.usingImages)) : count;
    if (used > count) {
        problem = sinogramProblem(SinogramStatus::TooManyImages, set, request);
        return std::nullopt;
    }
    return static_cast<int>(used);
}

namespace {

// Lines `slices` of an image into buffer + i·stride.
void readSliceLines(
    const ImgData &img, bool rowLines, std::span<const int> slices, double *buffer, size_t stride)
{
    if (rowLines) {
        for (size_t i = 0; i < slices.size(); ++i)
            img.getRow(slices[i], buffer + i * stride);
    } else {
        img.getColumns(slices.data(), static_cast<int>(slices.size()), buffer, stride);
    }
}

// The distance between the lines of a block in memory: a little more than a line, so that lines of
// a power-of-two length do not all fall on the same cache sets.
size_t lineStride(int L)
{
    return static_cast<size_t>(L) + 8;
}

// Resampled reference lines of the slices: the image's when there is one, else `fill`.
std::vector<std::vector<double>> referenceLines(
    const ImgData *img, bool rowLines, std::span<const int> slices, const SgmGeometry &g, int L, double fill)
{
    std::vector<std::vector<double>> lines(
        slices.size(), std::vector<double>(static_cast<size_t>(g.width), fill));
    if (!img)
        return lines;
    const size_t stride = lineStride(L);
    std::vector<double> buffer(slices.size() * stride);
    readSliceLines(*img, rowLines, slices, buffer.data(), stride);
    for (size_t i = 0; i < slices.size(); ++i)
        resampleLine(
            std::span<const double>(buffer.data() + i * stride, static_cast<size_t>(L)), lines[i], g);
    return lines;
}

// Where I0 is not above BG the correction clamps: said, and a slice with more than half of its line
// so fails (its target emptied) and leaves the block. False when no slice is left.
bool keepCorrectable(std::vector<SinogramStatus> &status, std::span<const int> slices, std::vector<int> &used,
    std::vector<SinogramData *> &out, std::vector<std::vector<double>> &i0,
    std::vector<std::vector<double>> &bg)
{
    qsizetype clamped = 0;
    QList<int> warned;
    size_t kept = 0;
    for (size_t i = 0; i < used.size(); ++i) {
        const qsizetype n = countI0NotAboveBg(i0[i], bg[i]);
        if (i0NotAboveBgFails(n, qsizetype(i0[i].size()))) {
            for (size_t s = 0; s < status.size(); ++s)
                if (slices[s] == used[i] && status[s] == SinogramStatus::Generated)
                    status[s] = SinogramStatus::I0NotAboveBg;
            out[i]->height = 0;
            out[i]->att.clear();
            out[i]->raw.clear();
            continue;
        }
        if (n > 0) {
            clamped += n;
            warned << used[i];
        }
        if (kept != i) {
            used[kept] = used[i];
            out[kept] = out[i];
            i0[kept] = std::move(i0[i]);
            bg[kept] = std::move(bg[i]);
        }
        ++kept;
    }
    used.resize(kept);
    out.resize(kept);
    i0.resize(kept);
    bg.resize(kept);
    if (clamped > 0)
        qCWarning(lcCt).noquote()
            << QStringLiteral("I0 is not above BG at %1 pixels of the lines of slice%2 %3: "
                              "their attenuation is taken against 1")
                   .arg(clamped)
                   .arg(warned.size() == 1 ? QString() : QStringLiteral("s"))
                   .arg(warned.size() == 1
                           ? QString::number(warned.first())
                           : QStringLiteral("%1 … %2").arg(warned.first()).arg(warned.last()));
    return kept > 0;
}

} // namespace

SinogramStatus genSinogram0(SinogramData &target, const ProjectionSet &set, const SinogramRequest &request)
{
    const int slice = request.slice;
    return genSinograms(std::span<SinogramData>(&target, 1), set, request, std::span<const int>(&slice, 1))
        .front();
}

std::vector<SinogramStatus> genSinograms(std::span<SinogramData> targets, const ProjectionSet &set,
    const SinogramRequest &request, std::span<const int> slices, bool keepRaw)
{
    const size_t wanted = std::min(targets.size(), slices.size());
    std::vector<SinogramStatus> status(wanted, SinogramStatus::Generated);
    const int L = lineLength(set, request.rowLines);
    if (!corInsideLine(request.cor, L)) {
        std::fill(status.begin(), status.end(), SinogramStatus::CorOutOfRange);
        return status;
    }
    // The slices that are lines of the images, and their targets.
    std::vector<int> used;
    std::vector<SinogramData *> out;
    for (size_t i = 0; i < wanted; ++i) {
        if (slices[i] < 0 || slices[i] >= sliceCount(set, request.rowLines)) {
            status[i] = SinogramStatus::SliceOutOfRange;
            continue;
        }
        used.push_back(slices[i]);
        out.push_back(&targets[i]);
    }

    const int count = set.count();
    const int start = firstImage(request, count);
    // A partial data set wraps round the set, but never uses an image twice: more rows than images
    // is refused before anything is allocated.
    const long long n = request.partial ? request.usingImages : count;
    if (std::llabs(n) > count && count > 0) {
        std::fill(status.begin(), status.end(), SinogramStatus::TooManyImages);
        return status;
    }
    const int rows = static_cast<int>(std::llabs(n));
    const SgmGeometry g = makeSgmGeometry(request.rowLines, L, request.cor);
    const size_t samples = static_cast<size_t>(g.width) * rows;
    for (size_t i = 0; i < out.size(); ++i) {
        SinogramData &t = *out[i];
        t.sliceNo = used[i];
        t.width = g.width;
        t.height = rows;
        if (n == 0 || count == 0) {
            t.height = 0;
            t.att.clear();
            t.raw.clear();
            continue;
        }
        // Every sample is written below: no need to clear them first.
        if (t.att.capacity() < samples) { // fresh memory, on huge pages where possible
            t.att = std::vector<double>();
            t.att.reserve(samples);
            adviseHugePages(t.att.data(), samples * sizeof(double));
        }
        t.att.resize(samples);
        if (keepRaw)
            t.raw.resize(samples);
        else
            t.raw = std::vector<double>();
    }
    if (n == 0 || count == 0) {
        for (size_t i = 0; i < wanted; ++i)
            if (status[i] == SinogramStatus::Generated)
                status[i] = SinogramStatus::NoProjections;
        return status;
    }
    if (used.empty())
        return status;

    auto i0 = referenceLines(set.i0.get(), request.rowLines, used, g, L, 1.0);
    auto bg = referenceLines(set.bg.get(), request.rowLines, used, g, L, 0.0);
    if (set.i0 && !keepCorrectable(status, slices, used, out, i0, bg))
        return status;
    const auto weights = lineWeights(g);
    std::vector<LineCorrection> corrections;
    for (size_t i = 0; i < used.size(); ++i)
        corrections.push_back(makeLineCorrection(g, weights, i0[i], bg[i]));
    const size_t stride = lineStride(L);
    std::vector<double> lines(used.size() * stride);
    for (int k = 0; k < rows; ++k) {
        const ImgData *img = set.images[static_cast<size_t>((start + k) % count)].get();
        readSliceLines(*img, request.rowLines, used, lines.data(), stride);
        const size_t row = static_cast<size_t>(k) * g.width;
        for (size_t i = 0; i < used.size(); ++i)
            correctLine(lines.data() + i * stride, corrections[i],
                keepRaw ? out[i]->raw.data() + row : nullptr, out[i]->att.data() + row);
    }
    return status;
}
