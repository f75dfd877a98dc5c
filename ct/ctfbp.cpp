#include "ct/ctfbp.h"

// Local
#include "ct/fftwplanner.h"
#include "ct/backprojectkernel.h"
#include "ct/backprojectsingle.h"
#include "imagedata/pixelblock.h"
#include <algorithm>
#include <cmath>
#include <fftw3.h>
#include <limits>
#include <new>

namespace {

constexpr double pi = 3.141592653589793;
constexpr double twoPi = 6.283185307179586;

fftw_complex *asComplex(double *p)
{
    return reinterpret_cast<fftw_complex *>(p);
}

// A double bound turned into a pixel index within [lo, hi] (NaN gives lo).
int clampIndex(double v, int lo, int hi)
{
    if (!(v > lo))
        return lo;
    if (v > hi)
        return hi;
    return static_cast<int>(v);
}

} // namespace

CtFbp::~CtFbp()
{
    release();
}

void CtFbp::release()
{
    if (fwdPlan_ || invPlan_) {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        if (fwdPlan_)
            fftw_destroy_plan(static_cast<fftw_plan>(fwdPlan_));
        if (invPlan_)
            fftw_destroy_plan(static_cast<fftw_plan>(invPlan_));
    }
    fwdPlan_ = invPlan_ = nullptr;
    for (double *p : {fwdIn_, fwdOut_, invIn_, invOut_})
        fftw_free(p);
    fwdIn_ = fwdOut_ = invIn_ = invOut_ = nullptr;
    fftw_free(spectra_);
    spectra_ = nullptr;
    filtered_.reset();
    filteredStride_ = 0;
    weights_.clear();
    releaseSingle();
}

void CtFbp::setup(int n, int p, bool single)
{
    p = std::max(p, 0);
    if (n == n_ && p == rows_ && single == single_) {
        p_ = p;
        return;
    }
    release();
    try {
        allocate(n, p, single);
    } catch (const std::bad_alloc &) {
        // No engine rather than half of one: a slice then refuses it for its size.
        release();
        n_ = p_ = rows_ = 0;
        throw;
    }
}

void CtFbp::allocate(int n, int p, bool single)
{
    p_ = rows_ = p;
    n_ = std::max(n, 0);
    single_ = single;
    const size_t len = static_cast<size_t>(n_);
    // Bin k and bin N − 1 − k of the first half: weights k·c and (k + 1)·c, so that bin m of an even
    // length gets c·min(m, N − m).
    weights_.assign(len, 0.0);
    if (n_ >= 2) {
        const double c = twoPi / n_;
        for (int k = 0; k < n_ / 2; ++k) {
            weights_[static_cast<size_t>(k)] = k * c;
            weights_[static_cast<size_t>(n_ - 1 - k)] = (k + 1) * c;
        }
    }
    if (single_) {
        setupSingle();
        return;
    }
    for (double **buf : {&fwdIn_, &fwdOut_, &invIn_, &invOut_})
        *buf = reinterpret_cast<double *>(fftw_alloc_complex(std::max<size_t>(len, 1)));
    // Tens of megabytes, first touched by the slice: on huge pages where the system offers them.
    spectra_ = reinterpret_cast<double *>(fftw_alloc_complex(std::max<size_t>(len * rows_, 1)));
    if (!fwdIn_ || !fwdOut_ || !invIn_ || !invOut_ || !spectra_)
        throw std::bad_alloc();
    adviseHugePages(spectra_, std::max<size_t>(len * rows_, 1) * 2 * sizeof(double));
    // Rows start on cache lines: the back-projection reads each row in aligned groups of eight.
    filteredStride_ = (len + backProjectRowPadding + 7) / 8 * 8;
    const size_t filteredBytes = std::max<size_t>(filteredStride_ * rows_, 8) * sizeof(double);
    filtered_.reset(static_cast<double *>(std::aligned_alloc(64, filteredBytes)));
    if (!filtered_)
        throw std::bad_alloc();
    adviseHugePages(filtered_.get(), filteredBytes);
    for (int i = 0; i < rows_; ++i) // the padding is read, never used: keep it defined
        std::fill_n(filteredData(i) + len, backProjectRowPadding, 0.0);
    if (n_ > 0) {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        fwdPlan_ = fftw_plan_dft_1d(n_, asComplex(fwdIn_), asComplex(fwdOut_), FFTW_FORWARD, FFTW_ESTIMATE);
        invPlan_ = fftw_plan_dft_1d(n_, asComplex(invIn_), asComplex(invOut_), FFTW_BACKWARD, FFTW_ESTIMATE);
    }
}

void CtFbp::resetImage(int n)
{
    imageN_ = std::max(n, 0);
    const size_t size = static_cast<size_t>(imageN_) * imageN_;
    if (image_.capacity() < size && spareImage_.capacity() >= size)
        std::swap(image_, spareImage_);
    if (image_.capacity() < size) {
        image_ = std::vector<double>();
        image_.reserve(size);
        adviseHugePages(image_.data(), size * sizeof(double));
    }
    image_.assign(size, 0.0);
    if (single_) {
        imageStrideF_ = singleImageStride(imageN_);
        imageF_.assign(imageStrideF_ * imageN_, 0.0f);
    }
    backProjected_ = false;
}

