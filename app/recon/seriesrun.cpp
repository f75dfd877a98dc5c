#include "app/recon/seriesrun.h"

// Qt
#include <QDir>

// Local
#include "app/recon/reconrun.h"
#include <algorithm>

SeriesRun::SeriesRun(const ReconOptions &options, QTextStream &out, QTextStream &err)
    : options_(options)
    , out_(out)
    , err_(err)
{
}

bool SeriesRun::fail(const QString &message)
{
    err_ << "quorvel-recon: " << message << Qt::endl;
    return false;
}

bool SeriesRun::planJobs()
{
    jobs_.clear();
    if (!options_.series) { // one plain data set, divided into tasks
        Job job;
        job.index = 1;
        job.title = options_.dir;
        job.options = options_;
        jobs_.push_back(job);
        return true;
    }
    if (!QDir(options_.dir).exists())
        return fail(QStringLiteral("no folder %1").arg(options_.dir));
    const std::vector<SeriesSet> sets = scanSeries(options_.dir, options_.layout, options_.setPattern);
    if (sets.empty())
        return fail(QStringLiteral("no data set in %1 (pattern %2, layout %3)")
                        .arg(options_.dir, options_.setPattern,
                            options_.layout == SeriesLayout::OrmelStd ? QStringLiteral("ormel")
                                                                      : QStringLiteral("subdirs")));
    const int count = static_cast<int>(sets.size());
    if (options_.setsFrom > count)
        return fail(QStringLiteral("--sets begins at set %1, but %2 holds %3 data sets")
                        .arg(options_.setsFrom)
                        .arg(options_.dir)
                        .arg(count));
    // As in the window: To below From does set From alone; To beyond the list stops at the last set.
    const int from = options_.setsFrom;
    const int to = std::clamp(options_.setsTo.value_or(count), from, count);

    QStringList i0Files;
    std::vector<double> i0Energies;
    if (!options_.i0FilesDir.isEmpty()) {
        for (const QFileInfo &f : seriesFiles(options_.i0FilesDir, splitPatterns(options_.i0Pattern))) {
            i0Files << f.absoluteFilePath();
            i0Energies.push_back(parseEnergyField(energyFieldOfName(i0Files.last())).energy());
        }
        if (i0Files.isEmpty())
            return fail(
                QStringLiteral("no I0 file in %1 matches %2").arg(options_.i0FilesDir, options_.i0Pattern));
    }
    for (int i = from; i <= to; ++i) {
        const SeriesSet &set = sets[static_cast<size_t>(i - 1)];
        Job job;
        job.index = i;
        job.title = set.name == set.tag ? set.name : QStringLiteral("%1 %2").arg(set.name, set.tag);
        job.energy = set.energy;
        job.options = options_;
        job.options.series = false;
        job.options.files = set.files;
        job.options.dir = set.folder; // a set without files is refused as a folder without them
        job.options.patterns = options_.layout == SeriesLayout::OrmelStd ? QStringList {options_.setPattern}
                                                                         : splitPatterns(options_.setPattern);
        job.options.tag = set.tag;
        if (!i0Files.isEmpty())
            job.options.i0File = i0Files[nearestEnergy(i0Energies, set.energy)];
        jobs_.push_back(job);
    }
    return true;
}

int SeriesRun::blocksPerSet() const
{
    // Without a slice range each set reconstructs its middle slice: one block.
    if (!options_.sliceFrom)
        return 1;
    const qsizetype slices = sliceList(*options_.sliceFrom, options_.sliceTo, options_.sliceStep).size();
    return static_cast<int>((slices + options_.block - 1) / options_.block);
}

void SeriesRun::listSets()
{
    out_ << "# set\tname\tenergy\tfiles\tI0" << Qt::endl;
    for (const Job &job : jobs_) {
        out_ << job.index << '\t' << job.title << '\t' << QString::number(job.energy, 'g', 10) << '\t'
             << job.options.files.size() << '\t'
             << (job.options.i0File.isEmpty() ? QStringLiteral("-") : job.options.i0File) << Qt::endl;
    }
}

void SeriesRun::listTasks()
{
    const int blocks = blocksPerSet();
    out_ << "# task\tset\tname\tblock\tslices" << Qt::endl;
    for (size_t j = 0; j < jobs_.size(); ++j) {
        for (int b = 0; b < blocks; ++b) {
            QString slices = QStringLiteral("middle");
            if (options_.sliceFrom) {
                const QList<int> all = sliceList(*options_.sliceFrom, options_.sliceTo, options_.sliceStep);
                const QList<int> mine = all.mid(qsizetype(b) * options_.block, options_.block);
                slices = QStringLiteral("%1:%2").arg(mine.first()).arg(mine.last());
            }
            out_ << int(j) * blocks + b << '\t' << jobs_[j].index << '\t' << jobs_[j].title << '\t' << b
                 << '\t' << slices << Qt::endl;
        }
    }
}

int SeriesRun::runTask(int task)
{
    const int tasks = taskCount();
    if (options_.tasksOf && *options_.tasksOf != tasks) {
        fail(QStringLiteral("the series has %1 tasks now, not the %2 of the job array")
                 .arg(tasks)
                 .arg(*options_.tasksOf));
        return 2;
    }
    if (task >= tasks) {
        fail(QStringLiteral("there is no task %1: the series has %2 (0 … %3)")
                 .arg(task)
                 .arg(tasks)
                 .arg(tasks - 1));
        return 2;
    }
    const int blocks = blocksPerSet();
    const Job &job = jobs_[static_cast<size_t>(task / blocks)];
    out_ << QStringLiteral("task %1: data set %2 (%3), block %4 of %5")
                .arg(task)
                .arg(job.index)
                .arg(job.title)
                .arg(task % blocks + 1)
                .arg(blocks)
         << Qt::endl;
    ReconRun run(job.options, out_, err_);
    return run.exec(task % blocks);
}

int SeriesRun::exec()
{
    if (!planJobs())
        return 1;
    if (options_.listSets) {
        listSets();
        return 0;
    }
    if (options_.listTasks) {
        listTasks();
        return 0;
    }
    if (options_.task)
        return runTask(*options_.task);
    int status = 0;
    for (const Job &job : jobs_) {
        out_ << QStringLiteral("data set %1 (%2): %3 files, I0 %4")
                    .arg(job.index)
                    .arg(job.title)
                    .arg(job.options.files.size())
                    .arg(job.options.i0File.isEmpty() ? QStringLiteral("none") : job.options.i0File)
             << Qt::endl;
        // A set that cannot be used is reported and the series goes on with the next one.
        ReconRun run(job.options, out_, err_);
        status = std::max(status, run.exec());
    }
    return status;
}
