#include "recon/reconrun.h"

// Qt
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>

// Local
#include "ct/atomicfile.h"
#include "ct/corfourier.h"
#include "ct/corguess.h"
#include "ct/corscanfiles.h"
#include "ct/corsearch.h"
#include "ct/sgmgeometry.h"
#include "ct/sinogramcache.h"
#include "ct/sinogramviews.h"
#include "ct/sliceworker.h"
#include "imagedata/decodedbands.h"
#include "imagedata/imagefiles.h"
#include "imagedata/imgdata.h"
#include "imagedata/lineblock.h"
#include "imagedata/scanangles.h"
#include "recon/reconlog.h"
#include <algorithm>

ReconRun::ReconRun(const ReconOptions &options, QTextStream &out, QTextStream &err)
    : options_(options)
    , out_(out)
    , err_(err)
{
}

namespace {

// What reading a block needs, copied for the reader's thread.
struct BlockSources
{
    std::vector<ImageSource> images;
    ImageSource i0;
    ImageSource bg;
    bool rowLines = true;
    int width = 0;
    int height = 0;
};

// The lines `lines` of every projection, and of I0 and BG: an empty set and the reason when a
// source cannot be read. Any thread.
ProjectionSet readBlockLines(const BlockSources &f, std::vector<int> lines, QString &error)
{
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    ProjectionSet set;
    set.width = f.width;
    set.height = f.height;
    set.images.reserve(f.images.size());
    for (const ImageSource &source : f.images) {
        std::shared_ptr<const ImgData> block = readLineBlock(source, f.rowLines, lines, f.width, f.height);
        if (!block) {
            error = QStringLiteral("cannot read %1").arg(source.label());
            return {};
        }
        set.images.push_back(std::move(block));
    }
    for (auto [source, target] : {std::pair {&f.i0, &set.i0}, std::pair {&f.bg, &set.bg}}) {
        if (source->isEmpty())
            continue;
        *target = readLineBlock(*source, f.rowLines, lines, f.width, f.height);
        if (!*target) {
            error = QStringLiteral("cannot read %1").arg(source->label());
            return {};
        }
    }
    return set;
}

} // namespace

ReconRun::~ReconRun()
{
    // The reader first: it calls back into this object.
    if (readerThread_) {
        readerThread_->quit();
        readerThread_->wait();
        delete reader_;
    }
    for (QThread *t : threads_) {
        t->quit();
        t->wait();
    }
    for (SliceWorker *w : workers_)
        delete w;
}

bool ReconRun::fail(const QString &message)
{
    err_ << "quorvel-recon: " << message << Qt::endl;
    if (!failed_)
        failure_ = message;
    failed_ = true;
    return false;
}

bool ReconRun::listFiles()
{
    if (!options_.files.isEmpty()) {
        files_ = options_.files;
        return true;
    }
    // A scan file given instead of a folder holds the whole data set.
    if (QFileInfo(options_.dir).isFile()) {
        files_ = QStringList {options_.dir};
        return true;
    }
    const QDir dir(options_.dir);
    if (!dir.exists())
        return fail(QStringLiteral("no folder %1").arg(options_.dir));
    for (const QFileInfo &entry : imageFileEntries(options_.dir, options_.patterns)) // refused ones too
        files_ << dir.filePath(entry.fileName());
    if (files_.isEmpty())
        return fail(
            QStringLiteral("no file in %1 matches %2").arg(options_.dir, options_.patterns.join(u' ')));
    return true;
}

