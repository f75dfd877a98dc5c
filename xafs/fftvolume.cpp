#include "xafs/fftvolume.h"

// Local
#include "ct/fftwplanner.h"
#include <fftw3.h>
#include <map>
#include <mutex>
#include <tuple>

namespace {

struct PlanPair
{
    fftwf_plan forward = nullptr;
    fftwf_plan inverse = nullptr;
};

// Plans for the life of the process, one pair per size; made under the cache's lock and the
// program's planner lock.
class PlanCache
{
public:
    ~PlanCache()
    {
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        for (auto &[shape, plans] : plans_) {
            fftwf_destroy_plan(plans.forward);
            fftwf_destroy_plan(plans.inverse);
        }
    }

    PlanPair get(const VolumeShape &s)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto key = std::make_tuple(s.nz, s.ny, s.nx);
        if (const auto it = plans_.find(key); it != plans_.end())
            return it->second;
        // Measuring finds plans about twice as fast for the large volumes of a series, at the cost
        // of a few seconds once; small volumes are planned at once. Planning overwrites the array,
        // so it plans on one of its own.
        const unsigned flags = s.voxels() >= (std::size_t(1) << 21) ? FFTW_MEASURE : FFTW_ESTIMATE;
        float *scratch = static_cast<float *>(fftwf_malloc(SpectrumVolume::bytesFor(s)));
        if (!scratch)
            return {};
        auto *spectrum = reinterpret_cast<fftwf_complex *>(scratch);
        PlanPair p;
        const std::lock_guard<std::mutex> planner(fftwPlannerMutex());
        p.forward = fftwf_plan_dft_r2c_3d(s.nz, s.ny, s.nx, scratch, spectrum, flags);
        p.inverse = fftwf_plan_dft_c2r_3d(s.nz, s.ny, s.nx, spectrum, scratch, flags);
        fftwf_free(scratch);
        if (!p.forward || !p.inverse)
            return {};
        plans_[key] = p;
        return p;
    }

private:
    std::mutex mutex_;
    std::map<std::tuple<int, int, int>, PlanPair> plans_;
};

PlanCache &planCache()
{
    static PlanCache cache;
    return cache;
}

} // namespace

SpectrumVolume::~SpectrumVolume()
{
    fftwf_free(data_);
}

std::size_t SpectrumVolume::bytesFor(const VolumeShape &s)
{
    return std::size_t(s.nz) * std::size_t(s.ny) * 2 * std::size_t(s.nx / 2 + 1) * sizeof(float);
}

bool SpectrumVolume::allocate(const VolumeShape &shape)
{
    if (data_ && shape == shape_)
        return true;
    fftwf_free(data_);
    data_ = nullptr;
    shape_ = {};
    if (shape.nz < 1 || shape.ny < 1 || shape.nx < 1)
        return false;
    data_ = static_cast<float *>(fftwf_malloc(bytesFor(shape)));
    if (!data_)
        return false;
    shape_ = shape;
    // The planner is asked now, so that a size FFTW cannot plan shows before any work.
    return planCache().get(shape).forward != nullptr;
}

void SpectrumVolume::forward()
{
    const PlanPair p = planCache().get(shape_);
    fftwf_execute_dft_r2c(p.forward, data_, reinterpret_cast<fftwf_complex *>(data_));
}

void SpectrumVolume::inverse()
{
    const PlanPair p = planCache().get(shape_);
    fftwf_execute_dft_c2r(p.inverse, reinterpret_cast<fftwf_complex *>(data_), data_);
}
