#include "xafs/seriesaligner.h"

// Qt
#include <QDir>
#include <QEventLoop>
#include <QTextStream>
#include <QThread>

// Local
#include "ct/atomicfile.h"
#include "xafs/alignkernels.h"
#include "xafs/shiftstable.h"
#include "xafs/volumereader.h"
#include "xafs/xafslog.h"
#include <cmath>

namespace {

QString shiftText(const Shift3 &s)
{
    return QStringLiteral("dz %1 dy %2 dx %3")
        .arg(s.z, 0, 'f', 3)
        .arg(s.y, 0, 'f', 3)
        .arg(s.x, 0, 'f', 3)
        .replace(QLatin1String(" 0.000"), QLatin1String(" 0"));
}

QString energyText(double e)
{
    return QString::number(e, 'g', 10) + QStringLiteral(" eV");
}

double length(const Shift3 &s)
{
    return std::sqrt(s.z * s.z + s.y * s.y + s.x * s.x);
}

} // namespace

SeriesAligner::SeriesAligner(const AlignOptions &options, const AlignReporter &reporter, QObject *parent)
    : QObject(parent)
    , options_(options)
    , reporter_(reporter)
{
    qRegisterMetaType<AlignTask>();
    qRegisterMetaType<AlignResultPtr>();
    if (!reporter_.progress)
        reporter_.progress = [](const QString &m) { qCInfo(lcXafs).noquote() << m; };
    if (!reporter_.warning)
        reporter_.warning = [](const QString &m) { qCWarning(lcXafs).noquote() << m; };
    if (!reporter_.failure)
        reporter_.failure = [](const QString &m) { qCCritical(lcXafs).noquote() << m; };
}

SeriesAligner::~SeriesAligner()
{
    stopWorkers();
}

int SeriesAligner::fail(const QString &message, int status)
{
    reporter_.failure(message);
    job_.problems << message;
    return status;
}

QString SeriesAligner::title(int index) const
{
    return context_->series.tagOf(index);
}

