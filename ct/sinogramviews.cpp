#include "ct/sinogramviews.h"

// Local
#include "ct/fftwplanner.h"
#include "ct/sgmgeometry.h"
#include "imagedata/imgdata.h"
#include "imagedata/projectionset.h"
#include <algorithm>
#include <cmath>
#include <fftw3.h>
#include <limits>

namespace {

constexpr double none = std::numeric_limits<double>::quiet_NaN();

} // namespace

int projectionsPer180(double rangeDeg, int count)
{
    const double n = std::floor(180.0 / rangeDeg * count);
    if (!(n > 0.0))
        return 0;
    return static_cast<int>(std::min(n, 8.0 * count));
}

ViewValues sinogramView360(const SinogramData &sinogram, int n180)
{
    ViewValues v;
    if (sinogram.width < 1 || n180 < 1)
        return v;
    v.width = sinogram.width;
    v.height = 2 * n180;
    v.values.assign(static_cast<size_t>(v.width) * v.height, none);
    const int rows = std::min(n180, sinogram.height);
    for (int r = 0; r < rows; ++r) {
        const double *src = sinogram.rawRow(r);
        double *top = v.values.data() + static_cast<size_t>(r) * v.width;
        double *bottom = v.values.data() + static_cast<size_t>(n180 + r) * v.width;
        for (int c = 0; c < v.width; ++c) {
            top[c] = src[c];
            bottom[v.width - 1 - c] = src[c];
        }
    }
    return v;
}

ViewValues attenuationView(const SinogramData &sinogram, int n180, int lineLength)
{
    ViewValues v;
    if (sinogram.width < 1 || n180 < 1
        || sinogram.att.size() < static_cast<size_t>(sinogram.width) * sinogram.height)
        return v;
    // Column i of the sinogram lies at cor + (i − (half − 1)); the direct view's column c at cor − L + c.
    const int half = (sinogram.width + 1) / 2;
    const int offset = lineLength > 0 ? lineLength - (half - 1) : 0;
    v.width = lineLength > 0 ? 2 * lineLength : sinogram.width;
    if (offset < 0 || offset + sinogram.width > v.width)
        return ViewValues();
    v.height = 2 * n180;
    v.values.assign(static_cast<size_t>(v.width) * v.height, none);
    const int rows = std::min(n180, sinogram.height);
    for (int r = 0; r < rows; ++r) {
        const double *src = sinogram.attRow(r);
        double *top = v.values.data() + static_cast<size_t>(r) * v.width;
        double *bottom = v.values.data() + static_cast<size_t>(n180 + r) * v.width;
        for (int i = 0; i < sinogram.width; ++i) {
            top[offset + i] = src[i];
            bottom[v.width - 1 - (offset + i)] = src[i];
        }
    }
    return v;
}

ViewValues sinogramViewDirect(const ProjectionSet &set, const SinogramRequest &request, int n180)
{
    ViewValues v;
    const int L = lineLength(set, request.rowLines);
    const int count = set.count();
    if (L < 1 || n180 < 1 || count < 1 || request.slice < 0
        || request.slice >= sliceCount(set, request.rowLines))
        return v;
    v.width = 2 * L;
    v.height = 2 * n180;
    v.values.assign(static_cast<size_t>(v.width) * v.height, none);
    const int start = firstImage(request, count);
    std::vector<double> line(static_cast<size_t>(L));
    for (int r = 0; r < n180; ++r) {
        const ImgData &img = *set.images[static_cast<size_t>((start + r) % count)];
        readSliceLine(img, request.rowLines, request.slice, line.data());
        double *top = v.values.data() + static_cast<size_t>(r) * v.width;
        double *bottom = v.values.data() + static_cast<size_t>(n180 + r) * v.width;
        for (int c = 0; c < 2 * L; ++c) {
            const double x = request.cor - L + c;
            const double x0 = std::floor(x);
            const long i = static_cast<long>(x0);
            const double y0 = (i >= 0 && i < L) ? line[static_cast<size_t>(i)] : 0.0;
            const double y1 = (i + 1 >= 0 && i + 1 < L) ? line[static_cast<size_t>(i + 1)] : 0.0;
            const double value = lerp2(x, x0, y0, x0 + 1.0, y1);
            top[c] = value;
            bottom[2 * L - 1 - c] = value;
        }
    }
    return v;
}

ViewValues fourierSinogram(const SinogramData &sinogram)
{
    ViewValues v;
    const int W = sinogram.width, H = sinogram.height;
    if (W < 1 || H < 1 || sinogram.raw.size() < static_cast<size_t>(W) * H)
        return v;
    const size_t n = static_cast<size_t>(2 * H) * W;
    fftw_complex *in = fftw_alloc_complex(n);
    fftw_complex *out = fftw_alloc_complex(n);
    const double scale = 1.0 / (2.0 * H * W);
    for (int r = 0; r < H; ++r) {
        for (int c = 0; c < W; ++c) {
            const double value = sinogram.rawRow(r)[c] * scale;
            fftw_complex &a = in[static_cast<size_t>(r) * W + c];
            fftw_complex &b = in[static_cast<size_t>(H + r) * W + (W - 1 - c)];
            a[0] = b[0] = value;
            a[1] = b[1] = 0.0;
        }
    }
    fftw_plan plan = nullptr;
    {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        plan = fftw_plan_dft_2d(2 * H, W, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    }
    fftw_execute(plan);
    {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        fftw_destroy_plan(plan);
    }
    v.width = W;
    v.height = 2 * H;
    v.values.resize(n);
    for (size_t i = 0; i < n; ++i)
        v.values[i] = std::sqrt(out[i][0] * out[i][0] + out[i][1] * out[i][1]);
    fftw_free(in);
    fftw_free(out);
    return v;
}