bool ReconRun::plan()
{
    if (planned_)
        return !failed_;
    planned_ = true;
    if (!listFiles())
        return false;
    // Every header is read before any pixel: a set that cannot be used is refused before work starts.
    std::vector<std::shared_ptr<const Hdf5Scan>> scans;
    QString error;
    if (!expandSources(files_, sources_, scans, error))
        return fail(error);
    for (const ImageSource &source : sources_) {
        int w = 0, h = 0;
        if (!readSourceSize(source, w, h))
            return fail(QStringLiteral("cannot use %1 (not a readable image)").arg(source.file));
        if (width_ == 0) {
            width_ = w;
            height_ = h;
        }
        if (w != width_ || h != height_) {
            qCWarning(lcRecon).noquote() << QStringLiteral("Mismatch image size: (%1, %2) != (%3, %4) : ")
                                        .arg(width_)
                                        .arg(height_)
                                        .arg(w)
                                        .arg(h)
                    + source.file;
            return fail(QStringLiteral("cannot use %1 (unreadable, or not %2 x %3 like the first image)")
                            .arg(source.file)
                            .arg(width_)
                            .arg(height_));
        }
    }
    if (!planScan(scans))
        return false;
    for (auto [file, what] : {std::pair {options_.i0File, "I0"}, std::pair {options_.bgFile, "BG"}}) {
        if (file.isEmpty())
            continue;
        int w = 0, h = 0;
        if (!readImageSize(file, w, h))
            return fail(QStringLiteral("cannot read the %1 image %2").arg(QLatin1String(what), file));
        if (w != width_ || h != height_)
            return fail(QStringLiteral("the %1 image %2 is %3 x %4, the projections %5 x %6")
                            .arg(QLatin1String(what), file)
                            .arg(w)
                            .arg(h)
                            .arg(width_)
                            .arg(height_));
    }
    geometry_.width = width_;
    geometry_.height = height_;

    const bool rows = options_.axisVertical;
    const int extent = rows ? height_ : width_;
    // The window's defaults after loading: the middle slice.
    const int middleSlice = rows ? static_cast<int>(0.5 * height_) : width_ / 2;
    const int from = options_.sliceFrom.value_or(middleSlice);
    const int to = options_.sliceFrom ? options_.sliceTo : middleSlice;
    if (!checkedSliceList(from, to, options_.sliceStep, extent, slices_, error)
        || !checkPartial(options_, static_cast<int>(sources_.size()), error))
        return fail(error);
    return true;
}

bool ReconRun::planScan(const std::vector<std::shared_ptr<const Hdf5Scan>> &scans)
{
    i0_ = options_.i0File.isEmpty() ? ImageSource {} : imageFileSource(options_.i0File);
    bg_ = options_.bgFile.isEmpty() ? ImageSource {} : imageFileSource(options_.bgFile);
    dataSetImages_ = static_cast<int>(sources_.size());
    rangeDeg_ = options_.rangeDeg;
    if (scans.empty())
        return true;
    // The angles the files record decide the range and the images spanning it, when every
    // projection has one; the engine assumes even steps, so uneven ones refuse the data set.
    std::vector<double> angles;
    for (const ImageSource &source : sources_) {
        if (!source.scan || size_t(source.frame) >= source.scan->angles().size())
            break;
        angles.push_back(source.scan->angles()[size_t(source.frame)]);
    }
    if (angles.size() == sources_.size()) {
        const AngleFit fit = fitAngles(angles, options_.rangeDeg);
        if (!fit.ok)
            return fail(
                QStringLiteral("cannot use the angles of %1: %2").arg(files_.join(u' '), fit.problem));
        dataSetImages_ = fit.images;
        rangeDeg_ = fit.rangeDeg;
        out_ << "angles: " << fit.summary(static_cast<int>(angles.size())) << Qt::endl;
        // The data set begins where the scan began: a scan from 90° is not a slice turned by 90°.
        if (!options_.angleOriginGiven) {
            options_.angleOriginDeg = angles.front();
            out_ << "angle origin: " << QString::number(angles.front(), 'g', 10)
                 << " degrees, the first recorded angle" << Qt::endl;
        }
    } else {
        out_ << QStringLiteral("angles: not recorded for every projection; %1 images over %2 degrees")
                    .arg(sources_.size())
                    .arg(rangeDeg_)
             << Qt::endl;
    }
    // The flats and darks of a data set's one scan are its I0 and BG, unless files are given.
    const std::shared_ptr<const Hdf5Scan> &scan = scans.front();
    const bool oneScan = scans.size() == 1
        && std::all_of(
            sources_.cbegin(), sources_.cend(), [&](const ImageSource &s) { return s.scan == scan; });
    for (auto [target, kind, what] :
        {std::tuple {&i0_, Hdf5Scan::Kind::Flat, "I0"}, std::tuple {&bg_, Hdf5Scan::Kind::Dark, "BG"}}) {
        if (!target->isEmpty() || !oneScan || scan->count(kind) < 1)
            continue;
        *target = ImageSource {scan->fileName(), scan, kind, -1};
        out_ << what << ": " << target->label() << Qt::endl;
    }
    return true;
}

