#include "xafs/xanesrun.h"

// Qt
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

// Local
#include "config/timeleft.h"
#include "xafs/mapwriter.h"
#include "xafs/seriesaligner.h"
#include "xafs/voxelspectrum.h"
#include <cmath>

namespace {

struct Lines
{
    QTextStream &out;
    QTextStream &err;
    QString program;

    void progress(const QString &m) const { out << m << Qt::endl; }
    void warning(const QString &m) const { err << program << ": warning: " << m << Qt::endl; }
    int failure(const QString &m, int status) const
    {
        err << program << ": " << m << Qt::endl;
        return status;
    }
};

QString jumpText(double v, const XanesPlan &plan)
{
    return QStringLiteral("%1 (%2)").arg(v, 0, 'g', 4).arg(plan.maps().front().unit);
}

// The progress of an analysis as lines, at most one a second, with the time left.
XanesAnalysis::Progress progressLines(
    const Lines &lines, const std::vector<int> &slices, const VolumeShape &shape)
{
    auto clock = std::make_shared<QElapsedTimer>();
    auto last = std::make_shared<qint64>(-1000);
    auto left = std::make_shared<TimeLeft>();
    auto pass = std::make_shared<int>(-1);
    clock->start();
    return [=, &lines](const XanesProgress &p) {
        if (int(p.pass) != *pass) {
            *pass = int(p.pass);
            left->start(qint64(p.total), clock->elapsed());
        }
        left->setDone(qint64(p.done), clock->elapsed());
        if (clock->elapsed() - *last < 1000 && p.done < p.total)
            return;
        *last = clock->elapsed();
        const int z = int(p.done / std::max<std::size_t>(1, shape.plane())); // slices done
        const QString where = z > 0 ? QStringLiteral("to slice %1").arg(slices[std::size_t(z - 1)])
                                    : QStringLiteral("under way");
        lines.progress(QStringLiteral("%1: %2 of %3 slices (%4), %5 left")
                           .arg(p.pass == XanesProgress::Pass::Noise ? QStringLiteral("pre-edge noise")
                                                                     : QStringLiteral("maps"))
                           .arg(z)
                           .arg(shape.nz)
                           .arg(where, TimeLeft::text(left->secondsLeft())));
    };
}

} // namespace

