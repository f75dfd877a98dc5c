#include "recon/seriesrun.h"

// Qt
#include <QCryptographicHash>
#include <QDir>

// Local
#include "recon/reconrun.h"
#include "recon/setrecord.h"
#include "recon/seriesmanifestlock.h"
#include "ct/atomicfile.h"
#include <algorithm>

namespace {

QString layoutName(SeriesLayout layout)
{
    return layout == SeriesLayout::OrmelStd ? QStringLiteral("ormel") : QStringLiteral("subdirs");
}

QString setTitle(const SeriesRun::Job &job)
{
    return QStringLiteral("%1 (%2)").arg(job.index).arg(job.title);
}

// FROM:TO:STEP of slices that a run takes in order with one step.
QString rangeOf(const QList<int> &slices)
{
    if (slices.isEmpty())
        return QString();
    const int step = slices.size() > 1 ? slices[1] - slices[0] : 1;
    return sliceRangeText(slices.first(), slices.last(), step);
}

} // namespace

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

void SeriesRun::warn(const QString &message)
{
    err_ << "quorvel-recon: warning: " << message << Qt::endl;
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
    sets_ = scanSeries(options_.dir, options_.layout, options_.setPattern, options_.tagRule);
    if (sets_.empty())
        return fail(QStringLiteral("no data set in %1 (pattern %2, layout %3)")
                        .arg(options_.dir, options_.setPattern, layoutName(options_.layout)));
    const int count = static_cast<int>(sets_.size());
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
    check_ = checkSeries(sets_, i0Energies, options_.allowUnevenSets);
    for (int i = from; i <= to; ++i) {
        const size_t k = static_cast<size_t>(i - 1);
        const SeriesSet &set = sets_[k];
        const SetCheck &c = check_.sets[k];
        Job job;
        job.index = i;
        job.title = set.name == set.tag || set.tag.startsWith(set.name + u'-')
            ? set.tag
            : QStringLiteral("%1 %2").arg(set.name, set.tag);
        job.name = set.name;
        job.tag = set.tag;
        job.energy = set.energy;
        if (c.incomplete())
            job.problem = check_.countText(k);
        job.options = options_;
        job.options.series = false;
        job.options.files = set.files;
        job.options.dir = set.folder; // a set without files is refused as a folder without them
        job.options.patterns = options_.layout == SeriesLayout::OrmelStd ? QStringList {options_.setPattern}
                                                                         : splitPatterns(options_.setPattern);
        job.options.tag = set.tag;
        if (!options_.hdf5.isEmpty())
            job.options.hdf5 = setVolumePath(job.options);
        if (c.i0 >= 0) {
            job.options.i0File = i0Files[c.i0];
            job.i0Energy = c.i0Energy;
        }
        jobs_.push_back(job);
    }
    return true;
}

int SeriesRun::refusal()
{
    if (!options_.series)
        return 0;
    QStringList clashes, far, energies;
    QStringList clashingTags;
    for (const Job &job : jobs_) {
        const size_t k = static_cast<size_t>(job.index - 1);
        const SetCheck &c = check_.sets[k];
        if (!c.sameEnergyAs.isEmpty()) {
            QList<int> all = c.sameEnergyAs;
            all << job.index;
            std::sort(all.begin(), all.end());
            QStringList named;
            for (int set : std::as_const(all))
                named << QStringLiteral("%1 (%2)").arg(set).arg(sets_[static_cast<size_t>(set - 1)].tag);
            const QString text
                = QStringLiteral("sets %1 are all of %2 eV")
                      .arg(named.join(QStringLiteral(", ")), QString::number(job.energy, 'g', 10));
            if (!energies.contains(text))
                energies << text;
        }
        if (!c.sameTagAs.isEmpty() && !clashingTags.contains(job.tag)) {
            clashingTags << job.tag;
            QList<int> all = c.sameTagAs;
            all << job.index;
            std::sort(all.begin(), all.end());
            QStringList named;
            for (int set : std::as_const(all))
                named << QStringLiteral("%1 (%2)").arg(set).arg(sets_[static_cast<size_t>(set - 1)].name);
            clashes
                << QStringLiteral("sets %1 share the tag %2").arg(named.join(QStringLiteral(", ")), job.tag);
        }
        const QString energy = check_.energyText(k, sets_[k]);
        // Without I0 files the energy chooses nothing: a set without one is only worth a word.
        if (c.farI0 || (c.noEnergy && c.i0 >= 0))
            far << QStringLiteral("set %1: %2").arg(setTitle(job), energy);
        else if (!energy.isEmpty())
            warn(QStringLiteral("set %1: %2").arg(setTitle(job), energy));
    }
    if (!energies.isEmpty())
        fail(QStringLiteral(
            "the series is refused: one energy spelled in two ways would make two data sets of "
            "it (%1); move one of them away")
                 .arg(energies.join(QStringLiteral("; "))));
    if (!clashes.isEmpty())
        fail(QStringLiteral("the series is refused: the files of sets that share a tag would overwrite each "
                            "other (%1); give --tag name-energy, or move one of them away")
                 .arg(clashes.join(QStringLiteral("; "))));
    if (!energies.isEmpty() || !clashes.isEmpty())
        return 2;
    if (!far.isEmpty() && !options_.allowFarI0) {
        fail(QStringLiteral("the series is refused: %1; give the missing I0 images, or --allow-far-i0 to run "
                            "it as it is")
                 .arg(far.join(QStringLiteral("; "))));
        return 2;
    }
    for (const QString &f : std::as_const(far))
        warn(f);
    return 0;
}