int SeriesAligner::prepare()
{
    context_ = std::make_shared<AlignContext>();
    AlignContext &c = *context_;
    QString error;
    if (!scanAlignSeries(options_.series, c.series, error))
        return fail(QStringLiteral("the series is refused: %1").arg(error), 1);
    const int n = static_cast<int>(c.series.energies.size());
    job_.asked = n;
    for (const SeriesEnergy &e : c.series.energies)
        outcomes_.push_back({e.energy, e.tag, std::nullopt, std::nullopt, {}, QString(), false});
    c.referenceIndex = n - 1;
    if (options_.referenceEnergy) {
        int best = 0;
        for (int i = 1; i < n; ++i)
            if (std::abs(c.series.energies[std::size_t(i)].energy - *options_.referenceEnergy)
                < std::abs(c.series.energies[std::size_t(best)].energy - *options_.referenceEnergy))
                best = i;
        if (std::abs(c.series.energies[std::size_t(best)].energy - *options_.referenceEnergy) > 0.05)
            return fail(
                QStringLiteral("--reference-energy %1 eV is not an energy of the series (the nearest is %2)")
                    .arg(*options_.referenceEnergy)
                    .arg(energyText(c.series.energies[std::size_t(best)].energy)),
                2);
        c.referenceIndex = best;
    }
    if (!QDir().mkpath(options_.out))
        return fail(QStringLiteral("cannot make the output folder %1").arg(options_.out), 1);
    if (const QString why = directoryWriteProblem(options_.out); !why.isEmpty())
        return fail(QStringLiteral("cannot write into %1: %2").arg(options_.out, why), 1);

    VolumeRead reference = readEnergyVolume(c.series, c.referenceIndex);
    if (!reference.ok())
        return fail(QStringLiteral("the reference energy %1 cannot be read: %2")
                        .arg(title(c.referenceIndex), reference.problem),
            1);
    const VolumeShape shape = reference.volume.shape;
    c.series.width = shape.nx;
    c.series.height = shape.ny;
    c.middle = shape.nz / 2;
    c.box = VolumeBox::whole(shape);
    if (options_.box) {
        const std::array<int, 6> &b = *options_.box;
        for (int a = 0; a < 3; ++a)
            if (b[std::size_t(a + 3)] >= shape.extent(a))
                return fail(
                    QStringLiteral("--box reaches %1 %2, beyond the volume of %3 x %4 x %5 voxels (z, y, x)")
                        .arg(QLatin1Char("ZYX"[a]))
                        .arg(b[std::size_t(a + 3)])
                        .arg(shape.nz)
                        .arg(shape.ny)
                        .arg(shape.nx),
                    2);
        c.box = {{b[0], b[1], b[2]}, {b[3] + 1, b[4] + 1, b[5] + 1}};
    }
    if (!options_.noAlign)
        for (int a = 0; a < 3; ++a)
            if (c.box.size(a) < 8)
                return fail(
                    QStringLiteral("%1 voxels along %2 are too few to register (at least 8); --no-align "
                                   "takes the volumes as they are")
                        .arg(c.box.size(a))
                        .arg(QLatin1Char("zyx"[a])),
                    options_.box ? 2 : 1);
    c.settings = options_.registration;
    c.referenceNonFinite = std::move(reference.nonFinite);
    c.reference = std::make_shared<const Volume>(std::move(reference.volume));
    if (!c.referenceNonFinite.empty())
        reporter_.warning(QStringLiteral("%1: %2 values are not finite (read as 0; NaN where they reach)")
                              .arg(title(c.referenceIndex))
                              .arg(c.referenceNonFinite.size()));
    if (!options_.noAlign && !options_.chain) {
        c.registration = RegistrationReference::make(c.reference, c.box, c.settings, &error);
        if (!c.registration)
            return fail(QStringLiteral("the reference cannot be prepared: %1").arg(error), 1);
    }
    const QString alignedPath = QDir(options_.out).filePath(QStringLiteral("aligned.h5"));
    if (!writer_.create(alignedPath, shape, defaultAlignedChunk(shape), &error))
        return fail(error, 1);
    metadata_.slices = c.series.slices;
    metadata_.referenceEnergy = c.series.energies[std::size_t(c.referenceIndex)].energy;
    metadata_.method = options_.noAlign ? QStringLiteral("none")
        : options_.chain ? QStringLiteral("chain of neighbours, phase correlation refined by upsampled DFT")
                         : QStringLiteral("phase correlation refined by upsampled DFT");
    if (options_.box)
        metadata_.box = c.box;
    metadata_.version = QStringLiteral(QV_VERSION);

    // The picture's energies: the lowest, the reference and the highest, each once.
    for (const int i : {0, c.referenceIndex, n - 1}) {
        if (std::find(panelEnergies_.begin(), panelEnergies_.end(), i) != panelEnergies_.end())
            continue;
        QStringList roles;
        if (i == 0)
            roles << QStringLiteral("lowest");
        if (i == c.referenceIndex)
            roles << QStringLiteral("reference");
        if (i == n - 1)
            roles << QStringLiteral("highest");
        AlignmentPanel p;
        p.title = QStringLiteral("%1, %2").arg(
            energyText(c.series.energies[std::size_t(i)].energy), roles.join(QStringLiteral(", ")));
        p.nx = shape.nx;
        p.ny = shape.ny;
        panels_.push_back(p);
        panelEnergies_.push_back(i);
    }
    qCDebug(lcXafs) << "aligning" << n << "energies of" << shape.nz << shape.ny << shape.nx
                    << "voxels with the" << alignKernelName() << "loops";
    return 0;
}

void SeriesAligner::startWorkers()
{
    const int count
        = std::clamp(options_.threads, 1, std::max<int>(1, int(context_->series.energies.size())));
    for (int w = 0; w < count; ++w) {
        auto *thread = new QThread;
        auto *worker = new AlignWorker(context_);
        worker->moveToThread(thread);
        connect(thread, &QThread::finished, worker, &QObject::deleteLater);
        connect(worker, &AlignWorker::done, this, [this, w](const AlignResultPtr &r) {
            busy_[std::size_t(w)] = false;
            --running_;
            taken(r);
        });
        thread->start();
        threads_.push_back(thread);
        workers_.push_back(worker);
        busy_.push_back(false);
    }
}

void SeriesAligner::stopWorkers()
{
    for (QThread *t : threads_) {
        t->quit();
        t->wait();
        delete t;
    }
    threads_.clear();
    workers_.clear();
    busy_.clear();
}

