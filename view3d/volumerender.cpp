#include "view3d/volumerender.h"

// Qt
#include <QPainter>
#include <QtConcurrent/QtConcurrentMap>

// Local
#include <algorithm>
#include <cmath>
#include <immintrin.h>
#include <limits>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

/// Everything the rows of one picture share.
struct RenderJob
{
    const ViewFrame *frame;
    int pw, ph, ns, sw, sh;
    // Per plane sampled: its slice's values, block ranges (null where it has none) and z.
    std::vector<const double *> slices;
    std::vector<const double *> blockRanges;
    std::vector<double> z;
    double thMin, thMax;
    // The values whose q lies in 0 … 255 are exactly those in lo … hi (q grows with v); otherwise
    // (an empty or reversed window) q is worked out for every sample.
    bool byValue;
    double lo, hi;
    bool showCS;
    double cs;
    Vec3 sectionDir;
    QRgb volume, section;
    QImage *out;
    bool vector; // the AVX2 sampling where the processor has it
};

/// The samples of one slice for a run of rays: what the inner loop of a tile needs.
struct SliceSamples
{
    const double *ox, *oy, *oz;
    double *best, *sec;
    const double *slice;
    const double *nextSlice; // slice k + 1 (or k): its lines are fetched ahead
    double zk;
    Vec3 nz;
    double halfW, halfH, sw, sh;
    int stride;
    double a, b, c, cs;
    double lo, hi, thMin, thMax;
};

inline double windowQ(double v, double thMin, double thMax)
{
    return (v - thMin) / (thMax - thMin) * 256;
}

/// The largest value whose q is at most 255, found by stepping from its estimate; false when q does
/// not behave (a window too narrow for the doubles around it).
bool upperValue(double thMin, double thMax, double &hi)
{
    hi = thMin + (thMax - thMin) * (255.0 / 256.0);
    for (int guard = 0; !(windowQ(hi, thMin, thMax) <= 255); ++guard) {
        if (guard > 64)
            return false;
        hi = std::nextafter(hi, -inf);
    }
    for (int guard = 0; windowQ(std::nextafter(hi, inf), thMin, thMax) <= 255; ++guard) {
        if (guard > 64)
            return false;
        hi = std::nextafter(hi, inf);
    }
    return std::isfinite(hi);
}

inline QRgb shade(double w, QRgb colour, int alpha)
{
    auto channel = [w](int c) { return static_cast<int>(std::trunc(255 - w * (1 - c / 255.0))); };
    return qPremultiply(qRgba(channel(qRed(colour)), channel(qGreen(colour)), channel(qBlue(colour)), alpha));
}

/// Rays r0 … r1 − 1 meet slice k: the largest value in the window (by value) or q (otherwise), and
/// with the section shown the cut and the section sample.
template<bool ShowCS, bool ByValue> void sampleSlice(const SliceSamples &s, int r0, int r1)
{
    for (int r = r0; r < r1; ++r) {
        const double t = (s.zk - s.oz[r]) / s.nz.z;
        const double X = s.ox[r] + t * s.nz.x;
        const double Y = s.oy[r] + t * s.nz.y;
        const double fx = s.halfW + X, fy = s.halfH + Y;
        // trunc(f) lies in 0 … size − 1 exactly when −1 < f < size. No branches on the data below:
        // noisy values would defeat the branch predictor.
        bool take = (fx > -1.0) & (fx < s.sw) & (fy > -1.0) & (fy < s.sh);
        const int ix = static_cast<int>(take ? fx : 0.0), iy = static_cast<int>(take ? fy : 0.0);
        const size_t index = static_cast<size_t>(iy) * s.stride + ix;
        const double v = s.slice[index];
        _mm_prefetch(reinterpret_cast<const char *>(s.nextSlice + index), _MM_HINT_T0);
        bool slab = false;
        if constexpr (ShowCS) {
            const double d = s.a * X + s.b * Y + s.c * s.zk;
            take &= !(d >= s.cs); // beyond the section plane: cut away
            slab = take & (s.cs - 1 < d) & (d < s.cs + 1);
        }
        if constexpr (ByValue) {
            const bool inWindow = take & (v >= s.lo) & (v <= s.hi);
            s.best[r] = std::max(s.best[r], inWindow ? v : -inf);
            if constexpr (ShowCS)
                s.sec[r] = slab ? (inWindow ? v : nan) : s.sec[r];
        } else {
            const double q = windowQ(v, s.thMin, s.thMax);
            const double qc = (take & (0 <= q) & (q <= 255)) ? q : 0.0;
            s.best[r] = std::max(s.best[r], qc);
            if constexpr (ShowCS)
                s.sec[r] = slab ? qc : s.sec[r];
        }
    }
}

