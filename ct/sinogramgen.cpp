#include "ct/sinogramgen.h"

// Qt
#include <QDebug>

// Local
#include "ct/ctlog.h"
#include "ct/offsetaxis.h"
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

int sinogramWidth(const SinogramRequest &request, int lineLength)
{
    if (request.offsetAxis) {
        const OffsetAxisGeometry g = makeOffsetAxisGeometry(lineLength, request.cor);
        return g.valid() ? g.width : 0;
    }
    return corInsideLine(request.cor, lineLength) ? makeSgmGeometry(request.rowLines, lineLength, request.cor).width
                                                  : 0;
}

namespace {

// The samples lo … hi of the stitched grid as a grid of their own, for the line correction: sample j
// interpolates pixels base + lo + j − (half − 1) and the next.
SgmGeometry coveredGrid(const OffsetAxisGeometry &og, bool rowLines, int lo, int hi)
{
    SgmGeometry g;
    g.rowLines = rowLines;
    g.cor = og.cor;
    g.base = og.base;
    g.frac = og.frac;
    g.half = og.half - lo; // so that base + 1 − half is the first pixel used
    g.width = hi - lo + 1;
    return g;
}

// `line` (an image's slice line) resampled on the covered grid g: the samples of `resampleLine`.
std::vector<double> resampledCovered(const double *line, const SgmGeometry &g)
{
    std::vector<double> out(static_cast<size_t>(g.width));
    const long first = long(g.base) + 1 - g.half;
    for (int j = 0; j < g.width; ++j) {
        const double x0 = double(first + j);
        out[j] = lerp2(x0 + g.frac, x0, line[first + j], x0 + 1.0, line[first + j + 1]);
    }
    return out;
}

// The stitched sinograms of the slices `used` into `out` (see SinogramRequest::offsetAxis). Every
// image is read once: it adds its corrected line, weighted, into the row it leads and into the rows
// it faces.
void stitchSinograms(std::vector<SinogramStatus> &status, std::span<const int> slices,
    std::vector<SinogramData *> &out, const ProjectionSet &set, const SinogramRequest &request,
    std::vector<int> &used, bool keepRaw, int L)
{
    const OffsetAxisGeometry og = makeOffsetAxisGeometry(L, request.cor);
    const int count = set.count();
    const int rows = stitchedRows(count);
    const SgmGeometry g = coveredGrid(og, request.rowLines, og.directLo, og.directHi);
    const auto weights = lineWeights(g);
    const size_t stride = lineStride(L);
    std::vector<double> refLine(static_cast<size_t>(L));
    std::vector<std::vector<double>> i0(used.size(), std::vector<double>(static_cast<size_t>(g.width), 1.0));
    std::vector<std::vector<double>> bg(used.size(), std::vector<double>(static_cast<size_t>(g.width), 0.0));
    for (size_t k = 0; k < used.size(); ++k) {
        if (set.i0) {
            readSliceLine(*set.i0, request.rowLines, used[k], refLine.data());
            i0[k] = resampledCovered(refLine.data(), g);
        }
        if (set.bg) {
            readSliceLine(*set.bg, request.rowLines, used[k], refLine.data());
            bg[k] = resampledCovered(refLine.data(), g);
        }
    }
    if (set.i0 && !keepCorrectable(status, slices, used, out, i0, bg))
        return;
    std::vector<LineCorrection> corrections;
    for (size_t k = 0; k < used.size(); ++k)
        corrections.push_back(makeLineCorrection(g, weights, i0[k], bg[k]));
    std::vector<double> w(static_cast<size_t>(og.width));
    for (int i = 0; i < og.width; ++i)
        w[i] = og.directWeight(i);
    for (SinogramData *t : out) {
        std::fill(t->att.begin(), t->att.end(), 0.0);
        std::fill(t->raw.begin(), t->raw.end(), 0.0);
    }
    std::vector<double> lines(used.size() * stride);
    std::vector<double> att(static_cast<size_t>(g.width)), raw(static_cast<size_t>(g.width));
    // Adds the covered samples (att, raw) into sample i of a row, or mirrored into W − 1 − i.
    auto add = [&](SinogramData &t, int row, bool mirrored, double weight) {
        double *a = t.att.data() + static_cast<size_t>(row) * og.width;
        double *r = keepRaw ? t.raw.data() + static_cast<size_t>(row) * og.width : nullptr;
        for (int j = 0; j < g.width; ++j) {
            const int i = mirrored ? og.width - 1 - (og.directLo + j) : og.directLo + j;
            const double f = weight * (mirrored ? 1.0 - w[i] : w[i]);
            if (f == 0.0)
                continue;
            a[i] += f * att[j];
            if (r)
                r[i] += f * raw[j];
        }
    };
    for (int image = 0; image < count; ++image) {
        readSliceLines(*set.images[static_cast<size_t>(image)], request.rowLines, used, lines.data(), stride);
        // The rows this image faces: one, or two halves with an odd count.
        std::vector<std::pair<int, double>> faced;
        for (int row = 0; row < rows; ++row) {
            const FacingImages f = facingImages(row, count);
            if (f.a == image)
                faced.emplace_back(row, 1.0 - f.weightB);
            if (f.b == image && f.weightB > 0.0)
                faced.emplace_back(row, f.weightB);
        }
        for (size_t k = 0; k < used.size(); ++k) {
            correctLine(lines.data() + k * stride, corrections[k], keepRaw ? raw.data() : nullptr, att.data());
            if (image < rows)
                add(*out[k], image, false, 1.0);
            for (const auto &[row, weight] : faced)
                add(*out[k], row, true, weight);
        }
    }
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
    if (sinogramWidth(request, L) < 1) {
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
    const long long n = request.offsetAxis ? stitchedRows(count) : request.partial ? request.usingImages : count;
    if (std::llabs(n) > count && count > 0) {
        std::fill(status.begin(), status.end(), SinogramStatus::TooManyImages);
        return status;
    }
    const int rows = static_cast<int>(std::llabs(n));
    const int width = sinogramWidth(request, L);
    const size_t samples = static_cast<size_t>(width) * rows;
    for (size_t i = 0; i < out.size(); ++i) {
        SinogramData &t = *out[i];
        t.sliceNo = used[i];
        t.width = width;
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
    if (request.offsetAxis) {
        stitchSinograms(status, slices, out, set, request, used, keepRaw, L);
        return status;
    }

    const SgmGeometry g = makeSgmGeometry(request.rowLines, L, request.cor);
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