int SeriesAligner::exec()
{
    clock_.start();
    if (const int status = prepare()) {
        writer_.abandon();
        return status;
    }
    const AlignContext &c = *context_;
    const int n = static_cast<int>(c.series.energies.size());
    startWorkers();
    if (options_.chain && !options_.noAlign) {
        // The links towards the reference, then the ends of the chain straight to the reference.
        for (int i = 0; i < n; ++i)
            if (i != c.referenceIndex)
                pending_.push_back(
                    {AlignTask::Kind::Register, i, i < c.referenceIndex ? i + 1 : i - 1, false, {}, false});
        for (const int end : {0, n - 1})
            if (std::abs(end - c.referenceIndex) >= 2)
                pending_.push_back({AlignTask::Kind::Register, end, c.referenceIndex, false, {}, false});
        timeLeft_.start(static_cast<long long>(pending_.size()) + n, clock_.elapsed());
        if (pending_.empty())
            chainDone();
    } else {
        timeLeft_.start(n, clock_.elapsed());
        queueMoves(std::vector<std::optional<Shift3>>(std::size_t(n), Shift3 {}));
    }
    dispatch();
    if (running_ > 0 || !pending_.empty()) {
        QEventLoop loop;
        loop_ = &loop;
        loop.exec();
        loop_ = nullptr;
    }
    stopWorkers();
    finishFiles();
    job_.done = 0;
    job_.failed = 0;
    QStringList failedTags;
    for (const EnergyOutcome &e : outcomes_) {
        job_.done += e.written ? 1 : 0;
        if (!e.problem.isEmpty()) {
            ++job_.failed;
            failedTags << e.tag;
        }
    }
    QStringList written;
    for (const QString &f : std::as_const(files_))
        written << QFileInfo(f).fileName();
    reporter_.progress(
        QStringLiteral("alignment: %1 in %2 s; %3 in %4")
            .arg(job_.counts(QStringLiteral("energies")))
            .arg(clock_.elapsed() / 1000.0, 0, 'f', 1)
            .arg(written.isEmpty() ? QStringLiteral("nothing written") : written.join(QStringLiteral(", ")))
            .arg(options_.out));
    if (!failedTags.isEmpty())
        reporter_.failure(QStringLiteral("%1 of %2 energies failed: %3")
                              .arg(failedTags.size())
                              .arg(n)
                              .arg(failedTags.join(QStringLiteral(", "))));
    return job_.ok() ? 0 : 1;
}

void SeriesAligner::queueMoves(const std::vector<std::optional<Shift3>> &shifts)
{
    const AlignContext &c = *context_;
    for (int i = 0; i < int(shifts.size()); ++i) {
        AlignTask t;
        t.kind = AlignTask::Kind::Move;
        t.energy = i;
        t.keepMiddle = std::find(panelEnergies_.begin(), panelEnergies_.end(), i) != panelEnergies_.end();
        if (options_.noAlign) {
            t.shift = {};
        } else if (!options_.chain) {
            t.registerFirst = true;
        } else if (shifts[std::size_t(i)]) {
            t.shift = *shifts[std::size_t(i)];
        } else { // the chain is broken between it and the reference: decided now
            auto r = std::make_shared<AlignResult>();
            r->task = t;
            const int step = i < c.referenceIndex ? 1 : -1;
            int broken = i;
            while (broken != c.referenceIndex && links_.count(broken) && links_.at(broken)->problem.isEmpty())
                broken += step;
            r->problem = QStringLiteral("the chain to the reference is broken at %1").arg(title(broken));
            ++tasksDone_;
            moveTaken(*r);
            continue;
        }
        pending_.push_back(t);
    }
}

void SeriesAligner::dispatch()
{
    const int window = static_cast<int>(workers_.size()) + 1;
    for (std::size_t w = 0; w < workers_.size() && !pending_.empty(); ++w) {
        if (busy_[w])
            continue;
        const AlignTask task = pending_.front();
        if (task.kind == AlignTask::Kind::Move && task.energy >= nextToWrite_ + window)
            break; // the volumes waiting to be written are enough
        pending_.pop_front();
        busy_[w] = true;
        ++running_;
        AlignWorker *worker = workers_[w];
        QMetaObject::invokeMethod(
            worker, [worker, task] { worker->run(task); }, Qt::QueuedConnection);
    }
}

void SeriesAligner::taken(const AlignResultPtr &result)
{
    ++tasksDone_;
    timeLeft_.setDone(tasksDone_, clock_.elapsed());
    if (result->task.kind == AlignTask::Kind::Register)
        pairTaken(*result);
    else
        moveTaken(*result);
    dispatch();
    if (running_ == 0 && pending_.empty() && loop_)
        loop_->quit();
}