/// The same as `sampleSlice` by value, four rays at a time with the same operations in the same
/// order (so the same bits); returns the number of rays done.
template<bool ShowCS> __attribute__((target("avx2"))) int sampleSliceAvx2(const SliceSamples &s, int n)
{
    const __m256d zk = _mm256_set1_pd(s.zk), nzx = _mm256_set1_pd(s.nz.x), nzy = _mm256_set1_pd(s.nz.y),
                  nzz = _mm256_set1_pd(s.nz.z);
    const __m256d halfW = _mm256_set1_pd(s.halfW), halfH = _mm256_set1_pd(s.halfH);
    const __m256d sw = _mm256_set1_pd(s.sw), sh = _mm256_set1_pd(s.sh), minusOne = _mm256_set1_pd(-1.0);
    const __m256d lo = _mm256_set1_pd(s.lo), hi = _mm256_set1_pd(s.hi), none = _mm256_set1_pd(-inf);
    const __m256d a = _mm256_set1_pd(s.a), b = _mm256_set1_pd(s.b), cz = _mm256_set1_pd(s.c * s.zk);
    const __m256d cs = _mm256_set1_pd(s.cs), csBelow = _mm256_set1_pd(s.cs - 1),
                  csAbove = _mm256_set1_pd(s.cs + 1);
    const __m256d notANumber = _mm256_set1_pd(nan), zero = _mm256_setzero_pd();
    const __m128i stride = _mm_set1_epi32(s.stride);
    int r = 0;
    for (; r + 4 <= n; r += 4) {
        const __m256d t = _mm256_div_pd(_mm256_sub_pd(zk, _mm256_loadu_pd(s.oz + r)), nzz);
        const __m256d X = _mm256_add_pd(_mm256_loadu_pd(s.ox + r), _mm256_mul_pd(t, nzx));
        const __m256d Y = _mm256_add_pd(_mm256_loadu_pd(s.oy + r), _mm256_mul_pd(t, nzy));
        const __m256d fx = _mm256_add_pd(halfW, X), fy = _mm256_add_pd(halfH, Y);
        __m256d take = _mm256_and_pd(
            _mm256_and_pd(_mm256_cmp_pd(fx, minusOne, _CMP_GT_OQ), _mm256_cmp_pd(fx, sw, _CMP_LT_OQ)),
            _mm256_and_pd(_mm256_cmp_pd(fy, minusOne, _CMP_GT_OQ), _mm256_cmp_pd(fy, sh, _CMP_LT_OQ)));
        const __m128i ix = _mm256_cvttpd_epi32(_mm256_and_pd(fx, take));
        const __m128i iy = _mm256_cvttpd_epi32(_mm256_and_pd(fy, take));
        const __m128i index = _mm_add_epi32(_mm_mullo_epi32(iy, stride), ix);
        const __m256d v = _mm256_mask_i32gather_pd(zero, s.slice, index, take, 8);
        // The next slice is met near the same place: ask for its lines now, while this one is read.
        alignas(16) int ahead[4];
        _mm_store_si128(reinterpret_cast<__m128i *>(ahead), index);
        for (int q : ahead)
            _mm_prefetch(reinterpret_cast<const char *>(s.nextSlice + q), _MM_HINT_T0);
        __m256d slab = zero;
        if constexpr (ShowCS) {
            const __m256d d = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(a, X), _mm256_mul_pd(b, Y)), cz);
            take = _mm256_and_pd(take, _mm256_cmp_pd(d, cs, _CMP_NGE_UQ));
            slab = _mm256_and_pd(take,
                _mm256_and_pd(_mm256_cmp_pd(csBelow, d, _CMP_LT_OQ), _mm256_cmp_pd(d, csAbove, _CMP_LT_OQ)));
        }
        const __m256d inWindow = _mm256_and_pd(
            take, _mm256_and_pd(_mm256_cmp_pd(v, lo, _CMP_GE_OQ), _mm256_cmp_pd(v, hi, _CMP_LE_OQ)));
        const __m256d best = _mm256_loadu_pd(s.best + r);
        _mm256_storeu_pd(s.best + r, _mm256_max_pd(_mm256_blendv_pd(none, v, inWindow), best));
        if constexpr (ShowCS) {
            const __m256d sec = _mm256_loadu_pd(s.sec + r);
            _mm256_storeu_pd(
                s.sec + r, _mm256_blendv_pd(sec, _mm256_blendv_pd(notANumber, v, inWindow), slab));
        }
    }
    return r;
}