int runXanes(const XanesOptions &options, QTextStream &out, QTextStream &err, const QString &program)
{
    const Lines lines {out, err, program};
    if (!options.maps)
        return alignSeries(options.align, out, err, program);
    const XanesSettings &settings = *options.maps;
    std::vector<Standard> standards;
    for (const StandardChoice &choice : settings.standards) {
        Standard s;
        s.name = choice.name;
        s.file = choice.file;
        QString error;
        if (!readStandard(s, error))
            return lines.failure(error, 2);
        standards.push_back(std::move(s));
    }

    // The source of the spectra: the aligned file given, the folder as it is, or the folder aligned now.
    int status = 0;
    std::unique_ptr<SlabSource> source;
    QString error;
    QString sourceName = options.align.series;
    if (options.alignedInput) {
        source = openAlignedFile(options.align.series, error);
        if (!source)
            return lines.failure(error, 1);
    } else {
        AlignSeries series;
        if (!scanAlignSeries(options.align.series, series, error))
            return lines.failure(QStringLiteral("the series is refused: %1").arg(error), 1);
        std::vector<double> energies;
        for (const SeriesEnergy &e : series.energies)
            energies.push_back(e.energy);
        if (!XanesPlan::make(energies, settings, standards, error))
            return lines.failure(error, 2);
        if (options.align.noAlign) {
            source = openSeriesFolder(series, error);
            if (!source)
                return lines.failure(error, 1);
        } else {
            status = alignSeries(options.align, out, err, program);
            const QString aligned = QDir(options.align.out).filePath(QStringLiteral("aligned.h5"));
            if (status == 2 || !QFileInfo::exists(aligned))
                return status;
            sourceName = aligned;
            source = openAlignedFile(aligned, error);
            if (!source)
                return lines.failure(error, 1);
            if (status != 0)
                lines.warning(QStringLiteral("the maps are made from the %1 energies aligned")
                                  .arg(source->energies().size()));
        }
    }
    const std::shared_ptr<const XanesPlan> plan
        = XanesPlan::make(source->energies(), settings, standards, error);
    if (!plan)
        return lines.failure(error, options.alignedInput || options.align.noAlign ? 2 : 1);
    const VolumeShape shape = source->shape();
    const std::vector<int> &slices = source->slices();
    XanesAnalysis analysis(plan, *source, options.align.threads);
    const XanesAnalysis::Progress progress = progressLines(lines, slices, shape);
    QElapsedTimer clock;
    clock.start();
    if (!analysis.findMinJump(progress))
        return lines.failure(QStringLiteral("the maps are not made: %1").arg(analysis.problem()), 1);
    if (settings.minJump)
        lines.progress(
            QStringLiteral("mask: an edge jump below %1 is masked").arg(jumpText(analysis.minJump(), *plan)));
    else if (std::isfinite(analysis.minJump()))
        lines.progress(
            QStringLiteral("mask: the median pre-edge noise is %1 (%2); an edge jump below %3 is masked")
                .arg(analysis.noiseMedian(), 0, 'g', 4)
                .arg(sliceUnit(), jumpText(analysis.minJump(), *plan)));
    else
        lines.warning(
            QStringLiteral("no voxel has pre-edge noise to measure (every value lies on a line): every "
                           "voxel is masked; give --min-jump"));

    if (options.spectrum) {
        const SpectrumRequest &r = *options.spectrum;
        if (r.z >= shape.nz || r.y >= shape.ny || r.x >= shape.nx)
            return lines.failure(
                QStringLiteral("--spectrum %1,%2,%3 lies outside the volume of %4 x %5 x %6 voxels "
                               "(z, y, x)")
                    .arg(r.z)
                    .arg(r.y)
                    .arg(r.x)
                    .arg(shape.nz)
                    .arg(shape.ny)
                    .arg(shape.nx),
                2);
        VoxelSpectrum spectrum;
        if (!voxelSpectrum(*source, *plan, r.z, r.y, r.x, r.radius, analysis.minJump(), spectrum, error))
            return lines.failure(error, 1);
        out << spectrumText(spectrum, *plan, slices);
        out.flush();
        return status;
    }

    XanesMapWriter writer(plan, options.align.out);
    if (!writer.begin(shape, slices, error))
        return lines.failure(error, 1);
    const bool analysed = analysis.run(
        [&writer](const XanesMapSlab &slab, QString &why) { return writer.write(slab, why); }, progress);
    if (!analysed) {
        writer.abandon();
        return lines.failure(QStringLiteral("the maps are not made: %1").arg(analysis.problem()), 1);
    }
    MapsRecord record;
    record.source = sourceName;
    record.version = QStringLiteral(QV_VERSION);
    record.minJump = analysis.minJump();
    record.noiseMedian = analysis.noiseMedian();
    record.analysed = analysis.analysedVoxels();
    const bool written = writer.finish(record, error);
    QStringList names;
    for (const QString &f : writer.files())
        names << QFileInfo(f).fileName();
    if (analysis.analysedVoxels() == 0)
        lines.warning(QStringLiteral("every voxel is masked: no edge jump reaches %1")
                          .arg(jumpText(analysis.minJump(), *plan)));
    lines.progress(
        QStringLiteral("maps of %1: %2 of %3 voxels analysed in %4 s (%5 kernels, %6 threads); %7 in %8")
            .arg(source->name())
            .arg(analysis.analysedVoxels())
            .arg(analysis.voxels())
            .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
            .arg(QLatin1String(alignKernelName()))
            .arg(options.align.threads)
            .arg(names.isEmpty() ? QStringLiteral("nothing written") : names.join(QStringLiteral(", ")),
                options.align.out));
    if (!written)
        return lines.failure(QStringLiteral("the maps are not all written: %1").arg(error), 1);
    return status;
}