void CtFbp::forwardRow(const double *row, int i)
{
    if (i < 0 || i >= rows_ || n_ < 1)
        return;
    if (single_) {
        forwardRowSingle(row, i);
        return;
    }
    for (int m = 0; m < n_; ++m) {
        fwdIn_[2 * m] = row[m];
        fwdIn_[2 * m + 1] = 0.0;
    }
    fftw_execute(static_cast<fftw_plan>(fwdPlan_));
    std::copy(fwdOut_, fwdOut_ + 2 * static_cast<size_t>(n_), spectrum(i));
}

void CtFbp::filterRow(int i)
{
    if (i < 0 || i >= rows_ || n_ < 1)
        return;
    if (single_) {
        filterRowSingle(i);
        return;
    }
    const double *s = spectrum(i);
    for (int m = 0; m < n_; ++m) {
        const double w = n_ >= 2 ? weights_[static_cast<size_t>(m)] : 0.0;
        invIn_[2 * m] = s[2 * m] * w;
        invIn_[2 * m + 1] = s[2 * m + 1] * w;
    }
    fftw_execute(static_cast<fftw_plan>(invPlan_));
    const double np = double(n_) * p_;
    const double scale = np > 0 ? 1.0 / np : 1.0;
    double *f = filteredData(i);
    for (int j = 0; j < n_; ++j)
        f[j] = invOut_[2 * j] * scale;
}

CtFbp::Rows CtFbp::rowsOf(double x0, double x1, double z0, double z1) const
{
    Rows rows;
    const int n = imageN_;
    const long h = n / 2;
    // Rows from trunc(z0) while z < z1, and inside the circle: 1 ≤ z ≤ n − 1.
    const int zStart = clampIndex(std::trunc(z0), 1, n);
    const int zEnd = clampIndex(std::ceil(z1), 1, n);
    const int xStart = clampIndex(std::trunc(x0), 1, n);
    const int xEnd = clampIndex(std::ceil(x1), 1, n);
    rows.zs = zStart;
    rows.ze = std::max(zStart, zEnd);
    if (std::isnan(x0) || std::isnan(x1) || std::isnan(z0) || std::isnan(z1))
        rows.ze = rows.zs; // a region that is not a number covers nothing
    for (int z = rows.zs; z < rows.ze; ++z) {
        // Pixels with (x − h)² + (z − h)² < h²: |x − h| ≤ m, m the largest with m² < h² − (z − h)².
        const long r2 = h * h - (z - h) * (z - h);
        long m = r2 > 0 ? static_cast<long>(std::sqrt(double(r2))) : -1;
        while (m >= 0 && m * m >= r2)
            --m;
        while ((m + 1) * (m + 1) < r2)
            ++m;
        const int lo = std::max<long>(xStart, h - m);
        const int hi = std::min<long>(xEnd, h + m + 1);
        rows.xs.push_back(lo);
        rows.xe.push_back(std::max(lo, hi));
    }
    return rows;
}

void CtFbp::backProjectRow(int i, double x0, double x1, double z0, double z1, double theta0, double dTheta)
{
    backProjected_ = true;
    if (i < 0 || i >= rows_ || imageN_ < 2 || n_ < 2)
        return;
    backProject(i, i + 1, x0, x1, z0, z1, theta0, dTheta);
}

void CtFbp::backProjectRows(
    int count, double x0, double x1, double z0, double z1, double theta0, double dTheta)
{
    backProjected_ = true;
    count = std::min(count, rows_);
    if (count < 1 || imageN_ < 2 || n_ < 2)
        return;
    backProject(0, count, x0, x1, z0, z1, theta0, dTheta);
}

void CtFbp::backProject(
    int first, int end, double x0, double x1, double z0, double z1, double theta0, double dTheta)
{
    const Rows rows = rowsOf(x0, x1, z0, z1);
    if (single_) {
        backProjectSingle(rows, first, end, theta0, dTheta);
        return;
    }
    std::vector<BackProjectionLine> lines(static_cast<size_t>(end - first));
    const double h = imageN_ * 0.5;
    for (int i = first; i < end; ++i) {
        const double theta = theta0 + i * dTheta;
        const double c = std::cos(theta), s = std::sin(theta);
        lines[static_cast<size_t>(i - first)]
            = BackProjectionLine {filteredData(i), c, -s, h - (c * h - s * h)};
    }
    const BackProjectionRows pixels {
        image_.data(), static_cast<size_t>(imageN_), rows.zs, rows.ze, rows.xs.data(), rows.xe.data()};
    addBackProjections(pixels, lines, std::min(n_, imageN_) - 1);
}

void CtFbp::minMax()
{
    if (!backProjected_ || image_.empty())
        return;
    double lo = std::numeric_limits<double>::max();
    double hi = -std::numeric_limits<double>::max();
    for (const double v : image_) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    min_ = lo;
    max_ = hi;
}

std::vector<double> CtFbp::takeImage()
{
    std::vector<double> image = std::move(image_);
    image_ = std::vector<double>();
    imageN_ = 0;
    backProjected_ = false;
    return image;
}

void CtFbp::recycleImage(std::vector<double> &&buffer)
{
    if (buffer.capacity() > spareImage_.capacity())
        spareImage_ = std::move(buffer);
}

ProjectionAngles projectionAngles(double originDeg, double rangeDeg, int dataSetImages, int startImage)
{
    ProjectionAngles a;
    a.dTheta = (rangeDeg / 180.0) * pi / dataSetImages;
    a.theta0 = (originDeg / 180.0) * pi + startImage * a.dTheta;
    return a;
}