/// Whether any value in the window may be met in slice k where the samples fall in minX … maxX,
/// minY … maxY (grid units, before truncation): false only when the blocks under that box, widened
/// by a cell for rounding, hold no value in lo … hi. Large boxes are not looked at: sampling them
/// costs less than reading their block ranges.
bool windowMayBeMet(const RenderJob &job, int k, double minX, double maxX, double minY, double maxY)
{
    const double *ranges = job.blockRanges[static_cast<size_t>(k)];
    if (!ranges)
        return true;
    constexpr int B = SliceData::block;
    auto blockOf = [](double f, int size) {
        return static_cast<int>(std::clamp(std::floor(f), 0.0, double(size - 1))) / B;
    };
    const int bx0 = blockOf(minX - 1, job.sw), bx1 = blockOf(maxX + 1, job.sw);
    const int by0 = blockOf(minY - 1, job.sh), by1 = blockOf(maxY + 1, job.sh);
    if ((bx1 - bx0 + 1) * (by1 - by0 + 1) > 64)
        return true;
    const int bw = SliceData::blocksAcross(job.sw);
    for (int by = by0; by <= by1; ++by) {
        for (int bx = bx0; bx <= bx1; ++bx) {
            const double *r = ranges + 2 * (static_cast<size_t>(by) * bw + bx);
            if (r[1] >= job.lo && r[0] <= job.hi)
                return true;
        }
    }
    return false;
}