int SeriesRun::blocksPerSet() const
{
    // Without a slice range each set reconstructs its middle slice: one block.
    if (!options_.sliceFrom)
        return 1;
    const qsizetype slices = sliceList(*options_.sliceFrom, options_.sliceTo, options_.sliceStep).size();
    return static_cast<int>((slices + options_.block - 1) / options_.block);
}

QString SeriesRun::fingerprint() const
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const auto add = [&hash](const QString &text) { hash.addData((text + u'\n').toUtf8()); };
    for (const Job &job : jobs_) {
        QStringList files = job.options.files;
        if (files.isEmpty()) { // a plain data set: its folder's files, as the run lists them
            const QDir dir(job.options.dir);
            for (const QString &name : dir.entryList(job.options.patterns, QDir::Files, QDir::Name))
                files << dir.filePath(name);
        }
        add(QStringLiteral("%1\t%2\t%3\t%4").arg(job.index).arg(job.name, job.tag).arg(files.size()));
        if (!job.options.i0File.isEmpty())
            files << job.options.i0File;
        for (const QString &file : std::as_const(files)) {
            const QFileInfo info(file);
            add(QStringLiteral("%1\t%2").arg(info.fileName()).arg(info.size()));
        }
    }
    return QString::fromLatin1(hash.result().toHex().left(16));
}

void SeriesRun::listSets()
{
    out_ << "# set\tname\tenergy\tfiles\tI0\tI0 energy\tcheck" << Qt::endl;
    for (const Job &job : jobs_) {
        const size_t k = static_cast<size_t>(job.index - 1);
        const QString problems = check_.problemText(k, sets_[k]);
        out_ << job.index << '\t' << job.title << '\t' << QString::number(job.energy, 'g', 10) << '\t'
             << job.options.files.size() << '\t'
             << (job.options.i0File.isEmpty() ? QStringLiteral("-") : job.options.i0File) << '\t'
             << (job.i0Energy ? QString::number(*job.i0Energy, 'g', 10) : QStringLiteral("-")) << '\t'
             << (problems.isEmpty() ? QStringLiteral("ok") : problems) << Qt::endl;
    }
}

int SeriesRun::listTasks()
{
    const int blocks = blocksPerSet();
    out_ << "# tasks " << taskCount() << " fingerprint " << fingerprint() << Qt::endl;
    out_ << "# task\tset\tname\tblock\tslices" << Qt::endl;
    for (size_t j = 0; j < jobs_.size(); ++j) {
        const Job &job = jobs_[j];
        std::optional<ReconRun> run; // planned for --resume only: that reads every header of the set
        if (options_.resume && job.problem.isEmpty()) {
            run.emplace(job.options, out_, err_);
            if (!run->plan())
                run.reset();
        }
        for (int b = 0; b < blocks; ++b) {
            if (run && completeBefore(job, *run, b))
                continue;
            QString slices = QStringLiteral("middle");
            if (options_.sliceFrom) {
                const QList<int> all = sliceList(*options_.sliceFrom, options_.sliceTo, options_.sliceStep);
                const QList<int> mine = all.mid(qsizetype(b) * options_.block, options_.block);
                slices = QStringLiteral("%1:%2").arg(mine.first()).arg(mine.last());
            }
            out_ << int(j) * blocks + b << '\t' << job.index << '\t' << job.title << '\t' << b << '\t'
                 << slices << Qt::endl;
        }
    }
    return 0;
}