void ReconRun::shareDecodedBands(std::optional<int> onlyBlock)
{
    // Compressed frames are decoded once for every block this run reads, on all its threads.
    DecodedBands::Plan plan;
    plan.rowLines = options_.axisVertical;
    plan.threads = options_.threads;
    plan.scratchFolder = options_.scratchDir.isEmpty() ? options_.outDir : options_.scratchDir;
    const bool one = onlyBlock && *onlyBlock >= 0 && *onlyBlock < blockCount();
    for (int b = one ? *onlyBlock : 0; b < (one ? *onlyBlock + 1 : blockCount()); ++b) {
        const QList<int> slices = blockSlices(b);
        std::vector<int> lines(slices.cbegin(), slices.cend());
        std::sort(lines.begin(), lines.end());
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
        plan.blocks.push_back(std::move(lines));
    }
    std::vector<ImageSource *> all {&i0_, &bg_};
    for (ImageSource &source : sources_)
        all.push_back(&source);
    bands_ = DecodedBands::attach(plan, all);
}

int ReconRun::blockCount() const
{
    return static_cast<int>((slices_.size() + options_.block - 1) / options_.block);
}

QStringList ReconRun::outputFiles(std::optional<int> onlyBlock) const
{
    QStringList paths;
    if (options_.guessOnly)
        return paths;
    const QList<int> slices = onlyBlock ? blockSlices(*onlyBlock) : slices_;
    QStringList suffixes;
    if (options_.data)
        suffixes << QStringLiteral("dat");
    if (options_.tiff)
        suffixes << QStringLiteral("tif");
    if (options_.png)
        suffixes << QStringLiteral("png");
    for (int s : slices) {
        const QString slice = sliceText(s);
        for (const QString &dir : targetDirs(options_.outDir, options_.tag, slice, options_.subFolders)) {
            for (const QString &suffix : std::as_const(suffixes))
                paths << QDir(dir).filePath(ctFileName(options_.name, options_.tag, slice, suffix));
        }
    }
    return paths;
}

QList<int> ReconRun::blockSlices(int index) const
{
    if (index < 0 || index >= blockCount())
        return {};
    return slices_.mid(qsizetype(index) * options_.block, options_.block);
}

void ReconRun::warn(const QString &message)
{
    err_ << "quorvel-recon: warning: " << message << Qt::endl;
}

bool ReconRun::readSearchLines(const std::vector<int> &slices, ProjectionSet &set)
{
    const bool rows = options_.axisVertical;
    const int count = static_cast<int>(sources_.size());
    const int first = firstImage(request_, count);
    const int used = request_.partial ? std::abs(request_.usingImages) : count; // checked in plan()
    std::vector<int> images;
    if (const std::optional<int> opposite = oppositeImage(first, used, count, rangeDeg_))
        images.push_back(*opposite);
    const int half = projectionsPer180(rangeDeg_, count);
    if (half <= used)
        for (int k = 0; k < half; ++k)
            images.push_back((first + k) % count);
    images.push_back(first);
    std::vector<int> lines = slices;
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    set = ProjectionSet();
    set.width = width_;
    set.height = height_;
    set.images.resize(sources_.size());
    for (int k : images) {
        if (set.images[static_cast<size_t>(k)])
            continue;
        const ImageSource &source = sources_[static_cast<size_t>(k)];
        set.images[static_cast<size_t>(k)] = readLineBlock(source, rows, lines, width_, height_);
        if (!set.images[static_cast<size_t>(k)])
            return fail(QStringLiteral("cannot read %1").arg(source.label()));
    }
    for (auto [source, target] : {std::pair {&i0_, &set.i0}, std::pair {&bg_, &set.bg}}) {
        if (source->isEmpty())
            continue;
        *target = readLineBlock(*source, rows, lines, width_, height_);
        if (!*target)
            return fail(QStringLiteral("cannot read %1").arg(source->label()));
    }
    return true;
}

bool ReconRun::guessBoth(double start)
{
    ProjectionSet set;
    if (!readSearchLines({request_.slice}, set))
        return false;
    // Both searches, as "Guess CoR" in the window makes them (its GuessParam 0.35).
    const CorGuesses g = guessCorBoth(set, request_, rangeDeg_, start, 0.35);
    const std::optional<CorSearchResult> &chosen = g.of(options_.corMethod);
    if (!chosen)
        return fail(QStringLiteral("cannot guess the centre of rotation (%1): %2")
                        .arg(corMethodName(options_.corMethod),
                            options_.corMethod == CorMethod::Mirror ? g.mirrorProblem : g.fourierProblem));
    request_.cor = chosen->cor;
    out_ << "centre of rotation: " << QString::number(request_.cor, 'g', 10) << Qt::endl;
    for (CorMethod m : {CorMethod::Mirror, CorMethod::Fourier}) {
        if (const std::optional<CorSearchResult> &r = g.of(m))
            out_ << "centre of rotation (" << corMethodName(m) << "): " << QString::number(r->cor, 'g', 10)
                 << Qt::endl;
        else
            warn(QStringLiteral("no %1 centre of rotation: %2")
                     .arg(corMethodName(m), m == CorMethod::Mirror ? g.mirrorProblem : g.fourierProblem));
    }
    for (const QString &w : corGuessWarnings(g))
        warn(w);
    return true;
}