/// One tile of the picture, rays (i, j) with i0 ≤ i < i1 and j0 ≤ j < j1. Slices in the outer loop,
/// the tile's rays in the inner one: the samples of a tile in one slice lie close together, so what
/// is read from memory is used by several rays whichever way the view is turned.
template<bool ShowCS, bool ByValue>
void renderTile(const RenderJob &job, int i0, int i1, int j0, int j1, std::vector<double> &buffers, int alpha)
{
    const int n = (i1 - i0) * (j1 - j0);
    buffers.resize(static_cast<size_t>(n) * 5);
    double *ox = buffers.data(), *oy = ox + n, *oz = oy + n, *best = oz + n, *sec = best + n;
    for (int j = j0, r = 0; j < j1; ++j) {
        for (int i = i0; i < i1; ++i, ++r) {
            const Vec3 p0 = job.frame->rayOrigin(i, j, job.pw, job.ph, job.frame->viewScale);
            ox[r] = p0.x;
            oy[r] = p0.y;
            oz[r] = p0.z;
            // By value: the largest value in the window so far (−∞: none) and the section's value
            // (NaN: none, or outside the window); otherwise the q values themselves, 0 for none.
            best[r] = ByValue ? -inf : 0.0;
            sec[r] = ByValue ? nan : 0.0;
        }
    }
    const Vec3 nz = job.frame->nz;
    const double halfW = job.sw / 2.0, halfH = job.sh / 2.0;
    const double sw = job.sw, sh = job.sh;
    const double a = job.sectionDir.x, b = job.sectionDir.y, c = job.sectionDir.z;
    const double cs = job.cs;
    const int corners[4] = {0, i1 - i0 - 1, n - (i1 - i0), n - 1};
    for (int k = 0; k < job.ns; ++k) {
        const double zk = job.z[static_cast<size_t>(k)];
        // The samples of the tile in slice k lie in the parallelogram of its corner rays (up to
        // rounding): a tile that misses the grid by more than a cell skips the slice.
        double minX = inf, maxX = -inf, minY = inf, maxY = -inf, minD = inf, maxD = -inf;
        for (int corner : corners) {
            const double t = (zk - oz[corner]) / nz.z;
            const double X = ox[corner] + t * nz.x, Y = oy[corner] + t * nz.y;
            const double fx = halfW + X, fy = halfH + Y;
            minX = std::min(minX, fx);
            maxX = std::max(maxX, fx);
            minY = std::min(minY, fy);
            maxY = std::max(maxY, fy);
            if constexpr (ShowCS) {
                const double d = a * X + b * Y + c * zk;
                minD = std::min(minD, d);
                maxD = std::max(maxD, d);
            }
        }
        if (!(maxX > -2.0 && minX < sw + 1.0 && maxY > -2.0 && minY < sh + 1.0))
            continue;
        if constexpr (ByValue) {
            // A slice whose samples here hold no value of the window leaves the maxima as they are
            // and may be skipped, unless a sample lies in the section's slab, whose value is taken
            // (or marked as out of the window) either way. The distance d is affine across the
            // tile, so its corners bound it; the margin covers rounding.
            const double margin = 1e-6 * (1.0 + std::abs(cs));
            const bool slabMayBeMet = ShowCS && !(maxD < cs - 1 - margin || minD > cs + 1 + margin);
            if (!slabMayBeMet && !windowMayBeMet(job, k, minX, maxX, minY, maxY))
                continue;
        }
        const SliceSamples samples {ox, oy, oz, best, sec, job.slices[static_cast<size_t>(k)],
            job.slices[static_cast<size_t>(std::min(k + 1, job.ns - 1))], zk, nz, halfW, halfH, sw, sh,
            job.sw, a, b, c, cs, job.lo, job.hi, job.thMin, job.thMax};
        int r = 0;
        if constexpr (ByValue) {
            if (job.vector)
                r = sampleSliceAvx2<ShowCS>(samples, n);
        }
        sampleSlice<ShowCS, ByValue>(samples, r, n);
    }
    for (int j = j0, r = 0; j < j1; ++j) {
        QRgb *out = reinterpret_cast<QRgb *>(job.out->scanLine(j));
        for (int i = i0; i < i1; ++i, ++r) {
            double maxV = best[r], secV = sec[r];
            if constexpr (ByValue) {
                maxV = maxV > -inf ? windowQ(maxV, job.thMin, job.thMax) : 0.0;
                secV = std::isnan(secV) ? 0.0 : windowQ(secV, job.thMin, job.thMax);
            }
            if (ShowCS && secV > 0)
                out[i] = shade(secV, job.section, alpha);
            else if (maxV > 0)
                out[i] = shade(maxV, job.volume, alpha);
            else
                out[i] = 0; // transparent
        }
    }
}

} // namespace

