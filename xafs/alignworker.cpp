#include "xafs/alignworker.h"

// Qt
#include <QElapsedTimer>

// Local
#include "xafs/alignkernels.h"
#include "xafs/volumereader.h"
#include <cmath>

std::optional<double> overlapCorrelation(
    const Volume &aligned, const Volume &reference, const std::vector<std::uint64_t> &referenceGaps)
{
    if (!(aligned.shape == reference.shape))
        return std::nullopt;
    double s[6] = {0, 0, 0, 0, 0, 0};
    alignKernels().pairSums(aligned.values.data(), reference.values.data(), aligned.values.size(), s);
    for (const std::uint64_t i : referenceGaps) { // the reference holds 0 there, not a number
        const double a = aligned.values[i], b = reference.values[i];
        if (std::isnan(a))
            continue;
        s[0] -= 1.0;
        s[1] -= a;
        s[2] -= b;
        s[3] -= a * a;
        s[4] -= b * b;
        s[5] -= a * b;
    }
    const double n = s[0];
    if (n < 2.0)
        return std::nullopt;
    const double ma = s[1] / n, mb = s[2] / n;
    const double va = s[3] / n - ma * ma, vb = s[4] / n - mb * mb;
    if (!(va > 0.0) || !(vb > 0.0))
        return std::nullopt;
    return std::clamp((s[5] / n - ma * mb) / std::sqrt(va * vb), -1.0, 1.0);
}

AlignWorker::AlignWorker(std::shared_ptr<const AlignContext> context)
    : context_(std::move(context))
{
}

void AlignWorker::run(const AlignTask &task)
{
    QElapsedTimer clock;
    clock.start();
    auto r = std::make_shared<AlignResult>();
    r->task = task;
    if (task.kind == AlignTask::Kind::Register)
        registerPair(*r);
    else
        move(*r);
    r->seconds = clock.elapsed() / 1000.0;
    emit done(r);
}

void AlignWorker::registerPair(AlignResult &r)
{
    const AlignContext &c = *context_;
    const auto volumeOf = [&c](int index, QString &problem) -> std::shared_ptr<const Volume> {
        if (index == c.referenceIndex)
            return c.reference;
        VolumeRead read = readEnergyVolume(c.series, index);
        if (!read.ok()) {
            problem = read.problem;
            return nullptr;
        }
        return std::make_shared<const Volume>(std::move(read.volume));
    };
    const std::shared_ptr<const Volume> target = volumeOf(r.task.to, r.problem);
    if (!target)
        return;
    const std::shared_ptr<const Volume> moving = volumeOf(r.task.energy, r.problem);
    if (!moving)
        return;
    QString why;
    const auto reference = RegistrationReference::make(target, c.box, c.settings, &why);
    if (!reference) {
        r.problem = why;
        return;
    }
    r.registration = PhaseCorrelation(reference).align(*moving);
    r.registered = r.registration.ok;
    r.problem = r.registration.problem;
    r.shift = r.registration.shift;
}

void AlignWorker::move(AlignResult &r)
{
    const AlignContext &c = *context_;
    const VolumeShape shape = c.reference->shape;
    auto volume = std::make_shared<Volume>();
    std::vector<std::uint64_t> nonFinite;
    if (r.task.energy == c.referenceIndex) {
        *volume = *c.reference;
        nonFinite = c.referenceNonFinite;
    } else {
        VolumeRead read = readEnergyVolume(c.series, r.task.energy);
        if (!read.ok()) {
            r.problem = read.problem;
            return;
        }
        if (!(read.volume.shape == shape)) {
            r.problem = QStringLiteral("its volume is %1 x %2 x %3 voxels, the reference's %4 x %5 x %6")
                            .arg(read.volume.shape.nz)
                            .arg(read.volume.shape.ny)
                            .arg(read.volume.shape.nx)
                            .arg(shape.nz)
                            .arg(shape.ny)
                            .arg(shape.nx);
            return;
        }
        *volume = std::move(read.volume);
        nonFinite = std::move(read.nonFinite);
    }
    r.nonFiniteRead = nonFinite.size();
    const std::size_t plane = shape.plane();
    if (r.task.keepMiddle)
        r.before.assign(volume->slice(c.middle), volume->slice(c.middle) + plane);
    // The reference itself stays where it is.
    if (r.task.registerFirst && r.task.energy != c.referenceIndex) {
        if (!correlation_)
            correlation_ = std::make_unique<PhaseCorrelation>(c.registration);
        r.registration = correlation_->align(*volume);
        if (!r.registration.ok) {
            r.problem = r.registration.problem;
            return;
        }
        r.registered = true;
        r.shift = r.registration.shift;
    } else {
        r.shift = r.task.energy == c.referenceIndex ? Shift3 {} : r.task.shift;
    }
    r.counts = shiftVolume(*volume, r.shift, nonFinite);
    r.peak = overlapCorrelation(*volume, *c.reference, c.referenceNonFinite);
    if (r.task.keepMiddle)
        r.after.assign(volume->slice(c.middle), volume->slice(c.middle) + plane);
    r.aligned = std::move(volume);
}
