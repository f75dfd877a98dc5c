#include "xafs/xanesworker.h"

// Qt
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

// Local
#include "xafs/alignseries.h"
#include "xafs/mapwriter.h"
#include "xafs/xafslog.h"

namespace {

JobOutcome failedJob(int asked, const QString &why)
{
    JobOutcome o;
    o.asked = std::max(1, asked);
    o.failed = o.asked;
    o.why = why;
    return o;
}

} // namespace

XanesWorker::XanesWorker(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<JobOutcome>();
    qRegisterMetaType<XanesMapsPtr>();
    qRegisterMetaType<XanesProgress>();
    qRegisterMetaType<XanesSettings>();
    qRegisterMetaType<VoxelSpectrum>();
}

XanesWorker::~XanesWorker() = default;

void XanesWorker::analyse(const QString &path, const XanesSettings &settings, int threads)
{
    maps_.reset();
    source_.reset();
    const auto fail = [this](const QString &why, int asked = 1) {
        qCCritical(lcXafs).noquote() << QStringLiteral("XANES maps not made: %1").arg(why);
        emit analysed(failedJob(asked, why), {});
    };

    std::vector<Standard> standards;
    for (const StandardChoice &choice : settings.standards) {
        Standard s;
        s.name = choice.name;
        s.file = choice.file;
        QString error;
        if (!readStandard(s, error))
            return fail(error);
        standards.push_back(std::move(s));
    }
    const XanesInput input = xanesInputOf(path);
    QString error;
    std::unique_ptr<SlabSource> source;
    if (input.alignedFile) {
        source = openAlignedFile(input.path, error);
    } else {
        AlignSeries series;
        if (scanAlignSeries(input.path, series, error))
            source = openSeriesFolder(series, error);
        else
            error = QStringLiteral("the series is refused: %1").arg(error);
    }
    if (!source)
        return fail(error);
    std::shared_ptr<const XanesPlan> plan = XanesPlan::make(source->energies(), settings, standards, error);
    if (!plan)
        return fail(error);
    const VolumeShape shape = source->shape();
    const std::size_t bytes = shape.voxels() * plan->maps().size() * sizeof(float);
    if (bytes > maxWindowMapBytes)
        return fail(QStringLiteral("the maps of %1 would take %2 GB, more than the window keeps (%3 GB): "
                                   "make them with quorvel-xanes")
                        .arg(source->name())
                        .arg(double(bytes) / 1e9, 0, 'f', 1)
                        .arg(double(maxWindowMapBytes) / 1e9, 0, 'f', 1),
            shape.nz);

    auto maps = std::make_shared<XanesMaps>();
    maps->source = input.path;
    maps->sourceName = source->name();
    maps->plan = plan;
    maps->shape = shape;
    maps->slices = source->slices();
    XanesAnalysis analysis(plan, *source, std::max(1, threads));
    QElapsedTimer clock;
    clock.start();
    qint64 last = -1000;
    // Handed on in whole slices, at most ten times a second.
    const XanesAnalysis::Progress progress = [&](const XanesProgress &p) {
        if (clock.elapsed() - last < 100 && p.done < p.total)
            return;
        last = clock.elapsed();
        const std::uint64_t plane = std::max<std::uint64_t>(1, shape.plane());
        emit this->progress({p.pass, p.done / plane, p.total / plane});
    };
    const bool ok = analysis.run(
        [&maps](const XanesMapSlab &slab, QString &) {
            maps->slabs.push_back(slab);
            return true;
        },
        progress, &cancel_);
    JobOutcome outcome;
    outcome.asked = shape.nz;
    for (const XanesMapSlab &slab : maps->slabs)
        outcome.done += slab.nz;
    if (!ok) {
        outcome.stopped = analysis.stopped();
        if (!outcome.stopped)
            outcome.failed = outcome.asked - outcome.done;
        outcome.why = analysis.problem();
        if (outcome.stopped)
            qCInfo(lcXafs).noquote() << QStringLiteral("XANES maps stopped: %1").arg(outcome.counts());
        else
            qCCritical(lcXafs).noquote() << QStringLiteral("XANES maps not made: %1").arg(outcome.why);
        emit analysed(outcome, {});
        return;
    }
    maps->minJump = analysis.minJump();
    maps->noiseMedian = analysis.noiseMedian();
    maps->analysed = analysis.analysedVoxels();
    if (maps->analysed == 0)
        qCWarning(lcXafs).noquote() << QStringLiteral("XANES maps: every voxel is masked (no edge jump "
                                                      "reaches %1)")
                                           .arg(maps->minJump, 0, 'g', 4);
    qCInfo(lcXafs).noquote() << QStringLiteral("XANES maps of %1: %2 of %3 voxels analysed in %4 s")
                                    .arg(maps->sourceName)
                                    .arg(maps->analysed)
                                    .arg(analysis.voxels())
                                    .arg(clock.elapsed() / 1000.0, 0, 'f', 1);
    source_ = std::move(source);
    maps_ = maps;
    emit analysed(outcome, maps_);
}

void XanesWorker::spectrum(int z, int y, int x)
{
    VoxelSpectrum s;
    QString error;
    if (!maps_ || !source_)
        error = QStringLiteral("no series is analysed");
    else if (z < 0 || y < 0 || x < 0 || z >= maps_->shape.nz || y >= maps_->shape.ny || x >= maps_->shape.nx)
        error = QStringLiteral("voxel %1,%2,%3 lies outside the volume").arg(z).arg(y).arg(x);
    else
        voxelSpectrum(*source_, *maps_->plan, z, y, x, 0, maps_->minJump, s, error);
    if (!error.isEmpty())
        qCWarning(lcXafs).noquote() << QStringLiteral("XANES spectrum: %1").arg(error);
    emit spectrumReady(s, error);
}

void XanesWorker::save(const QString &dir)
{
    if (!maps_) {
        const QString why = QStringLiteral("no maps to save: analyse a series first");
        qCCritical(lcXafs).noquote() << QStringLiteral("Save Maps: %1").arg(why);
        emit saved(failedJob(1, why), {});
        return;
    }
    QString error;
    XanesMapWriter writer(maps_->plan, dir);
    bool ok = !dir.isEmpty() && QDir().mkpath(dir);
    if (!ok)
        error = QStringLiteral("the folder %1 cannot be made").arg(dir);
    ok = ok && writer.begin(maps_->shape, maps_->slices, error);
    for (const XanesMapSlab &slab : maps_->slabs) {
        if (!ok)
            break;
        ok = writer.write(slab, error);
    }
    if (!ok) {
        writer.abandon();
    } else {
        MapsRecord record;
        record.source = maps_->source;
        record.version = QStringLiteral(QV_VERSION);
        record.minJump = maps_->minJump;
        record.noiseMedian = maps_->noiseMedian;
        record.analysed = maps_->analysed;
        ok = writer.finish(record, error);
    }
    JobOutcome outcome;
    outcome.asked = int(maps_->plan->maps().size());
    outcome.done = ok ? outcome.asked : 0;
    outcome.failed = outcome.asked - outcome.done;
    outcome.why = error;
    if (ok)
        qCInfo(lcXafs).noquote() << QStringLiteral("Save Maps: %1 files in %2").arg(writer.files().size()).arg(dir);
    else
        qCCritical(lcXafs).noquote() << QStringLiteral("Save Maps: the maps are not all written: %1").arg(error);
    emit saved(outcome, writer.files());
}