void SeriesAligner::reportEnergy(const AlignResult &r, const QString &what)
{
    const QString left = TimeLeft::text(timeLeft_.secondsLeft());
    reporter_.progress(QStringLiteral("[%1/%2] %3 (%4 s%5)")
                           .arg(tasksDone_)
                           .arg(timeLeft_.total())
                           .arg(what)
                           .arg(r.seconds, 0, 'f', 1)
                           .arg(left.isEmpty() ? QString() : QStringLiteral(", %1 left").arg(left)));
}

void SeriesAligner::pairTaken(const AlignResult &r)
{
    const AlignContext &c = *context_;
    const bool closing = r.task.to == c.referenceIndex && std::abs(r.task.energy - r.task.to) >= 2;
    auto copy = std::make_shared<const AlignResult>(r);
    (closing ? direct_ : links_)[r.task.energy] = copy;
    const QString pair = QStringLiteral("%1 to %2%3")
                             .arg(title(r.task.energy), title(r.task.to),
                                 closing ? QStringLiteral(" (closing check)") : QString());
    if (r.problem.isEmpty())
        reportEnergy(r, QStringLiteral("%1: %2").arg(pair, shiftText(r.shift)));
    else
        reportEnergy(r, QStringLiteral("%1 failed: %2").arg(pair, r.problem));
    std::size_t links = 0, closings = 0;
    const int n = static_cast<int>(c.series.energies.size());
    links = std::size_t(n - 1);
    for (const int end : {0, n - 1})
        closings += std::abs(end - c.referenceIndex) >= 2 ? 1 : 0;
    if (links_.size() == links && direct_.size() == closings)
        chainDone();
}

void SeriesAligner::chainDone()
{
    const AlignContext &c = *context_;
    const int n = static_cast<int>(c.series.energies.size());
    std::vector<std::optional<Shift3>> shifts(static_cast<std::size_t>(n));
    shifts[std::size_t(c.referenceIndex)] = Shift3 {};
    for (int i = c.referenceIndex - 1; i >= 0; --i)
        if (shifts[std::size_t(i + 1)] && links_.count(i) && links_.at(i)->problem.isEmpty())
            shifts[std::size_t(i)] = *shifts[std::size_t(i + 1)] + links_.at(i)->shift;
    for (int i = c.referenceIndex + 1; i < n; ++i)
        if (shifts[std::size_t(i - 1)] && links_.count(i) && links_.at(i)->problem.isEmpty())
            shifts[std::size_t(i)] = *shifts[std::size_t(i - 1)] + links_.at(i)->shift;
    for (const auto &[end, direct] : direct_) {
        if (!direct->problem.isEmpty() || !shifts[std::size_t(end)]) {
            reporter_.warning(
                QStringLiteral("the chain's end at %1 could not be checked against the reference")
                    .arg(title(end)));
            continue;
        }
        const Shift3 gap = *shifts[std::size_t(end)] - direct->shift;
        closing_.push_back(gap);
        if (length(gap) > options_.chainTolerance)
            reporter_.warning(
                QStringLiteral("the chain's end at %1 lies %2 voxel from its direct registration to the "
                               "reference (chain %3, direct %4): the links have added up errors, or the "
                               "direct registration is unsure")
                    .arg(title(end))
                    .arg(length(gap), 0, 'f', 2)
                    .arg(shiftText(*shifts[std::size_t(end)]), shiftText(direct->shift)));
    }
    queueMoves(shifts);
}

