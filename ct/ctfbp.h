#pragma once

// Local
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

/// Filtered back-projection of one slice. Every projection row is transformed with a complex DFT of
/// length N (the sinogram width rounded down to even: no zero padding), weighted with the bare ramp
/// |2πk/N| in radians per sample (no window), transformed back and scaled by 1/(N·P); the filtered
/// rows are then added into an N × N image along their angles θ0 + i·Δθ with linear interpolation
/// between detector samples, inside the calculation region and strictly inside the circle of
/// radius N/2 about the rotation axis at (N/2, N/2). With these weights and 1/P (not π/P) a uniform
/// object of attenuation μ per pixel reconstructs to 2μ.
///
/// In single precision (set up so) the same filter runs as real transforms of floats, the filtered
/// rows and the image are floats and the positions are worked out per group of 16 pixels (see
/// backprojectsingle.h): about twice as fast, and within 10⁻⁵ of the slice's value range of the
/// double result; the image is handed out as doubles all the same.
/// \test tst_ctfbp.cpp
class CtFbp
{
public:
    CtFbp() = default;
    ~CtFbp();
    CtFbp(const CtFbp &) = delete;
    CtFbp &operator=(const CtFbp &) = delete;

    /// Prepares buffers and FFT plans for length n and p projections, in doubles or in single
    /// precision; nothing happens when all are unchanged. Throws std::bad_alloc when memory runs
    /// out, leaving an engine of length 0. Plans FFTs: call it from one thread at a
    /// time, never while the engine computes.
    void setup(int n, int p, bool single = false);
    /// The image becomes n × n zeros.
    void resetImage(int n);
    /// Forward DFT of the first N values of `row` into spectrum i.
    void forwardRow(const double *row, int i);
    /// Ramp weighting of spectrum i, inverse DFT and scaling into filtered row i.
    void filterRow(int i);
    /// Adds filtered row i into the image, pixels x0 ≤ x < x1, z0 ≤ z < z1 (starts truncated toward
    /// zero) strictly inside the circle; θ0 and Δθ in radians.
    void backProjectRow(int i, double x0, double x1, double z0, double z1, double theta0, double dTheta);
    /// `backProjectRow` for rows 0 … rows − 1, in one pass over the image that adds several rows into a
    /// block of pixels at a time; every pixel receives the same contributions in the same order, so the
    /// sums are identical.
    void backProjectRows(int rows, double x0, double x1, double z0, double z1, double theta0, double dTheta);
    /// Smallest and largest image value (all pixels, zeros outside the circle included).
    void minMax();
    /// Hands the image over (n × n values); the engine has none until `resetImage`.
    std::vector<double> takeImage();
    /// A buffer handed over before, for `resetImage` to use again (no new pages to fault in).
    void recycleImage(std::vector<double> &&buffer);

    int n() const { return n_; }
    bool single() const { return single_; }
    int projections() const { return p_; }
    bool backProjected() const { return backProjected_; }
    double minimum() const { return min_; }
    double maximum() const { return max_; }
    /// The image: n rows of n values, row index z, column index x.
    std::span<const double> image() const { return image_; }
    const double *imageRow(int z) const { return image_.data() + static_cast<std::size_t>(z) * imageN_; }
    int imageN() const { return imageN_; }
    /// Filtered row i (empty in single precision).
    std::span<const double> filteredRow(int i) const
    {
        return {filteredData(i), single_ ? 0 : static_cast<std::size_t>(n_)};
    }
    /// The ramp weight of DFT bin k (tests).
    double weight(int k) const { return weights_[static_cast<std::size_t>(k)]; }

private:
    struct Rows // the pixel rows of a region inside the circle
    {
        int zs = 0, ze = 0; // rows zs … ze − 1
        std::vector<int> xs, xe; // per row: columns xs … xe − 1
    };
    void release();
    // Single precision (ctfbpsingle.cpp).
    void allocate(int n, int p, bool single); // throws std::bad_alloc
    void setupSingle();
    void releaseSingle();
    void forwardRowSingle(const double *row, int i);
    void filterRowSingle(int i);
    void backProjectSingle(const Rows &rows, int first, int end, double theta0, double dTheta);
    Rows rowsOf(double x0, double x1, double z0, double z1) const;
    void backProject(
        int first, int end, double x0, double x1, double z0, double z1, double theta0, double dTheta);

    int n_ = 0;
    int p_ = 0;
    int rows_ = 0; // projections the buffers hold
    double *fwdIn_ = nullptr; // fftw_complex buffers, N elements each
    double *fwdOut_ = nullptr;
    double *invIn_ = nullptr;
    double *invOut_ = nullptr;
    void *fwdPlan_ = nullptr;
    void *invPlan_ = nullptr;
    // Spectra (P complex rows of N) and filtered rows (P rows of N, each followed by padding that the
    // back-projection may read) in one block each. They are not cleared when allocated, so that
    // setting an engine up stays quick on the main thread: every row is written before it is read.
    double *spectra_ = nullptr;
    struct AlignedFree
    {
        void operator()(double *p) const { std::free(p); }
    };
    std::unique_ptr<double[], AlignedFree> filtered_;
    std::size_t filteredStride_ = 0;
    double *spectrum(int i) const { return spectra_ + 2 * static_cast<std::size_t>(i) * n_; }
    double *filteredData(int i) const
    {
        return filtered_.get() + static_cast<std::size_t>(i) * filteredStride_;
    }
    std::vector<double> weights_;
    bool single_ = false;
    // Single precision: a real transform pair of floats, the first N/2 + 1 bins of each spectrum,
    // the filtered rows (with padding, as above) and the image in floats, copied into `image_` after
    // each back-projection.
    float *fwdInF_ = nullptr;
    float *fwdOutF_ = nullptr; // fftwf_complex
    float *invInF_ = nullptr; // fftwf_complex
    float *invOutF_ = nullptr;
    void *fwdPlanF_ = nullptr;
    void *invPlanF_ = nullptr;
    float *spectraF_ = nullptr;
    struct AlignedFreeF
    {
        void operator()(float *p) const { std::free(p); }
    };
    std::unique_ptr<float[], AlignedFreeF> filteredF_;
    std::size_t filteredStrideF_ = 0;
    std::vector<float> imageF_;
    std::size_t imageStrideF_ = 0;
    float *filteredDataF(int i) const
    {
        return filteredF_.get() + static_cast<std::size_t>(i) * filteredStrideF_;
    }
    std::vector<double> image_;
    std::vector<double> spareImage_; // a handed-over image given back
    int imageN_ = 0;
    bool backProjected_ = false;
    double min_ = 0.0;
    double max_ = 0.0;
};

/// Angle of the first projection and the step, in radians: Δθ = (range/180)·π / images,
/// θ0 = (origin/180)·π + start·Δθ.
struct ProjectionAngles
{
    double theta0 = 0.0;
    double dTheta = 0.0;
};
ProjectionAngles projectionAngles(double originDeg, double rangeDeg, int dataSetImages, int startImage);