bool ReconRun::guessLine(double start)
{
    const int from = slices_.first(), to = slices_.last();
    if (from == to)
        return fail(QStringLiteral("--cor guess-line needs a range of slices (--slices)"));
    const std::vector<int> at = spreadSlices(from, to, *options_.guessLine);
    ProjectionSet set;
    if (!readSearchLines(at, set))
        return false;
    const CorLineGuess g = guessCorLine(
        set, request_, rangeDeg_, options_.corMethod, start, 0.35, from, to, *options_.guessLine);
    for (const QString &p : g.problems)
        warn(QStringLiteral("no %1 centre of rotation at %2").arg(corMethodName(options_.corMethod), p));
    for (size_t i = 0; i < g.slices.size(); ++i)
        out_ << "centre of rotation at slice " << g.slices[i] << " (" << corMethodName(options_.corMethod)
             << "): " << QString::number(g.cors[i], 'g', 10) << Qt::endl;
    if (!g.fit)
        return fail(QStringLiteral("fewer than two slices gave a centre of rotation: no line"));
    line_ = g.fit->records(from, to);
    out_ << "centre of rotation line: " << QString::number(line_->cor1, 'g', 10) << " at slice " << from
         << ", " << QString::number(line_->cor2, 'g', 10) << " at slice " << to
         << QStringLiteral(" (residual %1 pixel rms, %2 at most)")
                .arg(g.fit->rms, 0, 'f', 3)
                .arg(g.fit->maxResidual, 0, 'f', 3)
         << Qt::endl;
    if (g.fit->rms > corLineResidualLimit)
        warn(QStringLiteral("the guesses lie %1 pixel (rms) off their line: the axis may not be straight, or "
                            "some guesses failed")
                 .arg(g.fit->rms, 0, 'f', 2));
    request_.cor = line_->at(slices_.first());
    return true;
}

bool ReconRun::findCor()
{
    const bool rows = options_.axisVertical;
    const double middleCor = rows ? 0.5 * width_ : double(height_ / 2);
    request_ = SinogramRequest {rows, options_.cor.value_or(middleCor), slices_.first(), options_.partial,
        options_.partialStart, options_.partialImages};
    if (options_.corScan) // the scan names its centres
        return true;
    if (options_.corLine) {
        line_ = options_.corLine;
        request_.cor = line_->at(slices_.first());
        out_ << "centre of rotation line: " << QString::number(line_->cor1, 'g', 10) << " at slice "
             << line_->slice1 << ", " << QString::number(line_->cor2, 'g', 10) << " at slice "
             << line_->slice2 << Qt::endl;
        return true;
    }
    if (options_.guessLine)
        return guessLine(middleCor);
    if (options_.guessCor)
        return guessBoth(middleCor);
    out_ << "centre of rotation: " << QString::number(request_.cor, 'g', 10) << Qt::endl;
    return true;
}

bool ReconRun::prepare()
{
    const int L = options_.axisVertical ? width_ : height_;
    engineLength_ = requiredLength(geometry_, request_);
    if (engineLength_ < 2)
        return fail(QStringLiteral("the centre of rotation %1 leaves no sinogram on lines of %2 pixels")
                        .arg(request_.cor)
                        .arg(L));
    if (line_) { // every slice's centre, before any is computed
        for (int slice : std::as_const(slices_)) {
            if (!corInsideLine(line_->at(slice), L))
                return fail(
                    QStringLiteral("the centre of rotation %1 of slice %2 on the line leaves no sinogram "
                                   "on lines of %3 pixels")
                        .arg(line_->at(slice))
                        .arg(slice)
                        .arg(L));
        }
    }
    // An output folder that cannot take files is known before any slice is computed.
    if (!QDir().mkpath(options_.outDir))
        return fail(QStringLiteral("cannot make the output folder %1").arg(options_.outDir));
    if (const QString why = directoryWriteProblem(options_.outDir); !why.isEmpty())
        return fail(why);
    const int count = static_cast<int>(sources_.size());
    task_.sinogram = request_;
    const int start = firstImage(request_, count);
    task_.angles
        = projectionAngles(options_.angleOriginDeg, rangeDeg_, dataSetImages_, options_.partial ? start : 0);
    task_.regionIsSet = options_.region.has_value();
    task_.region = options_.region.value_or(Region {});
    task_.makeImage = options_.png;
    task_.makeTiff = options_.tiff;
    if (options_.colorRange)
        task_.scale = GreyScale {options_.colorRange->first, options_.colorRange->second, 0.0, 1.0, true};
    task_.makeData = options_.data;
    task_.window = options_.window;
    task_.stripes = options_.rings;
    if (task_.stripes.isOn())
        out_ << "ring removal: " << stripeMethodWord(task_.stripes.method) << ' '
             << stripeParamItems(task_.stripes).join(QLatin1Char(' ')) << Qt::endl;
    return true;
}