void SeriesAligner::moveTaken(const AlignResult &r)
{
    const int i = r.task.energy;
    EnergyOutcome &o = outcomes_[std::size_t(i)];
    o.problem = r.problem;
    if (r.problem.isEmpty() || r.registered)
        o.shift = r.shift;
    o.peak = r.peak;
    o.counts = r.counts;
    if (o.problem.isEmpty() && (!r.peak || *r.peak < options_.minimumPeak))
        o.problem = r.peak
            ? QStringLiteral("its correlation with the reference is %1, below %2")
                  .arg(*r.peak, 0, 'f', 3)
                  .arg(options_.minimumPeak)
            : QStringLiteral("it cannot be compared with the reference (no overlap, or constant)");
    const auto panel = std::find(panelEnergies_.begin(), panelEnergies_.end(), i);
    if (panel != panelEnergies_.end()) {
        AlignmentPanel &p = panels_[std::size_t(panel - panelEnergies_.begin())];
        p.before = r.before;
        p.after = r.after;
        p.shift = o.shift ? QStringLiteral("dz %1 dy %2 dx %3")
                                .arg(o.shift->z, 0, 'f', 2)
                                .arg(o.shift->y, 0, 'f', 2)
                                .arg(o.shift->x, 0, 'f', 2)
                          : QStringLiteral("failed");
    }
    if (r.nonFiniteRead > 0 && i != context_->referenceIndex)
        reporter_.warning(QStringLiteral("%1: %2 values are not finite (read as 0; NaN where they reach)")
                              .arg(title(i))
                              .arg(r.nonFiniteRead));
    if (o.problem.isEmpty()) {
        const std::size_t nan = r.counts.outside + r.counts.nonFinite;
        reportEnergy(r,
            QStringLiteral("%1: %2, peak %3%4")
                .arg(title(i), shiftText(r.shift))
                .arg(*r.peak, 0, 'f', 4)
                .arg(nan ? QStringLiteral(", %1 voxels NaN").arg(nan) : QString()));
        if (r.registered)
            qCDebug(lcXafs) << title(i) << "registered in" << r.registration.passes << "passes, score"
                            << r.registration.score;
    } else {
        reporter_.failure(QStringLiteral("energy %1 failed: %2").arg(title(i), o.problem));
        reportEnergy(r, QStringLiteral("%1 failed").arg(title(i)));
    }
    ready_[i] = std::make_shared<const AlignResult>(r);
    writeReady();
}

void SeriesAligner::writeReady()
{
    for (auto it = ready_.find(nextToWrite_); it != ready_.end(); it = ready_.find(nextToWrite_)) {
        const AlignResult &r = *it->second;
        EnergyOutcome &o = outcomes_[std::size_t(nextToWrite_)];
        if (o.problem.isEmpty() && r.aligned && !writerFailed_) {
            QString error;
            if (writer_.append(*r.aligned, &error)) {
                o.written = true;
                metadata_.energies.push_back(o.energy);
                metadata_.shifts.push_back(r.shift);
                metadata_.peaks.push_back(*r.peak);
                metadata_.outside.push_back(r.counts.outside + r.counts.nonFinite);
            } else {
                writerFailed_ = true;
                fail(QStringLiteral("aligned.h5 is not written: %1").arg(error), 1);
            }
        } else if (!o.problem.isEmpty()) {
            metadata_.failedEnergies.push_back(o.energy);
        }
        ready_.erase(it);
        ++nextToWrite_;
    }
}

void SeriesAligner::finishFiles()
{
    const QDir out(options_.out);
    QString error;
    const QString aligned = out.filePath(QStringLiteral("aligned.h5"));
    if (writerFailed_) {
        writer_.abandon();
    } else if (writer_.written() == 0) {
        writer_.abandon();
        fail(QStringLiteral("aligned.h5 is not written: no energy was aligned"), 1);
    } else if (writer_.finish(metadata_, &error)) {
        files_ << aligned;
    } else {
        fail(QStringLiteral("aligned.h5 is not written: %1").arg(error), 1);
    }
    std::vector<ShiftRecord> records;
    for (const EnergyOutcome &o : outcomes_)
        records.push_back({o.energy, o.shift, o.peak});
    const QString shifts = out.filePath(QStringLiteral("shifts.tsv"));
    if (writeFileAtomically(shifts, shiftsTable(records), &error))
        files_ << shifts;
    else
        fail(QStringLiteral("shifts.tsv is not written: %1").arg(error), 1);
    const AlignContext &c = *context_;
    const int referencePanel = int(
        std::find(panelEnergies_.begin(), panelEnergies_.end(), c.referenceIndex) - panelEnergies_.begin());
    const QString heading = QStringLiteral("slice %1: before and after the alignment")
                                .arg(c.series.slices.empty() ? 0 : c.series.slices[std::size_t(c.middle)]);
    const QString picture = out.filePath(QStringLiteral("alignment.png"));
    if (writeImageAtomically(picture, alignmentPicture(panels_, referencePanel, heading), &error))
        files_ << picture;
    else
        fail(QStringLiteral("alignment.png is not written: %1").arg(error), 1);
}

int alignSeries(const AlignOptions &options, QTextStream &out, QTextStream &err, const QString &program)
{
    AlignReporter reporter;
    reporter.progress = [&out](const QString &m) { out << m << Qt::endl; };
    reporter.warning
        = [&err, &program](const QString &m) { err << program << ": warning: " << m << Qt::endl; };
    reporter.failure = [&err, &program](const QString &m) { err << program << ": " << m << Qt::endl; };
    SeriesAligner aligner(options, reporter);
    return aligner.exec();
}
