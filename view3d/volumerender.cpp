#include "view3d/volumerender.h"

// Qt
#include <QPainter>
#include <QtConcurrent/QtConcurrentMap>

// Local
#include <algorithm>
#include <cmath>
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
    std::vector<const double *> slices;
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

/// One picture row. Slices in the outer loop, rays in the inner: the samples of one slice lie along
/// a line through it, which keeps the reads close together.
template<bool ShowCS, bool ByValue>
void renderRow(const RenderJob &job, int j, std::vector<double> &buffers, int alpha)
{
    const int pw = job.pw;
    buffers.resize(static_cast<size_t>(pw) * 5);
    double *ox = buffers.data(), *oy = ox + pw, *oz = oy + pw, *best = oz + pw, *sec = best + pw;
    for (int i = 0; i < pw; ++i) {
        const Vec3 p0 = job.frame->rayOrigin(i, j, pw, job.ph, job.frame->viewScale);
        ox[i] = p0.x;
        oy[i] = p0.y;
        oz[i] = p0.z;
        // By value: the largest value in the window so far (−∞: none) and the section's value (NaN:
        // none, or outside the window); otherwise the q values themselves, 0 for none.
        best[i] = ByValue ? -inf : 0.0;
        sec[i] = ByValue ? nan : 0.0;
    }
    const Vec3 nz = job.frame->nz;
    const double halfW = job.sw / 2.0, halfH = job.sh / 2.0;
    const double sw = job.sw, sh = job.sh;
    const double a = job.sectionDir.x, b = job.sectionDir.y, c = job.sectionDir.z;
    const double cs = job.cs;
    for (int k = 0; k < job.ns; ++k) {
        const double zk = k - job.ns / 2.0;
        const double *slice = job.slices[static_cast<size_t>(k)];
        for (int i = 0; i < pw; ++i) {
            const double t = (zk - oz[i]) / nz.z;
            const double X = ox[i] + t * nz.x;
            const double Y = oy[i] + t * nz.y;
            const double fx = halfW + X, fy = halfH + Y;
            // trunc(f) lies in 0 … size − 1 exactly when −1 < f < size.
            if (!(fx > -1.0 && fx < sw && fy > -1.0 && fy < sh))
                continue;
            const double v = slice[static_cast<size_t>(static_cast<int>(fy)) * job.sw + static_cast<int>(fx)];
            double d = 0.0;
            if constexpr (ShowCS) {
                d = a * X + b * Y + c * zk;
                if (d >= cs)
                    continue; // beyond the section plane: cut away
            }
            if constexpr (ByValue) {
                const bool inWindow = v >= job.lo && v <= job.hi;
                if (inWindow && v > best[i])
                    best[i] = v;
                if constexpr (ShowCS) {
                    if (cs - 1 < d && d < cs + 1)
                        sec[i] = inWindow ? v : nan;
                }
            } else {
                const double q = windowQ(v, job.thMin, job.thMax);
                const double qc = (0 <= q && q <= 255) ? q : 0.0;
                best[i] = std::max(best[i], qc);
                if constexpr (ShowCS) {
                    if (cs - 1 < d && d < cs + 1)
                        sec[i] = qc;
                }
            }
        }
    }
    QRgb *out = reinterpret_cast<QRgb *>(job.out->scanLine(j));
    for (int i = 0; i < pw; ++i) {
        double maxV = best[i], secV = sec[i];
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

} // namespace

QImage renderVolume(const SliceStack &stack, const SetLook &look, const ViewFrame &frame, int pw, int ph)
{
    if (pw < 1 || ph < 1)
        return QImage();
    QImage picture(pw, ph, QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull())
        return picture;
    picture.fill(Qt::transparent);
    const int ns = stack.count();
    if (ns < 1 || stack.nx < 1 || stack.ny < 1 || frame.nz.z == 0 || !std::isfinite(frame.nz.z))
        return picture;

    RenderJob job {&frame, pw, ph, ns, stack.nx, stack.ny, {}, look.thMin, look.thMax, false, 0.0, 0.0,
        look.showCSection, look.cs, look.sectionDir, look.volumeColor.rgb(), look.sectionColor.rgb(),
        &picture};
    job.slices.reserve(static_cast<size_t>(ns));
    for (const SliceData &s : stack.slices)
        job.slices.push_back(s.values.data());
    job.lo = look.thMin;
    job.byValue = std::isfinite(look.thMin) && std::isfinite(look.thMax) && look.thMax > look.thMin
        && upperValue(look.thMin, look.thMax, job.hi);
    const int alpha = std::clamp(look.alpha, 0, 255);

    // Bands of rows for the pool; each band keeps its own row buffers.
    constexpr int bandRows = 4;
    std::vector<int> bands;
    for (int j = 0; j < ph; j += bandRows)
        bands.push_back(j);
    QtConcurrent::blockingMap(bands, [&job, alpha, ph](int first) {
        std::vector<double> buffers;
        for (int j = first; j < std::min(first + bandRows, ph); ++j) {
            if (job.showCS)
                job.byValue ? renderRow<true, true>(job, j, buffers, alpha)
                            : renderRow<true, false>(job, j, buffers, alpha);
            else
                job.byValue ? renderRow<false, true>(job, j, buffers, alpha)
                            : renderRow<false, false>(job, j, buffers, alpha);
        }
    });
    return picture;
}

void paintVolumeFrame(QPainter &p, const ViewFrame &frame, int pw, int ph, int ss, int sw, int sh, bool front,
    const QColor &color)
{
    const double hx = sw / 2.0, hy = sh / 2.0, hz = ss / 2.0;
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