int ReconRun::exec(std::optional<int> onlyBlock)
{
    clock_.start();
    if (!plan())
        return 1;
    shareDecodedBands(onlyBlock);
    if (!findCor())
        return 1;
    if (options_.guessOnly)
        return failed_ ? 1 : 0;
    if (options_.corScan)
        return execScan();
    if (!prepare())
        return 1;
    if (onlyBlock && (*onlyBlock < 0 || *onlyBlock >= blockCount())) {
        fail(QStringLiteral("there is no block %1 of slices (%2 blocks)").arg(*onlyBlock).arg(blockCount()));
        return 1;
    }
    const int first = onlyBlock.value_or(0);
    const int last = onlyBlock.value_or(blockCount() - 1);
    total_ = 0;
    for (int b = first; b <= last; ++b)
        total_ += blockSlices(b).size();

    const int workers = std::max(
        1, std::min(options_.threads, static_cast<int>(std::min<qsizetype>(total_, options_.block))));
    queues_.assign(static_cast<size_t>(workers), WorkerQueue());
    startWorkers(workers, engineLength_);
    for (SliceWorker *worker : workers_)
        takeResults(worker, &SliceWorker::done, &ReconRun::sliceDone);
    readerThread_ = new QThread(this);
    reader_ = new QObject;
    reader_->moveToThread(readerThread_);
    readerThread_->start();
    // The time left counts from here: loading and planning are behind us.
    timeLeft_.start(total_, clock_.elapsed());
    nextToRead_ = first;
    lastBlock_ = last;
    startReading();
    QEventLoop loop;
    const auto busy = [this] {
        if (reading_)
            return true;
        for (const WorkerQueue &q : queues_)
            if (!q.outstanding.empty())
                return true;
        return false;
    };
    while ((done_ < total_ && !stopped_) || busy())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    if (slicesClock_.isValid())
        times_.slicesWall = slicesClock_.nsecsElapsed() * 1e-9;
    loaded_.clear();
    const SliceTimes &t = times_.slices;
    out_ << QStringLiteral(
        "time: read %1 s, sinograms %2 s, filter %3 s, back-projection %4 s, images and text %5 s, "
        "write %6 s")
                .arg(times_.read, 0, 'f', 2)
                .arg(t.sinogram, 0, 'f', 2)
                .arg(t.filter, 0, 'f', 2)
                .arg(t.backProjection, 0, 'f', 2)
                .arg(t.output, 0, 'f', 2)
                .arg(times_.write, 0, 'f', 2)
         << Qt::endl;
    if (bands_)
        out_ << "compressed frames: " << bands_->summary() << Qt::endl;
    return failed_ ? 1 : 0;
}

// A result comes back as the capture of a functor posted from the worker's thread, copied before its
// event is made: one event carries it, which is the hand-over ThreadSanitizer is taught to follow
// (a queued signal's argument is copied into an event already made, and may be read before the
// poster's wake-up that would tell the sanitizer).
template<typename Result>
void ReconRun::takeResults(SliceWorker *worker, void (SliceWorker::*signal)(const Result &),
    void (ReconRun::*take)(SliceWorker *, const Result &))
{
    connect(
        worker, signal, this,
        [this, worker, take](const Result &result) {
            QMetaObject::invokeMethod(
                this, [this, worker, take, result] { (this->*take)(worker, result); }, Qt::QueuedConnection);
        },
        Qt::DirectConnection);
}

void ReconRun::startWorkers(int count, int length)
{
    for (int i = 0; i < count; ++i) {
        auto *worker = new SliceWorker;
        // Plans are made here, on the main thread, before the worker ever runs.
        worker->engine().setup(length, static_cast<int>(sources_.size()), options_.single);
        auto *thread = new QThread(this);
        worker->moveToThread(thread);
        thread->start();
        threads_.push_back(thread);
        workers_.push_back(worker);
    }
}