bool SeriesRun::completeBefore(const Job &job, const ReconRun &run, std::optional<int> block) const
{
    const QList<int> slices = block ? run.blockSlices(*block) : run.slices();
    if (slices.isEmpty())
        return false;
    const QString settings = outputSettingsDigest(job.options);
    const QString i0
        = job.options.i0File.isEmpty() ? QString() : QFileInfo(job.options.i0File).absoluteFilePath();
    std::vector<const ManifestEntry *> mine;
    for (const ManifestEntry &e : done_) {
        if (e.tag == job.tag && e.done() && e.settings == settings && e.i0 == i0
            && e.images == run.imageCount())
            mine.push_back(&e);
    }
    for (int s : slices) {
        if (std::none_of(mine.begin(), mine.end(), [s](const ManifestEntry *e) { return e->covers(s); }))
            return false;
    }
    // Each file appears under its name only when it is complete: present is whole.
    const QStringList files = run.outputFiles(block);
    return std::all_of(files.begin(), files.end(), [](const QString &f) { return QFileInfo(f).size() > 0; })
        && volumePresent(job, block);
}

ManifestEntry SeriesRun::entryOf(
    const Job &job, const ReconRun &run, const QList<int> &slices, int status) const
{
    ManifestEntry e;
    e.set = job.index;
    e.name = job.name;
    e.energy = job.energy;
    e.tag = job.tag;
    e.i0 = job.options.i0File.isEmpty() ? QString() : QFileInfo(job.options.i0File).absoluteFilePath();
    e.i0Energy = job.i0Energy;
    e.images = run.imageCount() > 0 ? run.imageCount() : static_cast<int>(job.options.files.size());
    e.slices = rangeOf(slices);
    e.files = run.filesWritten();
    // A set that was not reconstructed failed for its own reason; a run that could not start has one.
    JobOutcome outcome = run.outcome();
    if (!job.problem.isEmpty()) {
        outcome.problems.prepend(job.problem);
        outcome.why = job.problem;
    } else if (status != 0 && outcome.ok()) {
        outcome.problems << QStringLiteral("exit status %1").arg(status);
    }
    e.outcome = manifestOutcome(outcome);
    e.settings = outputSettingsDigest(job.options);
    return e;
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
    if (!options_.fingerprint.isEmpty() && options_.fingerprint != fingerprint()) {
        fail(QStringLiteral("the series has changed since the job array was made (its files, their sizes or "
                            "the I0 chosen): its fingerprint is %1 now, %2 at submission; submit it again")
                 .arg(fingerprint(), options_.fingerprint));
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
    const int block = task % blocks;
    const Job &job = jobs_[static_cast<size_t>(task / blocks)];
    out_ << QStringLiteral("task %1: data set %2, block %3 of %4")
                .arg(task)
                .arg(setTitle(job))
                .arg(block + 1)
                .arg(blocks)
         << Qt::endl;
    ReconRun run(job.options, out_, err_);
    const bool planned = run.plan();
    QList<int> slices = planned ? run.blockSlices(block) : QList<int>();
    if (slices.isEmpty() && options_.sliceFrom) // said from the options when the set cannot be used
        slices = sliceList(*options_.sliceFrom, options_.sliceTo, options_.sliceStep)
                     .mid(qsizetype(block) * options_.block, options_.block);
    QString claimed;
    const std::optional<SeriesClaim> claim = options_.series && !options_.guessOnly
        ? claimSeriesSet(options_.outDir, job.tag, slices.value(0), claimed)
        : std::optional<SeriesClaim>(SeriesClaim {});
    if (!claim) {
        fail(QStringLiteral("task %1 (data set %2) is not done here: %3")
                 .arg(task)
                 .arg(setTitle(job), claimed));
        return 1;
    }
    if (planned && options_.resume && options_.series && completeBefore(job, run, block)) {
        out_ << QStringLiteral("task %1: slices %2 of set %3 are complete: skipped")
                    .arg(task)
                    .arg(rangeOf(slices), setTitle(job))
             << Qt::endl;
        return 0;
    }
    int status = 1;
    if (!job.problem.isEmpty())
        fail(QStringLiteral("data set %1 is not reconstructed: %2").arg(setTitle(job), job.problem));
    else
        status = run.exec(block);
    if (!options_.series || options_.guessOnly)
        return status;
    const ManifestEntry entry = entryOf(job, run, slices, status);
    out_ << QStringLiteral("task %1: set %2, slices %3: %4 files written, %5")
                .arg(task)
                .arg(setTitle(job), entry.slices)
                .arg(entry.files)
                .arg(entry.outcome)
         << Qt::endl;
    QString error;
    if (!writeFileAtomically(
            taskManifestPath(options_.outDir, job.tag, slices.value(0)), manifestText({entry}), &error)) {
        fail(QStringLiteral("the task's manifest is not written: %1").arg(error));
        return std::max(status, 1);
    }
    return status;
}

int SeriesRun::runSeries()
{
    const QString manifestPath = QDir(options_.outDir).filePath(manifestFileName());
    std::vector<ManifestEntry> manifest;
    QString why;
    if (!readManifest(manifestPath, manifest, &why) && !options_.guessOnly) {
        fail(QStringLiteral("the series is not run: %1").arg(why));
        return 1;
    }
    int status = 0;
    std::vector<bool> done(jobs_.size(), false);
    for (const Job &job : jobs_) {
        out_ << QStringLiteral("data set %1: %2 files, I0 %3")
                    .arg(setTitle(job))
                    .arg(job.options.files.size())
                    .arg(job.options.i0File.isEmpty() ? QStringLiteral("none") : job.options.i0File)
             << Qt::endl;
        // Another run writing this set's files now: the set is its, not this run's.
        const std::optional<SeriesClaim> claim
            = options_.guessOnly ? SeriesClaim {} : claimSeriesSet(options_.outDir, job.tag, -1, why);
        if (!claim) {
            fail(QStringLiteral("data set %1 is not reconstructed here: %2").arg(setTitle(job), why));
            status = 1;
            continue;
        }
        // A set that cannot be used is reported and the series goes on with the next one.
        ReconRun run(job.options, out_, err_);
        ManifestEntry entry;
        if (!job.problem.isEmpty()) {
            fail(QStringLiteral("data set %1 is not reconstructed: %2").arg(setTitle(job), job.problem));
            QList<int> slices;
            if (options_.sliceFrom)
                slices = sliceList(*options_.sliceFrom, options_.sliceTo, options_.sliceStep);
            entry = entryOf(job, run, slices, 1);
        } else if (options_.resume && run.plan() && completeBefore(job, run, std::nullopt)) {
            out_ << QStringLiteral("data set %1: its files are complete: skipped").arg(setTitle(job))
                 << Qt::endl;
            const auto before = std::find_if(manifest.cbegin(), manifest.cend(),
                [&](const ManifestEntry &e) { return e.tag == job.tag && e.done(); });
            done[size_t(&job - jobs_.data())] = true;
            if (before != manifest.cend() && before->slices == rangeOf(run.slices()))
                continue; // its line stays as it is
            entry = entryOf(job, run, run.slices(), 0); // done in blocks by tasks: one line for all
            entry.files = static_cast<int>(run.outputFiles().size());
        } else {
            entry = entryOf(job, run, run.slices(), run.exec());
        }
        status = std::max(status, entry.done() ? 0 : 1);
        done[size_t(&job - jobs_.data())] = entry.done();
        if (options_.guessOnly)
            continue;
        putManifestEntry(manifest, entry);
        // Written after each set, merged with what other runs wrote meanwhile: a run that stops
        // leaves the lines of every set it finished.
        QString error;
        if (!recordInManifest(options_.outDir, entry, &error)) {
            fail(QStringLiteral("the manifest of the series is not written: %1").arg(error));
            status = std::max(status, 1);
        }
    }
    if (!options_.guessOnly && !finishVolumes(done))
        status = std::max(status, 1);
    return status;
}

int SeriesRun::exec()
{
    if (!planJobs())
        return 1;
    if (options_.listSets) {
        listSets();
        return 0;
    }
    if (const int refused = refusal())
        return refused;
    if (options_.resume)
        done_ = readManifests(options_.outDir);
    if (options_.listTasks)
        return listTasks();
    if (options_.task)
        return runTask(*options_.task);
    return runSeries();
}
