// The single-precision half of the engine: the ramp filter as a pair of real transforms of floats
// (the spectrum of a real row is symmetric, so its first N/2 + 1 bins say everything), filtered
// rows and image in floats.

#include "ct/fftwplanner.h"
#include "ct/ctfbp.h"

// Local
#include "ct/backprojectsingle.h"
#include "imagedata/pixelblock.h"
#include <algorithm>
#include <cmath>
#include <fftw3.h>
#include <new>

void CtFbp::setupSingle()
{
    const size_t len = static_cast<size_t>(n_);
    const size_t bins = len / 2 + 1;
    fwdInF_ = fftwf_alloc_real(std::max<size_t>(len, 1));
    fwdOutF_ = reinterpret_cast<float *>(fftwf_alloc_complex(bins));
    invInF_ = reinterpret_cast<float *>(fftwf_alloc_complex(bins));
    invOutF_ = fftwf_alloc_real(std::max<size_t>(len, 1));
    spectraF_ = reinterpret_cast<float *>(fftwf_alloc_complex(std::max<size_t>(bins * rows_, 1)));
    if (!fwdInF_ || !fwdOutF_ || !invInF_ || !invOutF_ || !spectraF_)
        throw std::bad_alloc();
    adviseHugePages(spectraF_, std::max<size_t>(bins * rows_, 1) * 2 * sizeof(float));
    filteredStrideF_ = (len + backProjectRowPaddingSingle + 15) / 16 * 16;
    const size_t filteredBytes = std::max<size_t>(filteredStrideF_ * rows_, 16) * sizeof(float);
    filteredF_.reset(static_cast<float *>(std::aligned_alloc(64, filteredBytes)));
    if (!filteredF_)
        throw std::bad_alloc();
    adviseHugePages(filteredF_.get(), filteredBytes);
    for (int i = 0; i < rows_; ++i) // the padding is read, never used: keep it defined
        std::fill_n(filteredDataF(i) + len, backProjectRowPaddingSingle, 0.0f);
    if (n_ > 0) {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        fwdPlanF_
            = fftwf_plan_dft_r2c_1d(n_, fwdInF_, reinterpret_cast<fftwf_complex *>(fwdOutF_), FFTW_ESTIMATE);
        invPlanF_
            = fftwf_plan_dft_c2r_1d(n_, reinterpret_cast<fftwf_complex *>(invInF_), invOutF_, FFTW_ESTIMATE);
    }
}

void CtFbp::releaseSingle()
{
    if (fwdPlanF_ || invPlanF_) {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        if (fwdPlanF_)
            fftwf_destroy_plan(static_cast<fftwf_plan>(fwdPlanF_));
        if (invPlanF_)
            fftwf_destroy_plan(static_cast<fftwf_plan>(invPlanF_));
    }
    fwdPlanF_ = invPlanF_ = nullptr;
    for (float *p : {fwdInF_, fwdOutF_, invInF_, invOutF_, spectraF_})
        fftwf_free(p);
    fwdInF_ = fwdOutF_ = invInF_ = invOutF_ = spectraF_ = nullptr;
    filteredF_.reset();
    filteredStrideF_ = 0;
    imageF_ = std::vector<float>();
    imageStrideF_ = 0;
}

void CtFbp::forwardRowSingle(const double *row, int i)
{
    for (int m = 0; m < n_; ++m)
        fwdInF_[m] = static_cast<float>(row[m]);
    fftwf_execute(static_cast<fftwf_plan>(fwdPlanF_));
    const size_t bins = static_cast<size_t>(n_) / 2 + 1;
    std::copy(fwdOutF_, fwdOutF_ + 2 * bins, spectraF_ + 2 * bins * i);
}

void CtFbp::filterRowSingle(int i)
{
    // Bin m ≤ N/2 has the weight c·m of the double filter (weights_[m]); the bins above it mirror these.
    const size_t bins = static_cast<size_t>(n_) / 2 + 1;
    const float *s = spectraF_ + 2 * bins * i;
    for (size_t m = 0; m < bins; ++m) {
        const float w = n_ >= 2 ? static_cast<float>(weights_[m]) : 0.0f;
        invInF_[2 * m] = s[2 * m] * w;
        invInF_[2 * m + 1] = s[2 * m + 1] * w;
    }
    fftwf_execute(static_cast<fftwf_plan>(invPlanF_));
    const double np = double(n_) * p_;
    const float scale = static_cast<float>(np > 0 ? 1.0 / np : 1.0);
    float *f = filteredDataF(i);
    for (int j = 0; j < n_; ++j)
        f[j] = invOutF_[j] * scale;
}

void CtFbp::backProjectSingle(const Rows &rows, int first, int end, double theta0, double dTheta)
{
    if (imageF_.size() != singleImageStride(imageN_) * imageN_) {
        // The image was made before the engine went single: go on from its values.
        imageStrideF_ = singleImageStride(imageN_);
        imageF_.assign(imageStrideF_ * imageN_, 0.0f);
        for (int z = 0; z < imageN_; ++z)
            for (int x = 0; x < imageN_; ++x)
                imageF_[z * imageStrideF_ + x]
                    = static_cast<float>(image_[static_cast<size_t>(z) * imageN_ + x]);
    }
    std::vector<BackProjectionLineSingle> lines(static_cast<size_t>(end - first));
    const double h = imageN_ * 0.5;
    for (int i = first; i < end; ++i) {
        const double theta = theta0 + i * dTheta;
        const double c = std::cos(theta), s = std::sin(theta);
        lines[static_cast<size_t>(i - first)]
            = BackProjectionLineSingle {filteredDataF(i), c, -s, h - (c * h - s * h), singleSlope(c)};
    }
    const BackProjectionRowsSingle pixels {
        imageF_.data(), imageStrideF_, rows.zs, rows.ze, rows.xs.data(), rows.xe.data()};
    addBackProjectionsSingle(pixels, lines, std::min(n_, imageN_) - 1);
    // The image as doubles, row by row of the region.
    for (int z = rows.zs; z < rows.ze; ++z)
        std::copy_n(imageF_.data() + static_cast<size_t>(z) * imageStrideF_, imageN_,
            image_.data() + static_cast<size_t>(z) * imageN_);
}