QImage renderVolume(
    const SliceStack &stack, const SetLook &look, const ViewFrame &frame, int pw, int ph, bool generic)
{
    if (pw < 1 || ph < 1)
        return QImage();
    QImage picture(pw, ph, QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull())
        return picture;
    picture.fill(Qt::transparent);
    const int count = stack.count();
    std::vector<VolumePlane> unitPlanes; // without the look's planes: slice k at k − ns/2
    if (look.planes.empty()) {
        for (int k = 0; k < count; ++k)
            unitPlanes.push_back({k - count / 2.0, k});
    }
    const std::vector<VolumePlane> &planes = look.planes.empty() ? unitPlanes : look.planes;
    const int ns = static_cast<int>(planes.size());
    if (count < 1 || ns < 1 || stack.nx < 1 || stack.ny < 1 || frame.nz.z == 0 || !std::isfinite(frame.nz.z))
        return picture;

    RenderJob job {&frame, pw, ph, ns, stack.nx, stack.ny, {}, {}, {}, look.thMin, look.thMax, false, 0.0,
        0.0, look.showCSection, look.cs, look.sectionDir, look.volumeColor.rgb(), look.sectionColor.rgb(),
        &picture, !generic && __builtin_cpu_supports("avx2")};
    job.slices.reserve(static_cast<size_t>(ns));
    job.blockRanges.reserve(static_cast<size_t>(ns));
    job.z.reserve(static_cast<size_t>(ns));
    for (const VolumePlane &plane : planes) {
        if (plane.slice < 0 || plane.slice >= count)
            continue; // planes of another stack
        const SliceData &s = stack.slices[static_cast<size_t>(plane.slice)];
        if (s.nx != stack.nx || s.ny != stack.ny || s.values.size() != size_t(stack.nx) * size_t(stack.ny))
            continue;
        job.slices.push_back(s.values.data());
        job.blockRanges.push_back(s.hasBlockRanges() ? s.blockRanges.data() : nullptr);
        job.z.push_back(plane.z);
    }
    job.ns = static_cast<int>(job.z.size());
    if (job.ns < 1)
        return picture;
    job.lo = look.thMin;
    job.byValue = std::isfinite(look.thMin) && std::isfinite(look.thMax) && look.thMax > look.thMin
        && upperValue(look.thMin, look.thMax, job.hi);
    const int alpha = std::clamp(look.alpha, 0, 255);

    // Bands of tiles for the pool; each band keeps its own buffers.
    constexpr int tile = 16;
    std::vector<int> bands;
    for (int j = 0; j < ph; j += tile)
        bands.push_back(j);
    QtConcurrent::blockingMap(bands, [&job, alpha, pw, ph](int j0) {
        std::vector<double> buffers;
        const int j1 = std::min(j0 + tile, ph);
        for (int i0 = 0; i0 < pw; i0 += tile) {
            const int i1 = std::min(i0 + tile, pw);
            if (job.showCS)
                job.byValue ? renderTile<true, true>(job, i0, i1, j0, j1, buffers, alpha)
                            : renderTile<true, false>(job, i0, i1, j0, j1, buffers, alpha);
            else
                job.byValue ? renderTile<false, true>(job, i0, i1, j0, j1, buffers, alpha)
                            : renderTile<false, false>(job, i0, i1, j0, j1, buffers, alpha);
        }
    });
    return picture;
}

void paintVolumeFrame(QPainter &p, const ViewFrame &frame, int pw, int ph, double depth, int sw, int sh,
    bool front, const QColor &color)
{
    const double hx = sw / 2.0, hy = sh / 2.0, hz = depth / 2.0;
    const double offX = dot(frame.panOffset, frame.nx), offY = dot(frame.panOffset, frame.ny);
    auto project = [&](double x, double y, double z) {
        const Vec3 q {x, y, z};
        // Far-away corners are held at a distance a painter still draws straight.
        auto at = [](double v) { return static_cast<int>(std::trunc(std::clamp(v, -1e7, 1e7))); };
        return QPoint(at(pw / 2 + (dot(q, frame.nx) - offX) / frame.viewScale),
            at(ph / 2 + (dot(q, frame.ny) - offY) / frame.viewScale));
    };
    // Each face: the axis it is normal to, its side, and its depth along the view direction.
    struct Face
    {
        int axis;
        double side;
    };
    const Face faces[] = {{0, -1}, {0, 1}, {1, -1}, {1, 1}, {2, -1}, {2, 1}};
    const double half[] = {hx, hy, hz};
    const double towardsViewer[] = {frame.nz.x, frame.nz.y, frame.nz.z};
    p.save();
    p.setPen(QPen(color, 1, Qt::SolidLine));
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const Face &f : faces) {
        const double depth = f.side * half[f.axis] * towardsViewer[f.axis];
        if (front ? !(depth > 0) : !(depth < 0))
            continue;
        // The four corners of the face in order round it.
        const double signs[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        QPoint corner[4];
        for (int c = 0; c < 4; ++c) {
            double v[3];
            v[f.axis] = f.side * half[f.axis];
            v[(f.axis + 1) % 3] = signs[c][0] * half[(f.axis + 1) % 3];
            v[(f.axis + 2) % 3] = signs[c][1] * half[(f.axis + 2) % 3];
            corner[c] = project(v[0], v[1], v[2]);
        }
        for (int c = 0; c < 4; ++c)
            p.drawLine(corner[c], corner[(c + 1) % 4]);
    }
    p.restore();
}