void ReconRun::startReading()
{
    // Never more than two blocks in memory: the one being read and one in work.
    if (reading_ || stopped_ || nextToRead_ > lastBlock_ || loaded_.size() >= 2)
        return;
    reading_ = true;
    const int index = nextToRead_++;
    // Plain copies for the reader's thread: nothing implicitly shared crosses it.
    const QList<int> block = blockSlices(index);
    const std::vector<int> slices(block.cbegin(), block.cend());
    const BlockSources files {sources_, i0_, bg_, options_.axisVertical, width_, height_};
    QMetaObject::invokeMethod(
        reader_,
        [this, index, slices, files] {
            QElapsedTimer reading;
            reading.start();
            QString error;
            const ProjectionSet set = readBlockLines(files, slices, error);
            const double seconds = reading.nsecsElapsed() * 1e-9;
            QMetaObject::invokeMethod(
                this, [this, index, set, seconds, error] { blockRead(index, set, seconds, error); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void ReconRun::blockRead(int index, const ProjectionSet &set, double seconds, const QString &error)
{
    reading_ = false;
    times_.read += seconds;
    if (waiting_) {
        times_.readWait += waitClock_.nsecsElapsed() * 1e-9;
        waiting_ = false;
    }
    if (!error.isEmpty()) {
        fail(error);
        stopped_ = true; // the slices under way are finished and written
        return;
    }
    auto block = std::make_unique<LoadedBlock>();
    block->index = index;
    block->slices = blockSlices(index);
    block->set = set;
    // A block's sinograms share one centre: on a line of centres each slice makes its own.
    block->sinogramSlices = line_ ? 1 : sinogramBlockSlices(set, request_, static_cast<int>(workers_.size()));
    loaded_.push_back(std::move(block));
    startReading();
    dispatchAll();
}

void ReconRun::dispatchAll()
{
    for (size_t i = 0; i < workers_.size(); ++i)
        dispatch(i);
    bool idle = true;
    for (const WorkerQueue &q : queues_)
        idle = idle && q.outstanding.empty();
    if (idle && !waiting_ && !stopped_ && done_ < total_) { // every worker waits for the next block
        waitClock_.start();
        waiting_ = true;
    }
}

void ReconRun::dispatch(size_t worker)
{
    WorkerQueue &q = queues_[worker];
    // The slice after the one in work is queued already, so that a worker never waits for this thread;
    // on a line of centres the engine may be resized for the next slice, so only while it rests.
    const size_t ahead = line_ ? 1 : 2;
    while (q.outstanding.size() < ahead && !stopped_) {
        if (q.next >= q.slices.size()) {
            // The next slices of the first block that has any; towards its end smaller shares, so
            // that no worker is left with a long queue while the others rest.
            LoadedBlock *block = nullptr;
            for (const auto &b : loaded_)
                if (b->next < b->slices.size()) {
                    block = b.get();
                    break;
                }
            if (!block)
                return;
            const qsizetype left = block->slices.size() - block->next;
            const qsizetype share = (left + qsizetype(queues_.size()) - 1) / qsizetype(queues_.size());
            const qsizetype size = std::clamp<qsizetype>(share, 1, block->sinogramSlices);
            q.block = block;
            q.slices.assign(block->slices.begin() + block->next, block->slices.begin() + block->next + size);
            q.id = size > 1 ? newSinogramBlockId() : 0;
            q.next = 0;
            block->next += size;
        }
        SliceTask task = task_;
        task.set = q.block->set;
        task.sinogram.slice = q.slices[q.next++];
        task.sinogramBlock = q.slices;
        task.blockId = q.id;
        if (line_) {
            // Its own centre, and the engine sized for it here, on the main thread.
            task.sinogram.cor = line_->at(task.sinogram.slice);
            CtFbp &engine = workers_[worker]->engine();
            const int n = requiredLength(task.set, task.sinogram);
            if (engine.n() != n)
                engine.setup(n, static_cast<int>(sources_.size()), options_.single);
        }
        // The files are made on this thread, from the values the worker hands over.
        task.makeImage = task.makeData = task.makeTiff = false;
        task.keepValues = true;
        q.outstanding.push_back(q.block);
        if (!slicesClock_.isValid())
            slicesClock_.start();
        QMetaObject::invokeMethod(
            workers_[worker], [w = workers_[worker], task] { w->run(task); }, Qt::QueuedConnection);
    }
}

void ReconRun::sliceDone(SliceWorker *worker, const SliceResult &done)
{
    const auto it = std::find(workers_.begin(), workers_.end(), worker);
    if (it == workers_.end())
        return;
    WorkerQueue &q = queues_[static_cast<size_t>(it - workers_.begin())];
    LoadedBlock *block = q.outstanding.front();
    q.outstanding.erase(q.outstanding.begin());
    dispatch(static_cast<size_t>(it - workers_.begin()));
    ++done_;
    times_.slices.sinogram += done.times.sinogram;
    times_.slices.filter += done.times.filter;
    times_.slices.backProjection += done.times.backProjection;
    QElapsedTimer clock;
    clock.start();
    SliceResult result = done;
    if (result.reconstructed && result.values)
        makeSliceFiles(result, *result.values, task_, &dataText_);
    if (result.values) // its pages serve the worker's next slice
        QMetaObject::invokeMethod(
            worker, [worker, values = std::move(result.values)] { worker->recycle(values); },
            Qt::QueuedConnection);
    times_.slices.output += clock.nsecsElapsed() * 1e-9;
    clock.restart();
    writeResult(result);
    times_.write += clock.nsecsElapsed() * 1e-9;
    // A finished block makes room for the next one.
    if (++block->done == block->slices.size()) {
        loaded_.erase(std::find_if(
            loaded_.begin(), loaded_.end(), [block](const auto &b) { return b.get() == block; }));
        startReading();
    }
    timeLeft_.setDone(done_, clock_.elapsed());
    out_ << QStringLiteral("progress: %1/%2 slices, %3 s elapsed, %4 left")
                .arg(done_)
                .arg(total_)
                .arg(clock_.elapsed() / 1000.0, 0, 'f', 1)
                .arg(TimeLeft::text(timeLeft_.secondsLeft()))
         << Qt::endl;
    dispatchAll();
}

void ReconRun::writeResult(const SliceResult &result)
{
    if (!result.reconstructed || !result.problem.isEmpty()) {
        fail(result.problem);
        if (!result.reconstructed)
            return;
    }
    const QString slice = sliceText(result.slice);
    const QStringList dirs = targetDirs(options_.outDir, options_.tag, slice, options_.subFolders);
    for (const QString &dir : dirs) {
        // Each file appears under its name only when it is complete.
        const auto write = [&](const char *suffix, const auto &writer) {
            const QString path = QDir(dir).filePath(
                ctFileName(options_.name, options_.tag, slice, QString::fromLatin1(suffix)));
            QString error;
            if (writer(path, &error)) {
                ++filesWritten_;
                out_ << "wrote " << QDir::cleanPath(path) << Qt::endl;
            } else
                fail(error);
        };
        if (options_.data && !result.dataText.isEmpty())
            write("dat", [&](const QString &path, QString *error) {
                return writeFileAtomically(path, result.dataText, error);
            });
        if (options_.tiff && !result.tiff.isEmpty())
            write("tif", [&](const QString &path, QString *error) {
                return writeFileAtomically(path, result.tiff, error);
            });
        if (options_.png && !result.image.isNull())
            write("png", [&](const QString &path, QString *error) {
                return writeImageAtomically(path, result.image, error);
            });
    }
}

int ReconRun::execScan()
{
    const ReconOptions::CorScan &scan = *options_.corScan;
    const int L = options_.axisVertical ? width_ : height_;
    if (slices_.size() != 1) {
        fail(QStringLiteral("--cor-scan reconstructs one slice"));
        return 1;
    }
    if (const QString why = corScanProblem(scan.from, scan.to, scan.step, L); !why.isEmpty()) {
        fail(QStringLiteral("--cor-scan: %1").arg(why));
        return 1;
    }
    const std::vector<double> centres = corScanCentres(scan.from, scan.to, scan.step);
    request_.cor = centres.front();
    if (!prepare())
        return 1;
    QString error;
    task_.set = readBlockLines(BlockSources {sources_, i0_, bg_, options_.axisVertical, width_, height_},
        std::vector<int>(slices_.cbegin(), slices_.cend()), error);
    if (!error.isEmpty()) {
        fail(error);
        return 1;
    }
    const CorScoreSetup score = corScanScoreSetup(task_, centres);

    // Every worker takes the next trial when it has done one; engines and scorers are sized for the
    // trial on this thread while the worker rests.
    scan_ = std::make_unique<ScanState>();
    ScanState &st = *scan_;
    st.centres = centres;
    st.trials.resize(centres.size());
    for (double c : centres) {
        SinogramRequest r = task_.sinogram;
        r.cor = c;
        st.lengths.push_back(requiredLength(task_.set, r));
    }
    st.taken.assign(centres.size(), false);
    st.score = score;
    const int workers = std::max(1, std::min(options_.threads, static_cast<int>(centres.size())));
    startWorkers(workers, engineLength_);
    // A member slot, connected for the workers' lifetime: no handler holding this function's locals
    // has to be taken away while a worker may still be emitting.
    for (SliceWorker *w : workers_) {
        takeResults(w, &SliceWorker::trialDone, &ReconRun::trialDone);
        giveTrial(w);
    }
    QEventLoop loop;
    while (st.done < centres.size())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    const std::vector<CorTrial> trials = std::move(st.trials);
    task_.set = ProjectionSet();
    writeScan(trials, score);
    return failed_ ? 1 : 0;
}

void ReconRun::giveTrial(SliceWorker *w)
{
    ScanState &st = *scan_;
    const int next = nextCorTrial(st.lengths, st.taken, w->engine().n());
    if (next < 0)
        return;
    st.taken[static_cast<size_t>(next)] = true;
    SliceTask task = task_;
    task.sinogram.cor = st.centres[static_cast<size_t>(next)];
    const int n = st.lengths[static_cast<size_t>(next)];
    if (w->engine().n() != n)
        w->engine().setup(n, static_cast<int>(sources_.size()), options_.single);
    w->scorer().setup(n);
    QMetaObject::invokeMethod(
        w, [w, task, score = st.score] { w->trial(task, score); }, Qt::QueuedConnection);
}

void ReconRun::trialDone(SliceWorker *w, const CorTrial &trial)
{
    if (!scan_ || std::find(workers_.begin(), workers_.end(), w) == workers_.end())
        return;
    ScanState &st = *scan_;
    const auto at = std::find(st.centres.begin(), st.centres.end(), trial.cor);
    if (at != st.centres.end())
        st.trials[static_cast<size_t>(at - st.centres.begin())] = trial;
    ++st.done;
    giveTrial(w);
    out_ << QStringLiteral("progress: %1/%2 trials, %3 s elapsed")
                .arg(st.done)
                .arg(st.centres.size())
                .arg(clock_.elapsed() / 1000.0, 0, 'f', 1)
         << Qt::endl;
}

bool ReconRun::writeScan(const std::vector<CorTrial> &trials, const CorScoreSetup &score)
{
    for (const CorTrial &t : trials) {
        if (!t.reconstructed)
            fail(QStringLiteral("trial at %1: %2").arg(corText(t.cor), t.problem));
    }
    const int best = bestCorTrial(trials);
    const int slice = slices_.first();
    for (const CorTrial &t : trials)
        if (t.reconstructed)
            out_ << "trial centre of rotation " << corText(t.cor) << ": score "
                 << QString::number(t.score, 'f', 6) << Qt::endl;
    const auto write = [&](const QString &suffix, const auto &writer) {
        const QString path
            = QDir(options_.outDir).filePath(corScanFileName(options_.name, options_.tag, slice, suffix));
        QString error;
        if (writer(path, &error))
            out_ << "wrote " << QDir::cleanPath(path) << Qt::endl;
        else
            fail(error);
    };
    write(QStringLiteral("txt"), [&](const QString &path, QString *error) {
        return writeFileAtomically(path, corScanTable(trials, best, slice), error);
    });
    if (best < 0)
        return fail(QStringLiteral("no trial was reconstructed"));
    QString why;
    const QByteArray tiff = corScanTiff(trials, slice, &why);
    if (tiff.isEmpty())
        fail(QStringLiteral("no TIFF file of the scan: %1").arg(why));
    else
        write(QStringLiteral("tif"),
            [&](const QString &path, QString *error) { return writeFileAtomically(path, tiff, error); });
    GreyScale scale = corScanScale(trials[static_cast<size_t>(best)], score);
    if (options_.colorRange)
        scale = GreyScale {options_.colorRange->first, options_.colorRange->second, 0.0, 1.0, true};
    const QImage sheet = corScanSheet(trials, best, score, scale);
    write(QStringLiteral("png"),
        [&](const QString &path, QString *error) { return writeImageAtomically(path, sheet, error); });
    out_ << "best centre of rotation: " << corText(trials[static_cast<size_t>(best)].cor) << Qt::endl;
    return !failed_;
}
